"""Old binary activity logs, written here with python's struct module, become upload files at start:
record by record, in little memory, and a stop during the conversion ends the agent at once."""
import collections
import csv
import glob
import io
import os
import struct
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from agent_harness import Agent, PrivateHome, peak_memory_kib  # noqa: E402
from logger_probe import UPLOAD_NAME, LoggerProbe, private_home, read_upload, remove_home  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402


def binary_string(text):
    code_points = [ord(ch) for ch in text]
    return struct.pack("<Q", len(code_points)) + struct.pack("<%dI" % len(code_points), *code_points)


def old_time(text):
    return text.encode("ascii")  # as "2013-Jan-05 14:03:22", no length, no delimiter


def old_record(app, title, page, started, completed, version, entry_type=""):
    data = binary_string(app) + old_time(completed) + binary_string("host") + binary_string(page)
    data += binary_string("alice") + binary_string(app.lower()) + binary_string("") + binary_string("3.1")
    data += old_time(started) + binary_string(title)
    if version >= 2:
        data += binary_string(entry_type) + binary_string("") * 4
    return data


VERSION_2 = [
    # 50 characters: its length's first byte is the digit "2".
    ("A" * 50, "First title", "", "2013-Jan-05 14:00:00", "2013-Jan-05 14:03:22", ""),
    ("mail", "Inbox \u2014 caf\u00e9 \"quoted\", comma", "https://example.org/x", "2013-Feb-28 23:59:59",
     "2013-Mar-01 00:00:05", ""),
    ("notes", "Offline time", "", "2014-Dec-31 10:00:00", "2014-Dec-31 11:30:00", "5"),
]
VERSION_1 = [
    ("terminal", "~/src", "", "2012-Jul-04 08:00:00", "2012-Jul-04 08:10:00"),
    ("editor", "main.cpp", "", "2012-Jul-04 08:10:00", "2012-Jul-04 09:00:00"),
]
MONTHS = {m: i + 1 for i, m in enumerate("Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split())}


def api_time(text):
    day, clock = text.split(" ")
    year, month, dom = day.split("-")
    return "%s-%02d-%s %s" % (year, MONTHS[month], dom, clock)


def expected_row(app, title, page, started, completed, entry_type=""):
    return [app, "3.1", "", title, page, api_time(started), api_time(completed), entry_type, "", "", "", ""]


class OldActivityLogTest(unittest.TestCase):
    def setUp(self):
        self.home = private_home()

    def tearDown(self):
        remove_home(self.home)

    def test_old_logs_convert_once_and_an_unreadable_one_is_kept(self):
        first = LoggerProbe(self.home)
        activities, _, old_logs = first.folders()
        first.close()

        with open(os.path.join(old_logs, "a.log"), "wb") as out:
            out.write(binary_string("version") + b"2")
            for app, title, page, started, completed, entry_type in VERSION_2:
                out.write(old_record(app, title, page, started, completed, 2, entry_type))
        with open(os.path.join(old_logs, "v1.log"), "wb") as out:
            for app, title, page, started, completed in VERSION_1:
                out.write(old_record(app, title, page, started, completed, 1))
        garbage = b"\x07\x00\x00\x00\x00\x00\x00\x00not a record at all"
        with open(os.path.join(old_logs, "bad.log"), "wb") as out:
            out.write(garbage)
        with open(os.path.join(old_logs, "notes.txt"), "w") as out:
            out.write("left alone")

        second = LoggerProbe(self.home)
        try:
            self.assertEqual(second.ask("converted"), "done")
            self.assertEqual(second.ask("count"), "0")
        finally:
            second.close()

        remaining = sorted(os.listdir(old_logs))
        self.assertNotIn("a.log", remaining)
        self.assertNotIn("v1.log", remaining)
        self.assertIn("notes.txt", remaining)
        self.assertIn("bad.log.unreadable", remaining)
        with open(os.path.join(old_logs, "bad.log.unreadable"), "rb") as kept:
            self.assertEqual(kept.read(), garbage)

        files = sorted(os.listdir(activities))
        self.assertEqual(len(files), 2, files)
        uploads = []
        for name in files:
            self.assertRegex(name, UPLOAD_NAME)
            uploads.append(list(csv.reader(io.StringIO(read_upload(os.path.join(activities, name)), newline=""))))
        uploads.sort(key=len, reverse=True)
        self.assertEqual(uploads[0], [expected_row(*record) for record in VERSION_2])
        self.assertEqual(uploads[1], [expected_row(*record) for record in VERSION_1])


def numbered_log(path, first, count):
    """A version-2 log whose records have the titles "record <n>", n from `first` on."""
    with open(path, "wb") as out:
        out.write(binary_string("version") + b"2")
        for n in range(first, first + count):
            out.write(old_record("editor", "record %d" % n, "", "2013-Jan-05 14:00:00", "2013-Jan-05 14:03:22", 2))


def title_counts(activities):
    counts = collections.Counter()
    for path in glob.glob(os.path.join(activities, "*.kes[gc]")):
        rows = list(csv.reader(io.StringIO(read_upload(path), newline="")))
        assert len(rows) <= 10000, (path, len(rows))
        counts.update(row[3] for row in rows)
    return counts


class OldLogsAtScale(unittest.TestCase):
    def test_a_large_log_converts_in_little_memory(self):
        home = private_home()
        try:
            probe = LoggerProbe(home)
            activities, _, old_logs = probe.folders()
            probe.close()
            numbered_log(os.path.join(old_logs, "large.log"), 0, 50000)
            probe = LoggerProbe(home)
            try:
                self.assertEqual(probe.ask("converted"), "done")
                peak = peak_memory_kib(probe.process.pid)
            finally:
                probe.close()
            print("\n50,000-record old log: peak resident memory of the converting process %.1f MiB" % (peak / 1024),
                  file=sys.stderr)
            self.assertLess(peak, 100 * 1024)
            counts = title_counts(activities)
            self.assertEqual(len(glob.glob(os.path.join(activities, "*.kes[gc]"))), 5)
            self.assertEqual(counts, collections.Counter("record %d" % n for n in range(50000)))
            self.assertEqual(os.listdir(old_logs), ["debug_log.txt"])
        finally:
            remove_home(home)

    def test_a_stop_during_the_conversion_of_many_logs_ends_the_agent_and_the_next_start_goes_on(self):
        home = PrivateHome()
        agents = []
        try:
            home.write_settings({"url": "127.0.0.1:9", "api_url": "127.0.0.1:9", "debug_log_level": 5 | 512,
                                 "push_interval": 1800, "push_initial_interval": 1800,
                                 "pull_interval": 300, "pull_initial_interval": 300})
            old_logs = os.path.join(home.data_dir, "log")
            os.makedirs(old_logs, exist_ok=True)
            for n in range(1000):
                numbered_log(os.path.join(old_logs, "old-%04d.log" % n), 3 * n, 3)
            agent = Agent(home)
            agents.append(agent)
            self.assertTrue(agent.wait_for_message("loading log file", timeout=30))
            code, seconds = agent.terminate()
            left = len(glob.glob(os.path.join(old_logs, "*.log")))
            print("\nSIGTERM while converting 1,000 old logs: ended after %.2f s, %d logs left for the next start"
                  % (seconds, left), file=sys.stderr)
            self.assertEqual(code, 0)
            self.assertEqual(home.messages()[-1], "***** Exiting Kestrel *****")

            agent = Agent(home)
            agents.append(agent)
            deadline = time.monotonic() + 120
            while glob.glob(os.path.join(old_logs, "*.log")) and time.monotonic() < deadline:
                time.sleep(0.1)
            self.assertEqual(agent.terminate()[0], 0)
            self.assertEqual(glob.glob(os.path.join(old_logs, "*.log*")), [])
            counts = title_counts(os.path.join(home.data_dir, "activities"))
            expected = collections.Counter("record %d" % n for n in range(3000))
            converted = collections.Counter({t: c for t, c in counts.items() if t.startswith("record ")})
            self.assertEqual(converted, expected)
        finally:
            for agent in agents:
                agent.kill()
            home.cleanup()


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
