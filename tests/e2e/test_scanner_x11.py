"""The scanner records real X11 windows: with and without a window manager,
focus switched by xdotool at known moments, idle time from the server, and
the orderly end on SIGTERM writing the open record."""

import json
import os
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scanner_x11 import AGENT, Desktop, PROBE, parse_time, read_rows  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

IDLE_TIME_START = 3
SCRIPT_DELAY_MS = 40


class ScannerOnX11(unittest.TestCase):
    def scenario(self, window_manager, program="probe"):
        desktop = Desktop(window_manager)
        try:
            alpha = desktop.xterm("alpha window")
            beta = desktop.xterm("beta window")
            desktop.focus(alpha, window_manager)
            report = os.path.join(desktop.home, "report.json")
            if program == "agent":
                desktop.write_settings({"scan_interval": 1, "idle_time_start": IDLE_TIME_START,
                                        "debug_log_level": 5, "url": "127.0.0.1:9", "api_url": "127.0.0.1:9",
                                        "push_initial_interval": 3600, "pull_initial_interval": 3600})
                desktop.mark_automation_explained()  # no note of the agent's own takes the focus
                probe = desktop.start([AGENT])
            else:
                probe = desktop.start([PROBE, "--scan-interval", "1", "--idle-time-start", str(IDLE_TIME_START),
                                       "--script-delay-ms", str(SCRIPT_DELAY_MS), "--debug-log-level", "5",
                                       "--report", report])
            for window in (beta, alpha, beta):
                for _ in range(5):
                    time.sleep(0.5)
                    desktop.touch()
                desktop.focus(window, window_manager)
            time.sleep(2.5)
            # Away from the keyboard: nothing for well past the idle threshold.
            time.sleep(IDLE_TIME_START + 4)
            for _ in range(6):  # back, at the same window
                desktop.touch()
                time.sleep(0.5)
            probe.send_signal(signal.SIGTERM)
            self.assertEqual(probe.wait(timeout=10), 0)
            rows = read_rows(desktop.activities_dir())
            if program == "agent":
                return rows, None
            with open(report, encoding="utf-8") as f:
                return rows, json.load(f)
        finally:
            desktop.close()

    def check_rows(self, rows):
        self.assertTrue(all(len(row) == 12 for row in rows), rows)
        titles = [row[3] for row in rows]
        self.assertEqual(titles, ["alpha window", "beta window", "alpha window", "beta window", "beta window"],
                         rows)
        self.assertTrue(all(row[0] == "xterm" for row in rows), rows)
        starts = [parse_time(row[5]) for row in rows]
        ends = [parse_time(row[6]) for row in rows]
        for start, end in zip(starts, ends):
            self.assertLessEqual(start, end, rows)
        # Focus changes: each record ends where the next begins.
        for i in range(3):
            self.assertEqual(ends[i], starts[i + 1], rows)
        # The idle record ends a threshold before the idleness was seen, so
        # the record of the return starts at least that long after it.
        self.assertGreaterEqual((starts[4] - ends[3]).total_seconds(), IDLE_TIME_START, rows)
        self.assertGreaterEqual((ends[4] - starts[4]).total_seconds(), 1, rows)

    def test_without_window_manager_scripts_answer_on_the_main_thread(self):
        rows, report = self.scenario(window_manager=False)
        self.check_rows(rows)
        scripts = report["scripts"]
        self.assertTrue(scripts, "a bare server has no _NET_ACTIVE_WINDOW: the scripts answer")
        self.assertTrue(all(run["on_main_thread"] for run in scripts))
        self.assertEqual({run["script"] for run in scripts},
                         {"GetProcessID", "CurrentApplicationName", "CurrentApplicationPath"})
        # Every script ran inside a scanner pass: the pass waited for it.
        passes = report["passes"]
        for run in scripts:
            self.assertTrue(any(p["begin_ms"] <= run["begin_ms"] and run["end_ms"] <= p["end_ms"]
                                for p in passes), run)
        longest = max(p["end_ms"] - p["begin_ms"] for p in passes)
        self.assertGreaterEqual(longest, SCRIPT_DELAY_MS)

    def test_with_window_manager_the_active_window_answers(self):
        rows, report = self.scenario(window_manager=True)
        self.check_rows(rows)
        self.assertEqual(report["scripts"], [], "with _NET_ACTIVE_WINDOW no script is needed")

    def test_agent_records_with_window_manager_and_writes_the_open_record_at_its_end(self):
        rows, _ = self.scenario(window_manager=True, program="agent")
        self.check_rows(rows)

    def test_agent_records_on_a_bare_server(self):
        rows, _ = self.scenario(window_manager=False, program="agent")
        self.check_rows(rows)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
