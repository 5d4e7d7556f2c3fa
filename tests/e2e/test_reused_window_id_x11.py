"""The real agent records a program closed and started again: an xterm
"victim 1" in front and recorded, then closed; a new xterm "victim 2", which
the X server gives the closed one's window id (it hands a closed client's
id range to the next client), is brought to the front four times between
stretches of another window. The agent's rows for "victim 2" cover the time
it was in front."""

import os
import signal
import sys
import time
import unittest
from datetime import datetime

from Xlib import X, Xatom, error
from Xlib import display as xdisplay

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from failure_report import ExplainingRunner  # noqa: E402
from scanner_x11 import AGENT, Desktop, parse_time, read_rows  # noqa: E402

SETUP_ATTEMPTS = 5
STRETCHES = 4
IN_FRONT = 4.0    # seconds "victim 2" stays in front each time
ELSEWHERE = 3.0   # seconds the other window does
# A focus change is seen at the next pass (1 s apart) and times are written
# in whole seconds: each stretch may lose two seconds of its rows.
TOLERANCE = 2


class ClientList:
    """The window manager's list of the windows it manages, read on one
    connection kept open: a client that came and went (xdotool) while the
    xterm connects would take the lowest free id range itself."""

    def __init__(self, desktop):
        self.display = xdisplay.Display(desktop.display)
        self.root = self.display.screen().root
        self.client_list = self.display.intern_atom("_NET_CLIENT_LIST")

    def window_named(self, title):
        listed = self.root.get_full_property(self.client_list, Xatom.WINDOW)
        for window_id in (listed.value if listed else []):
            window = self.display.create_resource_object("window", window_id)
            try:
                name = window.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
            except error.XError:
                continue
            if name is not None and name.value in (title, title.encode()):
                return str(window_id)
        return None

    def close(self):
        self.display.close()


def start_xterm(desktop, windows, title):
    """A real xterm and its window id (decimal, as xdotool names it)."""
    process = desktop.start(["xterm", "-T", title, "-geometry", "60x10", "-e", "sleep", "600"])
    found = []

    def listed():
        found[:] = [windows.window_named(title)]
        return found[0] is not None
    desktop.wait_until(listed)
    return process, found[0]


def hold(desktop, seconds):
    """The user at work: input now and then, so no idle time builds up."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        desktop.touch()
        time.sleep(min(0.5, max(0.0, deadline - time.monotonic())))


def seconds_covered(rows, title, begin, end):
    """Seconds of [begin, end) that rows with this title cover."""
    covered = 0.0
    for row in rows:
        if row[3] != title:
            continue
        start, stop = parse_time(row[5]), parse_time(row[6])
        covered += max(0.0, (min(stop, end) - max(start, begin)).total_seconds())
    return covered


class ReusedWindowId(unittest.TestCase):
    def scenario(self, attempt):
        """Runs the scenario; None when the new xterm did not get the closed
        one's id (another client connected in between), to be tried again."""
        desktop = Desktop(window_manager=True)
        windows = None
        try:
            windows = ClientList(desktop)
            _, other = start_xterm(desktop, windows, "other window")
            victim_1, first_id = start_xterm(desktop, windows, "victim 1")
            desktop.focus(first_id, True)
            desktop.write_settings({"scan_interval": 1, "debug_log_level": 5, "url": "127.0.0.1:9",
                                    "api_url": "127.0.0.1:9", "push_initial_interval": 3600,
                                    "pull_initial_interval": 3600})
            desktop.mark_automation_explained()  # no note of the agent's own takes the focus
            agent = desktop.start([AGENT])
            hold(desktop, 3)

            victim_1.terminate()
            victim_1.wait(timeout=10)
            desktop.wait_until(lambda: windows.window_named("victim 1") is None)
            _, second_id = start_xterm(desktop, windows, "victim 2")
            print(f"attempt {attempt}: victim 1 had window {int(first_id):#x}, victim 2 got {int(second_id):#x}",
                  flush=True)
            if second_id != first_id:
                agent.send_signal(signal.SIGTERM)
                agent.wait(timeout=15)
                return None

            stretches = []
            for _ in range(STRETCHES):
                desktop.focus(other, True)
                hold(desktop, ELSEWHERE)
                desktop.focus(second_id, True)
                began = datetime.now()
                hold(desktop, IN_FRONT)
                stretches.append((began, datetime.now()))
            desktop.focus(other, True)
            hold(desktop, 2)
            agent.send_signal(signal.SIGTERM)
            self.assertEqual(agent.wait(timeout=15), 0)
            return stretches, read_rows(desktop.activities_dir())
        finally:
            if windows:
                windows.close()
            desktop.close()

    def test_a_new_window_with_a_closed_ones_id_is_recorded(self):
        for attempt in range(1, SETUP_ATTEMPTS + 1):
            outcome = self.scenario(attempt)
            if outcome:
                break
        else:
            self.fail(f"the new xterm never got the closed one's window id in {SETUP_ATTEMPTS} attempts")
        stretches, rows = outcome
        self.assertTrue(any(row[3] == "victim 1" for row in rows), rows)
        in_front = sum((end - begin).total_seconds() for begin, end in stretches)
        recorded = sum((parse_time(row[6]) - parse_time(row[5])).total_seconds()
                       for row in rows if row[3] == "victim 2")
        print(f"victim 2: {in_front:.1f} s in front in {len(stretches)} stretches, {recorded:.0f} s of rows",
              flush=True)
        coverage = []
        for begin, end in stretches:
            length = (end - begin).total_seconds()
            covered = seconds_covered(rows, "victim 2", begin.replace(microsecond=0), end)
            print(f"  stretch of {length:.1f} s from {begin:%H:%M:%S}: {covered:.0f} s of rows", flush=True)
            coverage.append((length, covered))
        for length, covered in coverage:
            self.assertGreaterEqual(covered, length - TOLERANCE, rows)
        self.assertLessEqual(recorded, in_front + TOLERANCE * len(stretches), rows)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
