"""The agent against hostile files where it reads its own: a pipe, a folder,
/dev/zero or a huge sparse file in place of kestreld.json, kestreld.cfg,
base_config.json, the bundle's account_key, a journal segment and marker and
an old log's progress file; a 4 MiB settings file of empty objects; and a
kestreld.json it may not read (mode 000, the agent running as another user).
Every start comes up, keeps its peak memory (VmHWM) under 100 MB, ends on
SIGTERM within 2 s, and leaves the hostile files as they were."""

import json
import os
import pwd
import shutil
import stat
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_harness import Agent, PrivateHome, peak_memory_kib  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

# Said once the controller has launched, which comes after every file above was read.
READY = "[KestrelController:applicationDidFinishLaunching] No system tray is available"
MEMORY_LIMIT_KIB = 100 * 1024
MARKER = "0a1b2c3d-0000-4000-8000-00000000abcd.kesc.flushed"


def make_pipe(path):
    os.mkfifo(path, 0o600)


def make_folder(path):
    os.mkdir(path, 0o700)


def make_zero_link(path):
    os.symlink("/dev/zero", path)


def make_sparse(path):
    with open(path, "wb") as out:
        out.truncate(5 << 30)


def describe(path):
    """What a hostile file is, to see it was left alone."""
    info = os.lstat(path)
    return stat.S_IFMT(info.st_mode), info.st_ino, info.st_size, info.st_mtime_ns


class HostileFiles(unittest.TestCase):
    def setUp(self):
        self.home = None
        self.agent = None
        self.fresh_home()

    def fresh_home(self):
        self.tearDown()
        self.home = PrivateHome()
        self.program = self.home.copy_bundle()
        self.app_dir = os.path.join(self.home.root, "Applications")
        self.bundle = os.path.join(self.app_dir, "Kestrel.app")
        for folder in ("journal", "log"):
            os.makedirs(os.path.join(self.home.data_dir, folder), mode=0o700)

    def tearDown(self):
        if self.agent:
            self.agent.kill()
            self.agent = None
        if self.home:
            self.home.cleanup()

    def run_until_ready(self, prefix=()):
        """Starts the agent, waits until it is up, ends it; (peak KiB, seconds to start, seconds to end)."""
        started = time.monotonic()
        self.agent = Agent(self.home, program=self.program, prefix=prefix)
        self.assertTrue(self.agent.wait_for_message(READY, timeout=20), "the agent did not come up")
        ready = time.monotonic() - started
        peak = peak_memory_kib(self.agent.process.pid)
        code, seconds = self.agent.terminate()
        self.assertEqual(code, 0)
        self.assertLess(seconds, 2.0)
        self.assertLess(peak, MEMORY_LIMIT_KIB)
        return peak, ready, seconds

    def hostile_paths(self):
        data = self.home.data_dir
        return {
            "kestreld.json": os.path.join(data, "kestreld.json"),
            "kestreld.cfg": os.path.join(data, "kestreld.cfg"),
            "base_config.json": os.path.join(self.app_dir, "base_config.json"),
            "account_key": os.path.join(self.bundle, "Contents", "account_key"),
            "segment": os.path.join(data, "journal", "7.journal"),
            "marker": os.path.join(data, "journal", MARKER),
            "progress": os.path.join(data, "log", "old.log.progress"),
        }

    def test_pipes_folders_devices_and_huge_files_are_refused_without_blocking(self):
        for name, make in (("pipes", make_pipe), ("folders", make_folder), ("/dev/zero", make_zero_link),
                           ("sparse 5 GiB files", make_sparse)):
            with self.subTest(name):
                self.fresh_home()
                paths = self.hostile_paths()
                for path in paths.values():
                    make(path)
                with open(os.path.join(self.home.data_dir, "log", "old.log"), "wb") as out:
                    out.write(b"\x02\x00\x00\x00")  # an old log, so its progress file is read
                before = {key: describe(path) for key, path in paths.items()}
                peak, ready, ended = self.run_until_ready()
                print("\n[ figures ] %s: up in %.2f s, VmHWM %.1f MB, ended in %.2f s"
                      % (name, ready, peak / 1024, ended), file=sys.stderr)
                messages = self.home.messages()
                reason = {"pipes": "not a regular file", "folders": "not a regular file",
                          "/dev/zero": "not a regular file", "sparse 5 GiB files": "larger than"}[name]
                for expected in ("[config:load_from_json_on_disk] The configuration file %s cannot be read (%s"
                                 % (paths["kestreld.json"], reason),
                                 "[config:load] Ignoring the unreadable base configuration file %s: %s"
                                 % (paths["base_config.json"], reason),
                                 "[config:load_from_yaml_on_disk] The legacy configuration file %s cannot be read (%s"
                                 % (paths["kestreld.cfg"], reason),
                                 "[osx_daemon:load_provisioned_account_key] The account_key file cannot be read: "
                                 + reason):
                    self.assertTrue(any(m.startswith(expected) for m in messages), expected)
                # The legacy file is left alone, the journal's odd entries are passed over.
                self.assertTrue(any("Ignoring the unreadable journal marker" in m for m in messages))
                for key in ("kestreld.json", "kestreld.cfg", "base_config.json", "account_key", "segment", "marker"):
                    self.assertEqual(describe(paths[key]), before[key], key)
                self.assertFalse(os.path.exists(paths["kestreld.json"] + ".corrupt"))

    def test_a_four_mib_settings_file_of_empty_objects_reads_at_once(self):
        empty_objects = ",".join(["{}"] * (1400 * 1000))
        with open(os.path.join(self.home.data_dir, "kestreld.json"), "w") as out:
            out.write('{"account_key": "AK-objects-5150", "debug_log_level": 1, "whitelist": [%s]}'
                      % empty_objects)
        size = os.path.getsize(os.path.join(self.home.data_dir, "kestreld.json"))
        self.assertGreater(size, 4 << 20)
        peak, ready, ended = self.run_until_ready()
        print("\n[ figures ] %.1f MiB of empty objects in kestreld.json: up in %.2f s, VmHWM %.1f MB, ended in %.2f s"
              % (size / 1048576, ready, peak / 1024, ended), file=sys.stderr)
        with open(os.path.join(self.home.data_dir, "kestreld.json")) as f:
            self.assertEqual(json.load(f)["account_key"], "AK-objects-5150")
        self.assertTrue(any(m.startswith("[config:load] Left out ") for m in self.home.messages()))

    def test_a_legacy_file_of_open_brackets_is_refused_before_it_is_parsed(self):
        # 5 MB is past the legacy file's size limit; 250 kB is under it and meets the nesting check.
        for size, refusal in ((5 * 1000 * 1000, "cannot be read (larger than"),
                              (250 * 1000, "Caught std::exception loading config: structure nested too deeply")):
            with self.subTest(size=size):
                self.fresh_home()
                with open(os.path.join(self.home.data_dir, "kestreld.cfg"), "w") as out:
                    out.write("[" * size)
                peak, _, _ = self.run_until_ready()
                print("\n[ figures ] %d kB of '[' in kestreld.cfg: VmHWM %.1f MB" % (size // 1000, peak / 1024),
                      file=sys.stderr)
                self.assertTrue(any(m.startswith("[config:load_from_yaml_on_disk]") and refusal in m
                                    for m in self.home.messages()), refusal)

    def test_a_settings_file_it_may_not_read_is_never_replaced(self):
        """Mode 000 owned by the agent's own user: as root the agent runs as nobody
        (root would read the file anyway)."""
        settings = os.path.join(self.home.data_dir, "kestreld.json")
        original = json.dumps({"account_key": "AK-private-2718", "url": "127.0.0.1:9", "api_url": "127.0.0.1:9",
                               "first_time_running": False}).encode()
        with open(settings, "wb") as out:
            out.write(original)
        # The bundle's key is applied at every start, and applying it saves the store.
        with open(os.path.join(self.bundle, "Contents", "account_key"), "w") as out:
            out.write("AK-provisioned-3141\n")
        prefix = ()
        if os.geteuid() == 0:
            if not shutil.which("setpriv"):
                self.skipTest("setpriv is needed to run the agent as another user")
            nobody = pwd.getpwnam("nobody")
            for folder, _, files in os.walk(self.home.root):
                os.chown(folder, nobody.pw_uid, nobody.pw_gid)
                for name in files:
                    os.lchown(os.path.join(folder, name), nobody.pw_uid, nobody.pw_gid)
            os.chmod(self.home.root, 0o755)
            prefix = ("setpriv", "--reuid=%d" % nobody.pw_uid, "--regid=%d" % nobody.pw_gid, "--clear-groups")
        os.chmod(settings, 0)
        before = describe(settings)
        self.run_until_ready(prefix)
        self.assertEqual(describe(settings), before)
        os.chmod(settings, 0o600)
        with open(settings, "rb") as f:
            self.assertEqual(f.read(), original)
        messages = self.home.messages()
        self.assertIn("[config:load_from_json_on_disk] The configuration file %s cannot be read (Permission denied); "
                      "running on defaults, and nothing is saved over it until the agent starts again" % settings,
                      messages)
        self.assertIn("[config:save] Not saved: the configuration file could not be read at start and is kept as "
                      "it is", messages)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
