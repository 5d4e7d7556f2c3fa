"""10,000 records written by the agent's logger read back with python's gzip and csv modules."""
import csv
import io
import json
import os
import re
import stat
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from logger_probe import LoggerProbeTestCase, UPLOAD_NAME, read_upload  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

TIME = re.compile(r"^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}$")

EMPTY = {"started": "2024-05-01 08:00:00", "completed": "2024-05-01 08:00:10"}
AWKWARD = {
    "application_name": "r\u00e9sum\u00e9 \"pro\"",
    "process_version": "1,2,3",
    "process_hash": "",
    "window_title": "line one\nline \"two\", with comma \u2014 \u65e5\u672c\u8a9e \U0001F600",
    "extended_info": "https://example.org/a,b?q=\"x\"",
    "started": "2024-05-01 08:01:00",
    "completed": "2024-05-01 08:02:30",
    "entry_type": "5",
    "computer_name": "not in the row",
}


class UploadFileTest(LoggerProbeTestCase):
    def test_ten_thousand_records_make_one_readable_file(self):
        activities, _, _ = self.probe.folders()
        self.assertEqual(self.probe.ask("record " + json.dumps(EMPTY)), "logged 1")
        self.assertEqual(self.probe.ask("record " + json.dumps(AWKWARD)), "logged 1")
        self.assertEqual(self.probe.ask("typical 9997"), "logged 9997")
        self.assertEqual(os.listdir(activities), [])
        # The 10,000th record writes the file by itself.
        self.assertEqual(self.probe.ask("typical 1"), "logged 1")
        self.assertEqual(self.probe.ask("count"), "0")

        names = os.listdir(activities)
        self.assertEqual(len(names), 1, names)
        self.assertRegex(names[0], UPLOAD_NAME)
        self.assertTrue(names[0].endswith(".kesg"))
        path = os.path.join(activities, names[0])
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o600)
        self.assertEqual(stat.S_IMODE(os.stat(activities).st_mode), 0o700)

        rows = list(csv.reader(io.StringIO(read_upload(path), newline="")))
        self.assertEqual(len(rows), 10000)
        for row in rows:
            self.assertEqual(len(row), 12, row)
            self.assertRegex(row[5], TIME)
            self.assertRegex(row[6], TIME)
            self.assertEqual(row[8:], ["", "", "", ""])
        self.assertEqual(rows[0], ["", "", "", "", "", "2024-05-01 08:00:00", "2024-05-01 08:00:10", ""] + [""] * 4)
        self.assertEqual(rows[1], [AWKWARD["application_name"], "1,2,3", "", AWKWARD["window_title"],
                                   AWKWARD["extended_info"], "2024-05-01 08:01:00", "2024-05-01 08:02:30", "5"]
                         + [""] * 4)
        self.assertEqual(rows[2][:2], ["mail", "12.4.0"])
        self.assertEqual(rows[2][5:7], ["2024-05-01 09:00:00", "2024-05-01 09:00:05"])

        self.assertEqual(self.probe.ask("flush"), "written")
        self.assertEqual(len(os.listdir(activities)), 1, "an empty log writes no file")


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
