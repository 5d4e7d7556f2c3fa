"""What the Kestrel web service answers, endpoint by endpoint, for the stand-in.

The state is plain data guarded by one lock: demo accounts, what the service
has queued for the agent (messages, alerts, settings, block list), scripted
failures, the request log and the received files. `standin.py` puts it behind
an HTTPS server; tests reach it through `/_standin/...` or by importing it.
"""

import base64
import json
import os
import threading
import time

# Demo accounts. The keys are long and distinctive so that a test can grep the
# agent's debug log for them.
ACCOUNTS = [
    {
        "email": "demo@kestrel.test",
        "password": "demo-Password-4711",
        "account_key": "AK-demo-7f3c9e21b8d44a0f9c5e",
        "data_key": "DK-demo-51ab2c7d9e0f4b13a6c8",
        "two_factor_code": "",
    },
    {
        "email": "second@kestrel.test",
        "password": "second-Password-0815",
        "account_key": "AK-2fa-c04d7e19a2b54f86b3d1",
        "data_key": "DK-2fa-93e5a1f0c7b24d68e2a4",
        "two_factor_code": "731946",
    },
]
TEAM_KEYS = {"TEAM-demo-e8a2f4c61b9d": "AK-team-5d2e8b0c4a1f4e7d9b36"}

DEFAULT_FIELDS = ["account_key", "computer_name", "os_username", "client_version", "os_id", "data_version"]

OK = [0, "OK"]


def default_browser_support():
    return {
        "org.mozilla.firefox": {"process_name": "", "bundle_id": "org.mozilla.firefox",
                                "paths": [{"id": "websocket"}]},
        "com.google.Chrome": {"process_name": "google chrome", "bundle_id": "com.google.Chrome",
                              "paths": [{"id": "applescript_chromium", "app_name": "Google Chrome"}]},
    }


class Answer:
    """One answer: a status and a body, or a way of failing at the socket."""

    def __init__(self, status=200, body=b"", content_type="application/json", headers=None,
                 close=False, reset_mid_body=False, stall=0.0):
        self.status = status
        self.body = body if isinstance(body, bytes) else body.encode("utf-8")
        self.content_type = content_type
        self.headers = headers or []
        self.close = close
        self.reset_mid_body = reset_mid_body
        self.stall = stall

    @staticmethod
    def json(value, status=200):
        return Answer(status, json.dumps(value, ensure_ascii=False).encode("utf-8"))


def answer_from_script(action):
    """Turns a scripted action (a JSON object) into an Answer.

    Keys: "status" (with optional "body" text or "body_b64"), "json" (any JSON
    value as a 200 body), "raw" / "raw_b64" (bytes as a 200 body),
    "result_code" [code, text] with optional "message"/"error", "close",
    "reset_mid_body", "stall" (seconds before an answer that never comes);
    "headers" [[name, value], ...] adds answer headers. "delay" (seconds)
    holds any answer back that long; alone, it holds back the service's own.
    "after" N lets the first N requests of the path through unscripted.
    """
    answer = _answer_from_script(action)
    answer.headers = [tuple(pair) for pair in action.get("headers", [])]
    return answer


def _answer_from_script(action):
    status = int(action.get("status", 200))
    if action.get("close"):
        return Answer(close=True)
    if action.get("reset_mid_body"):
        return Answer(status, b'{"c": [0, "OK"], "padding": "' + b"x" * 4000 + b'"}', reset_mid_body=True)
    if "stall" in action:
        return Answer(stall=float(action["stall"]), close=True)
    if "json" in action:
        return Answer.json(action["json"], status)
    if "raw_b64" in action:
        return Answer(status, base64.b64decode(action["raw_b64"]))
    if "raw" in action:
        return Answer(status, action["raw"])
    if "result_code" in action:
        body = {"c": action["result_code"]}
        for key in ("message", "error"):
            if key in action:
                body[key] = action[key]
        return Answer.json(body, status)
    if "body_b64" in action:
        return Answer(status, base64.b64decode(action["body_b64"]))
    return Answer(status, action.get("body", ""))


class Service:
    def __init__(self, state_dir):
        self.state_dir = state_dir
        self.uploads_dir = os.path.join(state_dir, "uploads")
        self.log_path = os.path.join(state_dir, "requests.jsonl")
        os.makedirs(self.uploads_dir, exist_ok=True)
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.reset()

    # ---- control

    def reset(self):
        with self.lock:
            self.scripts = []  # [{"path": p, "action": {...}, "remaining": n or None}]
            self.requests = []
            self.upload_count = 0
            self.messages = []
            self.alerts = []
            self.still_zone_duration = None
            self.still_zone_until = None
            self.config = {"scan_interval": 1, "logging_enabled": True}
            self.block_list = ["news.example.org", "video.example.org"]
            self.extended_domain_list = ["example.org"]
            self.blocking_always = False
            self.focus_until = None  # the focus session the agent started, as time.time()
            self.client_version = {"major": 1, "minor": 2, "revision": 3, "build": 45}
            self.browser_support = default_browser_support()
            self.extra_account_keys = []
            open(self.log_path, "w").close()

    def set_state(self, changes):
        allowed = {"messages", "alerts", "still_zone_duration", "still_zone_until", "config",
                   "block_list", "extended_domain_list", "blocking_always", "client_version",
                   "browser_support", "extra_account_keys"}
        with self.lock:
            for key, value in changes.items():
                if key not in allowed:
                    raise ValueError("unknown state key " + key)
                setattr(self, key, value)

    def add_script(self, path, action, count=None):
        with self.lock:
            self.scripts.append({"path": path, "action": action, "remaining": count})

    def take_script(self, path):
        with self.lock:
            for script in self.scripts:
                if script["path"] in (path, "*"):
                    if script["action"].get("after", 0) > script.get("passed", 0):
                        script["passed"] = script.get("passed", 0) + 1
                        return None
                    if script["remaining"] is not None:
                        script["remaining"] -= 1
                        if script["remaining"] <= 0:
                            self.scripts.remove(script)
                    return script["action"]
        return None

    def record(self, entry):
        with self.lock:
            self.requests.append(entry)
            with open(self.log_path, "a", encoding="utf-8") as log:
                log.write(json.dumps(entry, ensure_ascii=False) + "\n")

    def logged_requests(self):
        with self.lock:
            return list(self.requests)

    def store_upload(self, file_name, content):
        with self.lock:
            self.upload_count += 1
            safe = os.path.basename(file_name or "unnamed") or "unnamed"
            path = os.path.join(self.uploads_dir, "%03d-%s" % (self.upload_count, safe))
        with open(path, "wb") as out:
            out.write(content)
        return path

    # ---- the service

    def known_account_keys(self):
        keys = {a["account_key"] for a in ACCOUNTS} | set(TEAM_KEYS.values())
        return keys | set(self.extra_account_keys)

    def answer(self, method, path, query, headers, fields, files, body):
        """The service's own answer to one request (no scripted failure)."""
        route = ROUTES.get((method, path))
        if route is None:
            return Answer.json({"error": "no such endpoint"}, 404)
        return route(self, query=query, headers=headers, fields=fields, files=files, body=body)

    def require_key(self, fields):
        key = fields.get("account_key", "")
        if key not in self.known_account_keys():
            return Answer.json({"c": [4, "INVALID_KEY"], "message": "This computer's account key is not valid."})
        return None

    def activate(self, fields, **_):
        team_key = fields.get("enterprise_team_key", "")
        if team_key:
            if team_key not in TEAM_KEYS:
                return Answer.json({"c": [1, "BAD_TEAM"], "error": "Unknown team key."})
            return Answer.json({"c": OK, "account_key": TEAM_KEYS[team_key]})
        email, password = fields.get("username", ""), fields.get("password", "")
        if not email and not password:
            key = fields.get("account_key", "")
            account = next((a for a in ACCOUNTS if a["account_key"] == key), None)
            if account is None and key not in self.known_account_keys():
                return Answer.json({"c": [4, "INVALID_KEY"], "message": "This computer's account key is not valid."})
            answer = {"c": OK, "account_key": key}
            if account:
                answer["data_key"] = account["data_key"]
            return Answer.json(answer)
        account = next((a for a in ACCOUNTS if a["email"] == email), None)
        if account is None or account["password"] != password:
            return Answer.json({"c": [1, "BAD_LOGIN"], "error": "Wrong e-mail address or password."})
        if account["two_factor_code"]:
            code = fields.get("two_factor_auth_code", "")
            if not code:
                return Answer.json({"c": [5, "2FA_REQUIRED"], "message": "Enter the code from your authenticator app."})
            if code != account["two_factor_code"]:
                return Answer.json({"c": [5, "2FA_WRONG"], "message": "That code was not right. Try again."})
        return Answer.json({"c": OK, "account_key": account["account_key"], "data_key": account["data_key"]})

    def client_version_answer(self, fields, **_):
        refused = self.require_key(fields)
        if refused:
            return refused
        if fields.get("environment") != "1":
            return Answer.json({"c": [2, "BAD_ENV"], "error": "Unknown environment."})
        return Answer.json({"c": OK, "current_client_version": self.client_version})

    def browser_support_answer(self, query, **_):
        if query.get("os_id") != ["2"]:
            return Answer.json({"error": "unknown os"}, 400)
        return Answer.json(self.browser_support)

    def messages_answer(self, fields, **_):
        return self.require_key(fields) or Answer.json({"c": OK, "messages": self.messages})

    def config_answer(self, fields, **_):
        return self.require_key(fields) or Answer.json({"c": OK, "config": self.config})

    def alerts_answer(self, fields, **_):
        refused = self.require_key(fields)
        if refused:
            return refused
        answer = {"c": OK, "alerts": self.alerts}
        if self.still_zone_duration is not None:
            answer["still_zone_duration"] = self.still_zone_duration
        if self.still_zone_until is not None:
            answer["still_zone_until"] = self.still_zone_until
        return Answer.json(answer)

    def events_answer(self, headers, body, **_):
        authorization = headers.get("authorization", "")
        data_keys = {"Bearer: " + a["data_key"] for a in ACCOUNTS}
        if authorization not in data_keys:
            return Answer.json({"error": "not authorised"}, 401)
        try:
            event = json.loads(body.decode("utf-8"))["user_client_event"]
            if event["event_description"] != "timezone_update" or "timezone" not in event["details"]:
                raise ValueError("not a time-zone event")
        except (ValueError, KeyError, TypeError, UnicodeDecodeError):
            return Answer.json({"error": "bad event"}, 422)
        return Answer.json({"id": len(self.requests)}, 201)

    def debug_log_answer(self, fields, **_):
        refused = self.require_key(fields)
        if refused:
            return refused
        self.store_upload("debug_log.txt", fields.get("debug_log", "").encode("utf-8"))
        return Answer.json({"c": OK})

    def block_list_answer(self, fields, **_):
        refused = self.require_key(fields)
        if refused:
            return refused
        starting = fields.get("focus") == "true"
        if starting and not fields.get("duration", "").isdigit():
            return Answer.json({"c": [2, "BAD_DURATION"], "error": "Duration missing."})
        # The service remembers a running focus session: a plain refresh during
        # it still answers with blocking on.
        if starting:
            self.focus_until = time.time() + 60 * int(fields["duration"])
        elif fields.get("end_focus") == "true":
            self.focus_until = None
        in_session = self.focus_until is not None and time.time() < self.focus_until
        enabled = self.blocking_always or starting or in_session
        return Answer.json({"c": OK, "blocking_enabled": enabled, "block_list": self.block_list,
                            "extended_domain_list": self.extended_domain_list})

    def collect_answer(self, fields, files, **_):
        refused = self.require_key(fields)
        if refused:
            return refused
        if "file" not in files or fields.get("gz") not in ("0", "1") or not fields.get("file_uuid"):
            return Answer.json({"c": [2, "BAD_UPLOAD"], "error": "Upload incomplete."})
        return Answer.json({"c": OK})


ROUTES = {
    ("POST", "/activate"): Service.activate,
    ("POST", "/client_version"): Service.client_version_answer,
    ("GET", "/api/client_browser_support"): Service.browser_support_answer,
    ("POST", "/messages"): Service.messages_answer,
    ("POST", "/config"): Service.config_answer,
    ("POST", "/api/alerts"): Service.alerts_answer,
    ("POST", "/api/resource/user_client_events"): Service.events_answer,
    ("POST", "/debug_log"): Service.debug_log_answer,
    ("POST", "/api/block_list"): Service.block_list_answer,
    ("POST", "/collect"): Service.collect_answer,
}


def wait_interruptibly(event, seconds):
    deadline = time.monotonic() + seconds
    while not event.is_set() and time.monotonic() < deadline:
        event.wait(min(0.2, max(0.0, deadline - time.monotonic())))
