"""The settings file as other programs see it: python's json reads what the
store wrote, python's yaml writes a legacy file that migrates, a corrupt file
is kept aside, base_config.json applies only on the first run."""

import errno
import json
import os
import stat
import sys
import unittest

import yaml

sys.path.insert(0, os.path.dirname(__file__))
from settings_probe import Sandbox  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402


class SettingsFile(unittest.TestCase):
    def setUp(self):
        self.box = Sandbox()

    def tearDown(self):
        self.box.cleanup()

    def test_values_set_through_the_store_read_back_with_python_json(self):
        self.box.run("set", "account_key", "KEY-\u00e9\U0001F600", "proxy_port", "8080",
                     "last_update_check", "2024-03-05 14:30:00", "paused_until", "unset",
                     "whitelist", "a.example,b \"quoted\"", "scan_interval", "4", "blocking_enabled", "true")
        with open(self.box.json_path, "rb") as f:
            saved = json.loads(f.read().decode("utf-8"))
        self.assertEqual(saved["account_key"], "KEY-\u00e9\U0001F600")
        self.assertEqual(saved["proxy_port"], "8080")
        self.assertEqual(saved["last_update_check"], "2024-Mar-05 14:30:00")
        self.assertEqual(saved["paused_until"], "not-a-date-time")
        self.assertEqual(saved["last_successful_send"], "2001-Jan-01 00:00:00")
        self.assertEqual(saved["logging_scheduled_start_hour"], "not-a-date-time")
        self.assertIs(saved["first_time_running"], False)
        self.assertEqual(saved["whitelist"], ["a.example", "b \"quoted\""])
        self.assertEqual(saved["scan_interval"], 4)
        for never in ("blocking_enabled", "idle_activities", "ssl_enabled", "enterprise_team_key",
                      "corporate_network_workaround"):
            self.assertNotIn(never, saved)
        self.assertEqual(stat.S_IMODE(os.stat(self.box.json_path).st_mode), 0o600)
        self.assertFalse(os.path.exists(self.box.json_path + ".tmp"))
        # The next start reads it back.
        state = self.box.dump()
        self.assertEqual(state["account_key"], "KEY-\u00e9\U0001F600")
        self.assertIs(state["first_time_running"], False)

    def test_legacy_yaml_written_by_python_migrates_once(self):
        legacy = {"account_key": "LEGACYKEY", "proxy_port": "8080", "proxy_server": "on",
                  "proxy_username": "yes", "scan_interval": 6, "logging_enabled": False,
                  "whitelist": ["one.example", "2024"], "url": "127.0.0.1"}
        self.box.write_data_file("kestreld.cfg", yaml.safe_dump(legacy))
        state = self.box.dump()
        self.assertEqual(state["account_key"], "LEGACYKEY")
        self.assertEqual(state["proxy_port"], "8080")
        self.assertEqual(state["proxy_server"], "on")
        self.assertEqual(state["proxy_username"], "yes")
        self.assertEqual(state["scan_interval"], 6)
        self.assertIs(state["logging_enabled"], False)
        self.assertEqual(state["whitelist"], ["one.example", "2024"])
        self.assertFalse(os.path.exists(self.box.cfg_path))
        with open(self.box.json_path, encoding="utf-8") as f:
            saved = json.load(f)
        self.assertEqual(saved["proxy_port"], "8080")
        self.assertEqual(saved["account_key"], "LEGACYKEY")

    def test_corrupt_file_gives_defaults_a_status_and_is_kept_aside(self):
        broken = '{"account_key": "SECRETKEY-9876", "scan_interval": 3,'
        self.box.write_data_file("kestreld.json", broken)
        state = self.box.dump()
        self.assertEqual(state["account_key"], "")
        self.assertEqual(state["scan_interval"], 1)
        self.assertEqual(state["status_message"], state["corrupt_config_text"])
        self.assertEqual(state["status_severity"], 4)
        with open(self.box.json_path + ".corrupt") as f:
            self.assertEqual(f.read(), broken)
        log = self.box.read_log()
        self.assertIn(":9:[config:load_from_json_on_disk] Caught std::exception loading config: ", log)
        self.assertIn(":1:[config:load_from_json_on_disk] Error reading configuration file - resetting to "
                      "default configuration", log)
        self.assertNotIn("SECRETKEY", log)
        # The next save writes a fresh file and leaves the kept copy alone.
        self.box.run("set", "scan_interval", "2")
        with open(self.box.json_path) as f:
            self.assertEqual(json.load(f)["scan_interval"], 2)
        with open(self.box.json_path + ".corrupt") as f:
            self.assertEqual(f.read(), broken)

    def test_base_config_applies_only_while_first_running(self):
        with open(os.path.join(self.box.app_dir, "base_config.json"), "w") as f:
            json.dump({"url": "127.0.0.1:8443", "idle_time_start": 120}, f)
        state = self.box.dump()
        self.assertEqual(state["url"], "127.0.0.1:8443")
        self.assertEqual(state["idle_time_start"], 120)
        self.assertIs(state["first_time_running"], True)
        log = self.box.read_log()
        self.assertEqual(log.count("Unable to open configuration file for reading"), 2)
        self.box.run("set", "url", "127.0.0.2")  # the first save ends the first run
        with open(os.path.join(self.box.app_dir, "base_config.json"), "w") as f:
            json.dump({"url": "127.0.0.1:9999"}, f)
        self.assertEqual(self.box.dump()["url"], "127.0.0.2")

    def test_an_unreadable_base_config_is_ignored_and_named(self):
        self.box.write_data_file("kestreld.json", json.dumps(
            {"account_key": "AK-kept-4711", "url": "127.0.0.1:8443", "first_time_running": True}))
        deep = '{"url": ' + "[" * 100000 + "]" * 100000 + "}"
        for unreadable in ('{"url": "127.0.0.1:1",', deep):
            with open(os.path.join(self.box.app_dir, "base_config.json"), "w") as f:
                f.write(unreadable)
            state = self.box.dump()
            self.assertEqual(state["account_key"], "AK-kept-4711")
            self.assertEqual(state["url"], "127.0.0.1:8443")
            self.assertNotEqual(state["status_message"], state["corrupt_config_text"])
            self.assertIn(":1:[config:load] Ignoring the unreadable base configuration file " +
                          os.path.join(self.box.app_dir, "base_config.json"), self.box.read_log())
        # A name that cannot even be opened (a link to itself) is named too.
        base = os.path.join(self.box.app_dir, "base_config.json")
        os.remove(base)
        os.symlink(base, base)
        state = self.box.dump()
        self.assertEqual(state["account_key"], "AK-kept-4711")
        self.assertIn(":1:[config:load] Ignoring the unreadable base configuration file %s: %s"
                      % (base, os.strerror(errno.ELOOP)), self.box.read_log())

    def test_hostile_settings_files_are_corrupt_files_not_crashes(self):
        """A deep kestreld.json, and a legacy file of aliases that would expand
        to 9^9 values, end as corrupt files with small memory."""
        import resource
        deep = '{"url": ' + "[" * 1000000 + "]" * 1000000 + "}"
        self.box.write_data_file("kestreld.json", deep)
        state = self.box.dump()
        self.assertEqual(state["status_message"], state["corrupt_config_text"])
        os.remove(self.box.json_path)
        os.remove(self.box.json_path + ".corrupt")

        bomb = "a: &a [lol, lol, lol, lol, lol, lol, lol, lol, lol]\n"
        for name in "bcdefghi":
            previous = chr(ord(name) - 1)
            bomb += "%s: &%s [%s]\n" % (name, name, ", ".join(["*" + previous] * 9))
        self.assertLess(len(bomb), 500)
        self.box.write_data_file("kestreld.cfg", bomb)
        state = self.box.dump()
        self.assertEqual(state["status_message"], state["corrupt_config_text"])
        self.assertIn(":1:[config:load_from_yaml_on_disk] Error reading configuration file", self.box.read_log())
        peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        self.assertLess(peak_kib, 200 * 1024, "the largest probe run peaked at %d KiB" % peak_kib)

    def test_a_second_corrupt_start_keeps_the_first_copy(self):
        first, second = '{"account_key": "FIRST-KEY-1",', '{"account_key": "SECOND-2",'
        self.box.write_data_file("kestreld.json", first)
        self.box.dump()
        self.box.write_data_file("kestreld.json", second)
        self.box.dump()
        self.box.dump()
        with open(self.box.json_path + ".corrupt") as f:
            self.assertEqual(f.read(), first)
        with open(self.box.json_path + ".corrupt.1") as f:
            self.assertEqual(f.read(), second)
        self.assertFalse(os.path.exists(self.box.json_path + ".corrupt.2"))


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
