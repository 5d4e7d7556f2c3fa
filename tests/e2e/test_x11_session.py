"""Idle time and display state read through kes::system from a real X server (Xvfb),
and the zone name and command output seen from the command line."""

import os
import subprocess
import sys
import tempfile
import time
import unittest

from scanner_x11 import BUILD_DIR, free_display_number
from failure_report import ExplainingRunner

PROBE = os.path.join(BUILD_DIR, "tests", "kes_system_probe")


class X11Session(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.home = tempfile.TemporaryDirectory(prefix="kes-x11-")
        cls.display = f":{free_display_number(range(140, 400))}"
        # -noreset: the server must not reset (and forget the saver state and
        # the idle counter) each time its last client leaves.
        cls.server = subprocess.Popen(["Xvfb", cls.display, "-nolisten", "tcp", "-noreset"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while subprocess.run(["xset", "-display", cls.display, "q"], stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            if time.monotonic() > deadline or cls.server.poll() is not None:
                cls.tearDownClass()
                raise RuntimeError("Xvfb did not start")
            time.sleep(0.05)

    @classmethod
    def tearDownClass(cls):
        if cls.server.poll() is None:
            cls.server.terminate()
            try:
                cls.server.wait(timeout=5)
            except subprocess.TimeoutExpired:
                cls.server.kill()
                cls.server.wait()
        cls.home.cleanup()

    def env(self, **extra):
        env = dict(os.environ, HOME=self.home.name, XDG_DATA_HOME=os.path.join(self.home.name, "data"),
                   XDG_RUNTIME_DIR=self.home.name, TMPDIR=self.home.name, DISPLAY=self.display)
        env.update(extra)
        return {k: v for k, v in env.items() if v is not None}

    def probe(self, *args, **extra):
        result = subprocess.run([PROBE, *args], env=self.env(**extra), capture_output=True,
                                text=True, timeout=10)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.rstrip("\n")

    def x(self, *args):
        subprocess.run(list(args), env=self.env(), check=True, timeout=10,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def test_idle_time_grows_while_nothing_happens_and_drops_on_input(self):
        self.x("xdotool", "mousemove", "10", "10")
        first = float(self.probe("idle"))
        time.sleep(1.2)
        second = float(self.probe("idle"))
        self.assertGreaterEqual(second - first, 1.0)
        self.x("xdotool", "mousemove", "200", "150")
        self.assertLess(float(self.probe("idle")), 1.0)

    def test_display_state_follows_the_screen_saver(self):
        self.x("xset", "s", "600", "600")
        self.assertEqual(self.probe("display"), "on")
        self.x("xset", "s", "activate")
        self.assertEqual(self.probe("display"), "off")
        self.x("xset", "s", "reset")
        self.assertEqual(self.probe("display"), "on")

    def test_without_a_display_idle_time_is_zero_and_the_display_counts_as_on(self):
        self.assertEqual(float(self.probe("idle", DISPLAY=None)), 0.0)
        self.assertEqual(self.probe("display", DISPLAY=None), "on")

    def test_zone_name_and_command_output(self):
        self.assertEqual(self.probe("tz", TZ="Asia/Tokyo"), "Asia/Tokyo")
        self.assertEqual(self.probe("run", "printf 'a\\nb\\n'"), "ab")
        self.assertEqual(self.probe("run", "for i in $(seq 200); do printf '\\303\\251'; done"), "é" * 200)


if __name__ == "__main__":
    sys.exit(unittest.main(testRunner=ExplainingRunner, verbosity=2))
