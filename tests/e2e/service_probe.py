"""The web-service client driven once per call through the probe program
(tests/probes/kes_service_probe.cpp), in a home of its own, with the debug
log it wrote."""

import json
import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("KES_SOURCE_DIR") or os.path.join(HERE, "..", "..")
BUILD = os.environ.get("KES_BUILD_DIR") or os.path.join(SOURCE, "build")
PROBE = os.path.join(BUILD, "tests", "kes_service_probe")
CLOSED_PROBE = "http://127.0.0.1:9/"


class ProbeRun:
    def __init__(self, home):
        self.home = home

    def run(self, call, *args, probe_url=CLOSED_PROBE, log_level="0xffff"):
        env = {k: v for k, v in os.environ.items()
               if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}
        env.update(HOME=self.home, TMPDIR=self.home, XDG_RUNTIME_DIR=self.home,
                   KES_REACHABILITY_PROBE_URL=probe_url)
        env.pop("XDG_DATA_HOME", None)
        env.pop("XDG_CONFIG_HOME", None)
        done = subprocess.run([PROBE, call, "--log-level", log_level, *args], env=env, capture_output=True,
                              text=True, timeout=60)
        assert done.returncode == 0, done.stderr
        return json.loads(done.stdout.strip().splitlines()[-1])

    def debug_log(self):
        path = os.path.join(self.home, ".local", "share", "KestrelData", "log", "debug_log.txt")
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""


_TEXTS = {}


def expected_texts():
    """The agent's own texts for the keys this script checks, read once through the probe program."""
    if not _TEXTS:
        done = subprocess.run([PROBE, "texts"], capture_output=True, text=True, timeout=30,
                              env=dict(os.environ, HOME=tempfile.gettempdir()))
        _TEXTS.update(json.loads(done.stdout.strip().splitlines()[-1]))
    return _TEXTS
