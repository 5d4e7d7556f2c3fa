"""The agent in a real Wayland session: Debian's weston, headless (pixman),
with Xwayland. Starts the agent signed in, then an X11 application (xterm)
and then a native Wayland application (weston-terminal), each taking the
focus as it maps; prints what the X server says is in front, the agent's
session line, and the rows the agent wrote; keeps weston's screenshots in
the build's test-artifacts folder. Not a CTest test: it needs weston and
Xwayland (`apt-get install weston xwayland`), which the build does not.

    /usr/bin/python3 tests/e2e/wayland_session_demo.py
"""

import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from bundle_tree import wait_for as wait_until  # noqa: E402
from scanner_x11 import AGENT, BUILD_DIR, end_processes, read_rows  # noqa: E402

ARTIFACTS = os.path.join(BUILD_DIR, "test-artifacts")


class Session:
    def __init__(self):
        self.runtime = tempfile.mkdtemp(prefix="kes-weston-")
        os.chmod(self.runtime, 0o700)
        self.home = os.path.join(self.runtime, "home")
        os.makedirs(self.home)
        self.processes = []
        self.log = os.path.join(self.runtime, "weston.log")
        self.start(["weston", "--backend=headless-backend.so", "--use-pixman", "--xwayland", "--debug",
                    "--socket=wayland-kes", "--width=1280", "--height=800", "--log=" + self.log], display=False)
        if not wait_until(lambda: "xserver listening on display" in self.read_log()):
            raise RuntimeError("weston did not start Xwayland: " + self.read_log()[-2000:])
        self.display = self.read_log().split("xserver listening on display ")[1].split()[0]

    def read_log(self):
        try:
            with open(self.log, encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def env(self, display=True):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE")}
        env.update(XDG_RUNTIME_DIR=self.runtime, HOME=self.home, TMPDIR=self.runtime, WAYLAND_DISPLAY="wayland-kes",
                   XDG_SESSION_TYPE="wayland", DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/kes-no-bus")
        if display:
            env["DISPLAY"] = self.display
        return env

    def start(self, command, display=True):
        process = subprocess.Popen(command, env=self.env(display), cwd=self.runtime,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(process)
        return process

    def x(self, command):
        return subprocess.run(command, env=self.env(), capture_output=True, text=True, timeout=20).stdout

    def active_window(self):
        return self.x(["xprop", "-root", "_NET_ACTIVE_WINDOW"]).strip()

    def screenshot(self, name):
        before = set(glob.glob(os.path.join(self.runtime, "wayland-screenshot-*.png")))
        subprocess.run(["weston-screenshooter"], env=self.env(display=False), cwd=self.runtime, timeout=30)
        made = set(glob.glob(os.path.join(self.runtime, "wayland-screenshot-*.png"))) - before
        if made:
            os.makedirs(ARTIFACTS, exist_ok=True)
            shutil.copyfile(made.pop(), os.path.join(ARTIFACTS, name))

    def close(self):
        end_processes(self.processes)
        shutil.rmtree(self.runtime, ignore_errors=True)


def scanned_names(home):
    path = os.path.join(home, ".local", "share", "KestrelData", "log", "debug_log.txt")
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = [line.rstrip("\n").split(":", 2)[-1] for line in f]
    return lines, [line.split("= ", 1)[1] for line in lines if line.startswith("[scanner]Process name = ")]


def main():
    if not shutil.which("weston") or not shutil.which("Xwayland"):
        print("weston or Xwayland is not installed: apt-get install weston xwayland")
        return 2
    session = Session()
    try:
        data = os.path.join(session.home, ".local", "share", "KestrelData")
        os.makedirs(data)
        with open(os.path.join(data, "kestreld.json"), "w") as out:
            json.dump({"account_key": "AK-demo-7f3c9e21b8d44a0f9c5e", "url": "127.0.0.1:9", "api_url": "127.0.0.1:9",
                       "debug_log_level": 0xFFFF, "first_time_running": False,
                       "push_initial_interval": 3600, "pull_initial_interval": 3600}, out)
        agent = session.start([AGENT])
        wait_until(lambda: os.path.exists(os.path.join(data, "log", "debug_log.txt")))
        time.sleep(3)
        session.screenshot("weston_agent_started.png")

        session.start(["xterm", "-T", "x11 work", "-geometry", "60x10", "-e", "sleep", "600"])
        time.sleep(4)
        print("X11 application mapped; X server's active window:", session.active_window())
        _, names = scanned_names(session.home)
        print("  last scanned names:", names[-3:])
        session.screenshot("weston_x11_in_front.png")

        session.start(["weston-terminal"], display=False)
        time.sleep(4)
        print("native Wayland application mapped; X server's active window:", session.active_window())
        lines, names = scanned_names(session.home)
        print("  last scanned names:", names[-3:])
        session.screenshot("weston_wayland_in_front.png")

        agent.send_signal(signal.SIGTERM)
        print("agent exit code:", agent.wait(timeout=30))
        print([line for line in lines if line.startswith("[osx_ui:init] Session")][0])
        for row in read_rows(os.path.join(data, "activities")):
            print("row:", row[:6])
        return 0
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
