"""The browser extension's bridge held by tests/probes/kes_bridge_probe, with
real peers we did not write: python3-websockets as the extension, `python3
-m http.server` taking the first ports of the table, and headless Chromium
loading a page from a loopback web server and from a local file. Nothing
leaves this machine."""

import http.server
import os
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

import websockets.exceptions

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "standin"))
from agent_harness import BUILD_DIR, PrivateHome, wait_until  # noqa: E402
from client import end_process  # noqa: E402
from command_probe import CommandProbe  # noqa: E402
from extension_client import (EXTENSION_ORIGIN, LISTEN_FAILED, PORT_TABLE, Extension, bridge_ports,  # noqa: E402
                              listening)
from failure_report import ExplainingRunner  # noqa: E402

ACCOUNT_KEY = "AK-bridge-3c9e"
VALID = b'{"message_id":1,"protocol_version":1,"valid":true}'
NO_IPV6 = os.path.join(BUILD_DIR, "tests", "libkes_no_ipv6.so")
CHROMIUM = "/usr/bin/chromium"
# Errors, start-up lines, the service and url bits: the port line among them.
LOG_LEVEL = 1 | 4 | 128 | 256


class BridgeTestCase(unittest.TestCase):
    def setUp(self):
        self.home = PrivateHome()
        self.addCleanup(self.home.cleanup)
        self.home.write_settings({"account_key": ACCOUNT_KEY, "debug_log_level": LOG_LEVEL})
        self.extension = Extension()
        self.addCleanup(self.extension.close)
        self.processes = []
        self.addCleanup(self.end_processes)

    def end_processes(self):
        for process in reversed(self.processes):
            end_process(process)

    def start_probe(self, **env):
        probe = CommandProbe("kes_bridge_probe", [], self.home.env(**env))
        self.addCleanup(probe.close)
        return probe

    def take_port(self, port):
        """Another program listening on `port` (unless one already does)."""
        if listening(port):
            return
        folder = tempfile.mkdtemp(dir=self.home.root)
        server = subprocess.Popen(["/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1", str(port)],
                                  cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(server)
        wait_until(lambda: listening(port) or server.poll() is not None, what=f"a listener on {port}")

    def assert_tried_in_table_order(self, port):
        """Every port of the table before `port` was tried and failed."""
        failures = [m for m in self.home.messages() if m.startswith(LISTEN_FAILED)]
        self.assertIn(port, PORT_TABLE)
        self.assertEqual(len(failures), PORT_TABLE.index(port), failures)


class PortsAndPeers(BridgeTestCase):
    def test_with_the_first_ports_taken_it_names_the_port_it_fell_back_to_and_the_extension_connects_there(self):
        self.take_port(PORT_TABLE[0])
        self.take_port(PORT_TABLE[1])
        probe = self.start_probe()
        port = probe.ask("link")["port"]
        self.assertEqual(bridge_ports(self.home.messages()), [port], "the log names the port it listens on")
        self.assertGreaterEqual(PORT_TABLE.index(port), 2)
        self.assert_tried_in_table_order(port)
        self.assertIn(LISTEN_FAILED + "Address already in use", self.home.messages())
        connection = self.extension.connect(port)
        self.assertEqual(self.extension.hello(connection, ACCOUNT_KEY), VALID)

        # IPv6 peers of this machine reach the same listener.
        over_ipv6 = self.extension.connect(port, host="[::1]")
        self.assertEqual(self.extension.hello(over_ipv6, ACCOUNT_KEY), VALID)

        # The last link gone, the bridge closes its connections and its port.
        self.assertEqual(probe.ask("unlink")["port"], 0)
        self.assertEqual(self.extension.wait_closed(connection), (1000, "KESApp Terminating Connection"))
        self.assertFalse(listening(port))

    def test_without_ipv6_it_listens_on_ipv4_in_the_same_port_order(self):
        self.take_port(PORT_TABLE[0])
        probe = self.start_probe(LD_PRELOAD=NO_IPV6)
        port = probe.ask("link")["port"]
        self.assertNotEqual(port, 0, self.home.messages())
        self.assertIn("[websocket_server] No IPv6 on this machine (Address family not supported by protocol); "
                      "listening on IPv4.", self.home.messages())
        self.assert_tried_in_table_order(port)
        connection = self.extension.connect(port)
        self.assertEqual(self.extension.hello(connection, ACCOUNT_KEY), VALID)
        self.assertFalse(listening(port, socket.AF_INET6, "::1"), "an IPv4 listener only")
        self.assertEqual(probe.ask("unlink")["port"], 0)
        self.assertFalse(listening(port))

    def test_a_handshake_without_the_token_is_refused_and_gets_nothing(self):
        probe = self.start_probe()
        port = probe.ask("link")["port"]
        for resource in ("/", "/?pavo", "/pavox"):
            with self.assertRaises(websockets.exceptions.InvalidStatusCode) as refused:
                self.extension.connect(port, resource=resource)
            self.assertEqual(refused.exception.status_code, 400)
        connection = self.extension.connect(port, resource="/extension?v=3&pavox")
        self.assertEqual(self.extension.hello(connection, ACCOUNT_KEY), VALID)
        self.assertEqual(probe.ask("unlink")["port"], 0)


class PageServer:
    """A loopback web server for one page whose script tries the bridge,
    served from the server and written to a local file. The page's load
    waits on an image the server holds until the script has reported its
    result, so the DOM Chromium prints carries that result."""

    PAGE = """<!DOCTYPE html>
<html><body><p id="result">pending</p><img src="%(server)s/hold"><script>
const result = document.getElementById("result");
function report(text) { result.textContent = text; new Image().src = "%(server)s/report"; }
const socket = new WebSocket("ws://127.0.0.1:%(bridge)d/?pavox");
socket.onopen = () => report("opened");
socket.onclose = (event) => { if (result.textContent === "pending") report("refused " + event.code); };
</script></body></html>"""

    def __init__(self, bridge_port, folder):
        reported = threading.Event()
        self.reported = reported
        page_of = {}

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                if self.path == "/report":
                    reported.set()
                elif self.path == "/hold":
                    reported.wait(60)
                body = page_of.get("page", b"") if self.path == "/bridge.html" else b""
                self.send_response(200 if body else 204)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        server = "http://127.0.0.1:%d" % self.server.server_address[1]
        page_of["page"] = (self.PAGE % {"server": server, "bridge": bridge_port}).encode()
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        self.address = server + "/bridge.html"
        self.file = os.path.join(folder, "bridge.html")
        with open(self.file, "wb") as out:
            out.write(page_of["page"])
        self.file_address = "file://" + self.file

    def close(self):
        self.reported.set()
        self.server.shutdown()
        self.server.server_close()


class WebPages(BridgeTestCase):
    def dom_of(self, address):
        profile = tempfile.mkdtemp(dir=self.home.root)
        browser = subprocess.Popen(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--allow-file-access-from-files", "--user-data-dir=" + profile, "--dump-dom", address],
            env=self.home.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.processes.append(browser)
        out, _ = browser.communicate(timeout=120)
        return out

    def test_pages_in_chromium_cannot_open_the_socket_and_the_extension_and_programs_without_origin_can(self):
        probe = self.start_probe()
        port = probe.ask("link")["port"]
        refused = "[websocket server] Refused a connection from a web page: "
        for local in (False, True):
            with self.subTest(page="file" if local else "http"):
                page = PageServer(port, tempfile.mkdtemp(dir=self.home.root))
                self.addCleanup(page.close)
                dom = self.dom_of(page.file_address if local else page.address)
                self.assertIn('<p id="result">refused 1006</p>', dom)
                origins = [m[len(refused):] for m in self.home.messages() if m.startswith(refused)]
                if local:
                    self.assertTrue(origins and origins[-1] in ("file://", "null"), origins)
                else:
                    self.assertEqual(origins, [page.address[:page.address.index("/bridge.html")]])
        self.assertEqual(probe.ask("link")["links"], 2, "the bridge runs on")

        connection = self.extension.connect(port)
        self.assertEqual(self.extension.hello(connection, ACCOUNT_KEY), VALID)
        extension_origin = self.extension.connect(port, origin=EXTENSION_ORIGIN)
        self.assertEqual(self.extension.hello(extension_origin, ACCOUNT_KEY), VALID)
        self.extension.send(extension_origin, '{"message_id":2,"url":"https://example.org/from-the-extension"}')
        wait_until(lambda: probe.ask("ask")["answer"] == "https://example.org/from-the-extension",
                   what="the extension's page")
        self.assertEqual(probe.ask("unlink")["port"], port)
        self.assertEqual(probe.ask("unlink")["port"], 0)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
