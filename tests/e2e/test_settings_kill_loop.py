"""A writer killed with SIGKILL at any moment during repeated saves leaves a
kestreld.json that python can parse and that still holds the account key."""

import json
import os
import random
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from settings_probe import Sandbox  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

RUNS = 100


class KillDuringSaves(unittest.TestCase):
    def test_every_kill_leaves_a_complete_file(self):
        box = Sandbox()
        rng = random.Random(20240305)
        started = time.monotonic()
        try:
            for run in range(RUNS):
                writer = box.start("save-loop")
                try:
                    self.assertEqual(writer.stdout.readline().strip(), b"ready")
                    time.sleep(rng.uniform(0, 0.03))
                finally:
                    writer.send_signal(signal.SIGKILL)
                    writer.wait(timeout=10)
                    writer.stdout.close()
                with open(box.json_path, "rb") as f:
                    raw = f.read()
                try:
                    saved = json.loads(raw.decode("utf-8"))
                except ValueError as error:
                    self.fail(f"run {run}: unreadable settings file ({error}): {raw[-80:]!r}")
                self.assertEqual(saved["account_key"], "ACCOUNT-KEY-0001", f"run {run}")
                self.assertEqual(saved["whitelist"] or [], ["site.example"] * len(saved["whitelist"] or []))
        finally:
            box.cleanup()
        self.assertLess(time.monotonic() - started, 60)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
