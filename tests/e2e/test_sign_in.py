"""Signing in through tests/probes/kes_ui_probe against the service stand-in,
as the sign-in windows start it (a thread of its own): the second-factor round
trip stores both keys, which python reads back from kestreld.json, and with
every debug-log category on grep finds none of the password, the code or the
keys in the debug log. (The other paths are tests/ui/sign_in_test.cpp's.)"""

import json
import os
import subprocess
import unittest

from command_probe import StandinProbeTestCase
from failure_report import ExplainingRunner

EMAIL = "second@kestrel.test"
PASSWORD = "second-Password-0815"
CODE = "731946"
ACCOUNT_KEY = "AK-2fa-c04d7e19a2b54f86b3d1"
DATA_KEY = "DK-2fa-93e5a1f0c7b24d68e2a4"


class SignIn(StandinProbeTestCase):
    def setUp(self):
        self.start_probe("kes_ui_probe", {"first_time_running": False, "debug_log_level": 65535})

    def saved_settings(self):
        with open(os.path.join(self.home.data_dir, "kestreld.json"), encoding="utf-8") as saved:
            return json.load(saved)

    def grep_log(self, text):
        found = subprocess.run(["grep", "-F", "-q", "-e", text, self.home.log_path()])
        self.assertIn(found.returncode, (0, 1), "grep could not read the debug log")
        return found.returncode == 0

    def sign_in_requests(self):
        return [dict(r["fields"]) for r in self.service.client.requests("/activate")
                if any(name == "password" for name, _ in r["fields"])]

    def test_two_factor_sign_in_stores_the_keys_and_logs_no_secret(self):
        answer = self.probe.ask("signin %s %s %s" % (EMAIL, PASSWORD, CODE))
        self.assertEqual(answer["result"], "signed_in")
        self.assertEqual(answer["prompts"], 1)
        self.assertEqual(answer["post_activations"], 1)

        saved = self.saved_settings()
        self.assertEqual(saved["account_key"], ACCOUNT_KEY)
        self.assertEqual(saved["data_key"], DATA_KEY)

        sent = self.sign_in_requests()
        self.assertEqual(len(sent), 2)
        self.assertNotIn("two_factor_auth_code", sent[0])
        self.assertEqual(sent[1]["two_factor_auth_code"], CODE)
        self.assertEqual(sent[1]["username"], EMAIL)

        self.assertGreater(len(self.home.messages()), 50, "every category was logged")
        for secret in (PASSWORD, CODE, ACCOUNT_KEY, DATA_KEY):
            self.assertFalse(self.grep_log(secret), secret)
        # What happened is still there, with the keys shortened to their last four.
        self.assertTrue(self.grep_log("[ui:on_activate_thread] Caught Kestrel::Network::TwoFactorRequired"))
        self.assertTrue(self.grep_log("[ui:on_activate] data_key = ****e2a4"))


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
