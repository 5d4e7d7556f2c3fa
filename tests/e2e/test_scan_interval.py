"""The scanner's interval counts seconds below 100 and milliseconds from 100 on:
250 gives four passes a second, 2 one pass in two seconds, and 0, which would
spin, one pass a second. Runs the real agent with no display, where every pass
looks for a front application and logs that it tries to start a record; the
passes are counted from the debug log. Prints the figures."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_harness import PROMPT_END_SECONDS, AgentTestCase, wait_until  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

PASS_LINE = "[scanner]Start Record"


class ScanInterval(AgentTestCase):
    def passes(self):
        return sum(1 for m in self.home.messages() if m == PASS_LINE)

    def passes_per_second(self, scan_interval, window):
        self.home.write_settings({
            "url": "127.0.0.1:9", "api_url": "127.0.0.1:9", "first_time_running": False,
            "scan_interval": scan_interval, "push_initial_interval": 3600, "pull_initial_interval": 3600,
            "debug_log_level": 1 | 4 | 8})
        agent = self.start()
        wait_until(lambda: self.passes() >= 1, what="the first pass")
        before, started = self.passes(), time.monotonic()
        time.sleep(window)
        counted, elapsed = self.passes() - before, time.monotonic() - started
        code, took = agent.terminate()
        self.assertEqual(code, 0)
        self.assertLess(took, PROMPT_END_SECONDS, "SIGTERM ended the agent promptly")
        print("\n[ figures ] scan_interval %d: %d passes in %.2f s (%.2f a second)"
              % (scan_interval, counted, elapsed, counted / elapsed), file=sys.stderr)
        return counted, elapsed

    def test_from_one_hundred_the_interval_is_milliseconds(self):
        counted, elapsed = self.passes_per_second(250, 4.0)
        # Four a second; a busy machine gives fewer, never more than the sleeps allow.
        self.assertGreaterEqual(counted, 2 * elapsed)
        self.assertLessEqual(counted, elapsed / 0.25 + 1)

    def test_below_one_hundred_the_interval_is_seconds(self):
        counted, elapsed = self.passes_per_second(2, 6.0)
        self.assertGreaterEqual(counted, 2)
        self.assertLessEqual(counted, elapsed / 2 + 1)

    def test_zero_sleeps_a_second_instead_of_spinning(self):
        counted, elapsed = self.passes_per_second(0, 4.0)
        self.assertGreaterEqual(counted, 2)
        self.assertLessEqual(counted, elapsed + 1)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner, verbosity=2)
