"""The status menu and its actions through tests/probes/kes_ui_probe against the
service stand-in: the default menu as the user sees it, the layout rule
checked by an implementation of our own in python, a focus session started
from the menu (the service's request log shows the multipart form's fields),
and a pause written to kestreld.json and announced once at each end. The
probe's clock stands still until moved, so no step depends on real time."""

import datetime
import json
import os
import unittest

from command_probe import StandinProbeTestCase
from failure_report import ExplainingRunner

DEMO_KEY = "AK-demo-7f3c9e21b8d44a0f9c5e"


def item(id, text, children=None, enabled=True, checked=False):
    entry = {"id": id, "separator": False, "text": text, "enabled": enabled, "checked": checked}
    if children is not None:
        entry["children"] = children
    return entry


def separator(id):
    return {"id": id, "separator": True}


# The menu after start-up and one pass of the event loop, signed in, with the
# default settings: no enterprise items, no offline-time entry, no survey,
# nothing paused or focused, start at login on.
DEFAULT_MENU = [
    item(7, "Help..."),
    separator(8),
    item(9, "Go to Dashboard..."),
    item(15, "Reports", [item(16, "Activities"), item(17, "Categories"), item(18, "Productivity"),
                         item(19, "Highlights")]),
    item(10, "Goals & Alerts..."),
    separator(14),
    item(21, "Start Stillzone", [item(22, "For 15 minutes"), item(23, "For 30 minutes"), item(24, "For 1 hour"),
                                 item(25, "For 2 hours"), item(26, "Until tomorrow"), item(27, "Custom...")]),
    item(29, "Pause", [item(30, "Pause for 15 minutes"), item(31, "Pause for 1 hour"),
                       item(32, "Pause until tomorrow")]),
    separator(35),
    item(36, "Preferences", [item(37, "Account & billing settings..."), item(38, "Privacy & schedule settings..."),
                             item(40, "Proxy settings for this device"), item(39, "Start at Login", checked=True)]),
    separator(42),
    item(43, "Check for Updates..."),
    separator(44),
    item(45, "Quit Kestrel"),
]


def render(tree):
    """The layout rule, written again here: hidden items vanish with their
    children; a separator follows only a real item."""
    shown = []
    for node in tree:
        if not node["visible"]:
            continue
        if node["text"] == "":
            if shown and not shown[-1]["separator"]:
                shown.append(separator(node["id"]))
            continue
        shown.append(item(node["id"], node["text"], render(node["children"]) if node["children"] else None,
                          node["enabled"], node["checked"]))
    return shown


def shown_item(menu, id):
    for entry in menu:
        if entry["id"] == id:
            return entry
    return None


class UiMenu(StandinProbeTestCase):
    def setUp(self):
        self.start_probe("kes_ui_probe", {"account_key": DEMO_KEY, "first_time_running": False}, reachable=True)
        # A fresh configuration is paused until the second it was made.
        self.probe.ask("advance 2")

    def now(self):
        return datetime.datetime.fromisoformat(self.probe.ask("now")["now"])

    def saved_settings(self):
        with open(os.path.join(self.home.data_dir, "kestreld.json"), encoding="utf-8") as saved:
            return json.load(saved)

    def test_the_default_menu_and_the_layout_rule(self):
        self.probe.ask("pass")
        self.assertEqual(self.probe.ask("menu")["menu"], DEFAULT_MENU)
        self.assertEqual(self.probe.ask("state")["menu_shows"], 1)
        # In other states the rendering still follows the rule as python reads it.
        situations = [("action 30", "a pause"), ("action 34", "unpaused"),
                      ("set enterprise_team_key TEAM-1", "a team, logging on"),
                      ("set logging_enabled 0", "a team, logging off")]
        for command, situation in situations:
            self.probe.ask(command)
            self.probe.ask("pass 2")
            tree = self.probe.ask("tree")["tree"]
            self.assertEqual(self.probe.ask("menu")["menu"], render(tree), situation)
        # Logging off for the team: its three items lead; of the separators
        # that fall together, one each stays (4 before the reports, 14 before quit).
        menu = self.probe.ask("menu")["menu"]
        self.assertEqual([entry["id"] for entry in menu], [0, 1, 2, 4, 15, 10, 14, 45])
        self.assertEqual(menu[0]["text"], "Activity Logging: Off")
        self.assertFalse(menu[0]["enabled"])

    def test_a_focus_session_from_the_menu(self):
        self.probe.ask("action 23")
        started = [r for r in self.service.client.requests("/api/block_list") if ["focus", "true"] in r["fields"]]
        self.assertEqual(len(started), 1)
        fields = dict(started[0]["fields"])
        self.assertEqual(fields["duration"], "30")
        self.assertEqual(fields["account_key"], DEMO_KEY)
        self.assertEqual(started[0]["answered"], 200)

        self.probe.ask("pass")
        menu = self.probe.ask("menu")["menu"]
        self.assertEqual(shown_item(menu, 28)["text"], "Focused for 30 minutes")
        self.assertFalse(shown_item(menu, 45)["enabled"])
        self.assertIsNone(shown_item(menu, 21))
        state = self.probe.ask("state")
        self.assertTrue(state["blocking"])
        session_end = datetime.datetime.fromisoformat(state["blocking_until"])
        self.assertEqual(session_end - self.now(), datetime.timedelta(minutes=30, seconds=-0.5))

        self.probe.ask("end_focus")
        ended = [r for r in self.service.client.requests("/api/block_list") if ["end_focus", "true"] in r["fields"]]
        self.assertEqual(len(ended), 1)
        self.probe.ask("pass 2")
        state = self.probe.ask("state")
        self.assertFalse(state["blocking"])
        self.assertEqual(state["notifications"], ["Stillzone session ended."])
        self.assertTrue(shown_item(self.probe.ask("menu")["menu"], 45)["enabled"])

    def test_a_session_the_service_says_is_off_ends_here(self):
        self.probe.ask("action 23")
        self.probe.ask("advance 300")
        self.probe.ask("refresh")  # the service still has the session
        self.probe.ask("pass")
        self.assertTrue(self.probe.ask("state")["blocking"])
        self.assertFalse(shown_item(self.probe.ask("menu")["menu"], 45)["enabled"])

        # Ended at the service (its web page, say): the next answer says blocking is off.
        self.service.client.script("/api/block_list", {"json": {
            "c": [0, "OK"], "blocking_enabled": False, "block_list": ["news.example.org"],
            "extended_domain_list": []}}, 1)
        self.probe.ask("refresh")
        self.probe.ask("pass 2")
        state = self.probe.ask("state")
        self.assertFalse(state["blocking"])
        self.assertEqual(state["notifications"], ["Stillzone session ended."])
        menu = self.probe.ask("menu")["menu"]
        self.assertIsNone(shown_item(menu, 28))
        self.assertEqual(shown_item(menu, 21)["text"], "Start Stillzone")
        self.assertTrue(shown_item(menu, 45)["enabled"])

    def test_a_pause_is_saved_and_announced_once_at_each_end(self):
        asked_at = self.now()
        self.probe.ask("action 30")
        paused_until = datetime.datetime.strptime(self.saved_settings()["paused_until"], "%Y-%b-%d %H:%M:%S")
        self.assertEqual(paused_until - asked_at, datetime.timedelta(seconds=900))

        self.probe.ask("pass 10")
        state = self.probe.ask("state")
        self.assertTrue(state["paused"])
        self.assertEqual(state["notifications"], ["Kestrel will now pause for 15 minutes."])
        self.assertEqual(shown_item(self.probe.ask("menu")["menu"], 33)["text"], "Paused for 15 minutes")

        self.probe.ask("advance 900")
        self.probe.ask("pass 10")
        state = self.probe.ask("state")
        self.assertFalse(state["paused"])
        self.assertEqual(state["notifications"],
                         ["Kestrel will now pause for 15 minutes.", "Kestrel is now unpaused."])
        # The ended pause was moved a day into the past, and saved.
        moved = datetime.datetime.strptime(self.saved_settings()["paused_until"], "%Y-%b-%d %H:%M:%S")
        self.assertLessEqual(moved, self.now() - datetime.timedelta(hours=23, minutes=59))


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
