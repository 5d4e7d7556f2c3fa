"""The service client and the agent against a hostile service of this test's
own (tests/e2e/hostile_service.py: python's http.server and ssl on loopback):

- a redirect of the sign-in to plain http is refused before anything reaches
  the plain-http port, for 301, 302, 303, 307 and 308, and the sign-in fails
  with a transport status; redirects to https are still followed;
- an answer larger than 4 MiB (endless, announced, one byte over, endless
  headers) is a transport failure, for the upload answers too, and the debug
  log holds only a prefix of it at every mask;
- the agent's peak memory, read from /proc, stays under 96 MB while every
  answer streams without end (the desktop toolkit with its fonts takes some
  40 MB of that at rest, even offscreen).
"""

import csv
import gzip
import io
import os
import shutil
import sys
import tempfile
import unittest
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from agent_harness import Agent, PrivateHome, kill_if_running, peak_memory_kib, wait_until  # noqa: E402
import hostile_service as hostile  # noqa: E402
from service_probe import ProbeRun, expected_texts  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

USER, PASSWORD = "ann@kestrel.test", "Sign-In-Password-5521"
ACCOUNT_KEY = "AK-hostile-3b9f0c6d2e7a41c8"
DATA_KEY = "DK-hostile-8e1d5a0b7c3f4926"
SECRETS = (PASSWORD, ACCOUNT_KEY, DATA_KEY)
CAP = 4 * 1024 * 1024
# A logged line: tags and the bounded prefix of what the service sent.
LONGEST_LOG_LINE = 4096


class ProbeTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="kes-e2e-hostile-")
        cls.service = hostile.HostileService(cls.folder)

    @classmethod
    def tearDownClass(cls):
        cls.service.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        self.service.reset()
        self.probe = ProbeRun(tempfile.mkdtemp(dir=self.folder))

    def run_probe(self, call, *args, log_level="0xffff"):
        return self.probe.run(call, "--host", self.service.host, "--ca", self.service.cert, "--timeout", "30",
                              *args, log_level=log_level)

    def sign_in(self):
        return self.run_probe("activate", "--user", USER, "--password", PASSWORD, "--account-key", ACCOUNT_KEY)

    def transport_failure(self, code, text):
        return {"ok": False, "class": "CurlError", "account_key": "",
                "message": "%s%d): %s" % (expected_texts()["status_error_unhandled_error"], code, text)}

    def debug_log(self):
        return self.probe.debug_log()


class RedirectsOnlyToHttps(ProbeTestCase):
    def test_a_redirect_to_plain_http_reaches_nothing_there(self):
        for status in (301, 302, 303, 307, 308):
            self.service.answer = hostile.redirect(status, self.service.plain_url("/activate"))
            before = len(self.service.requests_to("/activate"))
            self.assertEqual(self.sign_in(), self.transport_failure(1, "Unsupported protocol"), status)
            self.assertEqual(len(self.service.requests_to("/activate")), before + 1, status)
        self.assertEqual(self.service.plain_connections, 0, "a connection reached the plain-http port")
        self.assertEqual(self.service.requests_to(port="http"), [])
        # The form went to the https service only, as sent.
        self.assertTrue(all(USER.encode() in r["body"] for r in self.service.requests_to("/activate")))
        logged = self.debug_log()
        self.assertIn("HTTP Response (!CURLE_OK): 1 :", logged)
        for secret in SECRETS:
            self.assertNotIn(secret, logged)

    def test_a_redirect_to_https_is_still_followed(self):
        for status in (301, 302, 303, 307, 308):
            self.service.reset()
            self.service.answer = hostile.by_path(
                {"/activate": hostile.redirect(status, self.service.https_url("/signed-in"))},
                hostile.json_answer({"c": [0, "OK"], "account_key": ACCOUNT_KEY, "data_key": DATA_KEY}))
            result = self.sign_in()
            self.assertTrue(result["ok"], (status, result))
            self.assertEqual(result["account_key"], ACCOUNT_KEY)
            landed = self.service.requests_to("/signed-in")
            self.assertEqual(len(landed), 1, status)
            if status in (307, 308):  # these keep the method and the form
                self.assertIn(USER.encode(), landed[0]["body"])

    def test_a_redirect_loop_ends(self):
        self.service.answer = hostile.redirect(302, self.service.https_url("/messages"))
        self.assertEqual(self.run_probe("messages", "--account-key", ACCOUNT_KEY),
                         self.transport_failure(47, "Number of redirects hit maximum amount"))
        self.assertEqual(len(self.service.requests_to("/messages")), 11)


class OversizeAnswers(ProbeTestCase):
    def assert_log_bounded(self):
        logged = self.debug_log()
        self.assertLessEqual(max(len(line) for line in logged.splitlines()), LONGEST_LOG_LINE)
        self.assertLess(len(logged), 512 * 1024, "the debug log grew with the answers")

    def test_an_answer_over_the_cap_is_a_transport_failure(self):
        too_large = self.transport_failure(63, "Maximum file size exceeded")
        for name, answer in (("endless", hostile.endless_body), ("announced", hostile.declared_body(1 << 30)),
                             ("one byte over", hostile.padded_messages(CAP + 1)),
                             ("endless headers", hostile.endless_headers)):
            self.service.answer = answer
            self.assertEqual(self.run_probe("messages", "--account-key", ACCOUNT_KEY), too_large, name)
        self.assert_log_bounded()

    def test_an_answer_of_exactly_the_cap_is_read(self):
        self.service.answer = hostile.padded_messages(CAP)
        result = self.run_probe("messages", "--account-key", ACCOUNT_KEY)
        self.assertTrue(result["ok"], result)
        self.assert_log_bounded()

    def test_upload_answers_are_capped_too(self):
        too_large = self.transport_failure(63, "Maximum file size exceeded")
        upload = os.path.join(self.probe.home, str(uuid.uuid4()) + ".kesc")
        with open(upload, "w", encoding="utf-8") as out:
            out.write('"a","b","c","d","e","2024-05-01 09:00:00","2024-05-01 09:00:05","","","","",""\n')
        self.service.answer = hostile.endless_body
        self.assertEqual(self.run_probe("collect", "--file", upload, "--account-key", ACCOUNT_KEY), too_large)
        self.assertEqual(self.run_probe("debug_log", "--text", "debug log " * 1000, "--account-key", ACCOUNT_KEY),
                         too_large)
        self.assertEqual(len(self.service.requests_to("/collect")), 1)
        self.assertEqual(len(self.service.requests_to("/debug_log")), 1)
        # The uploaded debug log is itself a long form field: only its prefix is logged.
        self.assert_log_bounded()

    def test_the_log_holds_a_bounded_prefix_at_every_mask(self):
        self.service.answer = hostile.padded_messages(CAP)
        for mask in [1 << bit for bit in list(range(9)) + list(range(12, 16))] + [0xffffffff]:
            self.assertTrue(self.run_probe("messages", "--account-key", ACCOUNT_KEY, log_level=str(mask))["ok"])
        self.assert_log_bounded()


def upload_file(folder):
    """One activity record as the logger writes it, for the pusher to send."""
    os.makedirs(folder, mode=0o700, exist_ok=True)
    text = io.StringIO()
    csv.writer(text, quoting=csv.QUOTE_ALL, lineterminator="\n").writerow(
        ["editor", "editor", "1.0", "", "report", "2024-05-01 09:00:00", "2024-05-01 09:00:05",
         "", "workstation", "ann", "", ""])
    path = os.path.join(folder, str(uuid.uuid4()) + ".kesg")
    with gzip.open(path, "wt", encoding="utf-8") as out:
        out.write(text.getvalue())
    os.chmod(path, 0o600)
    return path


class AgentUnderHostileService(unittest.TestCase):
    def setUp(self):
        self.home = PrivateHome()
        self.service = hostile.HostileService(self.home.root)
        self.agent = None

    def tearDown(self):
        kill_if_running(self.agent)
        self.service.stop()
        self.home.cleanup()

    def test_peak_memory_stays_bounded_while_answers_never_end(self):
        program = self.home.copy_bundle(self.service.cert)
        self.home.write_settings({
            "url": self.service.host, "api_url": self.service.host,
            "account_key": ACCOUNT_KEY, "data_key": DATA_KEY, "first_time_running": False,
            "push_initial_interval": 1, "push_interval": 1, "pull_initial_interval": 1, "pull_interval": 1,
            "debug_log_level": 0xFFFF})
        upload_file(os.path.join(self.home.data_dir, "activities"))
        # Signing in works; every other answer (messages, settings, uploads, time
        # zone) streams without end.
        self.service.answer = hostile.by_path(
            {"/activate": hostile.json_answer({"c": [0, "OK"], "account_key": ACCOUNT_KEY, "data_key": DATA_KEY})},
            hostile.endless_body)
        self.agent = Agent(self.home, program=program).process
        endless = lambda: [p for p in self.service.answered if p != "/activate"]  # noqa: E731
        wait_until(lambda: len(endless()) >= 12, timeout=60, what="twelve endless answers")
        peak = peak_memory_kib(self.agent.pid)
        paths = sorted(set(endless()))
        sent = self.service.bytes_sent
        self.agent.send_signal(15)
        self.assertEqual(self.agent.wait(timeout=10), 0)
        print("\n[ figures ] peak RSS %.1f MB after %d endless answers (%s), %.0f MB sent"
              % (peak / 1024, len(endless()), ", ".join(paths), sent / 1e6), file=sys.stderr)
        self.assertLess(peak, 96 * 1024)
        self.assertIn("/collect", paths)
        self.assertIn("/messages", paths)
        with open(self.home.log_path(), encoding="utf-8", errors="replace") as f:
            logged = f.read()
        self.assertIn("answer refused: larger than %d bytes" % CAP, logged)
        self.assertLessEqual(max(len(line) for line in logged.splitlines()), LONGEST_LOG_LINE)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
