"""A new user's first start on a desktop: the real agent under Xvfb (openbox,
trayer) with no account shows the setup popover beside its tray item; a
click on its button opens the wizard; the e-mail address and password typed
into it (xdotool) sign in at the service stand-in, once; the wizard moves on
by itself, and its last button opens the setup-done page through a fake
xdg-open that only records. Python reads the stored keys from kestreld.json;
the debug log, with every category on, holds no password; the sign-in names
the computer as the firmware's DMI data in sysfs does. In a Wayland session
the Accessibility page says what cannot be read and goes on. When the
service fails the check of the new account (a 500), the wizard stays on its
sign-in page and says why, and no key is kept. A second-factor code the
service refuses brings the prompt back with the service's words; after the
fifth the page says that the sign-in has ended. Screenshots are kept as test
artifacts."""

import json
import os
import signal
import unittest

from agent_windows import AgentWindows, recording_opener
from bundle_tree import bundle_program, trusting_bundle
from scanner_x11 import Desktop
from standin_client import StandinProcess
from failure_report import ExplainingRunner

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
        self.bundle = trusting_bundle(self.desktop.home, self.service.ca_cert)
        # No browser ever opens: the first xdg-open on PATH only writes down what it was given.
        self.bin = recording_opener(self.desktop.home)
        self.desktop.write_settings({"url": self.service.host, "api_url": self.service.host,
                                     "debug_log_level": 0xFFFF, "first_time_running": False,
                                     "push_initial_interval": 3600, "pull_initial_interval": 3600})

    def sign_in_requests(self):
        return [r for r in self.service.client.requests("/activate")
                if any(name == "password" for name, _ in r["fields"])]

    def start_and_sign_in(self, shots, email=EMAIL, password=PASSWORD, session=None):
        """Starts the agent, opens the wizard from the popover and signs in
        there; answers the agent and the wizard's window."""
        front = self.desktop.xterm("work window")
        self.desktop.focus(front, True)
        env = self.desktop.env(PATH=self.bin + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"),
                               **(session or {}))
        agent = self.desktop.start([bundle_program(self.bundle)], env=env)  # ended by its id with the desktop

        popover = self.window("Kestrel")
        # It follows the tray item, which the tray may still be placing.
        box = self.settled(popover)
        self.keep(shots + "_popover.png", box)
        # Its button sits at its bottom right.
        self.click_bottom_right(popover, 60, 24)

        wizard = self.window("Kestrel Setup")
        self.keep(shots + "_sign_in.png", self.settled(wizard))
        self.desktop.run(["xdotool", "windowactivate", "--sync", wizard])
        # The e-mail field has the keyboard.
        self.desktop.run(["xdotool", "type", "--delay", "20", email])
        self.desktop.run(["xdotool", "key", "Tab"])
        self.desktop.run(["xdotool", "type", "--delay", "20", password])
        self.desktop.run(["xdotool", "key", "Return", "Return"])
        return agent, wizard

    def stored_account_key(self):
        try:
            with open(os.path.join(self.desktop.data_dir(), "kestreld.json"), encoding="utf-8") as f:
                return json.load(f).get("account_key")
        except (OSError, ValueError):
            return None

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
        agent, wizard = self.start_and_sign_in(shots, session=session)
        self.desktop.wait_until(lambda: self.stored_account_key() == ACCOUNT_KEY, timeout=30)
        self.assertEqual(len(self.sign_in_requests()), 1)
        # The computer as its firmware describes it.
        fields = dict(self.sign_in_requests()[0]["fields"])
        for field, attribute in (("brand", "sys_vendor"), ("make", "product_name"), ("model", "product_version")):
            self.assertEqual(fields["computer[%s]" % field], firmware_says(attribute), field)

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

    def test_a_sign_in_whose_account_check_fails_stays_on_the_sign_in_page_and_says_why(self):
        # The sign-in is accepted; every check of the new account that follows
        # gets a 500 (the UI thread may check before the sign-in does).
        self.service.client.script("/activate", {"status": 500, "after": 1}, None)
        agent, wizard = self.start_and_sign_in("check_fails")
        self.desktop.wait_until(lambda: len(self.service.client.requests("/activate")) >= 2, timeout=30)
        box = self.geometry(wizard)
        self.desktop.wait_until(lambda: any("Invalid response while communicating with the Kestrel server." in line
                                            for line in self.desktop.debug_log()), timeout=20)
        self.keep("check_fails_wizard.png", box)
        self.assertEqual(self.geometry(wizard)[2:], box[2:], "still the sign-in page")
        self.assertIn(self.stored_account_key(), ("", None))
        agent.send_signal(signal.SIGTERM)
        self.assertEqual(agent.wait(timeout=30), 0)
        self.assertIn("[ui::on_activate_thread] The service did not confirm the new account; the sign-in has failed.",
                      self.desktop.debug_log())

    def test_a_refused_code_brings_the_prompt_back_with_the_services_words_until_the_sign_in_ends(self):
        agent, wizard = self.start_and_sign_in("refused_code", "second@kestrel.test", "second-Password-0815")
        answered = []
        for attempt in range(1, 6):
            self.desktop.wait_until(lambda: len(self.sign_in_requests()) == attempt, timeout=30)
            # The prompt just answered may still be on the screen a moment.
            prompt = self.window("Kestrel", excluding=answered)
            answered.append(prompt)
            if attempt == 2:
                self.keep("refused_code_prompt.png", self.settled(prompt))
            self.desktop.run(["xdotool", "windowactivate", "--sync", prompt])
            self.desktop.run(["xdotool", "type", "--delay", "20", "00000%d" % attempt])
            self.desktop.run(["xdotool", "key", "Return"])
        ended = "That code was refused too many times, so the sign-in has ended. Please sign in again."
        self.desktop.wait_until(lambda: any(ended in line for line in self.desktop.debug_log()), timeout=30)
        self.keep("refused_code_ended.png", self.geometry(wizard))
        self.assertEqual(len(self.sign_in_requests()), 6)
        self.assertIn(self.stored_account_key(), ("", None))
        agent.send_signal(signal.SIGTERM)
        self.assertEqual(agent.wait(timeout=30), 0)


def firmware_says(attribute):
    """A DMI attribute as sysfs has it, trimmed; "Unknown" where there is none."""
    try:
        with open(os.path.join("/sys/class/dmi/id", attribute), encoding="utf-8", errors="replace") as f:
            text = f.read().strip()
    except OSError:
        return "Unknown"
    return text or "Unknown"


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
