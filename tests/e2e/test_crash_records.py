"""No completed record is lost or uploaded twice when the agent is killed.

Each run records real X11 windows whose titles xdotool changes and switches
every few hundred milliseconds, so each scan (once a second) completes a
record, with the pusher flushing and uploading to the
service stand-in every second; SIGKILL ends it at a random moment in its
first seconds (inside a scan, a flush, an upload or the journal's write alike). The agent is then
started again on the same data folder and runs until the service has what
the first run recorded. Python compares, by start time and title, the rows
the service received with the records the first run's debug log shows:
  - "Journaled:" lines are written after a record reached the journal, so
    each of them must have arrived;
  - "Valid entry is:" lines are written as a record is completed, before it
    reaches the logger, so nothing else may arrive, and at most the one
    completed in the killed instant may be missing;
  - no row arrives twice. The service keeps an upload by its file_uuid (a
    file the pusher sent just before the kill, but could not yet delete, is
    sent again under the same uuid: that is one upload, counted once).

KES_CRASH_RUNS sets the number of runs (default 10; 100 for a
full check), KES_CRASH_SEED the random moments.
"""

import collections
import glob
import json
import os
import random
import shutil
import sys
import tempfile
import time
import unittest

from agent_harness import LINE
from bundle_tree import bundle_program, trusting_bundle
from scanner_x11 import Desktop, Switcher
from service_rows import received_rows, row_key
from standin_client import StandinProcess, end_process
from failure_report import ExplainingRunner

RUNS = int(os.environ.get("KES_CRASH_RUNS", "10"))
SEED = int(os.environ.get("KES_CRASH_SEED", str(int(time.time()))))
DATA_KEY = "DK-demo-51ab2c7d9e0f4b13a6c8"
JOURNALED = "[logger:log] Journaled: "
COMPLETED = "[log_entry:is_valid_entry: Valid entry is: "


def account_key(run):
    return "AK-crash-%03d" % run


def counted(sources):
    return collections.Counter({key: len(where) for key, where in sources.items()})


def read_text(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except FileNotFoundError:
        return ""


def logged_records(log_path, prefix):
    lines = read_text(log_path).split("\n")
    return collections.Counter(row_key(match.group(2)[len(prefix):]) for match in map(LINE.match, lines)
                               if match and match.group(2).startswith(prefix))


class CrashedRecords(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="kes-crash-")
        cls.desktop = Desktop(window_manager=True)
        cls.windows = [cls.desktop.xterm("crash-window-a"), cls.desktop.xterm("crash-window-b")]
        cls.service = StandinProcess(os.path.join(cls.root, "standin"))
        cls.service.client.set_state(extra_account_keys=[account_key(run) for run in range(RUNS)])
        # The agent's own bundle, trusting the stand-in.
        cls.bundle = trusting_bundle(cls.root, cls.service.ca_cert)

    @classmethod
    def tearDownClass(cls):
        cls.service.stop()
        cls.desktop.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    def start_agent(self, home):
        env = self.desktop.env(HOME=home, XDG_RUNTIME_DIR=os.path.join(home, "run"), TMPDIR=home,
                               KES_REACHABILITY_PROBE_URL="http://127.0.0.1:%d/" % self.service.probe_port)
        return self.desktop.start([bundle_program(self.bundle)], env=env)

    def wait_for_start(self, log_path, starts):
        """Until the debug log shows the scanner started `starts` times (the log is kept across runs)."""
        deadline = time.monotonic() + 20
        while read_text(log_path).count("  Scanner Started") < starts:
            self.assertLess(time.monotonic(), deadline, "the agent did not start")
            time.sleep(0.02)

    def received(self, run, activities=None):
        """Where each row, by (start, title), arrived for the run (see received_rows)."""
        return received_rows(self.service.client, account_key(run), activities)

    def one_run(self, run, moment):
        home = os.path.join(self.root, "home-%03d" % run)
        data_dir = os.path.join(home, ".local", "share", "KestrelData")
        os.makedirs(os.path.join(home, "run"), mode=0o700)
        os.makedirs(data_dir)
        with open(os.path.join(data_dir, "kestreld.json"), "w", encoding="utf-8") as out:
            json.dump({"url": self.service.host, "api_url": self.service.host, "account_key": account_key(run),
                       "data_key": DATA_KEY, "first_time_running": False, "scan_interval": 1,
                       "idle_time_start": 86400, "push_initial_interval": 1, "push_interval": 1,
                       "pull_initial_interval": 3600, "pull_interval": 3600, "debug_log_level": 1 | 4 | 128 | 512}, out)
        log_path = os.path.join(data_dir, "log", "debug_log.txt")

        switcher = Switcher(self.desktop, self.windows, "crash-%d" % run)
        switcher.start()
        agent = self.start_agent(home)
        try:
            self.wait_for_start(log_path, 1)
            time.sleep(moment)
            agent.kill()
            agent.wait()
        finally:
            switcher.stop()
            end_process(agent)
        journaled = logged_records(log_path, JOURNALED)
        completed = logged_records(log_path, COMPLETED)
        # Titles of the next run's own records must not meet the first run's.
        for window in self.windows:
            self.desktop.run(["xdotool", "set_window", "--name", "after-crash-%d" % run, window])
        self.desktop.run(["xdotool", "windowactivate", "--sync", self.windows[0]])

        second_run_title = "after-crash-%d" % run
        agent = self.start_agent(home)
        try:
            self.wait_for_start(log_path, 2)
            deadline = time.monotonic() + 60
            while journaled - counted(self.received(run)[0]) and time.monotonic() < deadline:
                time.sleep(0.2)
            agent.terminate()
            self.assertEqual(agent.wait(timeout=20), 0)
        finally:
            end_process(agent)
        # What still waits in the activities folder goes out at the next start:
        # it counts as received too, so a duplicate there shows.
        sources, resent = self.received(run, os.path.join(data_dir, "activities"))
        first_run = {key: where for key, where in sources.items() if key[1] != second_run_title}
        # After an orderly end the journal holds nothing: every record is in an upload file.
        left = [path for path in glob.glob(os.path.join(data_dir, "journal", "*")) if os.path.getsize(path) > 0]
        return journaled, completed, first_run, resent, left, home

    def test_every_completed_record_arrives_exactly_once_after_a_kill(self):
        chance = random.Random(SEED)
        print("\nkill runs: %d, seed %d" % (RUNS, SEED), file=sys.stderr)
        totals = collections.Counter()
        for run in range(RUNS):
            moment = chance.uniform(0.3, 6.0)
            journaled, completed, sources, resent, left, home = self.one_run(run, moment)
            received = counted(sources)
            problems = {
                "the journal keeps rows after an orderly end": left,
                "journaled twice": [key for key, n in journaled.items() if n > 1],
                "journaled but never received": sorted(journaled - received),
                "received twice": {key: where for key, where in sources.items() if len(where) > 1},
                "received but never completed": sorted(received - completed),
                "completed but lost (more than the one of the killed instant)":
                    sorted(completed - received) if sum((completed - received).values()) > 1 else [],
            }
            problems = {what: found for what, found in problems.items() if found}
            if problems and os.environ.get("KES_CRASH_KEEP"):
                kept = shutil.copytree(home, "/tmp/kes-crash-failed-%03d" % run, symlinks=True)
                print("kept the failed run's home as " + kept, file=sys.stderr)
            with self.subTest(run=run, killed_after=round(moment, 2)):
                self.assertEqual(problems, {})
            totals.update(journaled=sum(journaled.values()), received=sum(received.values()),
                          in_flight=sum((completed - received).values()), resent=resent)
        print("records journaled %(journaled)d, received %(received)d, completed in the killed instant "
              "%(in_flight)d, files sent again under their uuid %(resent)d" % totals, file=sys.stderr)
        self.assertGreater(totals["received"], RUNS)  # the runs did record


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
