"""Offline time end to end through tests/probes/kes_ui_probe: the user is away
for 25 minutes, comes back, picks a label and types details; the next upload
file, read with python's gzip and csv, holds one twelve-column record of entry
type "5" with the label as its application name, the details as its window
title and exactly the time away. The probe's clock stands still until moved;
moved back an hour, it is the wall clock falling back at the end of summer
time (the store's clock seam: the machine's own clock is not stepped). A
prompt left unanswered through an hour of work and a second absence: the
entry covers the second absence only. Control characters typed into the
details reach neither the upload file nor the debug log.

The same unanswered prompt with the real agent under Xvfb, its real idle
time (xdotool's input) and scanner: the one offline record starts no earlier
than the last work before the second absence, and overlaps no scanned one
(beyond the scan interval by which an idle completion may end late). A
prompt opened again after its details were shown is as small as at first
(screenshots kept as test artifacts).

The real agent's wall clock set back to an hour before its start, through
libfaketime for the agent alone (its monotonic clock goes on, as a stepped
wall clock leaves it): the next absence still brings the prompt."""

import datetime
import os
import signal
import sys
import time
import unittest

from agent_windows import AgentWindows
from bundle_tree import BUILT_BUNDLE, bundle_program, trusting_bundle
from command_probe import StandinProbeTestCase
from scanner_x11 import Desktop, parse_time, read_rows
from standin_client import StandinProcess
from failure_report import ExplainingRunner

AWAY_SECONDS = 1500


PROMPT_TITLE = "Kestrel - Offline Time"


def prompt_shown(desktop):
    """Whether the offline-time prompt is on the screen."""
    return desktop.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % PROMPT_TITLE]).returncode == 0


def signed_in_settings(host, debug_log_level):
    """A signed-in user with the offline-time prompt on: away after 4 idle
    seconds, three labels to choose from, no push or pull to wait for."""
    return {"url": host, "api_url": host, "account_key": "AK-demo-7f3c9e21b8d44a0f9c5e",
            "first_time_running": False, "scan_interval": 1, "push_initial_interval": 3600,
            "pull_initial_interval": 3600, "debug_log_level": debug_log_level, "timepie_enabled": True,
            "idle_time_away": 4, "idle_time_start": 2, "timepie_labels": ["Meeting", "Phone call", "Lunch"]}


def keep_working(desktop, seconds):
    """Input on the display for `seconds`, as a user at work gives it."""
    until = time.monotonic() + seconds
    while time.monotonic() < until:
        desktop.touch()
        time.sleep(0.3)


class OfflineTime(StandinProbeTestCase):
    def setUp(self):
        self.start_probe("kes_ui_probe", {"account_key": "AK-demo-7f3c9e21b8d44a0f9c5e", "first_time_running": False,
                                          "timepie_enabled": True, "idle_time_away": 300,
                                          "timepie_labels": ["Meeting", "Phone call", "Lunch"],
                                          "debug_log_level": 5})
        # A fresh configuration is paused until the second it was made.
        self.probe.ask("advance 2")
        self.activities = os.path.join(self.home.data_dir, "activities")

    def be_away_and_back(self, seconds):
        """The loop sees the user away `seconds` long, then back: the prompt shows."""
        self.probe.ask("idle %d" % seconds)
        self.probe.ask("pass")
        self.probe.ask("idle 1")
        self.probe.ask("pass")

    def test_an_away_period_reaches_the_upload_file_as_offline_time(self):
        back_at = datetime.datetime.fromisoformat(self.probe.ask("now")["now"])
        self.be_away_and_back(AWAY_SECONDS)
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

    def enter(self, label, details=""):
        self.probe.ask("offline %s|%s" % (label, details))
        self.assertEqual(self.probe.ask("flush")["written"], True)
        rows = read_rows(self.activities)
        self.assertEqual(len(rows), 1, rows)
        started = datetime.datetime.strptime(rows[0][5], "%Y-%m-%d %H:%M:%S")
        ended = datetime.datetime.strptime(rows[0][6], "%Y-%m-%d %H:%M:%S")
        return rows[0], started, ended

    def test_a_wall_clock_that_falls_back_an_hour_while_away_never_ends_a_record_before_it_starts(self):
        # Two hours after the settings were made, so that the hour that
        # repeats is not before them.
        self.probe.ask("advance 7200")
        self.probe.ask("idle 600")
        self.probe.ask("pass")
        self.probe.ask("advance -3600")  # the hour repeats
        self.probe.ask("idle 640")
        last_seen_away = datetime.datetime.fromisoformat(self.probe.ask("now")["now"]).replace(microsecond=0)
        self.probe.ask("pass")
        self.probe.ask("idle 1")
        self.probe.ask("pass")
        row, started, ended = self.enter("Meeting")
        self.assertEqual(row[7], "5")
        self.assertLessEqual(started, ended)
        self.assertEqual(ended - started, datetime.timedelta(seconds=640))
        self.assertEqual(ended, last_seen_away)

    def test_an_unanswered_prompt_lets_the_next_entry_cover_only_the_next_absence(self):
        self.be_away_and_back(900)  # and nobody answers the prompt
        for _ in range(12):  # an hour of work
            self.probe.ask("advance 300")
            self.probe.ask("pass")
        worked_until = datetime.datetime.fromisoformat(self.probe.ask("now")["now"]).replace(microsecond=0)
        self.probe.ask("advance 420")
        self.be_away_and_back(420)
        self.assertEqual(self.probe.ask("state")["offline_prompts"], 2)
        _, started, ended = self.enter("Phone call", "Called\tthe \x1b[1mprinter\x1b[0m")
        self.assertEqual(ended - started, datetime.timedelta(seconds=420))
        self.assertGreaterEqual(started, worked_until)

    def test_control_characters_in_the_details_reach_neither_the_row_nor_the_log(self):
        self.be_away_and_back(900)
        row, _, _ = self.enter("Lunch", "with\tthe \x1b[31mteam\x1b[0m\x85 ok")
        self.assertEqual(row[3], "with the  [31mteam [0m  ok")
        with open(self.home.log_path(), encoding="utf-8") as f:
            entered = [line for line in f if "[ui:on_enter_offline_time]" in line]
        self.assertEqual(len(entered), 1)
        self.assertNotRegex(entered[0].rstrip("\n"), "[\x00-\x1f\x7f-\x9f]")

    def test_without_an_away_period_nothing_is_written(self):
        self.probe.ask("offline Lunch|")
        self.assertEqual(self.probe.ask("flush")["written"], True)
        self.assertEqual(read_rows(self.activities), [])



class UnansweredPromptWithTheRealAgent(AgentWindows, unittest.TestCase):
    """Away after 4 s without input, idle for the scanner after 2 s."""

    def setUp(self):
        self.desktop = Desktop(window_manager=True)
        self.addCleanup(self.desktop.close)
        self.service = StandinProcess(os.path.join(self.desktop.home, "standin"))
        self.addCleanup(self.service.stop)
        self.agent_program = bundle_program(trusting_bundle(self.desktop.home, self.service.ca_cert))
        self.desktop.write_settings(signed_in_settings(self.service.host, debug_log_level=5))
        self.desktop.mark_automation_explained()

    def prompt(self):
        return self.window(PROMPT_TITLE, timeout=20)

    def work_away_and_back(self):
        """Starts the agent over a terminal in front, works, leaves for long
        enough to count as offline and comes back; returns the terminal and
        the agent."""
        terminal = self.desktop.xterm("work window")
        self.desktop.focus(terminal, True)
        agent = self.desktop.start([self.agent_program])
        time.sleep(3)
        keep_working(self.desktop, 3)
        time.sleep(7)  # away
        self.desktop.touch()
        return terminal, agent

    def test_the_entry_after_an_hour_of_work_and_a_second_absence_covers_the_second_absence_only(self):
        terminal, agent = self.work_away_and_back()
        self.prompt()  # asks, and is left unanswered
        self.desktop.focus(terminal, True)
        keep_working(self.desktop, 8)
        worked_until = datetime.datetime.now().replace(microsecond=0)
        time.sleep(7)  # away again
        self.desktop.touch()
        panel = self.prompt()
        time.sleep(1)  # a pass of the UI thread
        self.desktop.run(["xdotool", "windowactivate", "--sync", panel])
        self.desktop.run(["xdotool", "mousemove", "--window", panel, "94", "70", "click", "1"])  # "Meeting"
        time.sleep(0.5)
        self.desktop.run(["xdotool", "type", "--delay", "20", "weekly planning"])
        self.desktop.run(["xdotool", "key", "Return"])
        self.desktop.wait_until(lambda: not prompt_shown(self.desktop), what="the prompt to close")
        agent.send_signal(signal.SIGTERM)
        self.assertEqual(agent.wait(timeout=30), 0)

        rows = read_rows(self.desktop.activities_dir())
        offline = [row for row in rows if row[7] == "5"]
        scanned = [row for row in rows if row[7] != "5"]
        self.assertEqual(len(offline), 1, rows)
        self.assertEqual(offline[0][0], "Offline Time - Meeting")
        self.assertEqual(offline[0][3], "weekly planning")
        start, end = parse_time(offline[0][5]), parse_time(offline[0][6])
        print("\n[ figures ] offline %s - %s; scanned: %s" % (
            start.time(), end.time(), ", ".join("%s %s-%s" % (row[0], parse_time(row[5]).time(),
                                                             parse_time(row[6]).time()) for row in scanned)),
            file=sys.stderr)
        self.assertLessEqual(start, end)
        self.assertGreaterEqual(start, worked_until - datetime.timedelta(seconds=1))
        self.assertLessEqual(end - start, datetime.timedelta(seconds=12))
        # A record the scanner ends on idleness ends its threshold before the
        # scan that saw the idleness, so up to one scan interval after the
        # user left; beyond that, no scanned time is offline time too.
        scan_interval = datetime.timedelta(seconds=1)
        for row in scanned:
            self.assertLessEqual(parse_time(row[5]), parse_time(row[6]), row)
            overlap = min(end, parse_time(row[6])) - max(start, parse_time(row[5]))
            self.assertLessEqual(overlap, scan_interval, (offline[0], row))

    def test_the_prompt_opened_again_after_its_details_were_shown_is_as_tall_as_at_first(self):
        terminal, agent = self.work_away_and_back()
        panel = self.prompt()
        first = self.settled(panel)
        self.keep("offline_time_prompt.png", first)
        self.desktop.run(["xdotool", "windowactivate", "--sync", panel])
        self.desktop.run(["xdotool", "mousemove", "--window", panel, "94", "70", "click", "1"])  # "Meeting"
        with_details = self.settled(panel)
        self.assertGreater(with_details[3], first[3], "the details have room")
        self.keep("offline_time_details.png", with_details)
        self.click_bottom_right(panel, 40, 22)  # "Cancel"
        self.desktop.wait_until(lambda: not prompt_shown(self.desktop), what="the prompt to close")

        self.desktop.focus(terminal, True)
        keep_working(self.desktop, 3)
        time.sleep(7)  # away again
        self.desktop.touch()
        reopened = self.settled(self.prompt())
        print("\n[ figures ] the offline-time prompt: %dx%d, with its details %dx%d, opened again %dx%d" % (
            first[2], first[3], with_details[2], with_details[3], reopened[2], reopened[3]), file=sys.stderr)
        self.keep("offline_time_reopened.png", reopened)
        self.assertEqual(reopened[2:], first[2:])
        agent.send_signal(signal.SIGTERM)
        self.assertEqual(agent.wait(timeout=30), 0)


FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1"


class ClockSetBackWithTheRealAgent(unittest.TestCase):
    """Away after 4 s without input; the service unreachable on loopback."""

    def setUp(self):
        self.assertTrue(os.path.exists(FAKETIME_LIBRARY), "libfaketime is missing: scripts/install-deps")
        self.desktop = Desktop(window_manager=True)
        self.addCleanup(self.desktop.close)
        self.desktop.write_settings(signed_in_settings("127.0.0.1:9", debug_log_level=7))
        self.desktop.mark_automation_explained()
        self.offset_file = os.path.join(self.desktop.home, "faketime-offset")
        self.set_clock_offset(0)

    def set_clock_offset(self, seconds):
        with open(self.offset_file, "w") as f:
            f.write("%+d\n" % seconds)

    def start_agent_with_its_own_clock(self):
        """Only the agent's process reads the offset file; Xvfb, the window
        manager and this script keep the machine's clock."""
        env = self.desktop.env(LD_PRELOAD=FAKETIME_LIBRARY, FAKETIME_TIMESTAMP_FILE=self.offset_file,
                               FAKETIME_NO_CACHE="1", FAKETIME_DONT_FAKE_MONOTONIC="1")
        return self.desktop.start([bundle_program(BUILT_BUNDLE)], env=env)

    def log_times(self):
        """The time of each debug-log line, as the agent's clock read it."""
        times = []
        with open(os.path.join(self.desktop.data_dir(), "log", "debug_log.txt"), encoding="utf-8",
                  errors="replace") as f:
            for line in f:
                stamp = line.split(":", 1)[0]
                if len(stamp) == 15 and stamp[8] == "T":
                    times.append(datetime.datetime.strptime(stamp, "%Y%m%dT%H%M%S"))
        return times

    def test_an_absence_after_the_clock_fell_back_before_the_start_brings_the_prompt(self):
        terminal = self.desktop.xterm("work window")
        other = self.desktop.xterm("other window")
        self.desktop.focus(terminal, True)
        started = time.time()
        agent = self.start_agent_with_its_own_clock()
        time.sleep(3)
        keep_working(self.desktop, 3)
        start_time = min(self.log_times())
        # An hour and a minute before the agent's start.
        self.set_clock_offset(-int(time.time() - started + 3660))
        # A record, logged on the agent's clock.
        self.desktop.focus(other, True)
        self.desktop.wait_until(lambda: self.log_times()[-1] < start_time - datetime.timedelta(minutes=59))
        keep_working(self.desktop, 2)
        self.assertFalse(prompt_shown(self.desktop))
        time.sleep(7)  # away
        self.desktop.touch()  # back
        shown_after = time.monotonic()
        self.desktop.wait_until(lambda: prompt_shown(self.desktop), timeout=20, what="the prompt")
        print("\n[ figures ] the prompt showed %.1f s after the user came back" % (time.monotonic() - shown_after),
              file=sys.stderr)
        with open(os.path.join(self.desktop.data_dir(), "log", "debug_log.txt"), encoding="utf-8",
                  errors="replace") as f:
            self.assertIn("The clock went back; the offline-time prompt is no longer held off", f.read())
        agent.send_signal(signal.SIGTERM)
        self.assertEqual(agent.wait(timeout=30), 0)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
