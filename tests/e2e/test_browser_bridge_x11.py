"""A Firefox-class window on a real X server and python3-websockets as its
extension: the agent itself records the page the extension reports in that
window's row (python's gzip and csv read the upload file) and closes the
bridge on SIGTERM; the scanner probe, during a focus session, sends the
valid extension the block page that urllib.parse reproduces."""

import json
import os
import re
import signal
import socket
import sys
import time
import unittest
from urllib.parse import quote

import websockets.exceptions

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from extension_client import Extension, bridge_ports, listening  # noqa: E402
from scanner_x11 import AGENT, Desktop, PROBE, read_rows  # noqa: E402

ACCOUNT_KEY = "AK-bridge-7f3c"
VALID = b'{"message_id":1,"protocol_version":1,"valid":true}'
INVALID = b'{"message_id":1,"protocol_version":1,"valid":false}'
LOG_LEVEL = 1 | 4 | 8 | 128 | 256
# Never contacted: the block page's host and the service's.
SERVICE_HOST = "127.0.0.1:9"
PAGE = "https://www.bücher.example/straße?q=1"


class BridgeOnX11(unittest.TestCase):
    def setUp(self):
        self.desktop = Desktop(window_manager=True)
        self.addCleanup(self.desktop.close)
        self.extension = Extension()
        self.addCleanup(self.extension.close)
        self.desktop.write_settings({"account_key": ACCOUNT_KEY, "url": SERVICE_HOST, "api_url": SERVICE_HOST,
                                     "first_time_running": False, "full_urls_enabled": True,
                                     "scan_interval": 1, "idle_time_start": 300, "debug_log_level": LOG_LEVEL,
                                     "push_initial_interval": 3600, "pull_initial_interval": 3600})
        # A signed-in first start would explain the Automation permission in a
        # window of its own, which comes to the front.
        self.desktop.mark_automation_explained()
        self.shell = self.desktop.xterm("plain shell")
        self.firefox = self.desktop.xterm("Mozilla Firefox", window_class="firefox")
        self.desktop.focus(self.shell, True)

    def count(self, text):
        return sum(text in line for line in self.desktop.debug_log())

    def start_bridge(self, program):
        """Runs `program` and brings the Firefox window forward: its chain starts the bridge."""
        process = self.desktop.start(program)
        self.desktop.wait_until(lambda: self.count("[scanner]Process name = XTerm") > 0, timeout=30)
        self.desktop.focus(self.firefox, True)
        self.desktop.wait_until(lambda: bridge_ports(self.desktop.debug_log()), timeout=30)
        return process, bridge_ports(self.desktop.debug_log())[0]

    def report_page(self, connection):
        self.extension.send(connection, json.dumps({"message_id": 2, "url": PAGE}, ensure_ascii=False))
        self.desktop.wait_until(lambda: self.count('[websocket server] Incoming message: {"message_id": 2') > 0)

    def next_firefox_record(self):
        """A new record for the Firefox window, which asks the extension's bridge."""
        found = self.count("Found url using: [websocket]")
        self.desktop.bring_forward(self.shell, "XTerm")
        self.desktop.bring_forward(self.firefox, "firefox")
        self.desktop.wait_until(lambda: self.count("Found url using: [websocket]") > found, timeout=20)
        self.desktop.bring_forward(self.shell, "XTerm")

    def end(self, process):
        process.send_signal(signal.SIGTERM)
        self.assertEqual(process.wait(timeout=30), 0)

    def firefox_pages(self):
        return [row[4] for row in read_rows(self.desktop.activities_dir()) if row[0] == "firefox"]

    def test_the_agent_records_the_reported_page_and_closes_the_bridge_on_sigterm(self):
        agent, port = self.start_bridge([AGENT])
        valid = self.extension.connect(port)
        self.assertEqual(self.extension.hello(valid, ACCOUNT_KEY), VALID)
        other_version = self.extension.connect(port)
        self.assertEqual(self.extension.hello(other_version, ACCOUNT_KEY, version=2), INVALID)
        with self.assertRaises(websockets.exceptions.InvalidStatusCode):
            self.extension.connect(port, resource="/")

        self.report_page(valid)
        self.next_firefox_record()
        self.end(agent)

        self.assertIn(PAGE, self.firefox_pages())
        for connection in (valid, other_version):
            self.assertEqual(self.extension.wait_closed(connection), (1000, "KESApp Terminating Connection"))
        self.assertFalse(listening(port, socket.AF_INET, "127.0.0.1"))
        self.assertFalse(listening(port, socket.AF_INET6, "::1"))
        self.assertIn("***** Exiting Kestrel *****", self.desktop.debug_log())

    def test_during_a_focus_session_the_valid_extension_is_sent_the_block_page(self):
        started = time.monotonic()
        probe, port = self.start_bridge([PROBE, "--scan-interval", "1", "--idle-time-start", "300",
                                         "--debug-log-level", str(LOG_LEVEL),
                                         "--blocked-items", "bücher.example", "--blocking-minutes", "30"])
        valid = self.extension.connect(port)
        self.assertEqual(self.extension.hello(valid, ACCOUNT_KEY), VALID)
        other_version = self.extension.connect(port)
        self.assertEqual(self.extension.hello(other_version, ACCOUNT_KEY, version=2), INVALID)

        self.report_page(other_version)  # any connection's page counts
        self.next_firefox_record()
        block = self.extension.receive(valid)
        elapsed = time.monotonic() - started

        duration = re.search(rb'"stillzone_duration":(-?\d+),', block)
        self.assertTrue(duration, block)
        seconds = int(duration.group(1))
        self.assertLessEqual(seconds, 30 * 60)
        self.assertGreaterEqual(seconds, 30 * 60 - elapsed - 1)
        block_page = "https://%s/blocked/url/%s" % (SERVICE_HOST, quote("https://www.bücher.example", safe="-._~"))
        self.assertEqual(block, ('{"block_url":"%s","message_id":3,"stillzone_duration":%d,"url":"%s"}'
                                 % (block_page, seconds, PAGE)).encode("utf-8"))
        # The connection whose hello was not valid got nothing before this answer.
        self.assertEqual(self.extension.hello(other_version, "AK-wrong"), INVALID)

        self.end(probe)
        self.assertIn(PAGE, self.firefox_pages(), "the record keeps the page that was read")


if __name__ == "__main__":
    unittest.main()
