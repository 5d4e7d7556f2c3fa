"""The agent as the user sees it, under Xvfb with trayer as the tray host.

Through tests/qt_probes/kes_ui_bridge_probe (the agent's own bridge, status
menu and controller): the drawn menu equals the model's rendering, the open
menu and the offline-time, focus and troubleshooting windows are in the
screenshots. With the real agent: its image is in the tray, a click opens
the menu, and SIGTERM ends it in order with its records in an upload file
(python's gzip and csv read them). Without a display it runs, records
nothing and ends on SIGTERM with exit code 0. Screenshots are kept in the
build's test-artifacts folder."""

import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_harness import AgentTestCase  # noqa: E402
from scanner_x11 import AGENT, BUILD_DIR, Desktop, read_rows  # noqa: E402
from test_desktop_tray import ARTIFACTS, Probe, colours  # noqa: E402

PROBE = os.path.join(BUILD_DIR, "tests", "kes_ui_bridge_probe")
RESOURCES = os.path.join(BUILD_DIR, "Kestrel.app", "Contents", "Resources")
KESTREL_RUST = "#D9622B"  # the normal status image's disc
ALERT_RED = "#C62828"     # the alert image's: a service that cannot be reached is a status error


def screenshot(desktop, name):
    os.makedirs(ARTIFACTS, exist_ok=True)
    path = os.path.join(ARTIFACTS, name)
    desktop.run(["import", "-window", "root", path])
    return path


def crop(image, box, name):
    """Keeps the part of a screenshot that shows one window, as its own artifact."""
    x, y, width, height = box
    path = os.path.join(ARTIFACTS, name)
    subprocess.run(["convert", image, "-crop", f"{width}x{height}+{x}+{y}", "+repage", path],
                   check=True, timeout=30)
    return path


def drawn(image, box):
    """Text, frames and controls: many shades, none taking the whole window."""
    counts = colours(image, box)
    return len(counts) > 8 and max(counts.values()) < 0.97 * box[2] * box[3]


def keep_drawn(desktop, name, box, content=None):
    """Waits until `content` (else `box`) of the screen is drawn, then keeps the
    screen as "screen_" + name and `box` alone as `name`; returns the latter's path."""
    desktop.wait_until(lambda: drawn(screenshot(desktop, "screen_" + name), content or box), timeout=20)
    return crop(os.path.join(ARTIFACTS, "screen_" + name), box, name)


def pixels_of(image, box, colour):
    """The (x, y) screen points of `colour` inside box."""
    x0, y0, width, height = box
    text = subprocess.run(["convert", image, "-crop", f"{width}x{height}+{x0}+{y0}", "+repage", "txt:-"],
                          capture_output=True, text=True, timeout=60, check=True).stdout
    found = []
    for line in text.splitlines()[1:]:
        place, _, rest = line.partition(":")
        if colour.lower() in rest.lower():
            px, py = (int(v) for v in place.split(","))
            found.append((x0 + px, y0 + py))
    return found


def menu_layout_problems(items, top=True):
    """What breaks the menu's layout rule: a leading separator, or two in a row."""
    problems = []
    previous_separator = True  # nothing before the first entry
    for item in items:
        if item["separator"] and previous_separator:
            problems.append("separator at the start" if item is items[0] else "two separators in a row")
        previous_separator = item["separator"]
        problems += menu_layout_problems(item.get("children", []), False)
    return problems


class BridgeProbe(Probe):
    """A probe of the agent's windows (by default the UI bridge's); answers as
    the desktop probe does."""

    def __init__(self, start, program=PROBE):
        self.process = start([program, "--resources", RESOURCES], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.pending = b""
        assert self.read().get("ready")


class WindowsOnTheDisplay(unittest.TestCase):
    def setUp(self):
        self.desktop = Desktop(window_manager=False)
        self.addCleanup(self.desktop.close)
        self.desktop.start_tray_host()
        self.probe = BridgeProbe(self.desktop.start)
        self.addCleanup(self.probe.close_pipes)

    def wait_for_the_item(self):
        state = {}
        self.desktop.wait_until(lambda: (state.update(self.probe.ask("state")) or
                                         (state["tray_available"] and state["geometry"][2] > 0)), timeout=20)
        return state

    def test_the_menu_is_drawn_as_the_model_renders_it_and_the_windows_show(self):
        state = self.wait_for_the_item()
        self.assertEqual(state["platform"], "xcb")

        def icon_drawn():
            state.update(self.probe.ask("state"))
            return colours(screenshot(self.desktop, "agent_tray_icon.png"), state["geometry"]).get(KESTREL_RUST, 0) > 40
        self.desktop.wait_until(icon_drawn, timeout=20)

        menu = self.probe.ask("menu")
        self.assertEqual(menu["drawn"], menu["rendered"])
        self.assertEqual(menu_layout_problems(menu["drawn"]), [])
        titles = [item.get("text") for item in menu["drawn"] if not item["separator"]]
        self.assertIn("Goals & Alerts...", titles)
        self.assertEqual(titles[-1], "Quit Kestrel")

        opened = self.probe.ask("open-menu")
        self.assertTrue(opened["menu_visible"])
        shot = screenshot(self.desktop, "agent_status_menu.png")
        self.assertGreater(len(colours(shot, opened["menu_geometry"])), 2)
        crop(shot, opened["menu_geometry"], "agent_status_menu_only.png")
        self.probe.ask("hide")

        for command, name in (("show offline", "offline_time_window.png"), ("show focus", "focus_window.png"),
                              ("show troubleshooting", "troubleshooting_window.png")):
            with self.subTest(window=command):
                shown = self.probe.ask(command)
                self.assertTrue(shown["visible"])
                keep_drawn(self.desktop, name, shown["geometry"])
                self.probe.ask("hide")
        self.assertEqual(self.probe.quit(), 0)


class RealAgentUnderXvfb(unittest.TestCase):
    def setUp(self):
        self.desktop = Desktop(window_manager=True)
        self.addCleanup(self.desktop.close)
        self.desktop.start_tray_host()
        # Signed in (no setup popover) and shown the Automation explanation
        # before: no window of the agent's own takes the focus.
        self.desktop.write_settings({"url": "127.0.0.1:9", "api_url": "127.0.0.1:9",
                                     "account_key": "AK-demo-7f3c9e21b8d44a0f9c5e", "first_time_running": False,
                                     "scan_interval": 1, "push_initial_interval": 3600,
                                     "pull_initial_interval": 3600})
        self.desktop.mark_automation_explained()

    def test_its_image_is_in_the_tray_a_click_opens_the_menu_and_sigterm_ends_it_in_order(self):
        window = self.desktop.xterm("alpha window")
        self.desktop.focus(window, True)
        agent = self.desktop.start([AGENT])
        tray_box = [0, 0, 1024, 32]  # trayer's strip at the top; it widens as icons dock

        points = []

        def icon_in_tray():
            shot = screenshot(self.desktop, "real_agent_tray.png")
            points[:] = pixels_of(shot, tray_box, KESTREL_RUST) or pixels_of(shot, tray_box, ALERT_RED)
            return len(points) > 40
        self.desktop.wait_until(icon_in_tray, timeout=30)
        x = sum(p[0] for p in points) // len(points)
        y = sum(p[1] for p in points) // len(points)

        below = [max(0, x - 260), y + 12, 260 + 40, 300]
        before = colours(screenshot(self.desktop, "real_agent_before_click.png"), below)
        self.desktop.run(["xdotool", "mousemove", str(x), str(y), "click", "1"])
        after = {}

        def menu_drawn():
            after.clear()
            after.update(colours(screenshot(self.desktop, "real_agent_menu.png"), below))
            return after != before and len(after) > 4
        self.desktop.wait_until(menu_drawn, timeout=20)
        self.desktop.run(["xdotool", "key", "Escape"])

        time.sleep(2.5)  # a few passes of the scanner
        started = time.monotonic()
        agent.send_signal(signal.SIGTERM)
        code = agent.wait(timeout=30)
        seconds = time.monotonic() - started
        print("\n[ figures ] SIGTERM to exit under Xvfb: %.2f s" % seconds, file=sys.stderr)
        self.assertEqual(code, 0)
        self.assertLess(seconds, 5.0)
        rows = read_rows(self.desktop.activities_dir())
        self.assertTrue(rows)
        self.assertTrue(all(len(row) == 12 for row in rows), rows)
        self.assertIn("alpha window", [row[3] for row in rows])


class NoDisplay(AgentTestCase):
    def test_it_runs_records_nothing_and_ends_on_sigterm_with_0(self):
        agent = self.start()
        self.assertTrue(agent.wait_for_message("[KestrelController:applicationDidFinishLaunching] No system tray"))
        time.sleep(1.5)
        code, _ = agent.terminate()
        self.assertEqual(code, 0)
        self.assertEqual(read_rows(os.path.join(self.home.data_dir, "activities")), [])
        self.assertEqual(self.home.messages()[-1], "***** Exiting Kestrel *****")


if __name__ == "__main__":
    unittest.main()
