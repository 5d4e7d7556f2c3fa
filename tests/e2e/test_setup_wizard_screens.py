"""The setup popover and every page of the wizard on a real display: Xvfb
with openbox as the window manager and trayer as the tray host, through
tests/qt_probes/kes_setup_probe (the agent's own controller, popover and
wizard, a new user, a permission the script gives, a URL opener that only
records). Each screen is kept as a test artifact, cropped to its window and
checked to be drawn (many shades, none filling the window), and so is the
Automation explanation in a window of its own. The window keeps
its top edge when the proxy fields open and close and when a page follows,
as the window manager places it."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scanner_x11 import BUILD_DIR, Desktop  # noqa: E402
from test_desktop_agent import BridgeProbe, keep_drawn  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

PROBE = os.path.join(BUILD_DIR, "tests", "kes_setup_probe")


class WizardOnTheDisplay(unittest.TestCase):
    def setUp(self):
        self.desktop = Desktop(window_manager=True)
        self.addCleanup(self.desktop.close)
        self.desktop.start_tray_host()
        self.probe = BridgeProbe(self.desktop.start, PROBE)
        self.addCleanup(self.probe.close_pipes)

    def keep(self, name, box):
        """A screenshot of the whole screen and of `box` alone, once the box is drawn."""
        keep_drawn(self.desktop, name, box)

    def test_the_popover_and_every_page_are_drawn_and_the_top_edge_stays(self):
        # The explanation on its own, as a set-up user meets it once: its title strip shows.
        alone = self.probe.ask("explanation")
        self.assertTrue(alone["visible"])
        self.keep("automation_explanation_window.png", alone["geometry"])
        self.probe.ask("acknowledge-alone")

        popover = self.probe.ask("popover")
        self.assertTrue(popover["visible"])
        self.keep("setup_popover.png", popover["geometry"])

        page = self.probe.ask("open")
        self.assertFalse(page["popover_visible"])
        self.assertEqual(page["pages"], ["osx_SetupLoginViewController", "osx_SetupAccessibilityViewController",
                                         "osx_SetupAutomationViewController", "osx_SetupDoneViewController"])
        self.assertEqual(page["page"], "osx_SetupLoginViewController")
        self.assertEqual(page["geometry"][2:], [500, 475])
        self.keep("setup_sign_in.png", page["geometry"])
        top = page["geometry"][1]

        opened = self.probe.ask("proxy")
        self.assertEqual(opened["geometry"][2:], [500, 598])
        self.assertEqual(opened["geometry"][:2], page["geometry"][:2])
        self.keep("setup_sign_in_proxy.png", opened["geometry"])
        closed = self.probe.ask("proxy")
        self.assertEqual(closed["geometry"], page["geometry"])

        failed = self.probe.ask("status Wrong e-mail address or password.")
        self.keep("setup_sign_in_failed.png", failed["geometry"])

        permission = self.probe.ask("signed-in")
        self.assertEqual(permission["page"], "osx_SetupAccessibilityViewController")
        self.assertEqual(permission["geometry"][1], top)
        # The horizontal centre stays (within a pixel of rounding).
        centre = page["geometry"][0] + page["geometry"][2] / 2
        self.assertLessEqual(abs(permission["geometry"][0] + permission["geometry"][2] / 2 - centre), 1)
        self.keep("setup_accessibility.png", permission["geometry"])

        automation = self.probe.ask("trust")
        self.assertEqual(automation["page"], "osx_SetupAutomationViewController")
        self.assertEqual(automation["geometry"][1], top)
        self.keep("setup_automation.png", automation["geometry"])

        done = self.probe.ask("acknowledge")
        self.assertEqual(done["page"], "osx_SetupDoneViewController")
        self.keep("setup_done.png", done["geometry"])

        finished = self.probe.ask("finish")
        self.assertFalse(finished["visible"])
        self.assertEqual(len(finished["opened"]), 1)
        self.assertTrue(finished["opened"][0].endswith("/setup/done?src=client"), finished["opened"])
        self.assertEqual(self.probe.quit(), 0)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
