"""Update checks of the real agent under Xvfb, openbox and trayer, signed in
as "1.0.0" at the service stand-in: "Check for Updates..." chosen in the
tray's menu shows the offered "1.2.3.45" in the update window, whose
Download button hands the download page to the desktop's opener (a recording
xdg-open: no browser opens); with "1.0.0" offered the window says this is the
newest version. The service's update message leads to one notification for a
newer version, however often it comes. Screenshots are kept in the build's
test-artifacts folder."""

import datetime
import os
import time
import unittest

from agent_windows import AgentWindows, recording_opener
from bundle_tree import bundle_program, trusting_bundle
from failure_report import ExplainingRunner
from standin_client import StandinProcess
from test_desktop_agent import (click_until_the_menu_is_drawn, desktop_with_tray, keep_drawn, screenshot,
                                sign_in_there, tray_icon_point)

UPDATE_WINDOW = "Kestrel Updates"
OFFERED = "[osx_ui:show_update_check] Offered to the user: Kestrel 1.2.3.45 (running 1.0.0)."
NEWEST = "[osx_ui:show_update_check] Told the user: the running 1.0.0 is the newest version."
TOLD = "[osx_ui:on_update_check_result] Kestrel 1.2.3.45 is available; the user is told."


class UpdateChecks(AgentWindows, unittest.TestCase):
    def setUp(self):
        self.desktop = desktop_with_tray(self)
        self.service = StandinProcess(os.path.join(self.desktop.home, "standin"))
        self.addCleanup(self.service.stop)
        self.bin = recording_opener(self.desktop.home)
        self.program = bundle_program(trusting_bundle(self.desktop.home, self.service.ca_cert))

    def start_agent(self):
        window = self.desktop.xterm("work window")
        self.desktop.focus(window, True)
        env = self.desktop.env(PATH=self.bin + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"))
        agent = self.desktop.start([self.program], env=env)  # ended by its id with the desktop
        point = tray_icon_point(self.desktop)
        # The loop's first passes set the menu up; a menu rebuilt while open loses its highlight.
        self.desktop.wait_until(lambda: self.desktop.debug_log().count("[ui:event_handler]after sleep") >= 2,
                                timeout=30)
        return agent, point

    def wait_for_line(self, line, timeout=30):
        self.desktop.wait_until(lambda: line in self.desktop.debug_log(), timeout=timeout)

    def opened(self):
        try:
            with open(os.path.join(self.bin, "opened.txt"), encoding="utf-8") as f:
                return f.read().split()
        except FileNotFoundError:
            return []

    def choose_check_for_updates(self, point, name):
        click_until_the_menu_is_drawn(self.desktop, point, name + "_menu.png")
        # From no highlight, Up reaches "Quit Kestrel", then "Check for Updates...".
        self.desktop.run(["xdotool", "key", "Up", "Up"])
        screenshot(self.desktop, name + "_menu_chosen.png")
        self.desktop.run(["xdotool", "key", "Return"])

    def keep_update_window(self, name):
        window = self.window(UPDATE_WINDOW)
        box = self.settled(window)
        self.keep(name, box)
        return window

    def test_check_for_updates_shows_the_offer_whose_button_opens_the_download_page_then_the_newest(self):
        sign_in_there(self.desktop, self.service.host, debug_log_level=0xFFFF, check_updates=False)
        agent, point = self.start_agent()

        self.choose_check_for_updates(point, "update_offer")
        self.wait_for_line(OFFERED)
        window = self.keep_update_window("update_window_offer.png")
        self.assertEqual(len(self.service.client.requests("/client_version")), 1)
        # The Download button has the focus when a version is offered.
        self.desktop.run(["xdotool", "windowactivate", "--sync", window, "key", "space"])
        self.desktop.wait_until(lambda: self.opened(), timeout=20)
        self.assertEqual(self.opened(), ["https://%s/download?src=client" % self.service.host])
        self.desktop.wait_until(lambda: self.desktop.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^%s$" % UPDATE_WINDOW]).returncode != 0, timeout=20)

        self.service.client.set_state(client_version={"major": 1, "minor": 0, "revision": 0, "build": 0})
        self.choose_check_for_updates(point, "update_newest")
        self.wait_for_line(NEWEST)
        self.keep_update_window("update_window_newest.png")
        self.assertEqual(len(self.service.client.requests("/client_version")), 2)
        self.assertEqual(len(self.opened()), 1)

        log = self.desktop.debug_log()
        self.assertFalse([line for line in log if "no update" in line], "a line says no update")
        self.assertNotIn(TOLD, log)  # what the user asked for is shown, not notified
        agent.terminate()
        self.assertEqual(agent.wait(timeout=30), 0)

    def test_the_services_update_message_tells_of_a_newer_version_once(self):
        checked = (datetime.datetime.now() - datetime.timedelta(days=1)).strftime("%Y-%b-%d %H:%M:%S")
        sign_in_there(self.desktop, self.service.host, debug_log_level=0xFFFF, check_updates=True,
                      last_update_check=checked, pull_initial_interval=1, pull_interval=2)
        self.service.client.set_state(messages=[3])
        agent, _ = self.start_agent()
        self.wait_for_line(TOLD, timeout=60)
        started = time.monotonic()
        shot = screenshot(self.desktop, "update_notification.png")
        # The message keeps coming: every pull makes a check due again, none tells twice.
        self.desktop.wait_until(lambda: len(self.service.client.requests("/client_version")) >= 3, timeout=60)
        log = self.desktop.debug_log()
        print("\n[ figures ] update message: %d checks asked the service, %d told the user (in %.1f s)"
              % (len(self.service.client.requests("/client_version")), log.count(TOLD),
                 time.monotonic() - started))
        self.assertEqual(log.count(TOLD), 1)
        self.assertIn("[puller:update_client]", log)
        self.assertFalse([line for line in log if "no update" in line], "a line says no update")
        self.assertTrue(os.path.getsize(shot) > 0)
        agent.terminate()
        self.assertEqual(agent.wait(timeout=30), 0)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
