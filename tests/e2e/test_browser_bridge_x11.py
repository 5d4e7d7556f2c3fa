"""A Firefox-class window on a real X server and python3-websockets as its
extension: the agent itself records the page the extension reports in that
window's row (python's gzip and csv read the upload file), listens on the
loopback addresses alone (as `ss` shows, with and without IPv6) and closes the
bridge on SIGTERM; hostile local peers cost it little CPU, memory and log
while it goes on recording; the scanner probe, during a focus session, sends
the valid extension the block page that urllib.parse reproduces."""

import glob
import gzip
import json
import os
import re
import resource
import signal
import socket
import sys
import time
import unittest
from datetime import datetime
from urllib.parse import quote

import websockets.exceptions

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_harness import PROMPT_END_SECONDS, peak_memory_kib  # noqa: E402
from extension_client import (EXTENSION_ORIGIN, UPGRADE, Extension, RawPeer, bridge_ports,  # noqa: E402
                              listening, listening_addresses, text_frame)
from measure_scan_cpu import cpu_ms  # noqa: E402
from scanner_x11 import AGENT, BUILD_DIR, Desktop, PROBE, read_rows  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

ACCOUNT_KEY = "AK-bridge-7f3c"
VALID = b'{"message_id":1,"protocol_version":1,"valid":true}'
INVALID = b'{"message_id":1,"protocol_version":1,"valid":false}'
LOG_LEVEL = 1 | 4 | 8 | 128 | 256
# Never contacted: the block page's host and the service's.
SERVICE_HOST = "127.0.0.1:9"
PAGE = "https://www.bücher.example/straße?q=1"
OTHER_PAGE = "https://example.org/from-a-program-without-origin"
NO_IPV6 = os.path.join(BUILD_DIR, "tests", "libkes_no_ipv6.so")
START_LINE = "***** Starting Kestrel *****"


class BridgeOnX11(unittest.TestCase):
    def setUp(self):
        self.desktop = Desktop(window_manager=True)
        self.addCleanup(self.desktop.close)
        self.extension = Extension()
        self.addCleanup(self.extension.close)
        self.settings = {"account_key": ACCOUNT_KEY, "url": SERVICE_HOST, "api_url": SERVICE_HOST,
                         "first_time_running": False, "full_urls_enabled": True,
                         "scan_interval": 1, "idle_time_start": 300, "debug_log_level": LOG_LEVEL,
                         "push_initial_interval": 3600, "pull_initial_interval": 3600}
        self.desktop.write_settings(self.settings)
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
        self.shell_in_front = False
        self.desktop.wait_until(lambda: bridge_ports(self.desktop.debug_log()), timeout=30)
        return process, bridge_ports(self.desktop.debug_log())[0]

    def report_page(self, connection, page=PAGE):
        seen = self.count('[websocket server] Incoming message: {"message_id": 2')
        self.extension.send(connection, json.dumps({"message_id": 2, "url": page}, ensure_ascii=False))
        self.desktop.wait_until(lambda: self.count('[websocket server] Incoming message: {"message_id": 2') > seen)

    def next_firefox_record(self):
        """A new record for the Firefox window, which asks the extension's
        bridge; the shell is in front after it."""
        found = self.count("Found url using: [websocket]")
        if not self.shell_in_front:
            self.desktop.bring_forward(self.shell, "XTerm")
        self.desktop.bring_forward(self.firefox, "firefox")
        self.desktop.wait_until(lambda: self.count("Found url using: [websocket]") > found, timeout=20)
        self.desktop.bring_forward(self.shell, "XTerm")
        self.shell_in_front = True

    def end(self, process):
        process.send_signal(signal.SIGTERM)
        self.assertEqual(process.wait(timeout=30), 0)

    def firefox_pages(self):
        return [row[4] for row in read_rows(self.desktop.activities_dir()) if row[0] == "firefox"]

    def test_the_agent_records_the_reported_page_and_closes_the_bridge_on_sigterm(self):
        agent, port = self.start_bridge([AGENT])
        self.assertEqual(listening_addresses(agent.pid), [("127.0.0.1", port), ("::1", port)],
                         "the loopback addresses alone")
        valid = self.extension.connect(port, origin=EXTENSION_ORIGIN)
        self.assertEqual(self.extension.hello(valid, ACCOUNT_KEY), VALID)
        without_origin = self.extension.connect(port, host="[::1]")
        self.assertEqual(self.extension.hello(without_origin, ACCOUNT_KEY), VALID)
        other_version = self.extension.connect(port)
        self.assertEqual(self.extension.hello(other_version, ACCOUNT_KEY, version=2), INVALID)
        with self.assertRaises(websockets.exceptions.InvalidStatusCode):
            self.extension.connect(port, resource="/")
        for page_origin in ("file://", "null", "http://127.0.0.1:8000", "chrome-extension://abcdefghijklmnop"):
            with self.assertRaises(websockets.exceptions.InvalidStatusCode):
                self.extension.connect(port, origin=page_origin)

        self.report_page(valid)
        self.next_firefox_record()
        self.report_page(without_origin, OTHER_PAGE)
        self.next_firefox_record()
        self.end(agent)

        self.assertIn(PAGE, self.firefox_pages())
        self.assertIn(OTHER_PAGE, self.firefox_pages())
        for connection in (valid, without_origin, other_version):
            self.assertEqual(self.extension.wait_closed(connection), (1000, "KESApp Terminating Connection"))
        self.assertFalse(listening(port, socket.AF_INET, "127.0.0.1"))
        self.assertFalse(listening(port, socket.AF_INET6, "::1"))
        self.assertIn("***** Exiting Kestrel *****", self.desktop.debug_log())

    def test_an_address_or_a_title_forges_no_log_line_and_puts_no_nul_in_a_row(self):
        """A local program without a hello sends an address holding a line feed
        and a NUL, and the Firefox window's title holds a line feed: at every
        debug-log level, each line starts with a time the agent wrote (the made-up
        ones appear escaped), and no upload row holds a NUL."""
        self.desktop.write_settings(dict(self.settings, debug_log_level=65535))
        forged = "\n20240101T000000:1:forged by %s"
        title = "Mozilla Firefox" + forged % "a title"
        page = "https://forged.example/" + forged % "a page" + "\0tail"
        self.desktop.run(["xdotool", "set_window", "--name", title, self.firefox])
        started = datetime.now().replace(microsecond=0)
        agent, port = self.start_bridge([AGENT])
        self.report_page(self.extension.connect(port), page)
        self.next_firefox_record()
        self.end(agent)
        ended = datetime.now()

        with open(os.path.join(self.desktop.data_dir(), "log", "debug_log.txt"), encoding="utf-8") as f:
            logged = f.read()
        lines = [line for line in logged.split("\n") if line]  # a few messages end with a line feed of their own
        self.assertGreater(len(lines), 100)
        for line in lines:
            written = re.match(r"^(\d{8}T\d{6}):\d+:", line)
            self.assertTrue(written, "a line without a time: " + line[:200])
            self.assertTrue(started <= datetime.strptime(written.group(1), "%Y%m%dT%H%M%S") <= ended,
                            "a time the agent did not write: " + line[:200])
        for seen in ("\\n20240101T000000:1:forged by a title", "\\n20240101T000000:1:forged by a page tail"):
            self.assertTrue(seen in logged, "escaped in the log: " + seen)

        data = b""
        for path in glob.glob(os.path.join(self.desktop.activities_dir(), "*.kes[gc]")):
            with open(path, "rb") as f:
                data += gzip.decompress(f.read()) if path.endswith(".kesg") else f.read()
        self.assertNotIn(b"\0", data)
        firefox = [row for row in read_rows(self.desktop.activities_dir()) if row[0] == "firefox"]
        # The rest of the texts stays as it was: CSV quoting carries the line feeds.
        self.assertIn((title, page.replace("\0", " ")), [(row[3], row[4]) for row in firefox])

    def test_without_ipv6_the_agent_listens_on_127_0_0_1_alone(self):
        agent, port = self.start_bridge(["/usr/bin/env", "LD_PRELOAD=" + NO_IPV6, AGENT])
        self.assertEqual(listening_addresses(agent.pid), [("127.0.0.1", port)])
        connection = self.extension.connect(port, origin=EXTENSION_ORIGIN)
        self.assertEqual(self.extension.hello(connection, ACCOUNT_KEY), VALID)
        self.end(agent)

    def journal_lines(self):
        lines = 0
        for segment in glob.glob(os.path.join(self.desktop.data_dir(), "journal", "*.journal")):
            with open(segment, "rb") as f:
                lines += f.read().count(b"\n")
        return lines

    def switch_windows(self, times):
        """Records the scanner completes while the two windows take turns in front."""
        for _ in range(times):
            for window in (self.shell, self.firefox):
                recorded = self.journal_lines()
                self.desktop.focus(window, True)
                self.desktop.wait_until(lambda: self.journal_lines() > recorded, timeout=20)

    def test_hostile_local_peers_cost_the_agent_little_and_it_goes_on_recording(self):
        """At the default log level and the desktop's usual descriptor limit.
        Prints what it measured."""
        settings = dict(self.settings, debug_log_level=1)
        self.desktop.write_settings(settings)
        agent = self.desktop.start(["prlimit", "--nofile=1024:1024", AGENT])
        self.desktop.wait_until(lambda: self.journal_lines() > 0 or self.count(START_LINE) > 0, timeout=30)
        self.desktop.focus(self.firefox, True)
        self.desktop.wait_until(lambda: listening_addresses(agent.pid), timeout=30)
        port = listening_addresses(agent.pid)[0][1]
        log_path = os.path.join(self.desktop.data_dir(), "log", "debug_log.txt")

        # 1,100 connections at once, half of them with a handshake, held 10 s.
        _, most = resource.getrlimit(resource.RLIMIT_NOFILE)
        resource.setrlimit(resource.RLIMIT_NOFILE, (most, most))
        crowd = [socket.socket(socket.AF_INET, socket.SOCK_STREAM) for _ in range(1100)]
        for peer in crowd:
            peer.setblocking(False)
            peer.connect_ex(("127.0.0.1", port))
        before, started = cpu_ms(agent.pid), time.monotonic()
        for peer in crowd[::2]:
            try:
                peer.send((UPGRADE % "/?pavox").encode())
            except OSError:
                pass  # already closed by the agent
        recorded = self.journal_lines()
        self.switch_windows(2)
        time.sleep(max(0.0, 10 - (time.monotonic() - started)))
        used, seconds = cpu_ms(agent.pid) - before, time.monotonic() - started
        print(f"\n1,100 connections for {seconds:.1f} s: {used:.0f} ms CPU ({used / seconds / 10:.2f} % of one core), "
              f"{len(os.listdir(f'/proc/{agent.pid}/fd'))} descriptors open", file=sys.stderr)
        self.assertLess(used, seconds * 500, "no spinning on the crowd")
        self.assertGreater(self.journal_lines(), recorded, "records go on being written")
        for peer in crowd:
            peer.close()

        # A million hellos never read, then one 30 MB frame nested 15 million deep.
        hoarder = RawPeer(port)
        self.assertEqual(hoarder.status, 101)
        hellos = text_frame(('{"message_id":0,"account_key":"%s","protocol_version":1}' % ACCOUNT_KEY).encode())
        sent = 0
        while sent < 1000000 and hoarder.send(hellos * 1000):
            sent += 1000
        deep = RawPeer(port)
        self.assertFalse(deep.send(text_frame(b"[" * 15000000 + b"]" * 15000000)), "ended before it is all read")
        peak = peak_memory_kib(agent.pid)
        print(f"{sent} hellos sent unread before the agent ended the connection; after a 30 MB frame: "
              f"VmHWM {peak / 1024:.1f} MiB", file=sys.stderr)
        self.assertLess(sent, 1000000, "a peer that reads nothing is ended")
        self.assertLess(peak, 150 * 1024)
        hoarder.close()
        deep.close()

        # 50,000 malformed messages, after a hello.
        size_before = os.path.getsize(log_path)
        flooder = self.extension.connect(port, origin=EXTENSION_ORIGIN)
        self.assertEqual(self.extension.hello(flooder, ACCOUNT_KEY), VALID)

        async def flood():
            for i in range(50000):
                await flooder.send('{"message_id":2,"url": broken %d' % i)
        self.extension.run(flood(), timeout=120)
        self.assertEqual(self.extension.hello(flooder, ACCOUNT_KEY), VALID, "every message was read")
        grown = os.path.getsize(log_path) - size_before
        print(f"50,000 malformed messages: the debug log grew by {grown} bytes", file=sys.stderr)
        self.assertLess(grown, 100 * 1024)
        self.assertEqual(self.count(START_LINE), 1, "the start line is kept")
        self.switch_windows(1)

        stopping = time.monotonic()
        agent.send_signal(signal.SIGTERM)
        self.assertEqual(agent.wait(timeout=30), 0)
        ended = time.monotonic() - stopping
        print("\n[ figures ] SIGTERM ended the agent in %.2f s" % ended, file=sys.stderr)
        self.assertLess(ended, PROMPT_END_SECONDS)
        self.assertTrue(read_rows(self.desktop.activities_dir()), "the upload file is written")

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
    unittest.main(testRunner=ExplainingRunner)
