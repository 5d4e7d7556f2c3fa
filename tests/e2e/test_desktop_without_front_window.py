"""With a window manager that names the active window (openbox), time when
no window is focused belongs to no application: the agent records the
xterm before and after, and nothing for the window manager in between, both
while the manager names no window and while it has not named one yet."""

import os
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scanner_x11 import AGENT, Desktop, parse_time, read_rows  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402


class DesktopWithoutFrontWindow(unittest.TestCase):
    def test_no_row_for_the_window_manager(self):
        desktop = Desktop(window_manager=True)
        try:
            alpha = desktop.xterm("alpha window")
            desktop.focus(alpha, True)
            desktop.write_settings({"scan_interval": 1, "idle_time_start": 300, "debug_log_level": 5,
                                    "url": "127.0.0.1:9", "api_url": "127.0.0.1:9",
                                    "push_initial_interval": 3600, "pull_initial_interval": 3600})
            desktop.mark_automation_explained()  # no note of the agent's own takes the focus
            agent = desktop.start([AGENT])
            self.keep_touching(desktop, 3.5)

            # A click on the bare desktop: openbox names no active window and
            # keeps the input focus on a window of its own.
            desktop.run(["xdotool", "mousemove", "1000", "740", "click", "1"])
            self.assertIn("0x0", desktop.run(["xprop", "-root", "_NET_ACTIVE_WINDOW"]).stdout)
            self.keep_touching(desktop, 2.5)
            # As before the manager first names a window: no _NET_ACTIVE_WINDOW at all.
            desktop.run(["xprop", "-root", "-remove", "_NET_ACTIVE_WINDOW"])
            self.keep_touching(desktop, 2.5)

            desktop.focus(alpha, True)
            self.keep_touching(desktop, 3.5)
            agent.send_signal(signal.SIGTERM)
            self.assertEqual(agent.wait(timeout=10), 0)
            rows = read_rows(desktop.activities_dir())
        finally:
            desktop.close()

        self.assertEqual([row[0] for row in rows], ["xterm", "xterm"], rows)
        self.assertEqual([row[3] for row in rows], ["alpha window", "alpha window"], rows)
        gap = (parse_time(rows[1][5]) - parse_time(rows[0][6])).total_seconds()
        self.assertGreaterEqual(gap, 4, rows)

    @staticmethod
    def keep_touching(desktop, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            desktop.touch()
            time.sleep(0.5)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
