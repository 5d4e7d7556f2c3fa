"""A second start of the agent tells the running copy and ends with exit code 1;
the lock dies with the first copy, however it ends."""

import os
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_harness import AGENT, PROMPT_END_SECONDS, Agent, AgentTestCase, PrivateHome  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

RECEIVED = "[main] Received com.kestrel.Kestrel.openingKestrelInstance"


class SecondStart(AgentTestCase):
    def count(self, text):
        return sum(1 for m in self.home.messages() if m.startswith(text))

    def test_second_copy_tells_the_first_and_ends_with_code_1(self):
        first = self.start()
        # Launched: its own lines (no tray here) are written before the count starts.
        self.assertTrue(first.wait_for_message("[KestrelController:applicationDidFinishLaunching]"))
        lines_before = len(self.home.log_entries())

        started = time.monotonic()
        second = subprocess.run([AGENT], env=self.home.env(), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=3 * PROMPT_END_SECONDS)
        took = time.monotonic() - started
        print("\n[ figures ] the second start ended in %.2f s" % took, file=sys.stderr)
        self.assertEqual(second.returncode, 1)
        self.assertLess(took, PROMPT_END_SECONDS)
        self.assertTrue(first.wait_for_message(RECEIVED, timeout=5))

        # The second copy's own lines (the first copy's "received" line may fall between them).
        added = [(level, m) for level, m in self.home.log_entries()[lines_before:]
                 if not m.startswith(RECEIVED)]
        # Every start first loads its settings and runs its self tests; the
        # second copy's own decisions follow its start banner.
        banner = added.index((5, "***** Attempting to start Kestrel *****"))
        self.assertIn((1, "[  pass  ] boost_time_to_simple_string"), added[:banner])
        added = added[banner:]
        self.assertEqual(len(added), 3, added)
        self.assertEqual(added[0], (5, "***** Attempting to start Kestrel *****"))
        self.assertEqual(added[1][0], 1)
        self.assertEqual(added[1][1],
                         f"Found other instances of Kestrel running in background: (pid {first.process.pid})")
        self.assertEqual(added[2], (1, "Kestrel is already running, exiting."))
        with open(self.home.log_path(), encoding="utf-8") as log:
            self.assertIn("\n\nCurrent Instance: (pid ", log.read())
        self.assertEqual(self.count(RECEIVED), 1)
        self.assertEqual(self.count("***** Starting Kestrel *****"), 1)
        self.assertIsNone(first.process.poll())

    def test_a_flood_of_notifications_writes_few_lines_and_the_log_keeps_its_start(self):
        """Any program of this user can send the notification without end."""
        first = self.start()
        self.assertTrue(first.wait_for_message("[KestrelController:applicationDidFinishLaunching]"))
        size_before = os.path.getsize(self.home.log_path())
        address = os.path.join(self.home.runtime, "kestrel-%d" % os.getuid(), "kestrel.sock")
        with socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as sender:
            sender.settimeout(10)  # a full queue waits for the agent to read
            for _ in range(50000):
                sender.sendto(b"com.kestrel.Kestrel.openingKestrelInstance", address)
        self.assertTrue(first.wait_for_message(RECEIVED, timeout=5))
        time.sleep(1)  # the last ones read

        received = self.count(RECEIVED)
        grown = os.path.getsize(self.home.log_path()) - size_before
        print(f"\n50,000 notifications: {received} lines, the debug log grew by {grown} bytes", file=sys.stderr)
        self.assertLessEqual(received, 20)
        self.assertLess(grown, 100 * 1024)
        self.assertEqual(self.count("***** Starting Kestrel *****"), 1)
        code, _ = first.terminate()
        self.assertEqual(code, 0)

    def test_killing_the_first_copy_frees_the_lock(self):
        first = self.start()
        self.assertTrue(first.wait_for_message("***** Starting Kestrel *****"))
        first.kill()  # SIGKILL: no orderly end, no unlock
        self.assertEqual(first.process.returncode, -9)

        second = self.start()
        deadline = time.monotonic() + 10
        while self.count("***** Starting Kestrel *****") < 2 and time.monotonic() < deadline:
            self.assertIsNone(second.process.poll(), "the next start did not run")
            time.sleep(0.05)
        self.assertEqual(self.count("***** Starting Kestrel *****"), 2)

        # The new copy listens on the socket the killed one left behind.
        third = subprocess.run([AGENT], env=self.home.env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=10)
        self.assertEqual(third.returncode, 1)
        self.assertTrue(second.wait_for_message(RECEIVED, timeout=5))
        code, _ = second.terminate()
        self.assertEqual(code, 0)


if __name__ == "__main__":
    sys.exit(unittest.main(testRunner=ExplainingRunner, verbosity=2))
