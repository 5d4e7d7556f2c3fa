"""What tracking costs, side by side with a small python-xlib watcher
(tests/bench/xlib_watcher.py), under Xvfb with openbox and two xterms, for
the agent as it runs: its toolkit on the display, its four threads, the
service on loopback (unreachable, as on a laptop off the network).

Scenarios, each a desktop of its own with the watcher running beside the
agent for the same seconds:
- no tray host, an account key set (the headless case: no status item);
- trayer as tray host, an account key set (the status item shown);
- no tray host and no account (the setup popover stays open).

Figures:
- CPU per second of tracking at scan_interval 1, agent and watcher, and their
  ratio (per-thread run time from /proc/PID/task/*/schedstat);
- wake-ups per second, whole process and per thread by name (context
  switches from /proc/PID/task/*/status);
- beside them, a program that wakes as the agent's two loops do (once and
  twice a second) and does nothing: what those wake-ups alone cost here;
- resident memory (VmRSS);
- X round trips per scanner pass, counted by the agent's own X layer in the
  scanner probe, while focus and title stay and while they change, and the
  thread CPU time of a quiet pass (without its wake-up);
- waits for X replies per second of both programs, from an xtrace of their
  traffic (a run of replies without a request between them is one wait);
- the flush of 10,000 records against zlib level 9 on the same CSV text
  (CPU time, from the flush benchmark);
- the issue's targets, met or not.

Not a test: it prints figures. Run through scripts/bench:
    scripts/bench [--seconds N] [--build-dir DIR]
"""

import argparse
import json
import os
import re
import signal
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import scanner_x11  # noqa: E402
from scanner_x11 import Desktop  # noqa: E402

WATCHER = os.path.join(HERE, "xlib_watcher.py")
PYTHON = "/usr/bin/python3"
# Wakes like the agent's two loops and does nothing (tests/bench/wake_floor).
WAKE_FLOOR = None
ACCOUNT_KEY = "AK-bench-0123456789abcdef"

SCENARIOS = [
    ("no tray, signed in", {"tray": False, "signed_in": True}),
    ("tray, signed in", {"tray": True, "signed_in": True}),
    ("no tray, not signed in", {"tray": False, "signed_in": False}),
]


def settings(signed_in):
    values = {"scan_interval": 1, "url": "127.0.0.1:9", "api_url": "127.0.0.1:9",
              "push_initial_interval": 3600, "pull_initial_interval": 3600}
    if signed_in:
        values["account_key"] = ACCOUNT_KEY
    return values


def thread_stats(pid):
    stats = {}
    for tid in sorted(os.listdir(f"/proc/{pid}/task"), key=int):
        base = f"/proc/{pid}/task/{tid}"
        try:
            with open(f"{base}/schedstat") as f:
                cpu_ns = int(f.read().split()[0])
            switches = 0
            with open(f"{base}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
            with open(f"{base}/comm") as f:
                name = f.read().strip()
        except OSError:
            continue  # ended meanwhile
        stats[int(tid)] = (cpu_ns, switches, name)
    return stats


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def start_tray(desktop):
    desktop.start(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                   "--height", "32", "--transparent", "false", "--SetDockType", "true"])
    desktop.wait_until(lambda: desktop.run(
        ["xdotool", "search", "--onlyvisible", "--class", "trayer"]).returncode == 0)


def usage(before, after, pid, elapsed):
    """Per thread: (label, CPU ms per second, wake-ups per second)."""
    threads = []
    for tid in sorted(t for t in after if t in before):
        name = "main" if tid == pid else after[tid][2]
        threads.append((name, (after[tid][0] - before[tid][0]) / 1e6 / elapsed,
                        (after[tid][1] - before[tid][1]) / elapsed))
    return threads


def measure_scenario(options, seconds):
    desktop = Desktop(window_manager=True)
    try:
        alpha = desktop.xterm("alpha window")
        desktop.xterm("beta window")
        desktop.focus(alpha, True)
        if options["tray"]:
            start_tray(desktop)
        desktop.write_settings(settings(options["signed_in"]))
        desktop.mark_automation_explained()  # no explanation window takes the focus
        agent = desktop.start([scanner_x11.AGENT])
        watcher = desktop.start([PYTHON, WATCHER])
        measured = [("agent", agent), ("watcher", watcher)]
        if WAKE_FLOOR:
            measured.append(("floor", desktop.start([WAKE_FLOOR])))
        try:
            time.sleep(4)  # start-up is not tracking
            before = {p.pid: thread_stats(p.pid) for _, p in measured}
            started = time.monotonic()
            time.sleep(seconds)
            after = {p.pid: thread_stats(p.pid) for _, p in measured}
            elapsed = time.monotonic() - started
            rss = {p.pid: rss_kib(p.pid) for _, p in measured}
        finally:
            for _, process in measured:
                stop(process)
        results = {}
        for name, process in measured:
            threads = usage(before[process.pid], after[process.pid], process.pid, elapsed)
            results[name] = {"cpu_ms_per_s": sum(t[1] for t in threads),
                             "wakeups_per_s": sum(t[2] for t in threads),
                             "threads": threads, "rss_kib": rss[process.pid]}
        return results
    finally:
        desktop.close()


def probe_passes(desktop, windows, quiet_seconds, changing_seconds):
    """The scanner probe's passes while nothing changes, then while focus and
    title change: (quiet passes, changing passes), each a list of dicts."""
    report = os.path.join(desktop.home, "probe-report.json")
    origin = time.monotonic()
    probe = desktop.start([scanner_x11.PROBE, "--scan-interval", "1", "--idle-time-start", "300",
                           "--report", report])
    warm_up = 2.5
    time.sleep(warm_up + quiet_seconds)
    changes_from = time.monotonic() - origin
    step = 0
    while time.monotonic() - origin < changes_from + changing_seconds:
        if step % 2 == 0:
            desktop.focus(windows[(step // 2 + 1) % 2], True)
        else:
            desktop.run(["xdotool", "getactivewindow", "set_window", "--name", f"renamed {step}"])
        step += 1
        time.sleep(1.3)
    stop(probe)
    with open(report) as f:
        passes = json.load(f)["passes"]
    quiet = [p for p in passes if warm_up * 1000 <= p["begin_ms"] < (warm_up + quiet_seconds) * 1000]
    changing = [p for p in passes if p["begin_ms"] >= changes_from * 1000]
    return quiet, changing


def xtrace_waits(desktop, command, seconds, extra_env=None):
    """Waits for replies per second of a program's X traffic, from xtrace."""
    fake = f":{scanner_x11.free_display_number()}"
    trace = os.path.join(desktop.home, f"xtrace-{fake[1:]}.txt")
    tracer = desktop.start(["xtrace", "-n", "-k", "-D", fake, "-d", desktop.display, "-o", trace])
    time.sleep(0.5)
    env = desktop.env(DISPLAY=fake, **(extra_env or {}))
    program = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(4)
    mark = os.path.getsize(trace) if os.path.exists(trace) else 0
    time.sleep(seconds)
    end = os.path.getsize(trace)
    stop(program)
    stop(tracer)
    with open(trace, "rb") as f:
        f.seek(mark)
        text = f.read(end - mark).decode("utf-8", "replace")
    waits = 0
    last = {}
    line_form = re.compile(r"^(\d+):([<>]):")
    for line in text.splitlines():
        match = line_form.match(line)
        if not match:
            continue
        connection, direction = match.groups()
        if direction == "<":
            last[connection] = "request"
        elif "Reply to" in line:
            if last.get(connection) != "reply":
                waits += 1
            last[connection] = "reply"
    return waits / seconds


def flush_figures(build_dir):
    benchmarks = os.path.join(build_dir, "tests", "kes_benchmarks")
    if not os.path.exists(benchmarks):
        return None
    output = subprocess.run([benchmarks, "--benchmark_filter=BM_LoggerFlush10000Records|BM_GzipLevel9SameCsvBytes",
                             "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true",
                             "--benchmark_format=json"], capture_output=True, text=True, check=True).stdout
    medians = {}
    for entry in json.loads(output)["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            medians[entry["run_name"]] = entry["cpu_time"]
    return medians.get("BM_LoggerFlush10000Records"), medians.get("BM_GzipLevel9SameCsvBytes")


def print_threads(name, result):
    idle = [t for t in result["threads"] if t[1] < 0.0005 and t[2] < 0.005]
    for label, cpu, wakeups in result["threads"]:
        if (label, cpu, wakeups) not in idle:
            print(f"      {name:8s} {label:16s} {wakeups:6.2f} wake-ups/s  {cpu:.3f} ms CPU/s")
    if idle:
        print(f"      {name:8s} {len(idle)} more thread(s) without a wake-up or CPU time")


def verdict(met):
    return "met" if met else "NOT met"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=30.0, help="length of each side-by-side run")
    parser.add_argument("--build-dir", default=scanner_x11.BUILD_DIR)
    args = parser.parse_args()
    scanner_x11.AGENT = os.path.join(args.build_dir, "Kestrel.app", "Contents", "MacOS", "Kestrel")
    scanner_x11.PROBE = os.path.join(args.build_dir, "tests", "kes_scanner_probe")
    global WAKE_FLOOR
    for folder in (args.build_dir, scanner_x11.BUILD_DIR):
        candidate = os.path.join(folder, "tests", "kes_wake_floor")
        if os.path.exists(candidate):
            WAKE_FLOOR = candidate
            break

    print(f"Tracking under Xvfb with openbox and two xterms, {args.seconds:.0f} s per scenario, scan_interval 1")
    headless = None
    for title, options in SCENARIOS:
        side = measure_scenario(options, args.seconds)
        agent, watcher = side["agent"], side["watcher"]
        ratio = agent["cpu_ms_per_s"] / watcher["cpu_ms_per_s"]
        print(f"  {title}:")
        print(f"    CPU per second of tracking: agent {agent['cpu_ms_per_s']:.3f} ms, "
              f"python-xlib watcher {watcher['cpu_ms_per_s']:.3f} ms, ratio agent/watcher {ratio:.2f}")
        print(f"    wake-ups per second: agent {agent['wakeups_per_s']:.2f}, watcher {watcher['wakeups_per_s']:.2f}")
        if "floor" in side:
            floor = side["floor"]
            print(f"    the loops' wake-ups alone ({floor['wakeups_per_s']:.2f}/s, doing nothing): "
                  f"{floor['cpu_ms_per_s']:.3f} ms CPU/s, {floor['cpu_ms_per_s'] / watcher['cpu_ms_per_s']:.2f} "
                  f"of the watcher; the agent above them: {agent['cpu_ms_per_s'] - floor['cpu_ms_per_s']:.3f} ms/s")
        print_threads("agent", agent)
        print_threads("watcher", watcher)
        print(f"    resident memory: agent {agent['rss_kib'] / 1024:.1f} MiB, "
              f"watcher {watcher['rss_kib'] / 1024:.1f} MiB")
        if headless is None:
            headless = (ratio, agent["wakeups_per_s"])

    desktop = Desktop(window_manager=True)
    try:
        alpha = desktop.xterm("alpha window")
        beta = desktop.xterm("beta window")
        desktop.focus(alpha, True)
        round_trips = None
        if os.path.exists(scanner_x11.PROBE):
            quiet, changing = probe_passes(desktop, [alpha, beta], 6, 8)
            if quiet and changing and "round_trips" in quiet[0]:
                round_trips = (max(p["round_trips"] for p in quiet), max(p["round_trips"] for p in changing))
                print(f"  X round trips per scanner pass (agent's own count, scanner probe): "
                      f"focus and title unchanged: max {round_trips[0]} over {len(quiet)} passes; "
                      f"while they change: max {round_trips[1]}, passes {[p['round_trips'] for p in changing]}")
            if quiet and "cpu_us" in quiet[0]:
                print(f"  CPU of a quiet scanner pass, without its wake-up (probe's thread clock): median "
                      f"{statistics.median(p['cpu_us'] for p in quiet):.0f} us")
        desktop.focus(alpha, True)
        desktop.write_settings(settings(True))
        agent_waits = xtrace_waits(desktop, [scanner_x11.AGENT], 6)
        watcher_waits = xtrace_waits(desktop, [PYTHON, WATCHER], 6)
        print(f"  X waits for replies per second (xtrace, focus unchanged, no tray, signed in): "
              f"agent {agent_waits:.1f}, watcher {watcher_waits:.1f}")
    finally:
        desktop.close()

    flush = flush_figures(args.build_dir)
    if flush and all(flush):
        print(f"  flush of 10,000 records: {flush[0]:.1f} ms CPU; zlib level 9 on the same text "
              f"{flush[1]:.1f} ms; ratio {flush[0] / flush[1]:.2f}")

    print("  targets:")
    print(f"    CPU at most a quarter of the watcher's (no tray, signed in): ratio {headless[0]:.2f}, "
          f"{verdict(headless[0] <= 0.25)}")
    if round_trips:
        print(f"    at most 1 X round trip in a quiet pass: {round_trips[0]}, {verdict(round_trips[0] <= 1)}")
        print(f"    at most 4 in a changing pass: {round_trips[1]}, {verdict(round_trips[1] <= 4)}")
    print(f"    at most 3 wake-ups per second for the whole agent (no tray, signed in): {headless[1]:.2f}, "
          f"{verdict(round(headless[1], 1) <= 3.0)}")
    if flush and all(flush):
        print(f"    flush at most 1.15 x zlib level 9: {flush[0] / flush[1]:.2f}, {verdict(flush[0] / flush[1] <= 1.15)}")


if __name__ == "__main__":
    main()
