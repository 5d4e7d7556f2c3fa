"""Xvfb with two xterm windows and, optionally, openbox; the scanner probe
records while xdotool moves the focus; python reads the upload files."""

import csv
import glob
import gzip
import io
import json
import os
import select
import shutil
import subprocess
import tempfile
import threading
import time
from datetime import datetime

import failure_report
from bundle_tree import BUILD_DIR, BUILT_BUNDLE, bundle_program
from standin_client import end_process
from waiting import wait_until

PROBE = os.path.join(BUILD_DIR, "tests", "kes_scanner_probe")
AGENT = bundle_program(BUILT_BUNDLE)


def free_display_number(numbers=range(420, 700)):
    for number in numbers:
        if not os.path.exists(f"/tmp/.X{number}-lock") and \
                not os.path.exists(f"/tmp/.X11-unix/X{number}"):
            return number
    raise RuntimeError("no free X display number")


def end_processes(processes):
    """Ends each process by its id, the last started first."""
    for process in reversed(processes):
        end_process(process, grace=5)


class Desktop:
    """Xvfb, optionally a window manager, and the processes started on it;
    every process is ended by its id in `close`. A witness of the test
    (failure_report): a failing test shows its windows, its debug log and
    what its processes wrote."""

    def __init__(self, window_manager, screen="1024x768"):
        self.home = tempfile.mkdtemp(prefix="kes-scan-")
        self.processes = []
        # Homes of its own that a test gave agents started here: their debug logs are reported too.
        self.other_homes = []
        self.screen = screen
        self.display = None
        failure_report.watch(self)
        try:
            self.server, self.display = self.start_server()
            self.wait_until(lambda: self.run(["xdotool", "getmouselocation"]).returncode == 0,
                            what="the X server to answer")
            if window_manager:
                self.start(["openbox", "--sm-disable"])
                self.wait_until(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in
                                self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]).stdout,
                                what="openbox to manage the screen")
        except BaseException:
            # The caller gets no desktop to close: what was started ends here.
            self.close()
            raise

    def start_server(self):
        """Xvfb on a display number it picks itself, as it binds it: tests of
        other worktrees on this machine may look for a free number at the
        same moment."""
        read_end, write_end = os.pipe()
        try:
            server = self.start(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-noreset",
                                 "-screen", "0", self.screen + "x24"], with_display=False, pass_fds=(write_end,))
            os.close(write_end)
            write_end = -1
            number = b""
            deadline = time.monotonic() + 30
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                ready, _, _ = select.select([read_end], [], [], 0.5)
                if ready:
                    chunk = os.read(read_end, 16)
                    if not chunk:
                        break
                    number += chunk
            if not number.strip().isdigit():
                raise RuntimeError("Xvfb named no display")
            return server, ":" + number.strip().decode()
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)

    def env(self, **extra):
        env = {k: v for k, v in os.environ.items()
               if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}
        env.update(HOME=self.home, XDG_RUNTIME_DIR=self.home, TMPDIR=self.home, DISPLAY=self.display)
        env.pop("XDG_DATA_HOME", None)
        env.pop("XDG_CONFIG_HOME", None)
        # An X11 session of its own: the machine's session kind is not the test's.
        env.pop("XDG_SESSION_TYPE", None)
        env.pop("WAYLAND_DISPLAY", None)
        env.update(extra)
        return env

    def start(self, command, with_display=True, **popen):
        """Starts `command` (its environment: this desktop's, unless `env` is
        given) and ends it in `close`. What it writes goes to a file that a
        failing test shows, unless `stdout` or `stderr` say otherwise."""
        env = popen.pop("env", self.env() if with_display else None)
        home = (env or {}).get("HOME", self.home)
        if home != self.home and home not in self.other_homes:
            self.other_homes.append(home)
        with failure_report.output_file(self.home, command[0]) as output:
            process = subprocess.Popen(command, env=env, stdout=popen.pop("stdout", output),
                                       stderr=popen.pop("stderr", output), **popen)
        self.processes.append(process)
        return process

    def run(self, command):
        return subprocess.run(command, env=self.env(), capture_output=True, text=True, timeout=20)

    @staticmethod
    def wait_until(predicate, timeout=15.0, what=None):
        """The predicate's first true value; waiting.TimedOut when none came in time."""
        return wait_until(predicate, timeout, what)

    def start_tray_host(self, attempts=3, edge="top", align="right"):
        """trayer docked at `edge` (top by default), mapped and ready for icons. trayer
        now and then exits while a freshly started window manager is still
        settling; it is started again then, and a tray that never shows is
        reported with what trayer said."""
        command = ["trayer", "--edge", edge, "--align", align, "--widthtype", "request",
                   "--height", "32", "--transparent", "false", "--SetDockType", "true"]
        said = ""
        for attempt in range(attempts):
            log_path = os.path.join(self.home, f"trayer-{attempt}.log")
            with open(log_path, "w") as log:
                process = self.start(command, stdout=log, stderr=subprocess.STDOUT)
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline and process.poll() is None:
                if self.run(["xdotool", "search", "--onlyvisible", "--class", "trayer"]).returncode == 0:
                    return process
                time.sleep(0.05)
            if process.poll() is None:
                process.terminate()
                process.wait(timeout=5)
            with open(log_path) as log:
                said = log.read()[-2000:]
        raise RuntimeError(f"trayer never showed (exit code {process.returncode}): {said}")

    def xterm(self, title, window_class=None):
        """A real xterm; `window_class` sets the class half of its WM_CLASS."""
        extra = ["-class", window_class] if window_class else []
        self.start(["xterm", *extra, "-T", title, "-geometry", "60x10", "-e", "sleep", "600"])
        found = []

        def visible():
            result = self.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"])
            found[:] = result.stdout.split()
            return bool(found)
        self.wait_until(visible, what=f'the xterm titled "{title}" to show')
        return found[0]

    def focus(self, window, window_manager):
        if window_manager:
            self.run(["xdotool", "windowactivate", "--sync", window])
        else:
            self.run(["xdotool", "windowfocus", "--sync", window])
        self.touch()

    def bring_forward(self, window, process_name, timeout=20):
        """Focuses the window through the window manager and waits for the record it starts."""
        line = f"[scanner]Process name = {process_name}"
        seen = self.debug_log().count(line)
        self.focus(window, True)
        self.wait_until(lambda: self.debug_log().count(line) > seen, timeout=timeout,
                        what=f'a new "{line}" in the debug log')

    def touch(self):
        """Input from the user: resets the server's idle time."""
        self.run(["xdotool", "mousemove_relative", "--", "1", "0"])

    def close(self):
        failure_report.forget(self)
        end_processes(self.processes)
        shutil.rmtree(self.home, ignore_errors=True)

    def explain(self):
        """What a failing test's report shows of this desktop."""
        parts = [f"-- desktop {self.display} (Xvfb {self.screen}) in {self.home}"]
        if self.display:
            parts.append(failure_report.windows_on(self.display, self.env()))
        parts.append(failure_report.debug_log_tail(self.data_dir()))
        parts += [failure_report.debug_log_tail(os.path.join(home, ".local", "share", "KestrelData"))
                  for home in self.other_homes]
        parts += [failure_report.processes_state(self.processes), failure_report.output_tails(self.home)]
        return "\n".join(parts)

    def data_dir(self):
        return os.path.join(self.home, ".local", "share", "KestrelData")

    def write_settings(self, settings):
        os.makedirs(self.data_dir(), exist_ok=True)
        with open(os.path.join(self.data_dir(), "kestreld.json"), "w", encoding="utf-8") as out:
            json.dump(settings, out)

    def debug_log(self):
        """The debug log's messages, without their time and level."""
        try:
            with open(os.path.join(self.data_dir(), "log", "debug_log.txt"), encoding="utf-8",
                      errors="replace") as f:
                return [line.rstrip("\n").split(":", 2)[-1] for line in f]
        except FileNotFoundError:
            return []

    def activities_dir(self):
        return os.path.join(self.home, ".local", "share", "KestrelData", "activities")

    def write_user_defaults(self, values):
        """The agent's user defaults (an INI file), e.g. that a first-run
        explanation was shown already, so no window of the agent's own takes
        the focus from the windows a test records."""
        folder = os.path.join(self.home, ".config", "kestrel")
        os.makedirs(folder, mode=0o700, exist_ok=True)
        with open(os.path.join(folder, "Kestrel.conf"), "w", encoding="utf-8") as out:
            out.write("[General]\n")
            for key, value in values.items():
                out.write(f"{key}={'true' if value is True else 'false' if value is False else value}\n")

    def mark_automation_explained(self):
        """The first-run notes were seen: the Automation explanation and the
        note that says how to reach Kestrel without a tray (both take the focus)."""
        self.write_user_defaults({"com.kestrel.Kestrel.HasShownMojaveAutomationAlertBefore": True,
                                  "com.kestrel.Kestrel.HasShownNoTrayMessageBefore": True})


class Switcher(threading.Thread):
    """Gives the front window a new title ("<prefix>-<step>") and switches
    windows every `pause` seconds until stopped: each scan completes a record."""

    def __init__(self, desktop, windows, prefix, pause=0.15):
        super().__init__(daemon=True)
        self.desktop, self.windows, self.prefix, self.pause = desktop, windows, prefix, pause
        self.halt = threading.Event()

    def run(self):
        step = 0
        while not self.halt.is_set():
            window = self.windows[step % len(self.windows)]
            self.desktop.run(["xdotool", "set_window", "--name", "%s-%d" % (self.prefix, step), window])
            self.desktop.run(["xdotool", "windowactivate", "--sync", window])
            step += 1
            self.halt.wait(self.pause)

    def stop(self):
        self.halt.set()
        self.join(timeout=20)


def read_rows(folder):
    rows = []
    for path in sorted(glob.glob(os.path.join(folder, "*.kes[gc]"))):
        with open(path, "rb") as f:
            data = f.read()
        if path.endswith(".kesg"):
            data = gzip.decompress(data)
        rows.extend(csv.reader(io.StringIO(data.decode("utf-8"), newline="")))
    return rows


def parse_time(text):
    return datetime.strptime(text, "%Y-%m-%d %H:%M:%S")
