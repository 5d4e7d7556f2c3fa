"""Browsers on a real X server, told apart by their windows' class: the
scanner probe walks each browser's address chain in the scan that starts its
record, browser scripts run on the main thread while that scan waits, a
scriptable browser's row carries its page (redirected when blocked), and a
window titled with the unblock marker lifts exactly the block it names."""

import json
import os
import signal
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scanner_x11 import Desktop, PROBE, parse_time, read_rows  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

# Errors, start-up lines, the scanner's trace and the address chain's lines.
TRACE_LEVEL = 1 | 4 | 8 | 256
CHROME_VALIDATION = ('with timeout of 0.2 seconds\n'
                     'return (application id "com.google.Chrome" is frontmost) and '
                     '(exists (front window of application id "com.google.Chrome"))\n'
                     'end timeout')


class BrowserChains(unittest.TestCase):
    def setUp(self):
        self.desktop = Desktop(window_manager=True)
        self.report = os.path.join(self.desktop.home, "report.json")
        self.probe = None

    def tearDown(self):
        self.desktop.close()

    def start_probe(self, *extra):
        self.probe = self.desktop.start([PROBE, "--scan-interval", "1", "--idle-time-start", "300",
                                         "--debug-log-level", str(TRACE_LEVEL), "--report", self.report, *extra])

    def finish(self):
        self.probe.send_signal(signal.SIGTERM)
        self.assertEqual(self.probe.wait(timeout=20), 0)
        with open(self.report, encoding="utf-8") as f:
            return read_rows(self.desktop.activities_dir()), json.load(f)

    def record_start_of(self, log, process_name):
        """The lines of the last record start of a process, up to the next one."""
        begin = len(log) - 1 - log[::-1].index(f"[scanner]Process name = {process_name}")
        end = next((i for i in range(begin + 1, len(log)) if log[i] == "[scanner]Start Record"), len(log))
        return log[begin:end]

    def assert_in_order(self, lines, expected):
        position = 0
        for line in expected:
            matches = [i for i in range(position, len(lines)) if lines[i].startswith(line)]
            self.assertTrue(matches, f"{line!r} missing after line {position} of {lines}")
            position = matches[0] + 1

    def test_each_browser_walks_its_chain_in_the_scan_that_starts_its_record(self):
        shell = self.desktop.xterm("plain shell")
        firefox = self.desktop.xterm("Mozilla Firefox", window_class="firefox")
        chrome = self.desktop.xterm("News - Google Chrome", window_class="Google-chrome")
        self.desktop.focus(shell, True)
        self.start_probe()
        self.desktop.wait_until(lambda: "[scanner]Process name = XTerm" in self.desktop.debug_log(), timeout=20)
        self.desktop.bring_forward(firefox, "firefox")
        self.desktop.bring_forward(chrome, "Google-chrome")
        self.desktop.bring_forward(shell, "XTerm")
        rows, report = self.finish()
        log = self.desktop.debug_log()

        self.assert_in_order(self.record_start_of(log, "firefox"), [
            "extended_info_grabber_factory::get_extended_info_grabber() - Finding grabber for: org.mozilla.firefox",
            "extended_info_grabber_factory::extended_info_grabber_for_path_dynstr() Attempting to create grabber "
            "for: websocket",
            "Failed to get url using: [websocket]",
            "No further grabbers to try",
        ])
        self.assert_in_order(self.record_start_of(log, "Google-chrome"), [
            "extended_info_grabber_factory::get_extended_info_grabber() - Finding grabber for: com.google.Chrome",
            "extended_info_grabber_factory::extended_info_grabber_for_path_dynstr() Attempting to create grabber "
            "for: applescript_chromium",
            "[osx_AppleScriptExecutor browserScriptsPassesInitialValidation:] --- failed to run validation "
            "AppleScripts: ",
            "Failed to get url using: [applescript_chromium]",
            "No further grabbers to try",
        ])
        shell_start = self.record_start_of(log, "XTerm")
        self.assertIn("No further grabbers to try", shell_start)
        self.assertFalse([line for line in shell_start if "Finding grabber for: com." in line])

        # The only browser script is Chrome's validation, failed by this
        # desktop's engine, run on the main thread inside the scan that asked.
        browser_runs = [run for run in report["scripts"] if run["source"]]
        self.assertTrue(browser_runs)
        for run in browser_runs:
            self.assertEqual(run["script"], CHROME_VALIDATION)
            self.assertFalse(run["answered"])
            self.assertTrue(run["on_main_thread"])
            self.assertTrue(any(p["begin_ms"] <= run["begin_ms"] and run["end_ms"] <= p["end_ms"]
                                for p in report["passes"]), run)

        # The scanner went on: one row per window, each ending where the next begins.
        self.assertEqual([row[0] for row in rows], ["xterm", "firefox", "google-chrome", "xterm"], rows)
        self.assertEqual([row[4] for row in rows], ["", "", "", ""], rows)
        for before, after in zip(rows, rows[1:]):
            self.assertEqual(parse_time(before[6]), parse_time(after[5]), rows)

    def test_a_scriptable_browser_records_its_page_and_a_blocked_page_is_replaced(self):
        page = "https://www.example.org/news/today?x=1"
        shell = self.desktop.xterm("plain shell")
        chrome = self.desktop.xterm("News - Google Chrome", window_class="Google-chrome")
        self.desktop.focus(shell, True)
        self.start_probe("--browser-page", page, "--blocked-items", "example.org,other.example",
                         "--blocking-minutes", "30")
        self.desktop.wait_until(lambda: "[scanner]Process name = XTerm" in self.desktop.debug_log(), timeout=20)
        self.desktop.bring_forward(chrome, "Google-chrome")
        self.desktop.bring_forward(shell, "XTerm")
        rows, report = self.finish()

        chrome_rows = [row for row in rows if row[0] == "google-chrome"]
        self.assertEqual([row[4] for row in chrome_rows], [page], rows)
        block_runs = [run for run in report["scripts"] if run["source"] and "to set URL of" in run["script"]]
        self.assertTrue(block_runs, report["scripts"])
        for run in block_runs:
            self.assertTrue(run["on_main_thread"])
            self.assertTrue(run["script"].startswith(
                'with timeout of 0.2 seconds\ntell application id "com.google.Chrome" to set URL of active tab of '
                'front window to "https://'), run["script"])
            self.assertTrue(run["script"].endswith(
                '/blocked/url/" & URL of active tab of front window\nend timeout'), run["script"])
        self.assertEqual(report["blocked_items"], ["example.org", "other.example"])

    def test_an_unblock_title_during_a_focus_session_lifts_exactly_that_block(self):
        shell = self.desktop.xterm("plain shell")
        self.desktop.focus(shell, True)
        self.start_probe("--blocked-items", "www.example.com,news.example.org,video.example.net",
                         "--blocking-minutes", "30")
        self.desktop.wait_until(lambda: "[scanner]Process name = XTerm" in self.desktop.debug_log(), timeout=20)
        unblock = self.desktop.xterm("Kestrel Unblock: https://www.example.com/")
        self.desktop.focus(unblock, True)
        self.desktop.wait_until(
            lambda: '[common_grabber:unblock_by_window_title] removing "www.example.com" from blocked list.'
            in self.desktop.debug_log(), timeout=20)
        self.desktop.bring_forward(shell, "XTerm")
        rows, report = self.finish()
        self.assertEqual(report["blocked_items"], ["news.example.org", "video.example.net"])
        self.assertIn("Kestrel Unblock: https://www.example.com/", [row[3] for row in rows])


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
