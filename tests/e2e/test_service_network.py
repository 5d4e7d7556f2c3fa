"""The service client over real networks: a real proxy (tinyproxy with basic
auth), an unknown host and a closed port inside a private network namespace,
and no secret of the test accounts in the debug log at any log level.

Everything runs on loopback; the namespace part re-runs this script inside
`unshare -rn` (loopback only).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("KES_SOURCE_DIR") or os.path.join(HERE, "..", "..")
sys.path.insert(0, os.path.join(SOURCE, "tests", "standin"))
from client import StandinProcess, end_process  # noqa: E402

sys.path.insert(0, HERE)
from service_probe import BUILD, ProbeRun, expected_texts  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

DEMO = {"user": "demo@kestrel.test", "password": "demo-Password-4711",
        "account_key": "AK-demo-7f3c9e21b8d44a0f9c5e", "data_key": "DK-demo-51ab2c7d9e0f4b13a6c8"}
SECOND = {"user": "second@kestrel.test", "password": "second-Password-0815", "code": "731946",
          "account_key": "AK-2fa-c04d7e19a2b54f86b3d1", "data_key": "DK-2fa-93e5a1f0c7b24d68e2a4"}
PROXY_USER, PROXY_PASSWORD = "kesproxy", "Proxy-Secret-2093"

class Tinyproxy:
    def __init__(self, folder, port):
        self.config = os.path.join(folder, "tinyproxy.conf")
        with open(self.config, "w") as out:
            out.write("Port %d\nListen 127.0.0.1\nTimeout 30\nAllow 127.0.0.1\n"
                      "BasicAuth %s %s\nLogLevel Info\nLogFile \"%s\"\nMaxClients 10\n"
                      % (port, PROXY_USER, PROXY_PASSWORD, os.path.join(folder, "tinyproxy.log")))
        self.process = subprocess.Popen(["/usr/bin/tinyproxy", "-d", "-c", self.config],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.port = port

    def stop(self):
        end_process(self.process)


def free_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, timeout=10):
    import socket
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                return
        time.sleep(0.05)
    raise RuntimeError("nothing listens on %d" % port)


class ServiceNetwork(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="kes-e2e-service-")
        cls.standin = StandinProcess(os.path.join(cls.folder, "standin"))

    @classmethod
    def tearDownClass(cls):
        cls.standin.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        self.standin.client.reset()
        self.home = tempfile.mkdtemp(dir=self.folder)
        self.probe = ProbeRun(self.home)

    def service_args(self, *more):
        return ["--host", self.standin.host, "--ca", self.standin.ca_cert, *more]

    def test_proxy_with_basic_auth(self):
        proxy = Tinyproxy(self.folder, free_port())
        try:
            wait_for_port(proxy.port)
            proxied = ["--proxy", "127.0.0.1", str(proxy.port)]
            good = self.probe.run("activate", *self.service_args(
                "--user", DEMO["user"], "--password", DEMO["password"], *proxied,
                "--proxy-auth", PROXY_USER, PROXY_PASSWORD))
            self.assertTrue(good["ok"], good)
            self.assertEqual(good["account_key"], DEMO["account_key"])
            self.assertEqual(len(self.standin.client.requests("/activate")), 1)
            with open(os.path.join(self.folder, "tinyproxy.log")) as f:
                self.assertIn("CONNECT", f.read(), "the request did not pass the proxy")

            # A wrong password: the proxy refuses the tunnel (407), which libcurl
            # reports as a receive error; the probe (a closed port) says no network.
            bad = self.probe.run("messages", *self.service_args(
                "--account-key", DEMO["account_key"], *proxied, "--proxy-auth", PROXY_USER, "wrong-password"))
            self.assertFalse(bad["ok"])
            self.assertEqual(bad["class"], "CurlError")
            logged = self.probe.debug_log()
            self.assertIn("HTTP Response (!CURLE_OK): 56 :", logged)
            self.assertEqual(bad["message"], self.expected_text("status_error_internet_unavailable"))
            self.assertEqual(len(self.standin.client.requests("/messages")), 0)
            self.assertNotIn(PROXY_PASSWORD, logged)
            self.assertNotIn("wrong-password", logged)
        finally:
            proxy.stop()

    def test_no_secret_reaches_the_debug_log_at_any_level(self):
        levels = [1 << bit for bit in list(range(9)) + list(range(12, 16))] + [0xffffffff]
        for level in levels:
            home = tempfile.mkdtemp(dir=self.folder)
            probe = ProbeRun(home)
            mask = hex(level)
            self.assertTrue(probe.run("activate", *self.service_args(
                "--user", DEMO["user"], "--password", DEMO["password"]), log_level=mask)["ok"])
            self.assertEqual(probe.run("activate", *self.service_args(
                "--user", SECOND["user"], "--password", SECOND["password"]), log_level=mask)["class"],
                "TwoFactorRequired")
            self.assertTrue(probe.run("activate", *self.service_args(
                "--user", SECOND["user"], "--password", SECOND["password"], "--code", SECOND["code"]),
                log_level=mask)["ok"])
            self.assertTrue(probe.run("activate_silent", *self.service_args(
                "--account-key", DEMO["account_key"]), log_level=mask)["ok"])
            logged = probe.debug_log()
            if level == 0xffffffff:
                self.assertIn("[network::request] add_param password=[redacted]", logged)
            for account in (DEMO, SECOND):
                for name, secret in account.items():
                    if name != "user":
                        self.assertNotIn(secret, logged, "%s at level %s" % (name, mask))
            self.assertNotIn("Bearer: DK-", logged)

    def test_closed_port(self):
        port = free_port()
        result = self.probe.run("messages", "--host", "127.0.0.1:%d" % port, "--ca", self.standin.ca_cert,
                                "--account-key", DEMO["account_key"])
        self.assertEqual(result["class"], "CurlError")
        self.assertEqual(result["message"], self.expected_text("status_error_internet_unavailable"))

    def test_unknown_host_in_a_private_network(self):
        if os.environ.get("KES_INSIDE_NAMESPACE"):
            self.skipTest("already inside")
        command = ("ip link set lo up && exec /usr/bin/python3 %s UnknownHostInside" % os.path.abspath(__file__))
        env = dict(os.environ, KES_INSIDE_NAMESPACE="1", KES_SOURCE_DIR=SOURCE, KES_BUILD_DIR=BUILD)
        done = subprocess.run(["unshare", "-rn", "sh", "-c", command], env=env, capture_output=True, text=True,
                              timeout=120)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertIn("OK", done.stderr)

    def expected_text(self, key):
        return expected_texts()[key]


@unittest.skipUnless(os.environ.get("KES_INSIDE_NAMESPACE"), "a name look-up runs only where no network is")
class UnknownHostInside(unittest.TestCase):
    """Runs inside the private namespace: only loopback exists there."""

    def test_unknown_host(self):
        folder = tempfile.mkdtemp(prefix="kes-e2e-netns-")
        try:
            with StandinProcess(os.path.join(folder, "standin")) as standin:
                probe = ProbeRun(folder)
                args = ["--host", "service.invalid", "--ca", standin.ca_cert, "--account-key", DEMO["account_key"],
                        "--timeout", "5"]
                # No network at all: the probe fails too.
                result = probe.run("messages", *args)
                self.assertEqual(result["class"], "CurlError")
                self.assertEqual(result["message"], expected_texts()["status_error_internet_unavailable"])
                # The network works (the probe answers), only the name is unknown.
                result = probe.run("messages", *args, probe_url="http://127.0.0.1:%d/" % standin.probe_port)
                # The host asked, not the service's default one.
                self.assertEqual(result["message"], "Unable to resolve service.invalid. Potential DNS issue.")
                self.assertTrue(any(r.get("probe") for r in standin.client.requests()))
                self.assertIn("HTTP Response (!CURLE_OK): 6 :", probe.debug_log())
        finally:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "UnknownHostInside":
        unittest.main(testRunner=ExplainingRunner, argv=[sys.argv[0], "UnknownHostInside"], verbosity=2)
    unittest.main(testRunner=ExplainingRunner, verbosity=2)
