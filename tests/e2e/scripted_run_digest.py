#!/usr/bin/python3
"""A scripted run of the real agent whose outputs can be compared across builds.

    /usr/bin/python3 tests/e2e/scripted_run_digest.py BUILD_DIR OUT_DIR

then `diff -r OUT_DIR_A OUT_DIR_B` between two builds (or two runs of one).

The agent, from a copy of BUILD_DIR/Kestrel.app that trusts the service
stand-in (every address on 127.0.0.1), runs under Xvfb with openbox and trayer,
signed in, debug log mask 0xFFFF. A first run records a fixed script: three
windows with set titles, classes and programs, one of them a browser window,
switched at set moments; a title change in place; an idle stretch; SIGTERM
writes the records into an upload file. A second run (the settings file now
asking for an early push) sends that file to the stand-in and ends on SIGTERM.

OUT_DIR receives, normalised (times, dates, uuids, pids, thread ids, ports,
idle seconds, the private home's and other temporary paths replaced by <PLACEHOLDERS>):
  uploads/NN.csv        each file the stand-in received, gunzipped, one CSV row a line
  left/NN.csv           upload files still in the data folder after the second run
  kestreld-run1.json    the settings file after the recording run (keys sorted)
  kestreld-final.json   the same after the pushing run
  requests.txt          what the agent asked the stand-in: method, path, field names
  debug_log.txt         the debug log, "level:message", per start and per thread
                        (see "the debug log, thread by thread" below for what is
                        sorted or folded and why)
and beside it OUT_DIR-raw-debug_log.txt, the log as written (not for diffing).

Run one digest at a time: the browser bridge listens on a fixed loopback port;
the script waits (up to 2 minutes) for it to be free before each start and
warns when it is not, since the log then says the bridge moved on.

It is a comparison tool, not a test: it is not registered with CTest.
"""

import csv
import gzip
import io
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time

if len(sys.argv) != 3:
    sys.exit(__doc__)
BUILD = os.path.abspath(sys.argv[1])
OUT = os.path.abspath(sys.argv[2])
# The helpers read the build directory when they are imported.
os.environ["KES_BUILD_DIR"] = BUILD

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "standin"))
from bundle_tree import bundle_program, trusting_bundle  # noqa: E402
from client import StandinProcess  # noqa: E402
from scanner_x11 import Desktop  # noqa: E402
from test_desktop_agent import DEMO_KEY  # noqa: E402

# Every moment of input is followed by less than IDLE_AFTER seconds without
# input, with a margin of scans, except the idle stretch, which lasts that
# long plus a margin: whether the user counts as idle is never a close call.
HOLD = 2.0          # seconds each scripted window keeps the focus: two scans or more
IDLE_AFTER = 6      # idle_time_start of the run, in seconds
WINDOWS = [         # title, class (the class half of WM_CLASS)
    ("Quarterly report - editor", "Editor"),
    ("Inbox, 3 unread - mail", "Mail"),
    ("News - Mozilla Firefox", "firefox"),
]


# ---- the run

BRIDGE_PORT = 16587  # the browser bridge's first choice on loopback


def bridge_port_free():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            probe.bind(("127.0.0.1", BRIDGE_PORT))
            return True
        except OSError:
            return False


def start_agent(desktop, program, service):
    # Another agent or test on this machine may hold the bridge's first port
    # for a while; the agent would take the next one and say so in its log.
    deadline = time.monotonic() + 120
    while not bridge_port_free() and time.monotonic() < deadline:
        time.sleep(0.5)
    if not bridge_port_free():
        print("warning: port %d is taken: the log will say the bridge moved on" % BRIDGE_PORT, file=sys.stderr)
    env = desktop.env(KES_REACHABILITY_PROBE_URL="http://127.0.0.1:%d/" % service.probe_port)
    process = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    desktop.processes.append(process)
    return process


def end_agent(process):
    process.send_signal(signal.SIGTERM)
    code = process.wait(timeout=30)
    if code != 0:
        raise RuntimeError("the agent ended with exit code %d" % code)


def process_name(window, windows):
    """The agent names a window's program after its class."""
    return WINDOWS[windows.index(window)][1]


def record_script(desktop, windows):
    """The recording run's moments: each window in turn and back to the first,
    its title changed in place, an idle stretch, then the second window."""
    for window in windows[1:] + windows[:1]:
        desktop.bring_forward(window, process_name(window, windows))
        time.sleep(HOLD)
    desktop.run(["xdotool", "set_window", "--name", "Quarterly report (edited) - editor", windows[0]])
    desktop.touch()  # the user edits it
    time.sleep(HOLD)
    time.sleep(IDLE_AFTER + 3)  # no input: the server's idle time passes idle_time_start
    desktop.touch()
    desktop.bring_forward(windows[1], WINDOWS[1][1])
    time.sleep(HOLD)


def run(desktop, service):
    program = bundle_program(trusting_bundle(desktop.home, service.ca_cert))
    windows = [desktop.xterm(title, window_class=cls) for title, cls in WINDOWS]
    desktop.focus(windows[0], True)
    settings_path = os.path.join(desktop.data_dir(), "kestreld.json")
    desktop.write_settings({
        "url": service.host, "api_url": service.host, "account_key": DEMO_KEY, "first_time_running": False,
        "scan_interval": 1, "push_initial_interval": 3600, "pull_initial_interval": 3600,
        "idle_time_start": IDLE_AFTER, "debug_log_level": 0xFFFF,
    })
    desktop.mark_automation_explained()

    agent = start_agent(desktop, program, service)
    desktop.wait_until(lambda: "[scanner]Process name = Editor" in desktop.debug_log(), timeout=30)
    record_script(desktop, windows)
    end_agent(agent)
    with open(settings_path, encoding="utf-8") as f:
        run1_settings = json.load(f)
    written = upload_files(desktop.activities_dir())
    if not written:
        raise RuntimeError("the recording run wrote no upload file")

    # The pushing run: the pusher's first pass comes a second after the start.
    settings = dict(run1_settings, push_initial_interval=1)
    with open(settings_path, "w", encoding="utf-8") as out:
        json.dump(settings, out)
    desktop.focus(windows[0], True)
    agent = start_agent(desktop, program, service)
    desktop.wait_until(lambda: len(service.client.requests("/collect")) >= len(written)
                       and not set(written) & set(upload_files(desktop.activities_dir())), timeout=60)
    desktop.touch()
    time.sleep(HOLD)
    end_agent(agent)
    with open(settings_path, encoding="utf-8") as f:
        final_settings = json.load(f)
    return run1_settings, final_settings


def upload_files(folder):
    try:
        return sorted(n for n in os.listdir(folder) if n.endswith((".kesg", ".kesc")))
    except FileNotFoundError:
        return []


# ---- normalising

UUID = r"[0-9a-fA-F]{8}-?[0-9a-fA-F]{4}-?[0-9a-fA-F]{4}-?[0-9a-fA-F]{4}-?[0-9a-fA-F]{12}"
MONTHS = "(?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)"
PATTERNS = [
    (re.compile(UUID), "<UUID>"),
    (re.compile(r"(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d{2} %s \d{4} \d{2}:\d{2}:\d{2} GMT" % MONTHS), "<HTTP-DATE>"),
    (re.compile(r"%s +\d{1,2} \d{2}:\d{2}:\d{2} \d{4} GMT" % MONTHS), "<CERT-DATE>"),
    (re.compile(r"\d{4}-(?:\d{2}|%s)-\d{2}[ T]\d{2}:\d{2}:\d{2}(?:[.,]\d+)?(?:Z|[+-]\d{2}:?\d{2})?" % MONTHS),
     "<TIME>"),
    (re.compile(r"\b\d{8}T\d{6}\b"), "<TIME>"),
    (re.compile(r"\d{4}-(?:\d{2}|%s)-\d{2}" % MONTHS), "<DATE>"),
    (re.compile(r"\b\d{2}:\d{2}:\d{2}\b"), "<CLOCK>"),
    (re.compile(r"\b1[6-9]\d{8}(?:\.\d+)?\b"), "<EPOCH>"),
    (re.compile(r"\b(127\.0\.0\.1|localhost):\d{1,5}\b"), r"\1:<PORT>"),
    (re.compile(r"\b(port:? )\d{1,5}\b"), r"\1<PORT>"),
    (re.compile(r"(thread id is:? *)(?:0x[0-9a-fA-F]+|\d+)", re.IGNORECASE), r"\1<THREAD>"),
    (re.compile(r"(Process id = |get_active_process_id - |fetch = )\d+"), r"\1<PID>"),
    (re.compile(r"(get_idle_time - )[\d.]+"), r"\1<SECONDS>"),
]


class Normaliser:
    """Replaces what differs between two runs of one build by placeholders."""

    def __init__(self, home):
        self.home = home

    def __call__(self, text):
        text = text.replace(self.home, "<HOME>")
        text = re.sub(r"/tmp/[\w.-]+", "<TMP>", text)
        for pattern, replacement in PATTERNS:
            text = pattern.sub(replacement, text)
        return text


# ---- the debug log, thread by thread
#
# The agent's threads write one log; how their lines interleave is up to the
# scheduler. Each start of the agent is split into streams, one per thread
# (told by the tag a line begins with); a stream keeps its own order, except:
# - "threads": the lines each thread writes as it starts and stops, sorted
#   (which thread gets there first is the scheduler's choice);
# - libcurl's own lines between two of ours are sorted: whether the upload is
#   seen complete before or after the server's session tickets arrive is a
#   matter of network timing.
# A line without a tag after a "(next line)" line continues it; other lines
# without a tag are the main thread's, or at the network level libcurl's.
# The UI loop and the scanner write the same lines once a second, as often as
# the scripted moments last on this machine: a block repeated back to back is
# kept once (so the log says what happened, not how often a loop noticed it).

STREAMS = [
    ("threads", re.compile(r"^  \w+ (Started|Stopped)|^  Gui Running|Thread (starting|stopping)|thread id is",
                           re.IGNORECASE)),
    ("ui-loop", re.compile(r"^\[ui[:\]]")),
    ("gui", re.compile(r"^\[(osx_ui|common_ui|KestrelController|system_tray_menu_interface)")),
    ("scanner", re.compile(r"^(\[(scanner|osx_grabber|osx_system|grabber|osx_extended_info_grabber_factory|"
                           r"extended_info_grabber_factory|log_entry|logger:log\])|extended_info_grabber_factory::|"
                           r"Failed to get url using|No further grabbers)")),
    ("service", re.compile(r"^\[(network|API|request|pusher|puller|config::is_authenticated)")),
    ("websocket", re.compile(r"^\[(websocketpp|websocket_server)")),
]
CONTINUED = re.compile(r"\((next ?line)\)\s*$")
START = "***** Attempting to start Kestrel *****"
MAX_BLOCK = 80


def stream_of(message, level, previous):
    for name, pattern in STREAMS:
        if pattern.search(message):
            return name
    if not message.startswith("[") and previous and CONTINUED.search(previous[1]):
        return previous[0]
    if level == 64 and not message.startswith("["):
        return "curl"
    return "main"


def fold_blocks(lines):
    """Any block repeated back to back kept once, the shortest blocks folded
    first and again until nothing changes, so that one pass more or less of a
    loop leaves the same lines."""
    changed = True
    while changed:
        changed = False
        for k in range(1, MAX_BLOCK + 1):
            folded, i = [], 0
            while i < len(lines):
                block = lines[i:i + k]
                if i + 2 * k <= len(lines) and lines[i + k:i + 2 * k] == block:
                    folded.extend(block)
                    i += k
                    while lines[i:i + k] == block:
                        i += k
                    changed = True
                else:
                    folded.append(lines[i])
                    i += 1
            lines = folded
    return lines


def debug_log_digest(raw, normalise):
    runs = []  # per start of the agent: {stream: [lines]}
    previous = None  # (stream, message) of the last line
    curl_lines = []  # libcurl's lines since our last one, sorted into the service stream

    def settle_curl():
        if curl_lines:
            runs[-1].setdefault("service", []).extend(sorted(curl_lines))
            curl_lines.clear()

    for line in raw.split("\n"):
        match = re.match(r"^\d{8}T\d{6}:(\d+):(.*)$", line)
        if not match:
            if line and runs and previous:
                target = curl_lines if previous[0] == "curl" else runs[-1][previous[0]]
                target.append("+" + normalise(line))  # a message's own line feed
            continue
        level, message = int(match.group(1)), match.group(2)
        if message == START or not runs:
            if runs:
                settle_curl()
            runs.append({})
            previous = None
        stream = stream_of(message, level, previous)
        entry = "%d:%s" % (level, normalise(message))
        if stream == "curl":
            curl_lines.append(entry)
        else:
            if stream == "service":
                settle_curl()
            runs[-1].setdefault(stream, []).append(entry)
        previous = (stream, message)
    if runs:
        settle_curl()
    out = []
    first = 1 if raw.startswith(START, raw.find(":", raw.find(":") + 1) + 1) else 0
    for n, streams in enumerate(runs, first):
        for name in sorted(streams):
            out.append("===== %s, %s =====" % ("start %d" % n if n else "before the first start", name))
            lines = streams[name]
            out.extend(sorted(lines) if name == "threads" else fold_blocks(lines))
    return "\n".join(out) + "\n"


def csv_lines(data, normalise):
    rows = csv.reader(io.StringIO(data.decode("utf-8"), newline=""))
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    for row in rows:
        writer.writerow([normalise(cell) for cell in row])
    return out.getvalue()


def read_upload(path):
    with open(path, "rb") as f:
        data = f.read()
    return gzip.decompress(data) if data[:2] == b"\x1f\x8b" else data


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)


def digest(desktop, service, run1_settings, final_settings):
    normalise = Normaliser(desktop.home)
    if os.path.exists(OUT):
        shutil.rmtree(OUT)
    requests = service.client.requests()
    lines = []
    for request in requests:
        fields = ",".join(name for name, _ in request.get("fields", []))
        lines.append("%s %s %s" % (request["method"], request["path"], fields))
    write(os.path.join(OUT, "requests.txt"), "\n".join(lines) + "\n")
    collected = [r for r in requests if r["path"] == "/collect"]
    for n, request in enumerate(collected):
        for part in request["files"]:
            write(os.path.join(OUT, "uploads", "%02d.csv" % n), csv_lines(read_upload(part["stored"]), normalise))
    for n, name in enumerate(upload_files(desktop.activities_dir())):
        write(os.path.join(OUT, "left", "%02d.csv" % n),
              csv_lines(read_upload(os.path.join(desktop.activities_dir(), name)), normalise))
    for name, settings in (("kestreld-run1.json", run1_settings), ("kestreld-final.json", final_settings)):
        text = json.dumps(settings, indent=1, sort_keys=True, ensure_ascii=False)
        write(os.path.join(OUT, name), normalise(text) + "\n")
    with open(os.path.join(desktop.data_dir(), "log", "debug_log.txt"), encoding="utf-8", errors="replace") as f:
        raw = f.read()
    shutil.copy(os.path.join(desktop.data_dir(), "log", "debug_log.txt"), OUT + "-raw-debug_log.txt")
    write(os.path.join(OUT, "debug_log.txt"), debug_log_digest(raw, normalise))


def main():
    desktop = Desktop(window_manager=True)
    service = None
    try:
        desktop.start_tray_host()
        service = StandinProcess(os.path.join(desktop.home, "standin"))
        run1_settings, final_settings = run(desktop, service)
        digest(desktop, service, run1_settings, final_settings)
    except Exception:
        kept = OUT + "-failed-debug_log.txt"
        with open(kept, "w", encoding="utf-8") as out:
            out.write("\n".join(desktop.debug_log()) + "\n")
        print("the run failed; its debug log is kept in", kept, file=sys.stderr)
        raise
    finally:
        if service:
            service.stop()
        desktop.close()
    print("digest written to", OUT)


if __name__ == "__main__":
    main()
