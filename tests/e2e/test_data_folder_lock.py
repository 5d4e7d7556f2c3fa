"""Two starts on one data folder with different runtime folders (another
login, cron, ssh): the second finds the data folder locked and ends as a
second copy does, so no record is taken twice; once the first has ended, a
start from the other runtime folder runs."""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_harness import AGENT, PROMPT_END_SECONDS, Agent, AgentTestCase  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402


class DataFolderLock(AgentTestCase):
    def test_a_copy_of_another_runtime_folder_is_refused(self):
        other_runtime = os.path.join(self.home.root, "other-run")
        os.makedirs(other_runtime, mode=0o700)
        first = self.start()
        self.assertTrue(first.wait_for_message("***** Starting Kestrel *****"))

        started = time.monotonic()
        second = subprocess.run([AGENT], env=self.home.env(XDG_RUNTIME_DIR=other_runtime),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
        print("\n[ figures ] the second start ended after %.2f s" % (time.monotonic() - started), file=sys.stderr)
        self.assertEqual(second.returncode, 1)
        messages = self.home.messages()
        self.assertEqual(sum(1 for m in messages if m == "***** Starting Kestrel *****"), 1, messages[-20:])
        self.assertIn("Kestrel is already running, exiting.", messages)
        self.assertTrue(any(m.startswith("Found other instances of Kestrel running in background: (pid %d)"
                                         % first.process.pid) for m in messages), messages[-20:])
        self.assertIsNone(first.process.poll())

        code, took = first.terminate()
        self.assertEqual(code, 0)
        self.assertLess(took, PROMPT_END_SECONDS)
        # The lock ended with its holder.
        again = Agent(self.home, env=self.home.env(XDG_RUNTIME_DIR=other_runtime))
        self.agents.append(again)
        deadline = time.monotonic() + 20
        while sum(1 for m in self.home.messages() if m == "***** Starting Kestrel *****") < 2:
            self.assertIsNone(again.process.poll(), "the start after the first copy ended did not run")
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.05)
        code, _ = again.terminate()
        self.assertEqual(code, 0)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner, verbosity=2)
