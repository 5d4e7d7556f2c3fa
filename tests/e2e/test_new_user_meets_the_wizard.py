"""A new user's first start on a desktop: the real agent under Xvfb (openbox,
trayer) with no account shows the setup popover beside its tray item; a
click on its button opens the wizard; the e-mail address and password typed
into it (xdotool) sign in at the service stand-in, once; the wizard moves on
by itself, and its last button opens the setup-done page through a fake
xdg-open that only records. Python reads the stored keys from kestreld.json;
the debug log, with every category on, holds no password. Screenshots are
kept as test artifacts."""

import json
import os
import signal
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("KES_SOURCE_DIR") or os.path.join(HERE, "..", "..")
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "standin"))
from agent_windows import AgentWindows, recording_opener, standin_bundle  # noqa: E402
from client import StandinProcess  # noqa: E402
from scanner_x11 import Desktop  # noqa: E402

EMAIL = "demo@kestrel.test"
PASSWORD = "demo-Password-4711"
ACCOUNT_KEY = "AK-demo-7f3c9e21b8d44a0f9c5e"


class NewUserOnADesktop(AgentWindows, unittest.TestCase):
    def setUp(self):
        self.desktop = Desktop(window_manager=True)
        self.addCleanup(self.desktop.close)
        self.service = StandinProcess(os.path.join(self.desktop.home, "standin"))
        self.addCleanup(self.service.stop)
        self.desktop.start_tray_host()
        # The agent's own bundle, trusting the stand-in.
        self.bundle = standin_bundle(self.desktop.home, self.service)
        # No browser ever opens: the first xdg-open on PATH only writes down what it was given.
        self.bin = recording_opener(self.desktop.home)
        self.desktop.write_settings({"url": self.service.host, "api_url": self.service.host,
                                     "debug_log_level": 0xFFFF, "first_time_running": False,
                                     "push_initial_interval": 3600, "pull_initial_interval": 3600})

    def sign_in_requests(self):
        return [r for r in self.service.client.requests("/activate")
                if any(name == "password" for name, _ in r["fields"])]

    def test_the_popover_opens_the_wizard_which_signs_in_and_closes_on_the_setup_done_page(self):
        self.walk_through_the_wizard("new_user", {})
        self.assertIn("[osx_ui:init] Session: X11 session: Kestrel reads the application in front and the title of "
                      "its window.", self.desktop.debug_log())

    def test_in_a_wayland_session_the_accessibility_page_says_what_cannot_be_read_and_goes_on(self):
        """Xvfb stands in for Xwayland: the X server answers, the session is Wayland."""
        self.walk_through_the_wizard("wayland", {"XDG_SESSION_TYPE": "wayland", "WAYLAND_DISPLAY": "wayland-kes-0"},
                                     wayland=True)
        self.assertTrue(any(line.startswith("[osx_ui:init] Session: Wayland session: Kestrel reads only "
                                            "applications that run on X11") for line in self.desktop.debug_log()))

    def walk_through_the_wizard(self, shots, session, wayland=False):
        front = self.desktop.xterm("work window")
        self.desktop.focus(front, True)
        env = self.desktop.env(PATH=self.bin + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"), **session)
        agent = subprocess.Popen([os.path.join(self.bundle, "Contents", "MacOS", "Kestrel")], env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.desktop.processes.append(agent)  # ended by its id with the desktop

        popover = self.window("Kestrel")
        box = self.geometry(popover)
        self.keep(shots + "_popover.png", box)
        # Its button sits at its bottom right.
        self.click_bottom_right(popover, 60, 24)

        wizard = self.window("Kestrel Setup")
        self.keep(shots + "_sign_in.png", self.geometry(wizard))
        self.desktop.run(["xdotool", "windowactivate", "--sync", wizard])
        # The e-mail field has the keyboard.
        self.desktop.run(["xdotool", "type", "--delay", "20", EMAIL])
        self.desktop.run(["xdotool", "key", "Tab"])
        self.desktop.run(["xdotool", "type", "--delay", "20", PASSWORD])
        self.desktop.run(["xdotool", "key", "Return", "Return"])

        settings_file = os.path.join(self.desktop.data_dir(), "kestreld.json")

        def signed_in():
            try:
                with open(settings_file, encoding="utf-8") as f:
                    return json.load(f).get("account_key") == ACCOUNT_KEY
            except (OSError, ValueError):
                return False
        self.desktop.wait_until(signed_in, timeout=30)
        self.assertEqual(len(self.sign_in_requests()), 1)

        if wayland:
            # Nothing to wait for: the page explains, and its button goes on.
            box = self.settled(wizard, [540, 500])
            self.keep(shots + "_accessibility.png", box)
            self.click_bottom_right(wizard, 80, 30)  # "Continue"
        # Otherwise the window in front could be read all along: the Automation page follows.
        box = self.settled(wizard, [540, 300])
        self.keep(shots + "_automation.png", box)
        self.click_bottom_right(wizard, 80, 30)  # "OK, Got It"
        box = self.settled(wizard, [480, 330])
        self.keep(shots + "_done.png", box)
        self.click_bottom_right(wizard, 80, 30)  # "Finish"

        opened = os.path.join(self.bin, "opened.txt")
        self.desktop.wait_until(lambda: os.path.exists(opened), timeout=20)
        with open(opened) as f:
            self.assertEqual(f.read().split(), ["https://%s/setup/done?src=client" % self.service.host])
        gone = self.desktop.run(["xdotool", "search", "--onlyvisible", "--name", "^Kestrel Setup$"])
        self.assertNotEqual(gone.returncode, 0, "the wizard's window closed")

        agent.send_signal(signal.SIGTERM)
        self.assertEqual(agent.wait(timeout=30), 0)
        with open(os.path.join(self.desktop.data_dir(), "log", "debug_log.txt"), encoding="utf-8",
                  errors="replace") as f:
            log = f.read()
        self.assertNotIn(PASSWORD, log)
        self.assertIn("[KestrelController]activate: 0x", log)


if __name__ == "__main__":
    unittest.main()
