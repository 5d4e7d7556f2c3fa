"""Intervals of zero, from the settings file and from the service's settings,
and negative ones from the service: the agent still waits a second between
its passes, asks the service no more than once a second per thread, and
keeps a negative interval out of its settings. Prints the CPU time it used.
"""

import json
import os
import sys
import time
import unittest

from agent_harness import Agent, PrivateHome, kill_if_running, wait_until
from bundle_tree import bundle_program, trusting_bundle
from standin_client import StandinProcess
from failure_report import ExplainingRunner

ACCOUNT_KEY = "AK-demo-7f3c9e21b8d44a0f9c5e"  # an account the stand-in knows
RUN_SECONDS = 6


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class ZeroIntervals(unittest.TestCase):
    def setUp(self):
        self.home = PrivateHome()
        self.service = StandinProcess(os.path.join(self.home.root, "standin"))
        self.bundle = trusting_bundle(self.home.root, self.service.ca_cert)
        self.agent = None

    def tearDown(self):
        kill_if_running(self.agent)
        self.service.stop()
        self.home.cleanup()

    def test_zero_and_negative_intervals_do_not_spin(self):
        self.home.write_settings({
            "url": self.service.host, "api_url": self.service.host, "account_key": ACCOUNT_KEY,
            "first_time_running": False, "scan_interval": 0, "push_initial_interval": 0, "push_interval": 0,
            "pull_initial_interval": 0, "pull_interval": 0})
        # What the service's settings say on every pull: zero, and a negative push interval.
        self.service.client.set_state(config={"pull_interval": 0, "push_interval": -5, "scan_interval": 0})
        self.agent = Agent(self.home, program=bundle_program(self.bundle)).process
        wait_until(lambda: self.service.client.requests("/messages"), what="the first pull")
        started = time.monotonic()
        cpu_before = cpu_seconds(self.agent.pid)
        count_before = len(self.service.client.requests())
        time.sleep(RUN_SECONDS)
        elapsed = time.monotonic() - started
        cpu = cpu_seconds(self.agent.pid) - cpu_before
        requests = self.service.client.requests()[count_before:]
        self.agent.send_signal(15)
        self.assertEqual(self.agent.wait(timeout=10), 0)

        pulls = [r for r in requests if r["path"] == "/messages"]
        uploads = [r for r in requests if r["path"] == "/collect"]
        print("\n[ figures ] %d requests (%d pulls) and %.2f s CPU in %.1f s"
              % (len(requests), len(pulls), cpu, elapsed), file=sys.stderr)
        # Each thread asks at most once a second; a slow machine asks less.
        self.assertGreaterEqual(len(pulls), 1)
        self.assertLessEqual(len(pulls), int(elapsed) + 1)
        self.assertLessEqual(len(uploads), int(elapsed) + 1)
        self.assertLessEqual(len(requests), 6 * (int(elapsed) + 1))
        with open(os.path.join(self.home.data_dir, "kestreld.json"), encoding="utf-8") as f:
            saved = json.load(f)
        self.assertEqual(saved["pull_interval"], 0)
        self.assertEqual(saved["push_interval"], 0, "the negative interval was not taken")
        with open(self.home.log_path(), encoding="utf-8", errors="replace") as f:
            self.assertIn("[config:load] push_interval is negative; kept 0", f.read())


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
