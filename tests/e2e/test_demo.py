"""The README's run command on a machine without a display: the demonstration
prints the rows the service received and leaves no process behind."""

import os
import re
import subprocess
import unittest
from failure_report import ExplainingRunner

SOURCE = os.environ.get("KES_SOURCE_DIR") or os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
ROW = re.compile(r"^  (\S+)\s+(.+?)\s+(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)  (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\s*$")


def running_commands():
    listing = subprocess.run(["ps", "-eo", "args"], capture_output=True, text=True).stdout
    return listing.splitlines()[1:]


class Demonstration(unittest.TestCase):
    def test_prints_received_rows_of_several_windows_and_cleans_up(self):
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        result = subprocess.run(["/usr/bin/python3", os.path.join(SOURCE, "scripts", "demo.py")],
                                env=env, capture_output=True, text=True, timeout=240)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        display = re.search(r"starting a virtual X display (:\d+)", result.stdout).group(1)
        work = re.search(r"working in (\S+)", result.stdout).group(1)
        rows = [ROW.match(line) for line in result.stdout.splitlines()]
        rows = [row for row in rows if row]
        titles = {row.group(2) for row in rows}
        self.assertGreaterEqual(len(titles), 2, result.stdout)
        for row in rows:
            self.assertLessEqual(row.group(3), row.group(4), "no row ends before it starts")

        leftovers = [c for c in running_commands()
                     if work in c or c.startswith("Xvfb " + display + " ")]
        self.assertFalse(os.path.exists(work), "the demonstration's folder is removed")
        self.assertEqual(leftovers, [])


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
