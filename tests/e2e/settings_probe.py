"""Runs the configuration probe inside a bundle layout of its own, with a
private HOME, so each run sees only the files a test put there."""

import json
import os
import shutil
import subprocess
import tempfile

BUILD_DIR = os.environ.get("KES_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
PROBE = os.path.join(BUILD_DIR, "tests", "config_probe")


class Sandbox:
    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="kes-settings-")
        self.home = os.path.join(self.root, "home")
        self.app_dir = os.path.join(self.root, "Applications")
        macos = os.path.join(self.app_dir, "Kestrel.app", "Contents", "MacOS")
        os.makedirs(macos)
        os.makedirs(self.home)
        self.probe = os.path.join(macos, "config_probe")
        shutil.copy2(PROBE, self.probe)
        self.data_dir = os.path.join(self.home, ".local", "share", "KestrelData")
        self.json_path = os.path.join(self.data_dir, "kestreld.json")
        self.cfg_path = os.path.join(self.data_dir, "kestreld.cfg")
        self.log_path = os.path.join(self.data_dir, "log", "debug_log.txt")

    def env(self):
        env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
        env.update(HOME=self.home, XDG_DATA_HOME=os.path.join(self.home, ".local", "share"),
                   XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_RUNTIME_DIR=os.path.join(self.root, "run"), TMPDIR=self.root)
        return env

    def run(self, *args):
        done = subprocess.run([self.probe, *args], env=self.env(), capture_output=True, timeout=60)
        if done.returncode != 0:
            raise AssertionError(f"probe {args} failed: {done.returncode} {done.stderr!r}")
        return done.stdout.decode("utf-8")

    def dump(self):
        return json.loads(self.run("dump"))

    def start(self, *args):
        return subprocess.Popen([self.probe, *args], env=self.env(), stdout=subprocess.PIPE)

    def write_data_file(self, name, content, mode="w"):
        os.makedirs(self.data_dir, exist_ok=True)
        with open(os.path.join(self.data_dir, name), mode) as f:
            f.write(content)

    def read_log(self):
        with open(self.log_path, encoding="utf-8") as f:
            return f.read()

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)
