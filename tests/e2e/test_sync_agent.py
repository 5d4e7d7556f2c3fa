"""The agent against the service stand-in: its pusher sends the upload files
the logger wrote to the service and to a mirror (python's gzip and csv read
what arrived), keeps a file whose upload failed for the next pass, backs sent
files up; its puller acts on the service's messages; and a restart in another
time zone sends one time-zone event.

The agent runs from its own copy of the bundle, whose certificate bundle holds
the stand-ins' certificates; every address is on 127.0.0.1.
"""

import csv
import gzip
import io
import json
import os
import subprocess
import time
import unittest

from agent_harness import Agent, PrivateHome, wait_until
from bundle_tree import bundle_program, trusting_bundle
from logger_probe import LoggerProbe
from service_rows import field
from standin_client import StandinProcess
from failure_report import ExplainingRunner, output_file

DEMO_KEY = "AK-demo-7f3c9e21b8d44a0f9c5e"
DEMO_DATA_KEY = "DK-demo-51ab2c7d9e0f4b13a6c8"
MIRROR_KEY = "AK-mirror-e2e-71c0a9d4f25b"
TITLES = ["Quarterly report - editor", "Inbox (3) - mail"]


def read_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


class CopiedAgent(Agent):
    """The agent started from a bundle copy instead of the build's."""

    def __init__(self, home, program, env):
        self.home = home
        with output_file(home.root, program) as output:
            self.process = subprocess.Popen([program], env=env, stdout=output, stderr=output)


class SyncAgent(unittest.TestCase):
    def setUp(self):
        self.home = PrivateHome()
        self.agent = None
        self.service = StandinProcess(os.path.join(self.home.root, "standin"))
        self.mirror = StandinProcess(os.path.join(self.home.root, "mirror"))
        self.mirror.client.set_state(extra_account_keys=[MIRROR_KEY])
        self.service.client.set_state(config={"pull_interval": 1})
        # The agent's own bundle, trusting the two stand-ins.
        self.bundle = trusting_bundle(self.home.root, self.service.ca_cert, self.mirror.ca_cert)
        self.home.write_settings({
            "url": self.service.host, "api_url": self.service.host,
            "account_key": DEMO_KEY, "data_key": DEMO_DATA_KEY, "backup_log": True,
            "mirrored_accounts": [{"url": self.mirror.host, "account_key": MIRROR_KEY}],
            "push_initial_interval": 1, "push_interval": 1, "pull_initial_interval": 1, "pull_interval": 1,
            "debug_log_level": 0xFFFF, "first_time_running": False,
        })

    def tearDown(self):
        if self.agent:
            self.agent.kill()
        self.service.stop()
        self.mirror.stop()
        self.home.cleanup()

    def start_agent(self, zone):
        env = self.home.env(TZ=zone, KES_REACHABILITY_PROBE_URL="http://127.0.0.1:%d/" % self.service.probe_port)
        self.agent = CopiedAgent(self.home, bundle_program(self.bundle), env)
        return self.agent

    def write_upload_files(self):
        probe = LoggerProbe(self.home.root)
        try:
            for n, title in enumerate(TITLES):
                record = {"application_name": "app%d" % n, "process_name": "app%d" % n, "window_title": title,
                          "computer_name": "workstation", "os_username": "alice",
                          "started": "2024-05-01 09:00:%02d" % (10 * n), "completed": "2024-05-01 09:00:%02d" % (10 * n + 5)}
                probe.ask("record " + json.dumps(record))
                self.assertEqual(probe.ask("flush"), "written")
            activities, backups, _ = probe.folders()
        finally:
            probe.close()
        return activities, backups

    def test_uploads_messages_and_time_zone(self):
        activities, backups = self.write_upload_files()
        names = sorted(os.listdir(activities))
        self.assertEqual(len(names), 2)
        self.service.client.script("/collect", {"status": 500}, 1)

        started = time.time()
        self.start_agent("Europe/Berlin")
        wait_until(lambda: sorted(os.listdir(backups)) == names if os.path.isdir(backups) else False,
                   what="both files in the backup folder")
        self.assertEqual(os.listdir(activities), [])

        # One failed upload, sent again on a later pass; each file accepted once.
        collects = self.service.client.requests("/collect")
        answers = {}
        for request in collects:
            self.assertEqual(field(request, "account_key"), DEMO_KEY)
            answers.setdefault(field(request, "file_uuid") + ".kesg", []).append(request["answered"])
        self.assertEqual(sorted(answers), names)
        self.assertEqual(sorted(answers.values()), [[200], [500, 200]])
        mirrored = wait_until(lambda: len(self.mirror.client.requests("/collect")) == 2
                              and self.mirror.client.requests("/collect"), what="the mirror's uploads")
        self.assertEqual({field(r, "account_key") for r in mirrored}, {MIRROR_KEY})
        self.assertEqual({r["answered"] for r in mirrored}, {200})

        # What arrived, read by python: gzip, CSV rows of twelve columns.
        titles = []  # each title arrives once at the service and once at the mirror
        for request in [r for r in collects if r["answered"] == 200] + mirrored:
            with gzip.open(request["files"][0]["stored"], "rt", encoding="utf-8", newline="") as f:
                rows = list(csv.reader(io.StringIO(f.read())))
            self.assertEqual(len(rows), 1)
            self.assertEqual(len(rows[0]), 12)
            titles += [cell for cell in rows[0] if cell in TITLES]
        self.assertEqual(sorted(titles), sorted(TITLES * 2))
        for name in names:
            with gzip.open(os.path.join(backups, name), "rt", encoding="utf-8") as f:
                kept = f.read()
            self.assertTrue(any(t in kept for t in TITLES), kept)
        self.assertNotIn(MIRROR_KEY, read_text(self.home.log_path()))

        # Messages 2, 1, 5: a settings pull, an alerts pull, a block-list pull.
        def requests_since(moment):
            return [r for r in self.service.client.requests() if r.get("time", 0) >= moment and not r.get("probe")]

        moment = time.time()
        self.service.client.set_state(messages=[2, 1, 5], config={"pull_interval": 2},
                                      alerts=["Stretch your legs"])
        paths = wait_until(lambda: (lambda p: p if "/api/block_list" in p else None)(
            [r["path"] for r in requests_since(moment)]), what="a block-list pull")
        self.service.client.set_state(messages=[])
        # A pull of the last second may have found no messages yet: the
        # messages' own pull is the one just before the settings pull.
        pulls = [p for p in paths if p in ("/messages", "/config", "/api/alerts", "/api/block_list")]
        first = pulls.index("/config") - 1
        self.assertEqual(pulls[first:first + 4], ["/messages", "/config", "/api/alerts", "/api/block_list"], pulls)
        settings_file = os.path.join(self.home.data_dir, "kestreld.json")
        wait_until(lambda: json.loads(read_text(settings_file)).get("pull_interval") == 2,
                   what="pull_interval 2 in kestreld.json")

        # Message 6 only logs its line.
        survey = "[daemon:continuous_pulling] kes::message::survey_available called and not handled"
        moment = time.time()
        self.service.client.set_state(messages=[6])
        self.assertTrue(self.agent.wait_for_message(survey, timeout=20))
        self.service.client.set_state(messages=[])
        time.sleep(0.5)
        pulled = {r["path"] for r in requests_since(moment)}
        self.assertFalse(pulled & {"/config", "/api/alerts", "/api/block_list", "/client_version"}, pulled)

        # Time zone: one event for this run's zone; a restart in another zone sends one more.
        events = [r for r in self.service.client.requests("/api/resource/user_client_events")]
        self.assertEqual(len(events), 1)
        self.assertEqual(json.loads(events[0]["body"])["user_client_event"]["details"]["timezone"], "Europe/Berlin")
        code, _ = self.agent.terminate()
        self.assertEqual(code, 0)
        restarted = time.time()
        self.start_agent("Asia/Tokyo")
        wait_until(lambda: len(self.service.client.requests("/api/resource/user_client_events")) == 2,
                   what="the second time-zone event")
        pushes = len([m for m in self.home.messages() if m == "[pusher]shove"])
        wait_until(lambda: len([m for m in self.home.messages() if m == "[pusher]shove"]) >= pushes + 2,
                   what="two more pusher passes")
        events = self.service.client.requests("/api/resource/user_client_events")
        self.assertEqual(len(events), 2)
        event = events[1]
        self.assertEqual(event["answered"], 201)
        self.assertIn(["Authorization", "Bearer: " + DEMO_DATA_KEY], event["headers"])
        body = json.loads(event["body"])
        start_time = body["user_client_event"].pop("start_time")
        self.assertEqual(body, {"user_client_event": {"details": {"timezone": "Asia/Tokyo"},
                                                      "event_description": "timezone_update"}})
        self.assertTrue(restarted - 1 <= start_time <= time.time(), (restarted, start_time))
        self.assertLess(started, restarted)


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
