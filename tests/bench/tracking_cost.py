"""What tracking costs, side by side with a small python-xlib watcher
(tests/bench/xlib_watcher.py), under Xvfb with openbox and two xterms, for
the agent as it runs: its toolkit on the display, its four threads, the
service on loopback (unreachable, as on a laptop off the network).

Scenarios, each a desktop of its own with the watcher and a program that
only wakes as the agent's loops do (tests/bench/wake_floor) running beside
the agent for the same seconds; a driver (tests/bench/desktop_driver.py)
makes the changes at a steady rate:
- a quiet desktop, signed in, no tray host (the headless case);
- a focus switch every 10 seconds, every second, ten a second;
- the title of the window in front changing ten times a second;
- 200 windows of the driver's own, a focus switch every second between two
  of them, and to the next of all 200 (each window new to the agent: watched
  windows are few);
- trayer as tray host (the status item shown), signed in, quiet;
- no account (the setup popover stays open), no tray host, quiet.
Every scenario runs --runs times, the runs of all scenarios interleaved so
that a change in the machine's load touches them alike; the table gives
the medians.

Figures:
- CPU per second of tracking at scan_interval 1, agent and watcher, and their
  ratio (per-thread run time from /proc/PID/task/*/schedstat);
- wake-ups per second, whole process (voluntary context switches from
  /proc/PID/task/*/status: a preemption on a busy machine is none), and per
  thread by name with --threads;
- memory at the end of each run: RSS, PSS and USS (private clean + private
  dirty) from /proc/PID/smaps_rollup; then again while another process maps
  the shared libraries both programs use (alone, a library page counts as
  the agent's own whenever no other process on the machine maps it);
- X round trips per scanner pass, counted by the agent's own X layer in the
  scanner probe, while focus and title stay and while they change, and the
  thread CPU time of a quiet pass (without its wake-up);
- waits for X replies per second of both programs, from an xtrace of their
  traffic (a run of replies without a request between them is one wait);
- the flush of 10,000 records against zlib level 9 on the same CSV text
  (CPU time, from the flush benchmark), for the benchmark's uniform records
  and for realistic, varied ones, with the allocator's memory reused and with
  every large buffer fresh from the kernel;
- the targets, met or not.

Not a test: it prints figures. Run through scripts/bench:
    scripts/bench [--seconds N] [--runs N] [--only TEXT,...] [--threads]
                  [--skip-extras] [--build-dir DIR]
"""

import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import scanner_x11  # noqa: E402
from scanner_x11 import Desktop, end_process  # noqa: E402

WATCHER = os.path.join(HERE, "xlib_watcher.py")
DRIVER = os.path.join(HERE, "desktop_driver.py")
PYTHON = "/usr/bin/python3"
# Wakes like the agent's two loops and does nothing (tests/bench/wake_floor).
WAKE_FLOOR = None
ACCOUNT_KEY = "AK-bench-0123456789abcdef"

QUIET = "quiet desktop, signed in"
SIGNED_OUT = "signed out, setup popover open"
TRAY = "tray up, signed in"
SCENARIOS = [
    (QUIET, {}),
    ("a focus switch every 10 seconds", {"switch_rate": 0.1}),
    ("a focus switch every second", {"switch_rate": 1}),
    ("ten focus switches a second", {"switch_rate": 10}),
    ("a title changing ten times a second", {"title_rate": 10}),
    ("200 windows open, a switch every second between two", {"switch_rate": 1, "windows": 200, "among": 2}),
    ("200 windows, a switch every second to the next", {"switch_rate": 1, "windows": 200}),
    (TRAY, {"tray": True}),
    (SIGNED_OUT, {"signed_in": False}),
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
                    # A thread that went to sleep and was woken; being preempted
                    # on a busy machine (nonvoluntary) is no wake-up of its own.
                    if line.startswith("voluntary_ctxt_switches"):
                        switches += int(line.split()[1])
            with open(f"{base}/comm") as f:
                name = f.read().strip()
        except OSError:
            continue  # ended meanwhile
        stats[int(tid)] = (cpu_ns, switches, name)
    return stats


# Maps every shared library the given processes map and touches each page,
# then waits: their library pages are then shared, as on a desktop where
# other programs use the same libraries, and what stays unique to a process
# is its own memory.
LIBRARY_HOLDER = r"""
import mmap, os, sys, time
paths = set()
for pid in sys.argv[1:]:
    with open(f"/proc/{pid}/maps") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 6 and ".so" in os.path.basename(parts[5]):
                paths.add(parts[5])
held = []
for path in sorted(paths):
    try:
        with open(path, "rb") as f:
            mapped = mmap.mmap(f.fileno(), 0, prot=mmap.PROT_READ)
    except (OSError, ValueError):
        continue
    for offset in range(0, len(mapped), mmap.PAGESIZE):
        mapped[offset]
    held.append(mapped)
print("held", flush=True)
time.sleep(3600)
"""


def memory_kib(pid):
    """RSS, PSS and USS of a process, in KiB."""
    fields = {}
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[0].endswith(":") and parts[1].isdigit():
                fields[parts[0][:-1]] = int(parts[1])
    return {"rss": fields.get("Rss", 0), "pss": fields.get("Pss", 0),
            "uss": fields.get("Private_Clean", 0) + fields.get("Private_Dirty", 0)}


def usage(before, after, pid, elapsed):
    """Per thread: (label, CPU ms per second, wake-ups per second)."""
    threads = []
    for tid in sorted(t for t in after if t in before):
        name = "main" if tid == pid else after[tid][2]
        threads.append((name, (after[tid][0] - before[tid][0]) / 1e6 / elapsed,
                        (after[tid][1] - before[tid][1]) / elapsed))
    return threads


def start_driver(desktop, windows, options):
    command = [PYTHON, DRIVER, "--windows", ",".join(windows)]
    if options.get("windows"):
        command += ["--create", str(options["windows"])]
    if options.get("among"):
        command += ["--switch-among", str(options["among"])]
    if options.get("switch_rate"):
        command += ["--switch-rate", str(options["switch_rate"])]
    if options.get("title_rate"):
        command += ["--title-rate", str(options["title_rate"])]
    driver = desktop.start(command, stdout=subprocess.PIPE, text=True)
    if driver.stdout.readline().strip() != "ready":
        raise RuntimeError("the desktop driver did not start")
    return driver


def measure_scenario(options, seconds):
    desktop = Desktop(window_manager=True)
    try:
        alpha = desktop.xterm("alpha window")
        beta = desktop.xterm("beta window")
        desktop.focus(alpha, True)
        if options.get("tray"):
            desktop.start_tray_host()
        desktop.write_settings(settings(options.get("signed_in", True)))
        desktop.mark_automation_explained()  # no explanation window takes the focus
        agent = desktop.start([scanner_x11.AGENT])
        watcher = desktop.start([PYTHON, WATCHER])
        measured = [("agent", agent), ("watcher", watcher)]
        if WAKE_FLOOR:
            measured.append(("floor", desktop.start([WAKE_FLOOR])))
        driver = None
        try:
            time.sleep(4)  # start-up is not tracking
            if options.get("switch_rate") or options.get("title_rate"):
                # The 200 windows come before the measurement, their mapping is not tracking.
                driver = start_driver(desktop, [alpha, beta] if not options.get("windows") else [], options)
                time.sleep(3 if options.get("windows") else 1)
            before = {p.pid: thread_stats(p.pid) for _, p in measured}
            started = time.monotonic()
            time.sleep(seconds)
            after = {p.pid: thread_stats(p.pid) for _, p in measured}
            elapsed = time.monotonic() - started
            memory = {p.pid: memory_kib(p.pid) for _, p in measured}
            holder = desktop.start([PYTHON, "-c", LIBRARY_HOLDER, str(agent.pid), str(watcher.pid)],
                                   stdout=subprocess.PIPE, text=True)
            holder.stdout.readline()
            shared = {p.pid: memory_kib(p.pid) for _, p in measured}
            end_process(holder)
        finally:
            if driver:
                end_process(driver)
            for _, process in measured:
                end_process(process)
        results = {}
        for name, process in measured:
            threads = usage(before[process.pid], after[process.pid], process.pid, elapsed)
            results[name] = {"cpu": sum(t[1] for t in threads), "wakeups": sum(t[2] for t in threads),
                             "threads": threads, **memory[process.pid],
                             "uss_shared": shared[process.pid]["uss"], "pss_shared": shared[process.pid]["pss"]}
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
    end_process(probe)
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
    end_process(program)
    end_process(tracer)
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


FLUSH_PAIRS = [
    ("uniform records", "BM_LoggerFlush10000Records", "BM_GzipLevel9SameCsvBytes"),
    ("realistic records", "BM_LoggerFlush10000RealisticRecords", "BM_GzipLevel9SameRealisticCsv"),
]


# Within one benchmark process the allocator hands a flush the memory the
# previous one gave back, already paged in. An agent flushes every half hour
# or so; with the allocator's threshold pinned every large buffer is a fresh
# mapping from the kernel, whose pages fault in as they are first touched.
FRESH_MEMORY = {"GLIBC_TUNABLES": "glibc.malloc.mmap_threshold=131072"}


def flush_figures(build_dir, extra_env=None):
    """Per kind of records: (flush ms, zlib level 9 ms), medians of CPU time."""
    benchmarks = os.path.join(build_dir, "tests", "kes_benchmarks")
    if not os.path.exists(benchmarks):
        return {}
    names = [name for _, flush, zlib in FLUSH_PAIRS for name in (flush, zlib)]
    output = subprocess.run([benchmarks, "--benchmark_filter=^(" + "|".join(names) + ")$",
                             "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true",
                             "--benchmark_format=json"], capture_output=True, text=True, check=True,
                            env={**os.environ, **(extra_env or {})}).stdout
    medians = {}
    for entry in json.loads(output)["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            medians[entry["run_name"]] = entry["cpu_time"]
    return {label: (medians[flush], medians[zlib]) for label, flush, zlib in FLUSH_PAIRS
            if flush in medians and zlib in medians}


def print_threads(name, result):
    idle = [t for t in result["threads"] if t[1] < 0.0005 and t[2] < 0.005]
    for label, cpu, wakeups in result["threads"]:
        if (label, cpu, wakeups) not in idle:
            print(f"        {name:8s} {label:16s} {wakeups:6.2f} wake-ups/s  {cpu:.3f} ms CPU/s")
    if idle:
        print(f"        {name:8s} {len(idle)} more thread(s) without a wake-up or CPU time")


def verdict(met):
    return "met" if met else "NOT met"


def mib(kib):
    return kib / 1024


def median_of(runs, program, key):
    return statistics.median(run[program][key] for run in runs)


def print_table(results):
    head = ("| scenario | agent ms/s | watcher ms/s | agent / watcher | agent wake-ups/s | floor ms/s "
            "| agent RSS / PSS / USS MiB | watcher RSS / PSS / USS MiB | USS, libraries shared: agent / watcher |")
    print(head)
    print("|" + "---|" * (head.count(" | ") + 1))
    for title, runs in results.items():
        agent, watcher = median_of(runs, "agent", "cpu"), median_of(runs, "watcher", "cpu")
        ratio = statistics.median(run["agent"]["cpu"] / run["watcher"]["cpu"] for run in runs)
        floor = f"{median_of(runs, 'floor', 'cpu'):.3f}" if all("floor" in run for run in runs) else "-"
        memory = {program: " / ".join(f"{mib(median_of(runs, program, key)):.1f}" for key in ("rss", "pss", "uss"))
                  for program in ("agent", "watcher")}
        print(f"| {title} | {agent:.3f} | {watcher:.3f} | {ratio:.2f} | {median_of(runs, 'agent', 'wakeups'):.1f} "
              f"| {floor} | {memory['agent']} | {memory['watcher']} "
              f"| {mib(median_of(runs, 'agent', 'uss_shared')):.1f} / {mib(median_of(runs, 'watcher', 'uss_shared')):.1f} |")


def print_targets(results, flush):
    print("  targets:")
    quiet_wakeups = median_of(results[QUIET], "agent", "wakeups") if QUIET in results else None
    for title, options in SCENARIOS:
        if title not in results or not (options.get("switch_rate") or options.get("title_rate")):
            continue
        ratio = statistics.median(run["agent"]["cpu"] / run["watcher"]["cpu"] for run in results[title])
        print(f"    {title}: at most half the watcher: {ratio:.2f}, {verdict(ratio <= 0.5)}", end="")
        if quiet_wakeups is not None:
            wakeups = median_of(results[title], "agent", "wakeups")
            print(f"; wake-ups within one of the quiet {quiet_wakeups:.1f}/s: {wakeups:.1f}, "
                  f"{verdict(wakeups <= quiet_wakeups + 1)}", end="")
        print()
    if TRAY in results:
        for key, how in (("uss", "alone"), ("uss_shared", "libraries shared")):
            agent, watcher = median_of(results[TRAY], "agent", key), median_of(results[TRAY], "watcher", key)
            print(f"    USS with the tray up at most the watcher's ({how}): {mib(agent):.1f} vs {mib(watcher):.1f} MiB, "
                  f"{verdict(agent <= watcher)}")
    for label, (ours, zlib) in flush.items():
        print(f"    flush of {label} at most 1.1 x zlib level 9: {ours / zlib:.2f}, {verdict(ours / zlib <= 1.1)}")


def extras(build_dir):
    """The scanner probe's round trips and pass cost, and xtrace's reply waits."""
    desktop = Desktop(window_manager=True)
    try:
        alpha = desktop.xterm("alpha window")
        beta = desktop.xterm("beta window")
        desktop.focus(alpha, True)
        if os.path.exists(scanner_x11.PROBE):
            quiet, changing = probe_passes(desktop, [alpha, beta], 6, 8)
            if quiet and changing and "round_trips" in quiet[0]:
                print(f"  X round trips per scanner pass (agent's own count, scanner probe): "
                      f"focus and title unchanged: max {max(p['round_trips'] for p in quiet)} over "
                      f"{len(quiet)} passes; while they change: max {max(p['round_trips'] for p in changing)}, "
                      f"passes {[p['round_trips'] for p in changing]}")
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=60.0, help="length of each side-by-side run")
    parser.add_argument("--runs", type=int, default=3, help="runs of each scenario, interleaved")
    parser.add_argument("--only", default="", help="comma-separated parts of the scenario titles to run")
    parser.add_argument("--threads", action="store_true", help="print every run's threads")
    parser.add_argument("--skip-extras", action="store_true", help="no probe, xtrace or flush figures")
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
    wanted = [part.strip() for part in args.only.split(",") if part.strip()]
    chosen = [(title, options) for title, options in SCENARIOS
              if not wanted or any(part in title for part in wanted)]

    print(f"Tracking under Xvfb with openbox and two xterms, {args.seconds:.0f} s per run, {args.runs} run(s) "
          f"per scenario interleaved, scan_interval 1; load average at start {os.getloadavg()[0]:.2f}")
    results = {title: [] for title, _ in chosen}
    for run in range(args.runs):
        for title, options in chosen:
            side = measure_scenario(options, args.seconds)
            results[title].append(side)
            agent, watcher = side["agent"], side["watcher"]
            print(f"  run {run + 1}, {title}: agent {agent['cpu']:.3f} ms/s, {agent['wakeups']:.1f} wake-ups/s; "
                  f"watcher {watcher['cpu']:.3f} ms/s; ratio {agent['cpu'] / watcher['cpu']:.2f}"
                  + (f"; floor {side['floor']['cpu']:.3f} ms/s" if "floor" in side else "")
                  + f"; load {os.getloadavg()[0]:.2f}", flush=True)
            if args.threads:
                print_threads("agent", agent)
                print_threads("watcher", watcher)

    print(f"\nMedians of {args.runs} run(s), CPU per second of tracking (load average at end "
          f"{os.getloadavg()[0]:.2f}):")
    print_table(results)
    print()
    flush = {}
    if not args.skip_extras:
        extras(args.build_dir)
        flush = flush_figures(args.build_dir)
        for label, (ours, zlib) in flush.items():
            print(f"  flush of 10,000 {label}: {ours:.1f} ms CPU; zlib level 9 on the same text {zlib:.1f} ms; "
                  f"ratio {ours / zlib:.2f}")
        for label, (ours, zlib) in flush_figures(args.build_dir, FRESH_MEMORY).items():
            print(f"  the same, every large buffer fresh from the kernel: {label}: {ours:.1f} ms vs {zlib:.1f} ms; "
                  f"ratio {ours / zlib:.2f}")
            flush[f"{label} (fresh buffers)"] = (ours, zlib)
    print_targets(results, flush)


if __name__ == "__main__":
    main()
