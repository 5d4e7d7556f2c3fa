"""The probe programs of tests/probes that read one command a line and answer
each with one line; always ended by `close`."""

import json
import os
import subprocess
import unittest

from agent_harness import PrivateHome
from bundle_tree import BUILD_DIR
from standin_client import StandinProcess


class LineProbe:
    """Answers are handed back as they came, without the line's end."""

    def __init__(self, name, args, env, stderr=None):
        self.process = subprocess.Popen(
            [os.path.join(BUILD_DIR, "tests", name), *args], env=env, stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=stderr, text=True, encoding="utf-8")

    def ask(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline()
        if not answer:
            raise RuntimeError("the probe ended while asked: " + line[:80])
        return answer.rstrip("\n")

    def close(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write("quit\n")
                self.process.stdin.close()
                self.process.wait(timeout=20)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()


class CommandProbe(LineProbe):
    """Each answer is one JSON value."""

    def __init__(self, name, args, env):
        super().__init__(name, args, env, stderr=subprocess.DEVNULL)

    def ask(self, line):
        return json.loads(super().ask(line))


class StandinProbeTestCase(unittest.TestCase):
    """Per test: a private home, the service stand-in inside it and one
    CommandProbe trusting the stand-in; all three gone after the test."""

    def start_probe(self, name, settings, reachable=False):
        """`settings` (besides the stand-in's address) is the home's kestreld.json;
        `reachable`: the reachability probe asks the stand-in, not a closed port."""
        self.home = PrivateHome()
        self.addCleanup(self.home.cleanup)
        self.service = StandinProcess(os.path.join(self.home.root, "standin"))
        self.addCleanup(self.service.stop)
        self.home.write_settings({"url": self.service.host, "api_url": self.service.host, **settings})
        env = {"KES_REACHABILITY_PROBE_URL": "http://127.0.0.1:%d/" % self.service.probe_port} if reachable else {}
        self.probe = CommandProbe(name, ["--ca", self.service.ca_cert], self.home.env(**env))
        self.addCleanup(self.probe.close)
