"""The signed-in agent against a hostile service on loopback (tests/e2e/hostile_service.py)
whose answers stay just under the 4 MiB cap but name millions of values:

- /messages of 4 MiB of empty objects, with a pipe where the local browser-support
  file is read: the puller goes on pulling, every answer parses at once, and a
  SIGTERM right after one arrives ends the agent within 2 s;
- /messages of two million codes, /config, /api/alerts and /api/block_list of 4 MiB
  of list items: each endpoint keeps what it can hold and says what it cut, the
  codes the queue cannot hold are named in the log, and kestreld.json is written
  once, not at every pull;
- peak memory (VmHWM) stays under 100 MB throughout.
"""

import json
import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from agent_harness import PROMPT_END_SECONDS, Agent, PrivateHome, peak_memory_kib, wait_until  # noqa: E402
import hostile_service as hostile  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

ACCOUNT_KEY = "AK-hostile-answers-6d1e"
DATA_KEY = "DK-hostile-answers-93b0"
CAP = 4 * 1024 * 1024
MEMORY_LIMIT_KIB = 100 * 1024
OK_HEAD = b'{"c": [0, "OK"], '


class HostileAnswers(unittest.TestCase):
    def setUp(self):
        self.home = PrivateHome()
        self.service = hostile.HostileService(self.home.root)
        self.program = self.home.copy_bundle(self.service.cert)
        self.home.write_settings({
            "url": self.service.host, "api_url": self.service.host,
            "account_key": ACCOUNT_KEY, "data_key": DATA_KEY, "first_time_running": False,
            "push_initial_interval": 1800, "push_interval": 1800,
            "pull_initial_interval": 0, "pull_interval": 1})
        self.agent = None

    def tearDown(self):
        if self.agent:
            self.agent.kill()
        self.service.stop()
        self.home.cleanup()

    def answer(self, answers):
        signed_in = hostile.json_answer({"c": [0, "OK"], "account_key": ACCOUNT_KEY, "data_key": DATA_KEY})
        self.service.answer = hostile.by_path(dict(answers, **{"/activate": signed_in}),
                                              hostile.json_answer({"c": [0, "OK"]}))

    def answered(self, path):
        with self.service.lock:
            return sum(1 for answered in self.service.answered if answered.split("?")[0] == path)

    def end(self):
        peak = peak_memory_kib(self.agent.process.pid)
        code, seconds = self.agent.terminate()
        self.assertEqual(code, 0)
        self.assertLess(seconds, PROMPT_END_SECONDS)
        self.assertLess(peak, MEMORY_LIMIT_KIB)
        return peak, seconds

    def test_empty_objects_parse_at_once_and_a_stop_right_after_an_answer_ends_the_agent(self):
        os.mkfifo(os.path.join(self.home.data_dir, "client_browser_support.json"), 0o600)
        self.answer({"/messages": hostile.json_list_answer(OK_HEAD + b'"messages": [', b"{}", b"]}", CAP)})
        self.agent = Agent(self.home, program=self.program)
        started = time.monotonic()
        wait_until(lambda: self.answered("/messages") >= 5, timeout=60, what="five answers of empty objects")
        five = time.monotonic() - started
        # The moment the next answer has gone out, the agent is reading it.
        wait_until(lambda: self.answered("/messages") >= 6, timeout=20, what="a sixth answer")
        peak, seconds = self.end()
        print("\n[ figures ] five 4 MiB /messages answers of empty objects in %.1f s (one a second is the "
              "interval); VmHWM %.1f MB; ended %.2f s after a SIGTERM sent as an answer arrived"
              % (five, peak / 1024, seconds), file=sys.stderr)
        messages = self.home.messages()
        self.assertTrue(any(m.startswith("[puller::update_browser_support] Ignoring the local file ") and
                            m.endswith("client_browser_support.json: not a regular file") for m in messages))
        self.assertTrue(any(m.startswith("[API::get_messages] Caught nlohmann::json::exception") for m in messages))

    def test_long_lists_are_cut_where_they_arrive_and_the_settings_file_is_written_once(self):
        site = b'"a-rather-long-host-name-for-a-block-list.example.org"'
        self.answer({
            "/messages": hostile.json_list_answer(OK_HEAD + b'"messages": [', b"1,2,5", b"]}", CAP),
            "/config": hostile.json_list_answer(b'{"c": [0, "OK"], "config": {"scan_interval": 2, "whitelist": [',
                                                site, b"]}}", CAP),
            "/api/alerts": hostile.json_list_answer(OK_HEAD + b'"alerts": [', b'"Read this"', b"]}", CAP),
            "/api/block_list": hostile.json_list_answer(
                OK_HEAD + b'"blocking_enabled": true, "extended_domain_list": [], "block_list": [', site, b"]}",
                CAP),
        })
        settings = os.path.join(self.home.data_dir, "kestreld.json")
        self.agent = Agent(self.home, program=self.program)
        inodes = {os.stat(settings).st_ino}

        deadline = time.monotonic() + 120
        while self.answered("/config") < 20 or self.answered("/messages") < 3:
            self.assertLess(time.monotonic(), deadline, "twenty settings pulls did not come")
            inodes.add(os.stat(settings).st_ino)  # a new one for each file renamed into place
            time.sleep(0.002)
        peak, _ = self.end()
        print("\n[ figures ] %d /messages, %d /config, %d /api/alerts, %d /api/block_list answers of 4 MiB: "
              "VmHWM %.1f MB; kestreld.json written %d times"
              % (self.answered("/messages"), self.answered("/config"), self.answered("/api/alerts"),
                 self.answered("/api/block_list"), peak / 1024, len(inodes) - 1), file=sys.stderr)
        # The first settings pull writes the file (and so may the first update check or
        # block list); the same settings again write nothing.
        self.assertLessEqual(len(inodes) - 1, 5)
        with open(settings, encoding="utf-8") as f:
            saved = json.load(f)
        self.assertEqual(saved["account_key"], ACCOUNT_KEY)
        self.assertEqual(saved["scan_interval"], 2)
        self.assertEqual(len(saved["whitelist"]), 10000)
        messages = self.home.messages()
        for operation, kept in (("get_messages", 1000), ("get_config", 10000), ("get_alerts", 50),
                                ("get_blocked_list", 10000)):
            cut = "[API::%s] The answer held more than the agent keeps: left out " % operation
            self.assertTrue(any(m.startswith(cut) and "(a list keeps at most %d," % kept in m for m in messages),
                            operation)
        self.assertTrue(any(m.startswith("[daemon] 64 messages wait already; dropped codes 1 x") for m in messages))


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
