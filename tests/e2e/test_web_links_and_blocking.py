"""The addresses the agent sends users and browsers to, taken apart by
python's urllib.parse: every web page on the configured host with its query
fields, and the block page of a focus session, whose escaped scheme and host
python's own quote() reproduces byte for byte."""

import json
import os
import shutil
import subprocess
import sys
import unittest
from datetime import datetime
from urllib.parse import parse_qs, quote, urlsplit

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from agent_harness import BUILD_DIR, PrivateHome  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402

PROBE = os.path.join(BUILD_DIR, "tests", "kes_links_probe")
HOST = "127.0.0.1:8443"


def ask(mode, settings):
    home = PrivateHome()
    try:
        result = subprocess.run([PROBE, mode, json.dumps(settings)], env=home.env(), capture_output=True,
                                timeout=60, check=True)
        return json.loads(result.stdout.decode("utf-8"))
    finally:
        shutil.rmtree(home.root, ignore_errors=True)


class WebPages(unittest.TestCase):
    ACCOUNT_KEY = "AK 1&x=y#z"
    TEAM_KEY = "T/é+?"
    SUPPORT_INFO = "Version: 1.0 & more#frag?x=y / Zoë <ann@example.org>"

    @classmethod
    def setUpClass(cls):
        cls.pages = ask("pages", {"url": HOST, "api_url": "", "account_key": cls.ACCOUNT_KEY,
                                  "enterprise_team_key": cls.TEAM_KEY, "support_info": cls.SUPPORT_INFO,
                                  "blocked_address": "https://bücher.example"})

    def split(self, name):
        address = self.pages[name]
        self.assertIsNotNone(address, name + " opened nothing")
        parts = urlsplit(address)
        self.assertEqual((parts.scheme, parts.netloc, parts.fragment), ("https", HOST, ""), address)
        query = parse_qs(parts.query, keep_blank_values=True, strict_parsing=bool(parts.query))
        return parts.path, query

    def test_plain_pages_carry_only_the_source_marker(self):
        paths = {
            "setup_done": "/setup/done", "dashboard": "/dashboard", "activity_report": "/browse/activity/by/rank",
            "overview_report": "/browse/overview/by/rank", "productivity_report": "/browse/productivity/by/rank",
            "highlights": "/browse/highlights", "organization_summary": "/organization/summary",
            "goals": "/browse/goals/by/day", "users_settings": "/users/settings",
            "monitoring_options": "/accounts/monitoring_options", "release_notes": "/release-notes/mac",
            "offline_time_settings": "/offline_time/settings", "still_zone_settings": "/settings/stillzone",
            "alerts": "/alerts", "download": "/download", "browser_plugin": "/browser-plugin",
            "signup": "/signup", "forgot_password": "/forgot",
            "monthly_productivity": "/browse/productivity/1/by/rank/for/the/month/of/" + self.pages["today"],
        }
        for name, path in paths.items():
            with self.subTest(page=name):
                self.assertEqual(self.split(name), (path, {"src": ["client"]}))
        datetime.strptime(self.pages["today"], "%Y-%m-%d")

    def test_offline_time_carries_the_local_time_then_the_marker(self):
        path, query = self.split("offline_time")
        self.assertEqual(path, "/offline_time")
        self.assertEqual(sorted(query), ["client_current_timestamp", "src"])
        self.assertEqual(query["src"], ["client"])
        stamp = query["client_current_timestamp"][0]
        self.assertEqual(datetime.fromisoformat(stamp).isoformat(), stamp, "whole seconds, extended form")

    def test_help_text_comes_back_whole_from_its_one_field(self):
        self.assertEqual(self.split("quickhelp"), ("/quickhelp", {"support_info": [self.SUPPORT_INFO],
                                                                   "src": ["client"]}))

    def test_enterprise_pages_carry_both_keys_whole_and_no_marker(self):
        for page in ("opt_in", "opt_out", "enable_personal_reports", "learn_more"):
            name = "enterprise_" + {"enable_personal_reports": "personal_reports"}.get(page, page)
            with self.subTest(page=name):
                self.assertEqual(self.split(name), ("/enterprise/" + page, {
                    "account_key": [self.ACCOUNT_KEY], "enterprise_team_key": [self.TEAM_KEY]}))

    def test_block_page_and_api_host(self):
        path, query = self.split("block_page")
        self.assertEqual(query, {})
        self.assertEqual(self.pages["block_page"],
                         f"https://{HOST}/blocked/url/" + quote("https://bücher.example", safe="-._~"))
        self.assertEqual(self.pages["api_host"], HOST, "no API host set: the web host serves")


class BlockPages(unittest.TestCase):
    def test_redirects_are_the_block_page_of_the_original_scheme_and_host(self):
        service_domain = ask("block", {"url": HOST})["service_domain"]
        own_host = "app." + service_domain
        addresses = {
            "https://www.example.org/news/today?x=1#top": True,        # blocked by its host
            "https://example.com/sports/live/now": True,               # by a longer address
            "https://unlisted.example.net/": False,                    # on no list
            f"https://{own_host}/dashboard": False,                    # the service's own page
            "https://bücher.example/Straße?q=ü": True,                 # a host that is not ASCII
        }
        answer = ask("block", {
            "url": HOST,
            "blocked_items": ["example.org", "example.com/sports/live", own_host, "bücher.example"],
            "extended_domain_list": ["unlisted", "example.com/sports/live"],
            "addresses": list(addresses),
        })
        results = {result["address"]: result for result in answer["results"]}
        self.assertEqual(set(results), set(addresses))
        for address, blocked in addresses.items():
            with self.subTest(address=address):
                result = results[address]
                self.assertEqual(result["blocked"], blocked)
                if not blocked:
                    self.assertEqual(result["redirect"], "")
                    continue
                parts = urlsplit(address)
                expected = f"https://{HOST}/blocked/url/" + quote(f"{parts.scheme}://{parts.netloc}", safe="-._~")
                self.assertEqual(result["redirect"].encode("utf-8"), expected.encode("utf-8"))


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
