"""Starts the agent's bundle in a private home and reads what it wrote."""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import failure_report
import waiting
from bundle_tree import BUILD_DIR, BUILT_BUNDLE, bundle_program, trusting_bundle  # noqa: F401 (BUILD_DIR: for the scripts)

AGENT = bundle_program(BUILT_BUNDLE)
LINE = re.compile(r"^\d{8}T\d{6}:(\d+):(.*)$")
# An orderly end, or a second start handing over, takes a fraction of a
# second; what the checks of it catch (a transfer waited out, a write that
# blocks, a thread never joined) takes 30 s or for ever. The bound sits
# between, far above what a busy machine adds; the time itself is printed.
PROMPT_END_SECONDS = 10.0


def wait_until(condition, timeout=30.0, what=None):
    """The condition's first true value; fails the test (waiting.TimedOut)
    saying what it waited for when none came in time."""
    return waiting.wait_until(condition, timeout, what)


def kill_if_running(process):
    """Kills `process` (none: nothing) and reaps it; for a test's end, which
    asks for no orderly stop."""
    if process and process.poll() is None:
        process.kill()
        process.wait()


def peak_memory_kib(pid):
    """The process's peak resident memory so far (VmHWM), in KiB."""
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise AssertionError("no VmHWM for %d" % pid)


class PrivateHome:
    """A temporary HOME with its own data, config and runtime folders; a
    witness of the test (failure_report): a failing test shows its debug log
    and what the agents started in it wrote."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="kes-e2e-")
        self.data_dir = os.path.join(self.root, ".local", "share", "KestrelData")
        self.runtime = os.path.join(self.root, "run")
        os.makedirs(self.runtime, mode=0o700)
        failure_report.watch(self)

    def env(self, **extra):
        env = {k: v for k, v in os.environ.items()
               if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}
        env.update(HOME=self.root, XDG_RUNTIME_DIR=self.runtime, TMPDIR=self.root,
                   KES_REACHABILITY_PROBE_URL="http://127.0.0.1:9/")
        env.pop("XDG_DATA_HOME", None)
        env.pop("XDG_CONFIG_HOME", None)
        env.update(extra)
        return env

    def copy_bundle(self, *certificates):
        """A copy of the built bundle inside this home (trusting_bundle), so
        base_config.json and account_key beside and inside it are the test's
        own. Returns the program's path."""
        return bundle_program(trusting_bundle(os.path.join(self.root, "Applications"), *certificates))

    def write_settings(self, settings):
        os.makedirs(self.data_dir, exist_ok=True)
        with open(os.path.join(self.data_dir, "kestreld.json"), "w", encoding="utf-8") as out:
            json.dump(settings, out)

    def log_path(self):
        return os.path.join(self.data_dir, "log", "debug_log.txt")

    def log_entries(self):
        """(level, message) pairs; a message's own line feeds stay with it."""
        try:
            with open(self.log_path(), encoding="utf-8") as f:
                text = f.read()
        except FileNotFoundError:
            return []
        entries = []
        for raw in text.split("\n"):
            match = LINE.match(raw)
            if match:
                entries.append((int(match.group(1)), match.group(2)))
        return entries

    def messages(self):
        return [message for _, message in self.log_entries()]

    def cleanup(self):
        failure_report.forget(self)
        shutil.rmtree(self.root, ignore_errors=True)

    def explain(self):
        """What a failing test's report shows of this home."""
        return "\n".join([f"-- home {self.root}", failure_report.debug_log_tail(self.data_dir),
                          failure_report.output_tails(self.root)])


class Agent:
    """One running copy of the agent; always ended by `stop` or `kill`."""

    def __init__(self, home, env=None, args=(), program=AGENT, prefix=()):
        self.home = home
        with failure_report.output_file(home.root, program) as output:
            self.process = subprocess.Popen([*prefix, program, *args], env=env or home.env(),
                                            stdout=output, stderr=output)

    def wait_for_message(self, text, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if any(text in m for m in self.home.messages()):
                return True
            if self.process.poll() is not None:
                return any(text in m for m in self.home.messages())
            time.sleep(0.05)
        return False

    def terminate(self, timeout=3 * PROMPT_END_SECONDS):
        """Sends SIGTERM; returns (exit code, seconds it took to end), and prints the seconds."""
        started = time.monotonic()
        self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise
        seconds = time.monotonic() - started
        print("\n[ figures ] SIGTERM ended the agent in %.2f s" % seconds, file=sys.stderr)
        return code, seconds

    def kill(self):
        kill_if_running(self.process)


class AgentTestCase(unittest.TestCase):
    """A private home per test; every agent a test starts is ended after it."""

    def setUp(self):
        self.home = PrivateHome()
        self.agents = []

    def tearDown(self):
        for agent in self.agents:
            agent.kill()
        self.home.cleanup()

    def start(self):
        agent = Agent(self.home)
        self.agents.append(agent)
        return agent
