"""The desktop services on a real X server: under Xvfb with trayer as the tray
host, the status item shows its image in the tray, its menu opens beneath it,
and a notification is a balloon; screenshots stay as test artifacts. The
toolkit's connection hears of no root property change, yet follows the work
area and finds a tray host that comes later. Without a display the same
program runs offscreen and logs notifications instead."""

import json
import os
import select
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scanner_x11 import BUILD_DIR, Desktop  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402
from waiting import TimedOut  # noqa: E402

PROBE = os.path.join(BUILD_DIR, "tests", "kes_desktop_probe")
ARTIFACTS = os.path.join(BUILD_DIR, "test-artifacts")
MAGENTA = "#FF00FF"


class Probe:
    """The desktop probe; always ended by `close`."""

    def __init__(self, start):
        self.process = start([PROBE], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.pending = b""
        assert self.read().get("ready")

    def read(self, timeout=20.0):
        while b"\n" not in self.pending:
            ready, _, _ = select.select([self.process.stdout], [], [], timeout)
            if not ready:
                raise TimeoutError("the probe did not answer")
            chunk = os.read(self.process.stdout.fileno(), 4096)
            if not chunk:
                raise EOFError("the probe ended")
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return json.loads(line)

    def ask(self, command):
        self.process.stdin.write((command + "\n").encode())
        self.process.stdin.flush()
        return self.read()

    def quit(self):
        self.process.stdin.write(b"quit\n")
        self.process.stdin.flush()
        return self.process.wait(timeout=20)

    def close_pipes(self):
        self.process.stdin.close()
        self.process.stdout.close()


def colours(image, box):
    """Pixel counts per colour inside box = [x, y, width, height]."""
    x, y, width, height = box
    histogram = subprocess.run(
        ["convert", image, "-crop", f"{width}x{height}+{x}+{y}", "+repage", "-format", "%c", "histogram:info:-"],
        capture_output=True, text=True, timeout=30, check=True).stdout
    counts = {}
    for line in histogram.splitlines():
        count, _, rest = line.strip().partition(":")
        colour = next((word for word in rest.split() if word.startswith("#")), None)
        if colour:
            counts[colour[:7].upper()] = counts.get(colour[:7].upper(), 0) + int(count)
    return counts


class TrayUnderXvfb(unittest.TestCase):
    def setUp(self):
        os.makedirs(ARTIFACTS, exist_ok=True)
        self.desktop = Desktop(window_manager=False)
        self.addCleanup(self.desktop.close)
        self.desktop.start_tray_host()

    def screenshot(self, name):
        path = os.path.join(ARTIFACTS, name)
        self.desktop.run(["import", "-window", "root", path])
        self.assertTrue(os.path.getsize(path) > 0)
        return path

    def test_the_item_shows_in_the_tray_its_menu_opens_beneath_it_and_notifications_are_balloons(self):
        probe = Probe(self.desktop.start)
        self.addCleanup(probe.close_pipes)
        state = {}
        self.desktop.wait_until(lambda: (state.update(probe.ask("state")) or
                                         (state["tray_available"] and state["geometry"][2] > 0)), timeout=20)
        self.assertEqual(state["platform"], "xcb")
        self.assertTrue(state["has_screen"])
        self.assertTrue(state["visible"])

        # Embedding and painting follow the geometry: the image is looked for
        # until it is there.
        found = {}

        def icon_drawn():
            state.update(probe.ask("state"))
            found.clear()
            found.update(colours(self.screenshot("tray_icon.png"), state["geometry"]))
            return found.get(MAGENTA, 0) > 100

        try:
            self.desktop.wait_until(icon_drawn, timeout=20)
        except TimedOut:
            self.fail(f"tray icon not in the screenshot at {state['geometry']}: {found}")

        menu = probe.ask("open-menu")
        self.assertTrue(menu["menu_visible"])
        self.assertEqual(menu["menu_openings"], 1)
        x, y, width, height = menu["menu_geometry"]
        icon_x, icon_y, _, icon_height = state["geometry"]
        self.assertGreaterEqual(y, icon_y + icon_height - 1, "the menu opens beneath the item")
        self.assertLessEqual(x, icon_x)
        shot = self.screenshot("tray_menu.png")
        drawn = colours(shot, menu["menu_geometry"])
        self.assertGreater(len(drawn), 2, f"the menu area holds no drawn menu: {drawn}")

        self.assertEqual(probe.ask("notify Focus session ended")["delivery"], "shown")
        self.screenshot("tray_balloon.png")
        self.assertEqual(probe.quit(), 0)


class RootPropertiesUnderXvfb(unittest.TestCase):
    """Every window switch changes root properties; none of them may wake the
    toolkit's threads. The work area, the one root property the toolkit
    follows, reaches it through the window session's pass instead."""

    def test_root_changes_stay_off_the_toolkit_while_the_work_area_and_a_late_tray_reach_it(self):
        desktop = Desktop(window_manager=True)
        self.addCleanup(desktop.close)
        probe = Probe(desktop.start)
        self.addCleanup(probe.close_pipes)
        self.assertEqual(probe.ask("work-area")["work_area"], [0, 0, 1024, 768])

        taken_in = probe.ask("pass")["changes"]
        for n in range(5):
            desktop.run(["xprop", "-root", "-f", "_KES_PROBE_MARK", "8s", "-set", "_KES_PROBE_MARK", f"mark {n}"])
        # The server sent them: the window session's connection has them all.
        desktop.wait_until(lambda: probe.ask("pass")["changes"] >= taken_in + 5)
        time.sleep(1)  # what the toolkit's connection was sent alike has arrived too
        self.assertEqual(probe.ask("root-events")["root_property_events"], 0)

        # A panel reserves the top 40 pixels: the window manager shrinks the work area.
        panel = desktop.xterm("panel")
        desktop.run(["xprop", "-id", panel, "-f", "_NET_WM_STRUT", "32c", "-set", "_NET_WM_STRUT", "0,0,40,0"])

        def work_area_moved():
            probe.ask("pass")
            return probe.ask("work-area")["work_area"] == [0, 40, 1024, 728]
        try:
            desktop.wait_until(work_area_moved, timeout=20)
        except TimedOut:
            self.fail(f"the toolkit's work area stayed {probe.ask('work-area')['work_area']}")

        desktop.start_tray_host()
        state = {}
        desktop.wait_until(lambda: state.update(probe.ask("state")) or state["tray_available"], timeout=20)
        self.assertGreater(probe.ask("pass")["changes"], taken_in + 5)
        self.assertEqual(probe.ask("root-events")["root_property_events"], 0)
        self.assertEqual(probe.quit(), 0)


class NoDisplay(unittest.TestCase):
    def run_probe(self, display):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "QT_QPA_PLATFORM")}
        if display is not None:
            env["DISPLAY"] = display
        process = subprocess.run([PROBE], input="state\nnotify nobody sees this\nquit\n", env=env,
                                 capture_output=True, text=True, timeout=60)
        answers = [json.loads(line) for line in process.stdout.splitlines()]
        return process, answers

    def test_without_a_display_it_runs_offscreen_and_logs_notifications(self):
        for display in (None, ":999"):  # unset, and a display where no server answers
            with self.subTest(display=display):
                process, answers = self.run_probe(display)
                self.assertEqual(process.returncode, 0, process.stderr)
                self.assertEqual(answers[1]["platform"], "offscreen")
                self.assertFalse(answers[1]["has_screen"])
                self.assertFalse(answers[1]["tray_available"])
                self.assertEqual(answers[2]["delivery"], "logged")
                self.assertIn("[notification] Kestrel Alert: nobody sees this", process.stderr)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
