"""The agent against hostile files where it reads its own: a pipe, a folder,
/dev/zero or a huge sparse file in place of kestreld.json, kestreld.cfg,
base_config.json, the bundle's account_key, a journal segment and marker and
an old log's progress file; a 4 MiB settings file of empty objects; and a
kestreld.json it may not read (mode 000, the agent running as another user).
Every start comes up, keeps its peak memory (VmHWM) under 100 MB, ends on
SIGTERM within 2 s, and leaves the hostile files as they were.

And where it writes: a pipe at debug_log.txt, at the journal segment it
opens next, and at kestreld.json's temporary name, while the agent records
real X11 windows under Xvfb and openbox at debug_log_level 65535 and xdotool
moves the focus for 25 s. It goes on recording (python's gzip and csv read
the upload rows), writes nothing into the pipe and ends on SIGTERM with exit
code 0 (the time it takes is printed; only a hang fails). An upload file's
temporary name is a fresh random UUID created exclusively: nothing can be
waiting there."""

import glob
import json
import os
import pwd
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_harness import LINE, PROMPT_END_SECONDS, Agent, PrivateHome, peak_memory_kib, wait_until  # noqa: E402
from bundle_tree import bundle_program, trusting_bundle  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402
from scanner_x11 import Desktop, Switcher, read_rows  # noqa: E402
from standin_client import end_process  # noqa: E402

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
        self.assertLess(seconds, PROMPT_END_SECONDS)
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


class PipesWhereItWrites(unittest.TestCase):
    RECORDING_SECONDS = 25

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="kes-pipes-")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.desktop = Desktop(window_manager=True)
        self.addCleanup(self.desktop.close)
        self.windows = [self.desktop.xterm("pipes-a"), self.desktop.xterm("pipes-b")]
        self.desktop.mark_automation_explained()
        self.data_dir = self.desktop.data_dir()
        for folder in ("journal", "log"):
            os.makedirs(os.path.join(self.data_dir, folder), mode=0o700)
        self.bundle = trusting_bundle(self.root)
        self.settings = {"url": "127.0.0.1:9", "api_url": "127.0.0.1:9", "account_key": "AK-pipes-0a0b",
                         "first_time_running": False, "scan_interval": 1, "idle_time_start": 86400,
                         "push_initial_interval": 3600, "push_interval": 3600, "pull_initial_interval": 3600,
                         "pull_interval": 3600, "debug_log_level": 65535}
        self.desktop.write_settings(self.settings)

    def record(self, title, planted=None, before_the_end=None):
        """Runs the agent while the focus moves, calling `planted` once it is
        started and `before_the_end` before it is ended with SIGTERM. Answers
        (the records of the switched windows, what the agent said on stderr)."""
        switcher = Switcher(self.desktop, self.windows, title)
        switcher.start()
        self.addCleanup(switcher.stop)
        stderr_path = os.path.join(self.root, "stderr.txt")
        with open(stderr_path, "w") as stderr:
            agent = subprocess.Popen([bundle_program(self.bundle)], env=self.desktop.env(),
                                     stdout=subprocess.DEVNULL, stderr=stderr)
        self.addCleanup(end_process, agent)
        started = time.monotonic()
        if planted:
            planted()
        time.sleep(max(0.0, self.RECORDING_SECONDS - (time.monotonic() - started)))
        self.assertIsNone(agent.poll(), "the agent ended by itself")
        if before_the_end:
            before_the_end()
        asked = time.monotonic()
        agent.send_signal(15)
        try:
            code = agent.wait(timeout=PROMPT_END_SECONDS)
        except subprocess.TimeoutExpired:
            self.fail("SIGTERM did not end the agent within %d s" % PROMPT_END_SECONDS)
        ended = time.monotonic() - asked
        switcher.stop()
        rows = read_rows(self.desktop.activities_dir())
        recorded = [row for row in rows if row[3].startswith(title)]
        print("\n[ figures ] %s: %d records of the switched windows in %.0f s; SIGTERM ended the agent in %.2f s"
              % (self.id().rsplit(".", 1)[-1], len(recorded), asked - started, ended), file=sys.stderr)
        self.assertEqual(code, 0)
        self.assertGreater(len(recorded), self.RECORDING_SECONDS // 3, "the agent went on recording")
        for row in rows:
            self.assertEqual(len(row), 12)
        with open(stderr_path, encoding="utf-8", errors="replace") as f:
            return recorded, f.read()

    def test_a_pipe_at_the_debug_log(self):
        path = os.path.join(self.data_dir, "log", "debug_log.txt")
        make_pipe(path)
        before = describe(path)
        _, said = self.record("pipe-log")
        self.assertEqual(said.count("is not a regular file"), 1, said)
        self.assertIn("Kestrel: the debug log %s is not a regular file; no debug log is written there.\n" % path,
                      said)
        self.assertEqual(describe(path), before)

    def test_a_pipe_at_the_next_journal_segment(self):
        # The one flush before the end opens the pipe as the next segment; the
        # long titles fill a pipe's buffer several times over after it.
        self.desktop.write_settings(dict(self.settings, push_initial_interval=6))
        journal = os.path.join(self.data_dir, "journal")
        pipe = []

        def plant():
            segments = wait_until(lambda: glob.glob(os.path.join(journal, "*.journal")), timeout=5,
                                  what="the first journal segment")
            number = int(os.path.basename(segments[0]).split(".")[0])
            pipe.append(os.path.join(journal, "%d.journal" % (number + 1)))
            make_pipe(pipe[0])
        def nothing_written():
            reader = os.open(pipe[0], os.O_RDONLY | os.O_NONBLOCK)
            try:
                self.assertEqual(os.read(reader, 1 << 20), b"", "rows were written into the pipe")
            except BlockingIOError:
                self.fail("the agent holds the pipe open")
            finally:
                os.close(reader)
        title = "pipe-segment-" + "x" * 6000
        recorded, _ = self.record(title, plant, nothing_written)
        self.assertGreater(sum(len(row[3]) for row in recorded), 2 * 65536)
        self.assertTrue(any(m.startswith("[logger:log] Could not open the journal segment %s: not a regular file"
                                         % pipe[0]) for m in self.messages()))

    def test_a_pipe_at_the_settings_files_temporary_name(self):
        # The bundle's account key is applied at start, and that saves the settings.
        with open(os.path.join(self.bundle, "Contents", "account_key"), "w") as out:
            out.write("AK-provisioned-pipes-1d2e\n")
        settings = os.path.join(self.data_dir, "kestreld.json")
        make_pipe(settings + ".tmp")
        self.record("pipe-settings")
        self.assertIn("[config:save] Could not write the configuration file: open %s.tmp: not a regular file"
                      % settings, self.messages())
        self.assertFalse(os.path.lexists(settings + ".tmp"))
        with open(settings, encoding="utf-8") as f:
            self.assertEqual(json.load(f)["account_key"], "AK-provisioned-pipes-1d2e", "the next save went through")

    def test_a_pipe_at_the_user_defaults_file(self):
        # Read at start on the main thread: a pipe there held the agent before
        # it recorded anything, and SIGTERM with it.
        path = os.path.join(self.desktop.home, ".config", "kestrel", "Kestrel.conf")
        os.remove(path)
        make_pipe(path)
        before = describe(path)
        self.record("pipe-defaults")
        self.assertEqual(describe(path), before)

    def messages(self):
        with open(os.path.join(self.data_dir, "log", "debug_log.txt"), encoding="utf-8", errors="replace") as f:
            return [match.group(2) for match in map(LINE.match, f.read().split("\n")) if match]


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
