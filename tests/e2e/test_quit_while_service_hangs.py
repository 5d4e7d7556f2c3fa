"""Quitting never waits for the service. The agent records two xterm windows
under Xvfb while the service stand-in hangs every request it gets, or sends a
list of 6,000 messages: SIGTERM still ends it with exit code 0 within 2 s, and
the records it held in memory are in an upload file (python reads them).

The agent runs from its own copy of the bundle, whose certificate bundle holds
the stand-in's certificate; every address is on 127.0.0.1.
"""

import os
import signal
import sys
import time
import unittest

from agent_harness import PROMPT_END_SECONDS, wait_until
from bundle_tree import bundle_program, trusting_bundle
from scanner_x11 import Desktop, read_rows
from standin_client import StandinProcess
from failure_report import ExplainingRunner

ACCOUNT_KEY = "AK-demo-7f3c9e21b8d44a0f9c5e"  # an account the stand-in knows
TITLES = ["alpha window", "beta window"]


class QuitWhileTheServiceHangs(unittest.TestCase):
    def setUp(self):
        self.desktop = Desktop(window_manager=True)
        self.service = StandinProcess(os.path.join(self.desktop.home, "standin"))
        self.bundle = trusting_bundle(self.desktop.home, self.service.ca_cert)
        # Records stay in memory: the pusher would flush them only after an hour.
        self.desktop.write_settings({
            "url": self.service.host, "api_url": self.service.host, "account_key": ACCOUNT_KEY,
            "first_time_running": False, "scan_interval": 1, "debug_log_level": 5,
            "push_initial_interval": 3600, "pull_initial_interval": 1, "pull_interval": 1})
        # Signed in: a first start would explain Automation in a window of its own.
        self.desktop.mark_automation_explained()

    def tearDown(self):
        self.service.stop()
        self.desktop.close()

    def record_two_windows_then_terminate(self, ready):
        """Records alpha, then beta; once `ready()` holds, SIGTERM: (exit code, seconds)."""
        windows = [self.desktop.xterm(title) for title in TITLES]
        self.desktop.focus(windows[0], True)
        agent = self.desktop.start([bundle_program(self.bundle)])
        time.sleep(2.5)
        self.desktop.focus(windows[1], True)
        time.sleep(2.5)
        wait_until(ready, what="the agent busy with the service")
        started = time.monotonic()
        agent.send_signal(signal.SIGTERM)
        try:
            code = agent.wait(timeout=90)
        finally:
            seconds = time.monotonic() - started
        print("\n[ figures ] SIGTERM to exit: %.2f s" % seconds, file=sys.stderr)
        return code, seconds

    def check_records_written(self):
        rows = read_rows(self.desktop.activities_dir())
        self.assertTrue(all(len(row) == 12 for row in rows), rows)
        self.assertEqual([row[3] for row in rows], TITLES, rows)

    def test_sigterm_while_every_request_hangs(self):
        self.service.client.script("*", {"stall": 600}, None)
        code, seconds = self.record_two_windows_then_terminate(
            lambda: len(self.service.client.requests()) >= 1)
        self.assertEqual(code, 0)
        self.assertLess(seconds, PROMPT_END_SECONDS)
        self.check_records_written()

    def test_sigterm_while_acting_on_six_thousand_messages(self):
        self.service.client.set_state(messages=[1] * 6000)
        code, seconds = self.record_two_windows_then_terminate(
            lambda: len(self.service.client.requests("/api/alerts")) >= 20)
        self.assertEqual(code, 0)
        self.assertLess(seconds, PROMPT_END_SECONDS)
        self.check_records_written()
        # Between two message lists at most 16 messages were acted on.
        acted = 0
        for request in self.service.client.requests():
            if request["path"] == "/messages":
                acted = 0
            elif request["path"] == "/api/alerts":
                acted += 1
                self.assertLessEqual(acted, 16)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
