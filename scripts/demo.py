#!/usr/bin/python3
"""A self-contained demonstration of the agent on a machine without a display
or a configured service: a virtual X display with a few real windows, the
service stand-in on loopback, and the agent from its bundle, tracking the
windows and sending what it recorded. It prints what the service received and
ends every process it started.
"""

import csv
import glob
import gzip
import io
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("KES_BUILD_DIR", os.path.join(ROOT, "build"))
sys.path.insert(0, os.path.join(ROOT, "tests", "standin"))
from client import StandinProcess  # noqa: E402

DEMO_ACCOUNT_KEY = "AK-demo-7f3c9e21b8d44a0f9c5e"
WINDOWS = ["Quarterly report - Editor", "Team chat", "Build output"]
COLUMNS = ["application", "version", "hash", "title", "address", "start", "end", "type"]


def say(text):
    print("[demo] " + text, flush=True)


def free_display():
    for number in range(90, 200):
        if not os.path.exists("/tmp/.X11-unix/X%d" % number) and not os.path.exists("/tmp/.X%d-lock" % number):
            return number
    raise RuntimeError("no free X display number")


class Processes:
    """Every process the demonstration starts, ended by its id at the end."""

    def __init__(self):
        self.started = []

    def start(self, args, **kwargs):
        process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)
        self.started.append(process)
        return process

    def end_all(self):
        for process in reversed(self.started):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


def wait_for(condition, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()


def window_ids(env, title):
    found = subprocess.run(["xdotool", "search", "--name", "^" + title + "$"], env=env,
                           capture_output=True, text=True)
    return found.stdout.split()


def received_rows(state_dir):
    rows = []
    for path in sorted(glob.glob(os.path.join(state_dir, "uploads", "*.kes[cg]"))):
        with open(path, "rb") as f:
            data = f.read()
        if path.endswith(".kesg"):
            data = gzip.decompress(data)
        rows.extend(csv.reader(io.StringIO(data.decode("utf-8"))))
    return rows


def main():
    agent_binary = os.path.join(BUILD, "Kestrel.app", "Contents", "MacOS", "Kestrel")
    if not os.path.exists(agent_binary):
        sys.exit("The agent is not built: run scripts/build first.")
    work = tempfile.mkdtemp(prefix="kestrel-demo-")
    processes = Processes()
    agent = None
    try:
        home = os.path.join(work, "home")
        runtime = os.path.join(work, "run")
        os.makedirs(runtime, mode=0o700)
        os.makedirs(home)

        say("working in %s" % work)
        display = ":%d" % free_display()
        say("starting a virtual X display %s" % display)
        processes.start(["Xvfb", display, "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"])
        x_env = dict(os.environ, DISPLAY=display)
        if not wait_for(lambda: subprocess.run(["xdpyinfo"], env=x_env, capture_output=True).returncode == 0, 10):
            sys.exit("the virtual display did not start")
        if shutil.which("openbox"):
            say("starting a window manager (openbox)")
            processes.start(["openbox"], env=x_env)

        say("starting the web-service stand-in on 127.0.0.1")
        state_dir = os.path.join(work, "service")
        standin = StandinProcess(state_dir)
        processes.started.append(standin.process)
        say("  the service listens on https://%s" % standin.host)

        say("laying out a copy of the bundle that trusts the stand-in's certificate")
        bundle = os.path.join(work, "Kestrel.app")
        shutil.copytree(os.path.join(BUILD, "Kestrel.app"), bundle, symlinks=True)
        shutil.copyfile(standin.ca_cert, os.path.join(bundle, "Contents", "Resources", "curl-ca-bundle.crt"))

        data_dir = os.path.join(home, ".local", "share", "KestrelData")
        os.makedirs(data_dir, mode=0o700)
        settings = {
            "url": standin.host, "api_url": standin.host, "account_key": DEMO_ACCOUNT_KEY,
            "scan_interval": 1, "push_initial_interval": 4, "push_interval": 4,
            "pull_initial_interval": 2, "pull_interval": 30, "idle_time_start": 300,
            "first_time_running": False, "debug_log_level": 1,
        }
        with open(os.path.join(data_dir, "kestreld.json"), "w") as out:
            json.dump(settings, out)
        say("settings: service at %s, demo account, a scan every second, a send every 4 s" % standin.host)

        say("opening %d windows" % len(WINDOWS))
        for title in WINDOWS:
            processes.start(["xterm", "-T", title, "-geometry", "80x20"], env=x_env)
        if not wait_for(lambda: all(window_ids(x_env, t) for t in WINDOWS), 15):
            sys.exit("the demonstration windows did not appear")

        env = {k: v for k, v in os.environ.items() if k.lower() not in
               ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}
        env.update(HOME=home, DISPLAY=display, XDG_RUNTIME_DIR=runtime, TMPDIR=work,
                   KES_REACHABILITY_PROBE_URL="http://127.0.0.1:%d/" % standin.probe_port)
        for name in ("XDG_DATA_HOME", "XDG_CONFIG_HOME"):
            env.pop(name, None)
        say("starting the agent from its bundle")
        agent = processes.start([os.path.join(bundle, "Contents", "MacOS", "Kestrel")], env=env)

        schedule = WINDOWS + [WINDOWS[0]]
        for title in schedule:
            window = window_ids(x_env, title)[0]
            say("  the user switches to \"%s\"" % title)
            subprocess.run(["xdotool", "windowactivate", "--sync", window], env=x_env, capture_output=True)
            subprocess.run(["xdotool", "windowfocus", "--sync", window], env=x_env, capture_output=True)
            time.sleep(3)

        say("waiting for the agent to send what it recorded")
        wanted = set(WINDOWS[:3])
        wait_for(lambda: wanted <= {row[3] for row in received_rows(state_dir) if len(row) > 3}, 20, 0.5)

        say("stopping the agent (SIGTERM)")
        agent.send_signal(signal.SIGTERM)
        try:
            code = agent.wait(10)
        except subprocess.TimeoutExpired:
            agent.kill()
            code = agent.wait()
        say("  the agent ended with exit code %d" % code)

        rows = received_rows(state_dir)
        print()
        print("Activity rows the service received (%d):" % len(rows))
        print("  %-12s %-28s %-19s  %-19s" % ("application", "window title", "start", "end"))
        for row in rows:
            record = dict(zip(COLUMNS, row))
            print("  %-12s %-28s %-19s  %-19s" % (record["application"][:12], record["title"][:28],
                                                   record["start"], record["end"]))
        print()
        titles = {row[3] for row in rows if len(row) > 3}
        if len(titles) < 2:
            say("the service received fewer than two window titles; see %s" %
                os.path.join(data_dir, "log", "debug_log.txt"))
            return 1
        say("done: %d rows, %d different window titles" % (len(rows), len(titles)))
        return 0
    finally:
        processes.end_all()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
