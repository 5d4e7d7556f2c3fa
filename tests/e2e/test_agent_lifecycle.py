"""The agent starts from its bundle, runs its threads and ends in order on SIGTERM."""

import os
import stat
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_harness import PROMPT_END_SECONDS, Agent, AgentTestCase, PrivateHome  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

START_SEQUENCE = [
    "***** Attempting to start Kestrel *****",
    "***** Starting Kestrel *****",
]
# Every start runs the built-in self tests first; each logs at the error level,
# so they show at the default mask.
SELF_TEST_LINES = ["Running Kestrel Tests:"] + ["[  pass  ] " + name for name in (
    "dynamic_structure_test", "time_from_string_test", "time_to_time_wstring_test",
    "boost_time_from_string_test", "boost_time_to_wstring", "boost_time_to_simple_string")]
# The status menu checks its tree when it is built; the two ids that are
# named but never added are reported at every start.
MENU_CHECK_LINES = ["ERROR: Could not access the menu item: 13", "ERROR: Could not access the menu item: 41"]
# Without a display there is no tray: said once, when the controller has launched.
NO_TRAY = ("[KestrelController:applicationDidFinishLaunching] No system tray is available: the status menu opens "
           "at the pointer when Kestrel is started again.")
UNABLE_TO_OPEN = "[config:load_from_disk] Unable to open configuration file for reading - using defaults"
INFO_SEQUENCE = ["Temp Path: ", "Config Path: ", "  Gui Started", "  Scanner Started",
                 "  Pusher Started", "  Puller Started", "  Gui Running: EventHandler Started"]


def index_of(messages, prefix, start=0):
    for i in range(start, len(messages)):
        if messages[i].startswith(prefix):
            return i
    raise AssertionError(f"{prefix!r} not found after line {start} in {messages}")


class AgentLifecycle(AgentTestCase):
    def test_banners_at_the_default_mask_and_a_quick_orderly_end(self):
        agent = self.start()
        self.assertTrue(agent.wait_for_message(NO_TRAY))
        code, seconds = agent.terminate()
        self.assertEqual(code, 0)
        self.assertLess(seconds, PROMPT_END_SECONDS)
        entries = self.home.log_entries()
        banner = entries.index((5, START_SEQUENCE[0]))
        # A first start finds neither kestreld.json nor the legacy file.
        self.assertEqual(entries[:banner], [(1, UNABLE_TO_OPEN)] * 2 + [(1, line) for line in SELF_TEST_LINES])
        entries = entries[banner:]
        self.assertEqual([m for _, m in entries], START_SEQUENCE + MENU_CHECK_LINES +
                         [NO_TRAY, "  Gui Stopped", "***** Exiting Kestrel *****"])
        self.assertTrue(all(level == (1 if m in MENU_CHECK_LINES + [NO_TRAY] else 5) for level, m in entries))
        mode = stat.S_IMODE(os.stat(self.home.log_path()).st_mode)
        self.assertEqual(mode, 0o600)
        log_dir_mode = stat.S_IMODE(os.stat(os.path.dirname(self.home.log_path())).st_mode)
        self.assertEqual(log_dir_mode, 0o700)

    def test_with_the_info_bit_start_and_stop_lines_come_in_order(self):
        self.home.write_settings({
            "url": "127.0.0.1:9", "api_url": "127.0.0.1:9", "debug_log_level": 5 | 128,
            "push_interval": 1800, "push_initial_interval": 1800,
            "pull_interval": 300, "pull_initial_interval": 300})
        agent = self.start()
        self.assertTrue(agent.wait_for_message("  Gui Running: EventHandler Started"))
        code, seconds = agent.terminate()
        self.assertEqual(code, 0)
        self.assertLess(seconds, PROMPT_END_SECONDS)
        messages = self.home.messages()
        at = index_of(messages, START_SEQUENCE[1])
        for prefix in INFO_SEQUENCE:
            at = index_of(messages, prefix, at + 1)
        at = index_of(messages, "  Gui Stopped", at + 1)
        for stop_line in ("[daemon::continuous_pulling] Thread stopping ",
                          "[daemon:continuous_pushing] Thread stopping ",
                          "[daemon::continuous_scanning] Thread stopping "):
            self.assertIn(stop_line, messages[at + 1:])
        flush = index_of(messages, "[logger:write_current_log_to_disk]", at + 1)
        self.assertGreater(flush, max(messages.index(line) for line in messages[at + 1:]
                                      if "Thread stopping" in line))
        self.assertEqual(messages[-1], "***** Exiting Kestrel *****")
        temp_line = next(m for m in messages if m.startswith("Temp Path: "))
        self.assertEqual(temp_line, "Temp Path: " + self.home.root + "/")
        config_line = next(m for m in messages if m.startswith("Config Path: "))
        self.assertEqual(config_line, "Config Path: " + self.home.data_dir)

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
    unittest.main(testRunner=ExplainingRunner)
