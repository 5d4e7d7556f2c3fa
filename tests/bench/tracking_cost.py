"""What tracking costs, side by side with a small python-xlib watcher
(tests/bench/xlib_watcher.py), under Xvfb with openbox and two xterms:

- CPU per second of tracking at scan_interval 1, for the whole agent and the
  watcher, and their ratio (per-thread run time from /proc/PID/task/*/schedstat);
- X round trips per scanner pass, counted by the agent's own X layer in the
  scanner probe, while focus and title stay and while they change; and for
  both programs from an xtrace of their X traffic (a run of replies without a
  request between them is one wait);
- wake-ups per second per thread (context switches, /proc/PID/task/*/status);
- resident memory (VmRSS);
- the flush of 10,000 records against zlib level 9 on the same CSV text
  (CPU time, from the flush benchmark).

Not a test: it prints figures. Run through scripts/bench:
    scripts/bench [--seconds N] [--build-dir DIR]
"""

import argparse
import json
import os
import re
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import scanner_x11  # noqa: E402
from scanner_x11 import Desktop  # noqa: E402

WATCHER = os.path.join(HERE, "xlib_watcher.py")
PYTHON = "/usr/bin/python3"
AGENT_THREADS = ["main", "scanner", "pusher", "puller", "ui events"]


def settings():
    return {"scan_interval": 1, "url": "127.0.0.1:9", "api_url": "127.0.0.1:9",
            "push_initial_interval": 3600, "pull_initial_interval": 3600}


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


def thread_labels(pid, tids, known):
    others = [t for t in tids if t != pid]
    if known and len(others) == len(known) - 1:
        return dict(zip([pid] + others, known))
    return {t: ("main" if t == pid else f"thread {i}") for i, t in enumerate([pid] + others)}


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def measure_side_by_side(desktop, seconds):
    desktop.write_settings(settings())
    agent = desktop.start([scanner_x11.AGENT])
    watcher = desktop.start([PYTHON, WATCHER])
    try:
        time.sleep(3)  # start-up is not tracking
        before = {p.pid: thread_stats(p.pid) for p in (agent, watcher)}
        started = time.monotonic()
        time.sleep(seconds)
        after = {p.pid: thread_stats(p.pid) for p in (agent, watcher)}
        elapsed = time.monotonic() - started
        rss = {p.pid: rss_kib(p.pid) for p in (agent, watcher)}
    finally:
        stop(agent)
        stop(watcher)
    results = {}
    for name, process, known in (("agent", agent, AGENT_THREADS), ("watcher", watcher, ["main"])):
        b, a = before[process.pid], after[process.pid]
        tids = [t for t in a if t in b]
        labels = thread_labels(process.pid, tids, known)
        threads = [(labels[t], (a[t][0] - b[t][0]) / 1e6 / elapsed, (a[t][1] - b[t][1]) / elapsed) for t in tids]
        results[name] = {"cpu_ms_per_s": sum(t[1] for t in threads),
                         "wakeups_per_s": sum(t[2] for t in threads),
                         "threads": threads, "rss_kib": rss[process.pid]}
    return results


def probe_round_trips(desktop, windows, quiet_seconds, changing_seconds):
    """Round trips per pass from the agent's own count, in the scanner probe."""
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
    if not passes or "round_trips" not in passes[0]:
        return [], []  # a probe that does not count them
    quiet = [p["round_trips"] for p in passes
             if warm_up * 1000 <= p["begin_ms"] < (warm_up + quiet_seconds) * 1000]
    changing = [p["round_trips"] for p in passes if p["begin_ms"] >= changes_from * 1000]
    return quiet, changing


def xtrace_waits(desktop, command, seconds, extra_env=None):
    """Waits for replies per second of a program's X traffic, from xtrace."""
    fake = f":{scanner_x11.free_display_number()}"
    trace = os.path.join(desktop.home, f"xtrace-{fake[1:]}.txt")
    tracer = desktop.start(["xtrace", "-n", "-k", "-D", fake, "-d", desktop.display, "-o", trace])
    time.sleep(0.5)
    env = desktop.env(DISPLAY=fake, **(extra_env or {}))
    program = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(3)
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=30.0, help="length of the side-by-side run")
    parser.add_argument("--build-dir", default=scanner_x11.BUILD_DIR)
    args = parser.parse_args()
    scanner_x11.AGENT = os.path.join(args.build_dir, "Kestrel.app", "Contents", "MacOS", "Kestrel")
    scanner_x11.PROBE = os.path.join(args.build_dir, "tests", "kes_scanner_probe")

    desktop = Desktop(window_manager=True)
    try:
        alpha = desktop.xterm("alpha window")
        beta = desktop.xterm("beta window")
        desktop.focus(alpha, True)

        print(f"Tracking under Xvfb with openbox and two xterms, {args.seconds:.0f} s, scan_interval 1")
        side = measure_side_by_side(desktop, args.seconds)
        agent, watcher = side["agent"], side["watcher"]
        print(f"  CPU per second of tracking: agent {agent['cpu_ms_per_s']:.3f} ms, "
              f"python-xlib watcher {watcher['cpu_ms_per_s']:.3f} ms, "
              f"ratio agent/watcher {agent['cpu_ms_per_s'] / watcher['cpu_ms_per_s']:.2f}")
        print(f"  wake-ups per second: agent {agent['wakeups_per_s']:.2f}, watcher {watcher['wakeups_per_s']:.2f}")
        for name, result in (("agent", agent), ("watcher", watcher)):
            for label, cpu, wakeups in result["threads"]:
                print(f"    {name:8s} {label:10s} {wakeups:6.2f} wake-ups/s  {cpu:.3f} ms CPU/s")
        print(f"  resident memory: agent {agent['rss_kib'] / 1024:.1f} MiB, "
              f"watcher {watcher['rss_kib'] / 1024:.1f} MiB")

        if os.path.exists(scanner_x11.PROBE):
            quiet, changing = probe_round_trips(desktop, [alpha, beta], 6, 8)
            if quiet and changing:
                print(f"  X round trips per pass (agent's own count, scanner probe): "
                      f"focus and title unchanged: max {max(quiet)} over {len(quiet)} passes; "
                      f"while they change: max {max(changing)}, passes {changing}")
        desktop.focus(alpha, True)
        agent_waits = xtrace_waits(desktop, [scanner_x11.AGENT], 6)
        watcher_waits = xtrace_waits(desktop, [PYTHON, WATCHER], 6)
        print(f"  X waits for replies per second (xtrace, focus unchanged): agent {agent_waits:.1f}, "
              f"watcher {watcher_waits:.1f}")
    finally:
        desktop.close()

    flush = flush_figures(args.build_dir)
    if flush and all(flush):
        print(f"  flush of 10,000 records: {flush[0]:.1f} ms CPU; zlib level 9 on the same text "
              f"{flush[1]:.1f} ms; ratio {flush[0] / flush[1]:.2f}")


if __name__ == "__main__":
    main()
