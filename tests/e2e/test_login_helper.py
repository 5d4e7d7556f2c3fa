"""The login helper, copied into a bundle tree around a stand-in agent: it starts
the agent found four folders above its own bundle, once, in a session of its
own, and quits with 0 whatever it found."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bundle_tree import (add_built_helper, end_processes, make_standin_bundle, mode_of,  # noqa: E402
                         read_pids, running_from, started_programs, wait_for, write_standin)
from desktop_entry import entry_path, exec_argv, login_items, main_group, validate  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

AGENT_ID = "com.kestrel.Kestrel"


class LoginHelper(unittest.TestCase):
    def setUp(self):
        self.root = os.path.realpath(tempfile.mkdtemp(prefix="kes-helper-"))
        self.runtime = os.path.join(self.root, "run")
        os.makedirs(self.runtime, mode=0o700)
        self.marker = os.path.join(self.root, "launched")
        self.agent = make_standin_bundle(os.path.join(self.root, "Kestrel.app"), AGENT_ID, self.marker)
        self.helper = add_built_helper(self.agent)

    def tearDown(self):
        end_processes(sorted(set(running_from(self.root) + read_pids(self.marker))))
        shutil.rmtree(self.root, ignore_errors=True)

    def env(self, **extra):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "XDG_DATA_HOME")}
        env.update(HOME=self.root, XDG_RUNTIME_DIR=self.runtime, TMPDIR=self.root)
        env.update(extra)
        return env

    def run_helper(self, helper=None):
        result = subprocess.run([helper or self.helper], env=self.env(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout + result.stderr, b"", "the helper says nothing")
        return result

    def agents_running(self, bundle=None):
        """Stand-in agents running from the bundle (the helper has ended by now)."""
        return started_programs(running_from(os.path.join(bundle or self.agent, "Contents", "MacOS")))

    def wait_for_launches(self, count):
        self.assertTrue(wait_for(lambda: len(read_pids(self.marker)) >= count),
                        f"expected {count} launches, marker has {read_pids(self.marker)}")

    def start_standin(self, bundle, identifier, **env):
        """A stand-in of another application, started here in a session of its own."""
        make_standin_bundle(bundle, identifier)
        process = subprocess.Popen([os.path.join(bundle, "Contents", "MacOS", "Kestrel")], env=self.env(**env),
                                   stdin=subprocess.DEVNULL, start_new_session=True)
        self.addCleanup(process.wait)
        self.addCleanup(end_processes, [process.pid])
        self.assertTrue(wait_for(lambda: running_from(bundle) != []))
        return process

    def test_one_run_launches_once_in_its_own_session_and_a_second_run_none(self):
        self.run_helper()
        self.wait_for_launches(1)
        [pid] = read_pids(self.marker)
        # The helper has already ended while the agent sleeps on: it did not wait.
        self.assertEqual(self.agents_running(), [pid])
        self.assertEqual(os.getsid(pid), pid)
        self.assertNotEqual(os.getsid(pid), os.getsid(0))
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            # The interpreter and its script: no argument was passed.
            self.assertEqual(f.read().split(b"\0")[2:], [b""])

        self.run_helper()
        # A second launch would be running by the time the helper ended.
        self.assertEqual(self.agents_running(), [pid])
        self.assertEqual(read_pids(self.marker), [pid])

    def test_renamed_bundle_still_starts_from_the_helpers_place(self):
        renamed = os.path.join(self.root, "Renamed.app")
        os.rename(self.agent, renamed)
        write_standin(renamed, "Kestrel", self.marker)  # its interpreter line names the bundle
        self.run_helper(self.helper.replace(self.agent, renamed, 1))
        self.wait_for_launches(1)
        self.assertEqual(self.agents_running(renamed), read_pids(self.marker))

    def test_nothing_to_start_is_a_silent_exit_with_0(self):
        plist = os.path.join(self.agent, "Contents", "Info.plist")
        script = os.path.join(self.agent, "Contents", "MacOS", "Kestrel")
        with open(plist, encoding="utf-8") as f:
            good = f.read()

        def write_plist(text):
            with open(plist, "w", encoding="utf-8") as f:
                f.write(text)

        cases = {
            "no Info.plist": lambda: os.remove(plist),
            "no executable named": lambda: write_plist(good.replace("CFBundleExecutable", "Other")),
            "a name that leaves the bundle": lambda: write_plist(
                good.replace("<string>Kestrel</string>", "<string>../../Kestrel</string>")),
            "not executable": lambda: os.chmod(script, 0o644),
            "a folder": lambda: (os.remove(script), os.mkdir(script)),
        }
        for name, spoil in cases.items():
            with self.subTest(name):
                spoil()
                self.run_helper()
                self.assertEqual(self.agents_running(), [])
                write_plist(good)
                if os.path.isdir(script):
                    os.rmdir(script)
                write_standin(self.agent, "Kestrel", self.marker)
        self.assertEqual(read_pids(self.marker), [])

        # A helper outside any bundle tree has nothing four folders up.
        loose = os.path.join(self.root, "Kestrel-Helper")
        shutil.copy2(self.helper, loose)
        self.run_helper(loose)
        self.assertEqual(running_from(self.root), [])

    def test_lookalike_identifiers_do_not_count_as_the_agent(self):
        self.start_standin(os.path.join(self.root, "Lookalike.app"), "com.kestrel.KestrelX")
        self.start_standin(os.path.join(self.root, "HelperLike.app"), "com.kestrel.Kestrel-Helper")
        self.run_helper()
        self.wait_for_launches(1)
        self.assertEqual(self.agents_running(), read_pids(self.marker))

    def test_an_agent_counts_only_in_its_own_session(self):
        other = os.path.join(self.root, "Elsewhere.app")
        self.start_standin(other, AGENT_ID, XDG_RUNTIME_DIR=os.path.join(self.root, "other-run"))
        self.run_helper()
        self.wait_for_launches(1)
        self.assertEqual(len(self.agents_running()), 1)

        # The same agent started in this session is found.
        end_processes(self.agents_running())
        self.start_standin(os.path.join(self.root, "Here.app"), AGENT_ID)
        self.run_helper()
        self.assertEqual(self.agents_running(), [])
        self.assertEqual(len(read_pids(self.marker)), 1)

    def test_the_autostart_entry_of_a_bundle_at_an_odd_path_runs_its_helper(self):
        odd = os.path.join(self.root, "a b\"c$d`e\\f%g'h;i&j|k<l>m*n?o#p(q)r~s\u00e9 %f")
        os.makedirs(odd)
        agent = os.path.join(odd, "Kestrel.app")
        os.rename(self.agent, agent)
        # An interpreter line ends at the first blank: this stand-in runs on
        # the system shell, and is ended by the id it writes.
        script = os.path.join(agent, "Contents", "MacOS", "Kestrel")
        with open(script, "w", encoding="utf-8") as out:
            out.write(f"#!/bin/sh\necho $$ >> '{self.marker}'\nwhile :; do sleep 600; done\n")

        self.assertEqual(login_items(agent, "enable", self.env()), (0, ""))
        entry = entry_path(self.root)
        self.assertEqual(validate(entry), (0, ""))
        self.assertEqual(mode_of(entry), 0o600)
        argv = exec_argv(main_group(entry)["Exec"])
        self.assertEqual(argv, [os.path.join(agent, "Contents", "Library", "LoginItems", "Kestrel-Helper.app",
                                             "Contents", "MacOS", "Kestrel-Helper")])
        self.assertEqual(login_items(agent, "status", self.env()), (0, "enabled"))
        self.run_helper(argv[0])
        self.wait_for_launches(1)

        self.assertEqual(login_items(agent, "disable", self.env()), (0, ""))
        self.assertFalse(os.path.exists(entry))
        self.assertEqual(login_items(agent, "status", self.env()), (0, "disabled"))


if __name__ == "__main__":
    sys.exit(unittest.main(testRunner=ExplainingRunner, verbosity=2))
