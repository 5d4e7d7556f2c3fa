"""The preferences windows on a real X server (Xvfb, openbox), driven with
real input (xdotool clicks and keystrokes) through
tests/qt_probes/kes_preferences_probe: the agent's own bridge and controller
signing in against the service stand-in.

The classic window (a desktop below the panes' level) and the Network pane
each save proxy settings: python's json module reads the four keys from
kestreld.json (mode 0600), the window says "Proxy settings saved.", and the
sign-in that follows reaches the stand-in through a real proxy (Debian's
tinyproxy on loopback): with credentials for the classic window, without
for the panes. No password appears in debug_log.txt (every category on).
Screenshots of the classic window (first, with its proxy panel, signed in)
and of the General, Account (before and after the sign-in) and Network panes
(with and without the proxy form) are kept in the build's test-artifacts folder and checked to be drawn.
"""

import json
import os
import shutil
import socket
import stat
import subprocess
import tempfile
import time
import unittest

from scanner_x11 import BUILD_DIR, Desktop
from standin_client import StandinProcess, end_process
from test_desktop_agent import keep_drawn
from test_desktop_tray import ARTIFACTS, Probe
from failure_report import ExplainingRunner

PROBE = os.path.join(BUILD_DIR, "tests", "kes_preferences_probe")
RESOURCES = os.path.join(BUILD_DIR, "Kestrel.app", "Contents", "Resources")
EMAIL, PASSWORD = "demo@kestrel.test", "demo-Password-4711"
PROXY_USER, PROXY_PASSWORD = "kesproxy", "Proxy-Secret-2093"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Tinyproxy:
    """Debian's tinyproxy on loopback, with basic authentication when given a user."""

    def __init__(self, folder, user=None, password=None):
        self.port = free_port()
        self.log = os.path.join(folder, "tinyproxy-%d.log" % self.port)
        config = os.path.join(folder, "tinyproxy-%d.conf" % self.port)
        with open(config, "w") as out:
            out.write("Port %d\nListen 127.0.0.1\nTimeout 30\nAllow 127.0.0.1\nLogLevel Info\n"
                      "LogFile \"%s\"\nMaxClients 10\n" % (self.port, self.log))
            if user:
                out.write("BasicAuth %s %s\n" % (user, password))
        self.process = subprocess.Popen(["/usr/bin/tinyproxy", "-d", "-c", config],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            with socket.socket() as s:
                if s.connect_ex(("127.0.0.1", self.port)) == 0:
                    return
            time.sleep(0.05)
        raise RuntimeError("tinyproxy did not listen")

    def tunnels(self, host):
        """The CONNECT requests the proxy let through to host."""
        try:
            with open(self.log, errors="replace") as f:
                return [line for line in f if "CONNECT" in line and host in line]
        except FileNotFoundError:
            return []

    def stop(self):
        end_process(self.process)


class PreferencesOnTheDisplay(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="kes-e2e-prefs-")
        cls.standin = StandinProcess(os.path.join(cls.folder, "standin"))
        # Nothing the agent does may open a real browser.
        bin_dir = os.path.join(cls.folder, "bin")
        os.makedirs(bin_dir)
        opener = os.path.join(bin_dir, "xdg-open")
        with open(opener, "w") as out:
            out.write("#!/bin/sh\necho \"$@\" >> \"%s\"\n" % os.path.join(cls.folder, "opened.txt"))
        os.chmod(opener, 0o755)
        cls.saved_path = os.environ["PATH"]
        os.environ["PATH"] = bin_dir + os.pathsep + cls.saved_path

    @classmethod
    def tearDownClass(cls):
        os.environ["PATH"] = cls.saved_path
        cls.standin.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        os.makedirs(ARTIFACTS, exist_ok=True)
        self.standin.client.reset()
        self.desktop = Desktop(window_manager=True)
        self.addCleanup(self.desktop.close)
        self.desktop.write_settings({"url": self.standin.host, "api_url": self.standin.host,
                                     "first_time_running": False, "debug_log_level": 65535})

    def start_probe(self, *extra):
        desktop = self.desktop

        class PreferencesProbe(Probe):
            def __init__(self):
                self.process = desktop.start([PROBE, "--ca", PreferencesOnTheDisplay.standin.ca_cert,
                                              "--resources", RESOURCES, *extra],
                                             stdin=subprocess.PIPE, stdout=subprocess.PIPE)
                self.pending = b""
                assert self.read().get("ready")
        probe = PreferencesProbe()
        self.addCleanup(probe.close_pipes)
        self.addCleanup(lambda: probe.process.poll() is None and probe.quit())
        return probe

    def show_framed(self, probe):
        """Opens the window and waits for the window manager's frame around it."""
        probe.ask("show")
        self.desktop.wait_until(lambda: (lambda w: w["visible"] and w["frame"][3] > w["content"][3])(
            probe.ask("window")))
        return probe.ask("window")

    # ---- real input

    def click(self, probe, name):
        where = probe.ask("where " + name)
        self.assertTrue(where.get("found") and where["visible"], name)
        self.click_at(where["centre"])

    def click_at(self, point):
        self.desktop.run(["xdotool", "mousemove", str(point[0]), str(point[1]), "click", "1"])

    def type_into(self, probe, name, text):
        self.click(probe, name)
        self.desktop.run(["xdotool", "key", "ctrl+a"])
        self.desktop.run(["xdotool", "type", "--delay", "15", text])
        self.desktop.wait_until(lambda: probe.ask("text " + name).get("text") == text, timeout=20)

    def wait_for_text(self, probe, name, text, timeout=30):
        self.desktop.wait_until(lambda: probe.ask("text " + name).get("text") == text, timeout=timeout)

    # ---- what the agent wrote

    def saved_proxy(self):
        path = os.path.join(self.desktop.data_dir(), "kestreld.json")
        with open(path, encoding="utf-8") as f:
            saved = json.load(f)
        mode = stat.S_IMODE(os.stat(path).st_mode)
        return [saved.get(key) for key in ("proxy_server", "proxy_port", "proxy_username",
                                            "proxy_password_hash")], mode

    def log_holds(self, text):
        path = os.path.join(self.desktop.data_dir(), "log", "debug_log.txt")
        found = subprocess.run(["grep", "-F", "-q", "-e", text, path])
        self.assertIn(found.returncode, (0, 1), "grep could not read the debug log")
        return found.returncode == 0

    def shoot(self, probe, name):
        """The window as drawn on the screen, kept as an artifact."""
        window = probe.ask("window")
        # The content, not the window manager's title bar, must be drawn.
        return keep_drawn(self.desktop, name, window["frame"], content=window["content"])

    def sign_in_requests(self):
        return [r for r in self.standin.client.requests("/activate")
                if any(name == "password" for name, _ in r["fields"])]

    # ---- the windows

    def test_the_classic_window_saves_the_proxy_and_signs_in_through_it_with_credentials(self):
        proxy = Tinyproxy(self.folder, PROXY_USER, PROXY_PASSWORD)
        self.addCleanup(proxy.stop)
        probe = self.start_probe("--level", "10.13")
        self.assertFalse(probe.ask("state")["panes"])
        window = self.show_framed(probe)
        self.assertEqual(window["title"], "Kestrel First-time Setup")
        self.assertEqual(window["content"][2:], [520, 244])
        self.wait_for_text(probe, "verifyStatusMessage", "Waiting for you to activate...")
        self.shoot(probe, "preferences_classic_window.png")

        self.click(probe, "proxyToggleButton")
        self.desktop.wait_until(lambda: probe.ask("where proxyBox")["visible"])
        opened = probe.ask("window")["content"]
        self.assertEqual(opened[2:], [520, 368])
        # It grows downwards (the window manager may nudge it by a pixel).
        self.assertLessEqual(abs(opened[0] + opened[2] - window["content"][0] - window["content"][2]), 2, "right edge")
        self.assertLessEqual(abs(opened[1] - window["content"][1]), 2, "top edge")
        self.type_into(probe, "proxyServer", "127.0.0.1")
        self.type_into(probe, "proxyPort", str(proxy.port))
        self.type_into(probe, "proxyUsername", PROXY_USER)
        self.type_into(probe, "proxyPassword", PROXY_PASSWORD)
        self.assertNotIn(PROXY_PASSWORD, probe.ask("text proxyPassword")["shown"])
        self.shoot(probe, "preferences_classic_proxy_panel.png")
        self.click(probe, "saveProxySettingsButton")
        self.wait_for_text(probe, "verifyStatusMessage", "Proxy settings saved.")
        self.assertEqual(self.saved_proxy(), (["127.0.0.1", str(proxy.port), PROXY_USER, PROXY_PASSWORD], 0o600))
        self.desktop.wait_until(lambda: not probe.ask("where proxyBox")["visible"])

        self.type_into(probe, "emailField", EMAIL)
        self.type_into(probe, "passwordField", PASSWORD)
        self.click(probe, "activateButton")
        self.desktop.wait_until(lambda: probe.ask("state")["signed_in"], timeout=60)
        self.wait_for_text(probe, "headingText", "You've successfully activated your Kestrel Data Collector")
        self.wait_for_text(probe, "verifyStatusMessage", "Kestrel has been activated.")
        self.assertEqual(probe.ask("window")["title"], "Kestrel Data Collector")
        self.assertEqual(len(self.sign_in_requests()), 1)
        self.assertTrue(proxy.tunnels(self.standin.host), "the sign-in did not pass the proxy")
        self.shoot(probe, "preferences_classic_signed_in.png")

        for secret in (PROXY_PASSWORD, PASSWORD):
            self.assertFalse(self.log_holds(secret), secret)
        self.assertTrue(self.log_holds("[KestrelController] showPropertiesWindow:"))
        self.assertEqual(probe.quit(), 0)

    def test_the_panes_save_the_proxy_and_sign_in_through_it_without_credentials(self):
        proxy = Tinyproxy(self.folder)
        self.addCleanup(proxy.stop)
        probe = self.start_probe()
        self.assertTrue(probe.ask("state")["panes"])
        window = self.show_framed(probe)
        self.assertEqual(window["title"], "Kestrel First-time Setup")
        self.assertEqual(window["content"][2:], [550, 300])
        state = probe.ask("state")
        self.assertEqual(state["pane"], "Account")
        self.assertEqual(state["store"]["statusMessage"], "Waiting for you to activate...")
        self.shoot(probe, "preferences_account_pane.png")

        self.click_at(probe.ask("row 2")["centre"])
        self.desktop.wait_until(lambda: probe.ask("state")["pane"] == "Network")
        self.wait_for_text(probe, "proxySummary", "none specified")
        self.shoot(probe, "preferences_network_pane.png")
        self.click(probe, "changeSettingsButton")
        self.desktop.wait_until(lambda: probe.ask("state")["store"]["proxyFormVisible"])
        self.type_into(probe, "proxyServer", "127.0.0.1")
        self.type_into(probe, "proxyPort", str(proxy.port))
        self.shoot(probe, "preferences_network_proxy_form.png")
        self.click(probe, "saveProxySettingsButton")
        self.desktop.wait_until(lambda: not probe.ask("state")["store"]["proxyFormVisible"])
        self.assertEqual(probe.ask("state")["store"]["statusMessage"], "Proxy settings saved.")
        self.wait_for_text(probe, "proxySummary", "127.0.0.1:%d" % proxy.port)
        self.assertEqual(self.saved_proxy(), (["127.0.0.1", str(proxy.port), "", ""], 0o600))

        self.click_at(probe.ask("row 1")["centre"])
        self.desktop.wait_until(lambda: probe.ask("state")["pane"] == "Account")
        self.type_into(probe, "emailField", EMAIL)
        self.type_into(probe, "passwordField", PASSWORD)
        self.click(probe, "signInButton")
        self.desktop.wait_until(lambda: probe.ask("state")["store"]["signedIn"], timeout=60)
        self.wait_for_text(probe, "accountEmail", EMAIL)
        self.shoot(probe, "preferences_account_pane_signed_in.png")
        # The last word is the service's confirmation of the new account.
        self.desktop.wait_until(lambda: probe.ask("state")["store"]["statusMessage"] ==
                                "Activation Successful. Awaiting status update. This typically takes less than 3 "
                                "minutes.")
        self.assertEqual(len(self.sign_in_requests()), 1)
        self.assertTrue(proxy.tunnels(self.standin.host), "the sign-in did not pass the proxy")

        self.click_at(probe.ask("row 0")["centre"])
        self.desktop.wait_until(lambda: probe.ask("state")["pane"] == "General")
        self.shoot(probe, "preferences_general_pane.png")
        self.assertFalse(self.log_holds(PASSWORD))
        self.assertFalse(os.path.exists(os.path.join(self.folder, "opened.txt")), "a page was opened")
        self.assertEqual(probe.quit(), 0)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
