"""The agent starts from its bundle, runs its threads and ends in order on SIGTERM."""

import os
import stat
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_harness import Agent, PrivateHome  # noqa: E402

START_SEQUENCE = [
    "***** Attempting to start Kestrel *****",
    "***** Starting Kestrel *****",
]
INFO_SEQUENCE = ["Temp Path: ", "Config Path: ", "  Gui Started", "  Scanner Started",
                 "  Pusher Started", "  Puller Started", "  Gui Running: EventHandler Started"]


def index_of(messages, prefix, start=0):
    for i in range(start, len(messages)):
        if messages[i].startswith(prefix):
            return i
    raise AssertionError(f"{prefix!r} not found after line {start} in {messages}")


class AgentLifecycle(unittest.TestCase):
    def setUp(self):
        self.home = PrivateHome()
        self.agents = []

    def tearDown(self):
        for agent in self.agents:
            agent.kill()
        self.home.cleanup()

    def start(self):
        agent = Agent(self.home)
        self.agents.append(agent)
        return agent

    def test_banners_at_the_default_mask_and_a_quick_orderly_end(self):
        agent = self.start()
        self.assertTrue(agent.wait_for_message("***** Starting Kestrel *****"))
        code, seconds = agent.terminate()
        self.assertEqual(code, 0)
        self.assertLess(seconds, 2.0)
        entries = self.home.log_entries()
        self.assertEqual([m for _, m in entries], START_SEQUENCE + ["  Gui Stopped",
                                                                    "***** Exiting Kestrel *****"])
        self.assertTrue(all(level == 5 for level, _ in entries))
        mode = stat.S_IMODE(os.stat(self.home.log_path()).st_mode)
        self.assertEqual(mode, 0o600)
        log_dir_mode = stat.S_IMODE(os.stat(os.path.dirname(self.home.log_path())).st_mode)
        self.assertEqual(log_dir_mode, 0o700)

    def test_interrupt_and_hangup_also_end_in_order(self):
        import signal as sig
        for signal_number in (sig.SIGINT, sig.SIGHUP):
            with self.subTest(signal=signal_number):
                home = PrivateHome()
                agent = Agent(home)
                self.agents.append(agent)
                try:
                    self.assertTrue(agent.wait_for_message("***** Starting Kestrel *****"))
                    agent.process.send_signal(signal_number)
                    self.assertEqual(agent.process.wait(timeout=5), 0)
                    self.assertEqual(home.messages()[-1], "***** Exiting Kestrel *****")
                finally:
                    home.cleanup()


if __name__ == "__main__":
    unittest.main()
