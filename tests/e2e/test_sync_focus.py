"""The pusher and the puller through tests/probes/kes_sync_probe against the
service stand-in: a focus session started from the service's alert
(`still_zone_until` ahead) survives a block-list refresh and ends at its time
(the probe's clock is moved ahead instead of waiting); a sent upload file shows
its send time on the status line."""

import datetime
import unittest

from command_probe import StandinProbeTestCase
from failure_report import ExplainingRunner

DEMO_KEY = "AK-demo-7f3c9e21b8d44a0f9c5e"


def parse(text):
    return datetime.datetime.fromisoformat(text)


class SyncFocus(StandinProbeTestCase):
    def setUp(self):
        self.start_probe("kes_sync_probe", {"account_key": DEMO_KEY, "first_time_running": False}, reachable=True)

    def test_focus_session_from_an_alert_survives_a_refresh_and_ends_at_its_time(self):
        # A fresh configuration is paused until the second it started.
        now = parse(self.probe.ask("advance 2")["now"])
        until = now + datetime.timedelta(minutes=3, seconds=10)
        self.service.client.set_state(still_zone_until=until.isoformat(), alerts=["Focus time"])
        state = self.probe.ask("pull_alerts")
        self.assertTrue(state["blocking"], state)
        session_end = parse(state["blocking_until"])
        # 3 min 10 s ahead gives a 3-minute session from the moment it started.
        self.assertEqual(session_end - now, datetime.timedelta(minutes=3))
        self.assertEqual(state["blocked_items"], ["news.example.org", "video.example.org"])
        started = [r for r in self.service.client.requests("/api/block_list") if ["focus", "true"] in r["fields"]]
        self.assertEqual(len(started), 1)
        self.assertIn(["duration", "3"], started[0]["fields"])

        self.service.client.set_state(block_list=["chat.example.org"])
        state = self.probe.ask("refresh")
        self.assertTrue(state["blocking"], state)
        self.assertEqual(parse(state["blocking_until"]), session_end)
        self.assertEqual(state["blocked_items"], ["chat.example.org"])

        self.probe.ask("advance %d" % ((session_end - now).total_seconds() - 5))
        self.assertTrue(self.probe.ask("state")["blocking"])
        self.probe.ask("advance 10")
        self.assertFalse(self.probe.ask("state")["blocking"])

    def test_the_status_line_shows_the_send_time(self):
        self.assertEqual(self.probe.ask("record Budget 2024 - sheet")["records"], 1)
        answer = self.probe.ask("shove")
        now = parse(self.probe.ask("now")["now"])
        prefix = "Successfully sent data at "
        self.assertTrue(answer["status"].startswith(prefix), answer)
        sent_at = datetime.datetime.strptime(answer["status"][len(prefix):], "%Y-%b-%d %H:%M:%S")
        self.assertLessEqual(abs((now - sent_at).total_seconds()), 5)
        self.assertEqual(answer["severity"], 0)
        self.assertEqual([r["answered"] for r in self.service.client.requests("/collect")], [200])


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
