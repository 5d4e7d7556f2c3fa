"""The X server dies under the running agent. The toolkit then ends the process
itself (exit code 1) and the orderly end never runs; the record open at that
moment still reaches the journal, the cause is in the debug log, and at the
next start the record reaches the service exactly once."""

import json
import os
import sys
import tempfile
import shutil
import time
import unittest

from agent_harness import PROMPT_END_SECONDS, wait_until
from bundle_tree import bundle_program, trusting_bundle
from scanner_x11 import Desktop
from service_rows import received_rows
from standin_client import DEMO_ACCOUNT_KEY as ACCOUNT_KEY, DEMO_DATA_KEY as DATA_KEY
from standin_client import StandinProcess, end_process
from failure_report import ExplainingRunner

TITLE = "open-when-the-display-died"


class DisplayLost(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="kes-display-lost-")
        self.desktop = Desktop(window_manager=True)
        self.service = StandinProcess(os.path.join(self.root, "standin"))
        self.program = bundle_program(trusting_bundle(self.root, self.service.ca_cert))
        self.agents = []

    def tearDown(self):
        for agent in self.agents:
            end_process(agent)
        self.service.stop()
        self.desktop.close()
        shutil.rmtree(self.root, ignore_errors=True)

    def start_agent(self, with_display):
        env = self.desktop.env(KES_REACHABILITY_PROBE_URL="http://127.0.0.1:%d/" % self.service.probe_port)
        if not with_display:
            env.pop("DISPLAY")
        agent = self.desktop.start([self.program], env=env)
        self.agents.append(agent)
        return agent

    def settings(self, **changes):
        path = os.path.join(self.desktop.data_dir(), "kestreld.json")
        with open(path, encoding="utf-8") as f:
            settings = json.load(f)
        settings.update(changes)
        self.desktop.write_settings(settings)

    def test_the_open_record_survives_the_display(self):
        window = self.desktop.xterm(TITLE)
        self.desktop.focus(window, True)
        self.desktop.mark_automation_explained()
        # One pass at the start opens the record; the next would come after a minute.
        self.desktop.write_settings({
            "url": self.service.host, "api_url": self.service.host, "account_key": ACCOUNT_KEY,
            "data_key": DATA_KEY, "first_time_running": False, "scan_interval": 60, "idle_time_start": 86400,
            "push_initial_interval": 3600, "pull_initial_interval": 3600, "debug_log_level": 1 | 4 | 8})
        agent = self.start_agent(with_display=True)
        wait_until(lambda: "[scanner]Window title = " + TITLE in self.desktop.debug_log(),
                   what="the record's start")
        time.sleep(1)  # the rest of the pass that opened it

        self.desktop.server.kill()
        killed = time.monotonic()
        code = agent.wait(timeout=20)
        print("\n[ figures ] the agent ended %.2f s after the X server, with code %d"
              % (time.monotonic() - killed, code), file=sys.stderr)
        self.assertEqual(code, 1, "the toolkit's own exit, not a crash")
        lines = self.desktop.debug_log()
        self.assertTrue(any(line.startswith("[main] The process is ending without its orderly end; the toolkit's "
                                            "last warning was: ") for line in lines), lines[-10:])
        completed = [line for line in lines if line.startswith('[scanner]"xterm"')]
        self.assertEqual(len(completed), 1, lines[-10:])
        self.assertIn('"%s"' % TITLE, completed[0])

        # The next start, without a display, sends what the journal kept.
        self.settings(push_initial_interval=1, push_interval=1, debug_log_level=1 | 4)
        agent = self.start_agent(with_display=False)
        wait_until(lambda: any(key[1] == TITLE for key in received_rows(self.service.client, ACCOUNT_KEY)[0]),
                   timeout=60, what="the open record at the service")
        time.sleep(2)  # a second upload of it would come within two push intervals
        agent.send_signal(15)
        stopping = time.monotonic()
        self.assertEqual(agent.wait(timeout=3 * PROMPT_END_SECONDS), 0)
        ended = time.monotonic() - stopping
        print("\n[ figures ] SIGTERM ended the agent in %.2f s" % ended, file=sys.stderr)
        self.assertLess(ended, PROMPT_END_SECONDS)
        rows, _ = received_rows(self.service.client, ACCOUNT_KEY)
        self.assertEqual([len(where) for key, where in rows.items() if key[1] == TITLE], [1], rows)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner, verbosity=2)
