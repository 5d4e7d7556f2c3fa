"""CPU time of tracking at scan_interval 1 for 60 s under Xvfb (not a CTest
test: it takes a minute per run). Reads utime + stime from /proc/PID/stat.

    /usr/bin/python3 tests/e2e/measure_scan_cpu.py [probe|agent] [bare|wm] [seconds]
"""

import json
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scanner_x11 import AGENT, Desktop, PROBE  # noqa: E402


def cpu_ms(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime, stime (fields 14 and 15)
    return ticks * 1000.0 / os.sysconf("SC_CLK_TCK")


def main():
    program = sys.argv[1] if len(sys.argv) > 1 else "probe"
    window_manager = (sys.argv[2] if len(sys.argv) > 2 else "bare") == "wm"
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 60.0
    desktop = Desktop(window_manager)
    try:
        alpha = desktop.xterm("alpha window")
        desktop.xterm("beta window")
        desktop.focus(alpha, window_manager)
        report = os.path.join(desktop.home, "report.json")
        command = [PROBE, "--scan-interval", "1", "--idle-time-start", "300", "--report", report] \
            if program == "probe" else [AGENT]
        process = desktop.start(command)
        time.sleep(2)  # start-up is not tracking
        before = cpu_ms(process.pid)
        time.sleep(seconds)
        after = cpu_ms(process.pid)
        process.send_signal(signal.SIGTERM)
        process.wait(timeout=10)
        passes = seconds  # one pass per second
        if program == "probe":
            with open(report) as f:
                data = json.load(f)
            passes = sum(1 for p in data["passes"] if p["begin_ms"] >= 2000 and p["begin_ms"] < 2000 + seconds * 1000)
        used = after - before
        print(f"{program} {'wm' if window_manager else 'bare'}: {used:.0f} ms CPU in {seconds:.0f} s, "
              f"{passes:.0f} passes, {used / passes:.2f} ms per pass")
    finally:
        desktop.close()


if __name__ == "__main__":
    main()
