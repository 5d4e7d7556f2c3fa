"""Runs tests/probes/kes_logger_probe in a home of its own and talks to it line by line."""
import gzip
import os
import re
import shutil
import tempfile
import unittest

from command_probe import LineProbe

UPLOAD_NAME = re.compile(r"^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\.(kesg|kesc)$")


class LoggerProbe(LineProbe):
    def __init__(self, home):
        env = {key: value for key, value in os.environ.items() if "proxy" not in key.lower()}
        env.update(HOME=home, XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                   XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_RUNTIME_DIR=os.path.join(home, "run"),
                   TMPDIR=os.path.join(home, "tmp"))
        for folder in ("tmp", "run"):
            os.makedirs(os.path.join(home, folder), mode=0o700, exist_ok=True)
        super().__init__("kes_logger_probe", [], env)

    def folders(self):
        activities, backups, old_logs = self.ask("where").split("\t")
        return activities, backups, old_logs


def private_home():
    return tempfile.mkdtemp(prefix="kes-e2e-logger-")


def remove_home(home):
    shutil.rmtree(home, ignore_errors=True)


def read_upload(path):
    """The CSV text of an upload file, read with python's own gzip for .kesg."""
    if path.endswith(".kesg"):
        with gzip.open(path, "rb") as stream:
            return stream.read().decode("utf-8")
    with open(path, "rb") as stream:
        return stream.read().decode("utf-8")


class LoggerProbeTestCase(unittest.TestCase):
    """A private home and one running probe per test, both gone after it."""

    def setUp(self):
        self.home = private_home()
        self.probe = LoggerProbe(self.home)

    def tearDown(self):
        self.probe.close()
        remove_home(self.home)
