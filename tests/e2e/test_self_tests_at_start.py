"""At start the agent runs its built-in self tests before anything else and
logs one passing line for each, in their fixed order."""

import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from scanner_x11 import AGENT, end_process
from failure_report import ExplainingRunner
TESTS = ["dynamic_structure_test", "time_from_string_test", "time_to_time_wstring_test",
         "boost_time_from_string_test", "boost_time_to_wstring", "boost_time_to_simple_string"]


class SelfTestsAtStart(unittest.TestCase):
    def test_one_passing_line_per_self_test_before_the_banner(self):
        root = tempfile.mkdtemp(prefix="kes-selftests-")
        data_dir = os.path.join(root, "share", "KestrelData")
        os.makedirs(data_dir)
        # Nothing may leave this machine: every service address is loopback.
        with open(os.path.join(data_dir, "kestreld.json"), "w") as f:
            json.dump({"url": "127.0.0.1:9", "api_url": "127.0.0.1:9"}, f)
        env = {k: v for k, v in os.environ.items()
               if "proxy" not in k.lower() and k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(HOME=root, XDG_DATA_HOME=os.path.join(root, "share"), XDG_CONFIG_HOME=os.path.join(root, "config"),
                   XDG_RUNTIME_DIR=os.path.join(root, "run"), TMPDIR=root, QT_QPA_PLATFORM="offscreen")
        log_path = os.path.join(data_dir, "log", "debug_log.txt")
        agent = subprocess.Popen([AGENT], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            log = ""
            deadline = time.monotonic() + 30
            while "Attempting to start Kestrel" not in log and time.monotonic() < deadline:
                time.sleep(0.05)
                if os.path.exists(log_path):
                    with open(log_path, encoding="utf-8") as f:
                        log = f.read()
        finally:
            end_process(agent, grace=20)
            shutil.rmtree(root, ignore_errors=True)

        lines = [line.split(":", 2)[2] for line in log.splitlines() if line.count(":") >= 2 and line[:1].isdigit()]
        start = lines.index("Running Kestrel Tests:")
        self.assertEqual(lines[start + 1:start + 7], ["[  pass  ] " + name for name in TESTS])
        self.assertEqual(lines[start + 7], "***** Attempting to start Kestrel *****")
        self.assertNotIn("[--FAIL--]", log)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
