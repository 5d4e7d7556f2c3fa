"""Drives a desktop at a steady rate for the tracking benchmark, as a busy
user would: it moves the focus between windows through the window manager
(a _NET_ACTIVE_WINDOW request, the way a pager or a task bar asks) and
renames the window in front, each at its own rate per second. With
--create N it first opens N windows of its own to switch between.

    /usr/bin/python3 tests/bench/desktop_driver.py [--windows ID,ID,...]
        [--create N] [--switch-among N] [--switch-rate R] [--title-rate R]

The focus goes round the first N windows (all of them by default); the
window renamed is the first.

It runs until it is ended; on start it prints "ready" once its windows are
mapped.
"""

import argparse
import os
import sys
import time

from Xlib import X, Xatom, display, protocol

ACTIVE_FROM_PAGER = 2  # the source indication of a request made for the user


def parse_windows(text):
    return [int(part, 0) for part in text.split(",") if part]


def create_windows(d, count):
    screen = d.screen()
    pid_atom = d.intern_atom("_NET_WM_PID")
    name_atom = d.intern_atom("_NET_WM_NAME")
    utf8 = d.intern_atom("UTF8_STRING")
    windows = []
    for n in range(count):
        window = screen.root.create_window(20 + n % 40 * 10, 20 + n % 30 * 10, 300, 120, 0, screen.root_depth,
                                           X.InputOutput, X.CopyFromParent,
                                           background_pixel=screen.white_pixel)
        window.set_wm_class("bench-window", "BenchWindow")
        window.set_wm_name(f"bench window {n}")
        window.change_property(name_atom, utf8, 8, f"bench window {n}".encode())
        window.change_property(pid_atom, Xatom.CARDINAL, 32, [os.getpid()])
        window.map()
        windows.append(window.id)
    d.sync()
    return windows


def activate(d, root, active_atom, window):
    event = protocol.event.ClientMessage(window=d.create_resource_object("window", window),
                                         client_type=active_atom,
                                         data=(32, [ACTIVE_FROM_PAGER, X.CurrentTime, 0, 0, 0]))
    root.send_event(event, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)


def rename(d, window, name_atom, utf8, step):
    title = f"renamed {step}".encode()
    target = d.create_resource_object("window", window)
    target.change_property(name_atom, utf8, 8, title)
    target.change_property(Xatom.WM_NAME, Xatom.STRING, 8, title)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windows", type=parse_windows, default=[])
    parser.add_argument("--create", type=int, default=0)
    parser.add_argument("--switch-among", type=int, default=0)
    parser.add_argument("--switch-rate", type=float, default=0.0)
    parser.add_argument("--title-rate", type=float, default=0.0)
    args = parser.parse_args()

    d = display.Display()
    root = d.screen().root
    active_atom = d.intern_atom("_NET_ACTIVE_WINDOW")
    name_atom = d.intern_atom("_NET_WM_NAME")
    utf8 = d.intern_atom("UTF8_STRING")
    windows = args.windows + create_windows(d, args.create)
    switched = windows[:args.switch_among] if args.switch_among > 0 else windows
    print("ready", flush=True)

    # Each kind of change keeps its own schedule, so a slow step is caught up
    # rather than stretching the rate.
    started = time.monotonic()
    plans = []
    if args.switch_rate > 0 and len(switched) > 1:
        plans.append([1.0 / args.switch_rate, started, "switch", 0])
    if args.title_rate > 0 and windows:
        plans.append([1.0 / args.title_rate, started, "title", 0])
    if not plans:
        while True:
            time.sleep(3600)
    while True:
        plan = min(plans, key=lambda p: p[1])
        delay = plan[1] - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        period, _, kind, step = plan
        if kind == "switch":
            activate(d, root, active_atom, switched[(step + 1) % len(switched)])
        else:
            rename(d, windows[0], name_atom, utf8, step)
        d.flush()
        plan[1] += period
        plan[3] = step + 1


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(0)
