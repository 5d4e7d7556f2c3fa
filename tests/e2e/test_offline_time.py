"""Offline time end to end through tests/probes/kes_ui_probe: the user is away
for 25 minutes, comes back, picks a label and types details; the next upload
file, read with python's gzip and csv, holds one twelve-column record of entry
type "5" with the label as its application name, the details as its window
title and exactly the time away. The probe's clock stands still until moved."""

import datetime
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("KES_SOURCE_DIR") or os.path.join(HERE, "..", "..")
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "standin"))
from agent_harness import PrivateHome  # noqa: E402
from client import StandinProcess  # noqa: E402
from command_probe import CommandProbe  # noqa: E402
from scanner_x11 import read_rows  # noqa: E402

AWAY_SECONDS = 1500


class OfflineTime(unittest.TestCase):
    def setUp(self):
        self.home = PrivateHome()
        self.service = StandinProcess(os.path.join(self.home.root, "standin"))
        self.home.write_settings({"url": self.service.host, "api_url": self.service.host,
                                  "account_key": "AK-demo-7f3c9e21b8d44a0f9c5e", "first_time_running": False,
                                  "timepie_enabled": True, "idle_time_away": 300,
                                  "timepie_labels": ["Meeting", "Phone call", "Lunch"]})
        self.probe = CommandProbe("kes_ui_probe", ["--ca", self.service.ca_cert], self.home.env())
        # A fresh configuration is paused until the second it was made.
        self.probe.ask("advance 2")
        self.activities = os.path.join(self.home.data_dir, "activities")

    def tearDown(self):
        self.probe.close()
        self.service.stop()
        self.home.cleanup()

    def test_an_away_period_reaches_the_upload_file_as_offline_time(self):
        back_at = datetime.datetime.fromisoformat(self.probe.ask("now")["now"])
        self.probe.ask("idle %d" % AWAY_SECONDS)
        self.probe.ask("pass")
        self.probe.ask("idle 1")
        self.probe.ask("pass")
        self.assertEqual(self.probe.ask("state")["offline_prompts"], 1)
        self.probe.ask("advance 30")  # choosing the label takes a while; it is not offline time
        self.probe.ask('offline Phone call|Called the "print shop", about the flyers')
        self.assertEqual(self.probe.ask("flush")["written"], True)

        rows = read_rows(self.activities)
        self.assertEqual(len(rows), 1, rows)
        row = rows[0]
        self.assertEqual(len(row), 12)
        self.assertEqual(row[7], "5")
        self.assertEqual(row[0], "Phone call")
        self.assertEqual(row[3], 'Called the "print shop", about the flyers')
        started = datetime.datetime.strptime(row[5], "%Y-%m-%d %H:%M:%S")
        ended = datetime.datetime.strptime(row[6], "%Y-%m-%d %H:%M:%S")
        self.assertEqual(ended - started, datetime.timedelta(seconds=AWAY_SECONDS))
        self.assertEqual(started, back_at.replace(microsecond=0) - datetime.timedelta(seconds=AWAY_SECONDS))
        self.assertEqual(row[8:], ["", "", "", ""])

    def test_without_an_away_period_nothing_is_written(self):
        self.probe.ask("offline Lunch|")
        self.assertEqual(self.probe.ask("flush")["written"], True)
        self.assertEqual(read_rows(self.activities), [])


if __name__ == "__main__":
    unittest.main()
