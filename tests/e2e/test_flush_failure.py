"""A flush that hits the file-size limit keeps its records; the next one, with room, writes them all."""
import csv
import io
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from logger_probe import LoggerProbeTestCase, read_upload  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402


def set_file_size_limit(pid, soft):
    subprocess.run(["prlimit", "--pid", str(pid), "--fsize=%s:unlimited" % soft], check=True)


class FlushFailureTest(LoggerProbeTestCase):
    def test_records_survive_a_full_disk(self):
        activities, _, log_folder = self.probe.folders()
        self.assertEqual(self.probe.ask("typical 3000"), "logged 3000")

        # Room for the debug log, not for the upload file.
        set_file_size_limit(self.probe.process.pid, 8192)
        self.assertEqual(self.probe.ask("flush"), "kept")
        self.assertEqual(self.probe.ask("count"), "3000")
        self.assertEqual(os.listdir(activities), [], "neither a partial file nor a .tmp is left")
        self.assertEqual(self.probe.ask("typical 5"), "logged 5")

        set_file_size_limit(self.probe.process.pid, "unlimited")
        self.assertEqual(self.probe.ask("flush"), "written")
        self.assertEqual(self.probe.ask("count"), "0")
        names = os.listdir(activities)
        self.assertEqual(len(names), 1, names)
        self.assertTrue(names[0].endswith(".kesg"))
        self.assertGreater(os.path.getsize(os.path.join(activities, names[0])), 8192)
        rows = list(csv.reader(io.StringIO(read_upload(os.path.join(activities, names[0])), newline="")))
        self.assertEqual(len(rows), 3005)
        # The kept batch comes first, in the order it was recorded.
        self.assertEqual([row[5] for row in rows[:3000]], sorted(row[5] for row in rows[:3000]))
        self.assertEqual(rows[3000][5], "2024-05-01 09:00:00")

        with open(os.path.join(log_folder, "debug_log.txt"), encoding="utf-8", errors="replace") as debug_log:
            lines = debug_log.read().splitlines()
        failures = [line for line in lines if "Could not write an upload file; keeping 3000 records" in line]
        self.assertEqual(len(failures), 1, lines[-10:])
        self.assertEqual(failures[0].split(":")[1], "1", "logged at level 1")


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
