"""What the agent costs while nothing happens, under Xvfb with openbox: CPU
(ms per second, from every thread's schedstat), wake-ups per second (context
switches of every thread) and memory (RSS, PSS, USS and its private dirty part from smaps_rollup; the
clean part of USS depends on which other processes map the same libraries). Not a
CTest test: it prints figures.

    /usr/bin/python3 tests/e2e/measure_idle_agent.py [tray|none] [signed-in|signed-out] [seconds]

Signed out, the setup popover is open (it shows a second after the start).
"""

import glob
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scanner_x11 import AGENT, Desktop  # noqa: E402

NOWHERE = "127.0.0.1:9"  # a closed loopback port: the service is never reached


def threads(pid):
    """tid -> (ns on a CPU, context switches) for every thread of `pid`."""
    found = {}
    for task in glob.glob(f"/proc/{pid}/task/*"):
        try:
            with open(os.path.join(task, "schedstat")) as f:
                on_cpu = int(f.read().split()[0])
            switches = 0
            with open(os.path.join(task, "status")) as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
            found[os.path.basename(task)] = (on_cpu, switches)
        except (FileNotFoundError, ProcessLookupError):
            pass
    return found


def memory_mb(pid):
    values = {}
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            parts = line.split()
            if parts and parts[0] in ("Rss:", "Pss:", "Private_Clean:", "Private_Dirty:"):
                values[parts[0][:-1]] = int(parts[1]) / 1024.0
    return values["Rss"], values["Pss"], values["Private_Clean"] + values["Private_Dirty"], values["Private_Dirty"]


def main():
    tray = (sys.argv[1] if len(sys.argv) > 1 else "tray") == "tray"
    signed_in = (sys.argv[2] if len(sys.argv) > 2 else "signed-out") == "signed-in"
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 30.0
    desktop = Desktop(True)
    try:
        if tray:
            desktop.start_tray_host()
        settings = {"url": NOWHERE, "api_url": NOWHERE, "first_time_running": False}
        if signed_in:
            settings["account_key"] = "quiet-measurement-key"
        desktop.write_settings(settings)
        agent = desktop.start([AGENT])
        time.sleep(6)  # start-up, the popover's first showing and the first UI passes
        before = threads(agent.pid)
        time.sleep(seconds)
        after = threads(agent.pid)
        rss, pss, uss, dirty = memory_mb(agent.pid)
        on_cpu = sum(ns - before.get(tid, (0, 0))[0] for tid, (ns, _) in after.items())
        wakes = sum(n - before.get(tid, (0, 0))[1] for tid, (_, n) in after.items())
        agent.send_signal(signal.SIGTERM)
        agent.wait(timeout=10)
        print(f"{'tray' if tray else 'no tray'}, {'signed in' if signed_in else 'signed out'}: "
              f"{on_cpu / 1e6 / seconds:.3f} ms CPU/s, {wakes / seconds:.1f} wake-ups/s over {seconds:.0f} s; "
              f"RSS {rss:.1f} MB, PSS {pss:.1f} MB, USS {uss:.1f} MB (private dirty {dirty:.1f} MB)")
    finally:
        desktop.close()


if __name__ == "__main__":
    main()
