"""The data folder on a disk that fills up, or that is read-only from the start.
The agent records real X11 windows whose titles change every scan, with the
data folder (and, for counting, its log folder) on small tmpfs mounts:
  - a full log disk costs the lines that could not be written, never the log
    before them;
  - records that reached neither the journal nor an upload file by the end are
    reported with their count on stderr and in the debug log, and the exit code
    says so (2); every other record reaches the service exactly once, after
    the disk has room again;
  - SIGTERM ends the agent within 2 s in every case.
Mounting needs root; where it is refused the tests skip."""

import csv
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from agent_harness import AGENT, PROMPT_END_SECONDS, wait_until
from bundle_tree import bundle_program, trusting_bundle
from scanner_x11 import Desktop, Switcher
from service_rows import received_rows
from standin_client import DEMO_ACCOUNT_KEY as ACCOUNT_KEY, DEMO_DATA_KEY as DATA_KEY
from standin_client import StandinProcess, end_process
from tmpfs import mount_or_skip
from failure_report import ExplainingRunner, output_file

LOST = re.compile(r"Kestrel: (\d+) activity records could not be written to the journal or an upload file; "
                  r"they are lost\.")
RECORDS_LOST_EXIT_CODE = 2


class UnwritableDataFolder(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="kes-unwritable-")
        self.disks = []
        self.agents = []
        self.switcher = None
        self.service = None
        self.desktop = Desktop(window_manager=True)
        self.windows = [self.desktop.xterm("unwritable-a"), self.desktop.xterm("unwritable-b")]
        self.desktop.mark_automation_explained()
        self.data_dir = self.desktop.data_dir()
        self.disks.append(mount_or_skip(self, self.data_dir, "8m"))
        os.makedirs(os.path.join(self.data_dir, "log"))
        self.disks.append(mount_or_skip(self, os.path.join(self.data_dir, "log"), "1m"))

    def tearDown(self):
        if self.switcher:
            self.switcher.stop()
        for agent in self.agents:
            end_process(agent)
        for disk in reversed(self.disks):
            disk.unmount()
        if self.service:
            self.service.stop()
        self.desktop.close()
        shutil.rmtree(self.root, ignore_errors=True)

    def start_agent(self, program):
        with output_file(self.desktop.home, program) as stderr:
            self.stderr_path = stderr.name
            agent = subprocess.Popen([program], env=self.desktop.env(KES_REACHABILITY_PROBE_URL="http://127.0.0.1:9/"),
                                     stdout=subprocess.DEVNULL, stderr=stderr)
        self.agents.append(agent)
        return agent

    def write_settings(self, host):
        self.desktop.write_settings({
            "url": host, "api_url": host, "account_key": ACCOUNT_KEY, "data_key": DATA_KEY,
            "first_time_running": False, "scan_interval": 1, "idle_time_start": 86400,
            "push_initial_interval": 1, "push_interval": 1, "pull_initial_interval": 3600, "pull_interval": 3600,
            "debug_log_level": 1 | 4 | 8})  # the passes' own lines soon fill what a full disk leaves

    def completed(self):
        """(start, title) of every record the scanner completed, as its log line shows it."""
        rows = [line[len("[scanner]"):] for line in self.desktop.debug_log() if line.startswith('[scanner]"')]
        keys = []
        for row in rows:
            fields = next(csv.reader(io.StringIO(row, newline="")))
            keys.append((fields[5], fields[3]))
        return keys

    def wait_for_more_records(self, count, timeout=30):
        target = len(self.completed()) + count
        wait_until(lambda: len(self.completed()) >= target, timeout=timeout, what="%d more records" % count)

    def terminate(self, agent):
        """SIGTERM; answers (exit code, what the agent said on stderr)."""
        agent.send_signal(15)
        started = time.monotonic()
        code = agent.wait(timeout=3 * PROMPT_END_SECONDS)
        took = time.monotonic() - started
        print("\n[ figures ] SIGTERM ended the agent in %.2f s, exit code %d" % (took, code), file=sys.stderr)
        self.assertLess(took, PROMPT_END_SECONDS)
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return code, f.read()

    def reported_lost(self, code, said):
        self.assertEqual(code, RECORDS_LOST_EXIT_CODE, said[-2000:])
        found = LOST.findall(said)
        self.assertEqual(len(found), 1, said[-2000:])
        lost = int(found[0])
        lines = self.desktop.debug_log()
        self.assertIn("[main] %d activity records could not be written to the journal or an upload file; they are "
                      "lost." % lost, lines)
        # The last flush says what happened, and promises no next attempt.
        flushes = [line for line in lines if "Could not write an upload file" in line]
        self.assertRegex(flushes[-1], r"Could not write an upload file of \d+ records at exit\.$")
        return lost

    def test_a_disk_that_fills_up_loses_only_what_it_reports(self):
        self.service = StandinProcess(os.path.join(self.root, "standin"))
        program = bundle_program(trusting_bundle(self.root, self.service.ca_cert))
        self.write_settings(self.service.host)
        self.switcher = Switcher(self.desktop, self.windows, "full-disk")
        self.switcher.start()
        agent = self.start_agent(program)
        wait_until(lambda: "***** Starting Kestrel *****" in self.desktop.debug_log(), what="the start")
        self.wait_for_more_records(2)

        # The log's disk fills up until lines fail, then has room again.
        log_filler = self.disks[1].fill()
        log_path = os.path.join(self.data_dir, "log", "debug_log.txt")
        sizes = []

        def writes_fail():
            sizes.append(os.path.getsize(log_path))
            self.assertGreaterEqual(sizes[-1], sizes[0], "a failed write emptied the log")
            return len(sizes) > 40 and sizes[-40] == sizes[-1]  # two seconds without a line
        wait_until(writes_fail, what="failing log writes")
        os.remove(log_filler)
        self.wait_for_more_records(2)
        lines = self.desktop.debug_log()
        self.assertIn("***** Starting Kestrel *****", lines, "the log before the failed writes is kept")
        print("[ figures ] %d log lines kept across the full log disk" % len(lines), file=sys.stderr)

        # The data folder's disk fills up: the journal and upload files fail.
        data_filler = self.disks[0].fill()
        wait_until(lambda: any(line.startswith("[logger:log] Could not ") for line in self.desktop.debug_log()),
                   what="a failed journal write")
        self.wait_for_more_records(2)
        code, said = self.terminate(agent)
        lost = self.reported_lost(code, said)
        completed = self.completed()
        self.assertEqual(len(completed), len(set(completed)))

        # With room again, the next start sends what the journal kept.
        os.remove(data_filler)
        self.switcher.stop()
        self.switcher = None
        for window in self.windows:
            self.desktop.run(["xdotool", "set_window", "--name", "after-full-disk", window])
        agent = self.start_agent(program)
        activities = os.path.join(self.data_dir, "activities")

        def missing():
            rows, _ = received_rows(self.service.client, ACCOUNT_KEY, activities)
            return [key for key in completed if key not in rows]
        wait_until(lambda: len(missing()) <= lost, timeout=60, what="the kept records at the service")
        time.sleep(2)  # a record sent twice would come within two push intervals
        code, _ = self.terminate(agent)
        self.assertEqual(code, 0)

        rows, resent = received_rows(self.service.client, ACCOUNT_KEY, activities)
        print("[ figures ] %d records completed before the end, %d reported lost, %d received, %d files sent "
              "again under their uuid" % (len(completed), lost, len(rows), resent), file=sys.stderr)
        self.assertGreaterEqual(lost, 1, "the full disk really cost records")
        self.assertEqual({key: where for key, where in rows.items() if len(where) > 1}, {})
        self.assertEqual(len(missing()), lost, "every record not reported lost arrived")

    def test_a_read_only_data_folder_reports_every_record_lost(self):
        self.write_settings("127.0.0.1:9")
        self.disks[0].read_only()
        self.switcher = Switcher(self.desktop, self.windows, "read-only")
        self.switcher.start()
        agent = self.start_agent(AGENT)
        wait_until(lambda: "***** Starting Kestrel *****" in self.desktop.debug_log(), what="the start")
        self.wait_for_more_records(3)
        code, said = self.terminate(agent)
        lost = self.reported_lost(code, said)
        # The record open at the end is completed and lost with the others.
        self.assertEqual(lost, len(self.completed()))
        self.assertFalse(os.path.exists(os.path.join(self.data_dir, "activities")))


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner, verbosity=2)
