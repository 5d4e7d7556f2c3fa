"""The real agent and its login item: the autostart entry the login items write,
run as a desktop session runs it, starts the agent once; the agent and the
helper agree on whether a copy runs."""

import os
import shutil
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_harness import AGENT, AgentTestCase  # noqa: E402
from bundle_tree import BUILT_BUNDLE, executable_of, started_programs, wait_for  # noqa: E402
from desktop_entry import entry_path, exec_argv, login_items, main_group, validate  # noqa: E402
from failure_report import ExplainingRunner, output_file  # noqa: E402

ATTEMPT = "***** Attempting to start Kestrel *****"
STARTED = "***** Starting Kestrel *****"
EXITING = "***** Exiting Kestrel *****"
ALREADY = "Kestrel is already running, exiting."
LOOPBACK_SETTINGS = {"url": "127.0.0.1:9", "api_url": "127.0.0.1:9", "debug_log_level": 5,
                     "push_initial_interval": 1800, "pull_initial_interval": 1800}


def environment_of(pid):
    try:
        with open(f"/proc/{pid}/environ", "rb") as f:
            return dict(item.split(b"=", 1) for item in f.read().split(b"\0") if b"=" in item)
    except OSError:
        return {}


class LoginItemAgent(AgentTestCase):
    def setUp(self):
        super().setUp()
        self.home.write_settings(LOOPBACK_SETTINGS)
        self.addCleanup(self.end_session_agents)

    def env(self):
        env = self.home.env()
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(name, None)
        return env

    def session_agents(self):
        """Agents of the build's bundle started in this test's runtime folder."""
        agent = os.path.realpath(AGENT)
        runtime = self.home.runtime.encode()
        return started_programs(sorted(int(name) for name in os.listdir("/proc") if name.isdigit()
                                       and executable_of(int(name)) == agent
                                       and environment_of(int(name)).get(b"XDG_RUNTIME_DIR") == runtime))

    def end_session_agents(self):
        for pid in self.session_agents():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        wait_for(lambda: not self.session_agents())

    def count(self, text):
        return sum(1 for m in self.home.messages() if m.startswith(text))

    def run_entry(self, argv):
        """Runs the entry's command as a session does: no shell, from the home folder."""
        result = subprocess.run(argv, env=self.env(), cwd=self.home.root, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=30)
        self.assertEqual(result.returncode, 0, result)

    def stop(self, pid):
        os.kill(pid, signal.SIGTERM)
        self.assertTrue(wait_for(lambda: pid not in self.session_agents()), "the agent did not end")

    def test_the_autostart_entry_starts_the_agent_once(self):
        self.assertEqual(login_items(BUILT_BUNDLE, "enable", self.env()), (0, ""))
        entry = entry_path(self.home.root)
        self.assertEqual(validate(entry), (0, ""))
        argv = exec_argv(main_group(entry)["Exec"])
        self.assertEqual(argv, [os.path.join(BUILT_BUNDLE, "Contents", "Library", "LoginItems",
                                             "Kestrel-Helper.app", "Contents", "MacOS", "Kestrel-Helper")])

        self.run_entry(argv)
        self.assertTrue(wait_for(lambda: self.count(STARTED) == 1), self.home.messages())
        [agent] = self.session_agents()
        self.assertEqual(os.getsid(agent), agent)

        self.run_entry(argv)
        # A second agent would be running, or would have logged its start, by now.
        self.assertEqual(self.session_agents(), [agent])
        self.assertEqual(self.count(ATTEMPT), 1)
        self.assertEqual(self.count(STARTED), 1)

        self.stop(agent)
        self.assertEqual(self.count(EXITING), 1)
        self.assertEqual(login_items(BUILT_BUNDLE, "disable", self.env()), (0, ""))
        self.assertFalse(os.path.exists(entry))

    def test_copies_started_together_leave_exactly_one_running(self):
        copies = []
        for _ in range(4):
            with output_file(self.home.root, AGENT) as output:
                copies.append(subprocess.Popen([AGENT], env=self.env(), stdin=subprocess.DEVNULL, stdout=output,
                                               stderr=output))
        for copy in copies:
            self.addCleanup(copy.wait)
            self.addCleanup(lambda c=copy: c.poll() is None and c.kill())
        self.assertTrue(wait_for(lambda: sum(c.poll() is not None for c in copies) == 3, timeout=30),
                        [c.poll() for c in copies])
        self.assertEqual(sorted(c.returncode for c in copies if c.poll() is not None), [1, 1, 1])
        self.assertEqual(self.count(ALREADY), 3)
        # The survivor holds the lock before it logs its start: the others
        # can have seen it and ended before that line is written.
        self.assertTrue(wait_for(lambda: self.count(STARTED) >= 1), self.home.messages())
        self.assertEqual(self.count(STARTED), 1)
        [survivor] = [c for c in copies if c.poll() is None]
        self.assertEqual(self.session_agents(), [survivor.pid])

    def test_a_copy_without_its_lock_still_counts_for_the_agent_and_the_helper(self):
        first = self.start()
        self.assertTrue(first.wait_for_message(STARTED))
        # The runtime folder is cleared under the running copy (a session
        # cleaner does that): its lock and socket are gone.
        shutil.rmtree(os.path.join(self.home.runtime, f"kestrel-{os.getuid()}"))

        second = subprocess.run([AGENT], env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=30)
        self.assertEqual(second.returncode, 1)
        self.assertIn(f"Found other instances of Kestrel running in background: (pid {first.process.pid})",
                      self.home.messages())

        self.assertEqual(login_items(BUILT_BUNDLE, "enable", self.env()), (0, ""))
        self.run_entry(exec_argv(main_group(entry_path(self.home.root))["Exec"]))
        self.assertEqual(self.session_agents(), [first.process.pid])
        self.assertEqual(self.count(STARTED), 1)
        self.assertIsNone(first.process.poll())


if __name__ == "__main__":
    sys.exit(unittest.main(testRunner=ExplainingRunner, verbosity=2))
