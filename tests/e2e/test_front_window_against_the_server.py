"""The grabber's picture of the front window, which the X11 layer keeps from
the server's events, held against the server itself under a window manager.

A seeded random run of short-lived clients (an X server gives a new client
the id range of one that disconnected, so the new client's windows take the
ids of the closed one's), windows destroyed, renamed, given other process
ids and classes, made transient for windows that may go away, and the focus
moved, and the window manager restarted. After every step the grabber's answers, outside a pass and in a pass
asked twice as the scanner asks, equal what the server says at that moment
(window_truth). Some steps change the front window between the two askings
of one pass: the second asking repeats the first, the next pass sees the
change.

KES_WINDOW_STEPS (default 2000) and KES_WINDOW_SEED replay a run."""

import itertools
import json
import os
import random
import subprocess
import sys
import time
import unittest
from collections import Counter

from Xlib import X, Xatom, error
from Xlib import display as xdisplay
from Xlib.protocol import event

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bundle_tree import BUILD_DIR  # noqa: E402
from failure_report import ExplainingRunner  # noqa: E402
from scanner_x11 import Desktop  # noqa: E402
from window_truth import ServerTruth  # noqa: E402

PROBE = os.path.join(BUILD_DIR, "tests", "kes_front_probe")
STEPS = int(os.environ.get("KES_WINDOW_STEPS", "2000"))
MOST_CLIENTS = 6
SHOWN_MISMATCHES = 10
# Each mismatch waits for the server to settle first: a broken cache stops the run early.
MOST_MISMATCHES = 10
# How long the window manager may take to settle after a step, on a busy machine.
SETTLING_SECONDS = 5

TITLES = ["shell", "été à Paris", "東京の地図", "naïve — draft", "report.txt", "", "Inbox (3)"]
LEGACY_TITLES = ["Caf\u00e9 menu", "plain", "xterm", "Fen\u00eatre"]
CLASSES = ["XTerm", "Firefox", "Alpha-tool", "beta", "Gamma"]


class Probe:
    """The probe program over a pipe: one command, one JSON answer."""

    def __init__(self, desktop):
        self.process = desktop.start([PROBE], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True, bufsize=1)

    def ask(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        line = self.process.stdout.readline()
        if not line:
            raise RuntimeError(f"the probe ended at {command!r}")
        return json.loads(line)

    def close(self):
        self.process.stdin.write("quit\n")
        self.process.stdin.close()
        self.process.wait(timeout=10)
        self.process.stdout.close()


class Client:
    """One connection of the test's own, with the windows it made."""

    def __init__(self, display_name):
        self.display = xdisplay.Display(display_name)
        self.windows = []

    def sync(self):
        self.display.sync()


class Driver:
    """Makes the steps: every change is made and synced before it returns."""

    def __init__(self, desktop, truth, rng, pids):
        self.desktop, self.truth, self.rng, self.pids = desktop, truth, rng, pids
        self.clients = []
        self.dead_ids = []
        self.step_log = []
        self.kinds = Counter()
        atom = truth.display.intern_atom
        self.net_wm_name = atom("_NET_WM_NAME")
        self.net_wm_pid = atom("_NET_WM_PID")
        self.utf8_string = atom("UTF8_STRING")

    # What the steps pick from.
    def windows(self):
        return [(client, window) for client in self.clients for window in client.windows]

    def pick_window(self):
        windows = self.windows()
        return self.rng.choice(windows) if windows else (None, None)

    def front(self):
        active = self.truth.active_window() or 0
        for client, window in self.windows():
            if window.id == active:
                return client, window
        return None, None

    # The changes.
    def new_client(self, count=None):
        client = Client(self.desktop.display)
        self.clients.append(client)
        made = []
        for _ in range(count or self.rng.randint(1, 3)):
            window = client.display.screen().root.create_window(
                self.rng.randint(0, 600), self.rng.randint(0, 400), 200, 120, 0, X.CopyFromParent)
            client.windows.append(window)
            if self.rng.random() < 0.7:
                self.set_title(window, self.rng.choice(TITLES))
            if self.rng.random() < 0.6:
                self.set_legacy_name(window, self.rng.choice(LEGACY_TITLES))
            if self.rng.random() < 0.6:
                self.set_pid(window, self.rng.choice(self.pids))
            if self.rng.random() < 0.7:
                self.set_class(window, self.rng.choice(CLASSES))
            window.map()
            made.append(hex(window.id))
        client.sync()
        return "client making " + " ".join(made)

    def end_client(self, client):
        ids = [window.id for window in client.windows]
        self.clients.remove(client)
        client.display.close()
        self.dead_ids.extend(ids)
        # The server ends a client when it reads the end of its connection:
        # the step is done once its windows are gone.
        self.wait_gone(ids)
        return "end client of " + " ".join(hex(i) for i in ids)

    def wait_gone(self, ids):
        deadline = time.monotonic() + SETTLING_SECONDS
        while not all(self.is_gone(window_id) for window_id in ids):
            if time.monotonic() > deadline:
                raise RuntimeError("a closed client's windows stayed")
            time.sleep(0.002)

    def is_gone(self, window_id):
        try:
            self.truth.display.create_resource_object("window", window_id).get_geometry()
            return False
        except (error.BadWindow, error.BadDrawable):
            return True

    def destroy(self, client, window):
        client.windows.remove(window)
        window.destroy()
        client.sync()
        self.dead_ids.append(window.id)
        return f"destroy {window.id:#x}"

    def set_title(self, window, text):
        window.change_property(self.net_wm_name, self.utf8_string, 8, text.encode("utf-8"))

    def set_legacy_name(self, window, text):
        window.change_property(Xatom.WM_NAME, Xatom.STRING, 8, text.encode("latin-1"))

    def set_pid(self, window, pid):
        window.change_property(self.net_wm_pid, Xatom.CARDINAL, 32, [pid])

    def set_class(self, window, name):
        window.change_property(Xatom.WM_CLASS, Xatom.STRING, 8, b"instance\0" + name.encode() + b"\0")

    def rename(self, client, window):
        kind = self.rng.choice(["net", "legacy", "both", "remove net"])
        if kind in ("net", "both"):
            self.set_title(window, self.rng.choice(TITLES) + f" {len(self.step_log)}")
        if kind in ("legacy", "both"):
            self.set_legacy_name(window, self.rng.choice(LEGACY_TITLES) + f" {len(self.step_log)}")
        if kind == "remove net":
            window.delete_property(self.net_wm_name)
        client.sync()
        return f"rename {window.id:#x} ({kind})"

    def set_or_remove(self, client, window, what, atom, choices, setter):
        """Removes the property now and then, else sets it to one of `choices`."""
        if self.rng.random() < 0.3:
            window.delete_property(atom)
            told = "none"
        else:
            value = self.rng.choice(choices)
            setter(window, value)
            told = str(value)
        client.sync()
        return f"{what} of {window.id:#x} = {told}"

    def make_transient(self, client, window):
        choice = self.rng.random()
        if choice < 0.25:
            window.delete_property(Xatom.WM_TRANSIENT_FOR)
            owner = 0
        elif choice < 0.45 and self.dead_ids:
            owner = self.rng.choice(self.dead_ids)  # gone, or its id taken by a later window
        else:
            owner = self.pick_window()[1].id
        if owner:
            window.change_property(Xatom.WM_TRANSIENT_FOR, Xatom.WINDOW, 32, [owner])
        client.sync()
        return f"{window.id:#x} transient for {owner:#x}"

    def activate(self, window_id):
        """As a pager asks the window manager (it sets _NET_ACTIVE_WINDOW)."""
        display = self.truth.display
        message = event.ClientMessage(window=display.create_resource_object("window", window_id),
                                      client_type=self.truth.net_active_window,
                                      data=(32, [2, X.CurrentTime, 0, 0, 0]))
        self.truth.root.send_event(message, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
        display.sync()
        # The manager answers in its own time; a step is done once it has.
        deadline = time.monotonic() + 0.5
        while time.monotonic() < deadline and self.truth.active_window() != window_id:
            time.sleep(0.002)
        return f"focus {window_id:#x}"

    def reuse_front(self):
        """The front window's program ends and another starts: its window
        takes the closed one's id and comes to the front."""
        client, window = self.front()
        if client is None:
            return self.new_client()
        old = window.id
        ended = self.end_client(client)
        made = self.new_client(count=len(client.windows) or 1)
        if any(w.id == old for _, w in self.windows()):
            self.activate(old)
        return f"{ended}; {made}; focus {old:#x}"

    # One step, picked by weight.
    def step(self):
        kinds = [("focus", 30), ("rename", 15), ("client", 10), ("end", 7), ("destroy", 6), ("pid", 8),
                 ("class", 6), ("transient", 6), ("reuse", 8)]
        kind = self.rng.choices([k for k, _ in kinds], weights=[w for _, w in kinds])[0]
        self.kinds[kind] += 1
        client, window = self.pick_window()
        if kind == "client" or window is None:
            if len(self.clients) >= MOST_CLIENTS:
                return self.end_client(self.rng.choice(self.clients))
            return self.new_client()
        if kind == "focus":
            return self.activate(window.id)
        if kind == "rename":
            return self.rename(client, window)
        if kind == "end":
            return self.end_client(client)
        if kind == "destroy":
            return self.destroy(client, window)
        if kind == "pid":
            return self.set_or_remove(client, window, "pid", self.net_wm_pid, self.pids, self.set_pid)
        if kind == "class":
            return self.set_or_remove(client, window, "class", Xatom.WM_CLASS, CLASSES, self.set_class)
        if kind == "transient":
            return self.make_transient(client, window)
        return self.reuse_front()

    def change_front_within_a_pass(self):
        """Between the two askings of a pass: the front window renamed,
        destroyed or its program ended."""
        self.kinds["within a pass"] += 1
        client, window = self.front()
        if client is None:
            return "nothing in front to change"
        kind = self.rng.choice(["rename", "destroy", "end"])
        if kind == "rename":
            return self.rename(client, window)
        if kind == "destroy":
            return self.destroy(client, window)
        return self.end_client(client)

    def restart_window_manager(self):
        """The window manager ends and starts again: its check window is
        made anew (often with the same id) and it manages every window again."""
        self.kinds["restart the window manager"] += 1
        watcher = xdisplay.Display(self.desktop.display)
        try:
            watcher.screen().root.change_attributes(event_mask=X.PropertyChangeMask)
            watcher.sync()
            check = watcher.intern_atom("_NET_SUPPORTING_WM_CHECK")
            self.desktop.run(["openbox", "--restart"])
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                while watcher.pending_events():
                    notice = watcher.next_event()
                    if notice.type == X.PropertyNotify and notice.atom == check and \
                            notice.state == X.PropertyNewValue:
                        return "restart the window manager"
                time.sleep(0.005)
            raise RuntimeError("the window manager did not come back")
        finally:
            watcher.close()

    def close(self):
        for client in self.clients:
            client.display.close()


class FrontWindowAgainstTheServer(unittest.TestCase):
    def test_the_grabbers_answers_equal_the_servers_after_every_step(self):
        seed = int(os.environ.get("KES_WINDOW_SEED", str(random.SystemRandom().randrange(1 << 32))))
        print(f"seed {seed} (KES_WINDOW_SEED={seed} replays it), {STEPS} steps", flush=True)
        rng = random.Random(seed)
        desktop = Desktop(window_manager=True)
        truth = driver = None
        opened = []
        try:
            sleepers = [desktop.start(["sleep", "600"]) for _ in range(2)]
            ended = subprocess.Popen(["true"])
            ended.wait()
            # Processes whose executables the name falls back on; one that ended.
            pids = [os.getpid(), desktop.server.pid, ended.pid] + [p.pid for p in sleepers]
            truth = ServerTruth(desktop.display)
            driver = Driver(desktop, truth, rng, pids)
            probe = Probe(desktop)
            opened.append(probe)
            mismatches = []
            checked = retried = 0
            began = time.monotonic()

            def report(step, what, seen, expected, expected_from="server"):
                mismatches.append(step)
                if len(mismatches) <= SHOWN_MISMATCHES:
                    print(f"MISMATCH seed {seed} step {step} ({what}):\n  grabber {seen}\n"
                          f"  {expected_from:7} {expected}", flush=True)

            def compare(step, what):
                """The window manager finishes a step in its own time and may
                pass through other states meanwhile (the active window none
                for a moment): the answers are taken again until they agree
                with the server read before and after them, and a mismatch
                is one that stays while the server holds still."""
                nonlocal checked, retried
                checked += 1
                deadline = time.monotonic() + SETTLING_SECONDS
                for attempt in itertools.count():
                    before = truth.front()
                    outside = probe.ask("sync")
                    inside = probe.ask("pass")
                    again = inside.pop("again")
                    after = truth.front()
                    if again != inside:
                        return report(step, what + ", asked again in the pass", again, inside, "first")
                    if before == after == outside == inside:
                        retried += attempt > 0
                        return
                    if time.monotonic() > deadline:
                        break
                    time.sleep(0.005)
                if before != after:
                    raise RuntimeError(f"the server never held still after step {step} ({what})")
                if outside != before:
                    report(step, what + ", outside a pass", outside, before)
                else:
                    report(step, what + ", in a pass", inside, before)

            steps_run = 0
            for step in range(1, STEPS + 1):
                if len(mismatches) >= MOST_MISMATCHES:
                    break
                steps_run = step
                if step % 250 == 1:
                    probe.ask("trace " + ("on" if (step // 250) % 2 else "off"))
                if rng.random() < 0.004:
                    what = driver.restart_window_manager()
                elif rng.random() < 0.05:
                    first = probe.ask("begin")
                    what = "within a pass: " + driver.change_front_within_a_pass()
                    second = probe.ask("ask")
                    probe.ask("end")
                    if second != first:
                        report(step, what + ", second asking", second, first, "first")
                else:
                    what = driver.step()
                driver.step_log.append(what)
                compare(step, what)

            elapsed = time.monotonic() - began
            print(f"steps {steps_run} of {STEPS}, seed {seed}, comparisons {checked} ({retried} taken again "
                  f"while the window manager settled), mismatches {len(mismatches)}, {elapsed:.1f} s\n"
                  f"steps by kind: {dict(driver.kinds)}", flush=True)
            self.assertEqual(mismatches, [], f"seed {seed}: the grabber disagreed with the server at these steps")
        finally:
            for probe in opened:
                probe.close()
            if driver:
                driver.close()
            if truth:
                truth.close()
            desktop.close()


if __name__ == "__main__":
    unittest.main(testRunner=ExplainingRunner)
