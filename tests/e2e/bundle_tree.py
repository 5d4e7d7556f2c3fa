"""Application bundles laid out for a test, and the processes running from them.

A stand-in application is a script on a copy of the system shell inside its
bundle, so /proc shows the process's executable in the bundle, as it does for
a real application. What runs from a tree is read straight from /proc."""

import os
import shutil
import signal
import stat
import time

BUILD_DIR = os.environ.get("KES_BUILD_DIR") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "build")
BUILT_BUNDLE = os.path.join(BUILD_DIR, "Kestrel.app")
HELPER_PARTS = ("Contents", "Library", "LoginItems", "Kestrel-Helper.app")
BUILT_HELPER_BUNDLE = os.path.join(BUILT_BUNDLE, *HELPER_PARTS)


def trusting_bundle(folder, *ca_certs):
    """A copy of the built bundle in `folder`, so that files beside and inside
    it are the test's own. Given `ca_certs` (the stand-ins'), its certificate
    bundle holds those alone, so the agent run from it trusts only them.
    Answers the copy; bundle_program(copy) is the agent's program in it."""
    bundle = os.path.join(folder, "Kestrel.app")
    shutil.copytree(BUILT_BUNDLE, bundle, symlinks=True)
    if ca_certs:
        with open(os.path.join(bundle, "Contents", "Resources", "curl-ca-bundle.crt"), "wb") as out:
            for cert in ca_certs:
                with open(cert, "rb") as f:
                    out.write(f.read())
    return bundle


def bundle_program(bundle):
    return os.path.join(bundle, "Contents", "MacOS", "Kestrel")


def info_plist(identifier, executable):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n<dict>\n'
            f"\t<key>CFBundleExecutable</key>\n\t<string>{executable}</string>\n"
            f"\t<key>CFBundleIdentifier</key>\n\t<string>{identifier}</string>\n"
            "</dict>\n</plist>\n")


def write_standin(bundle, executable, marker):
    """(Re)writes the stand-in script; its interpreter path names the bundle."""
    macos = os.path.join(bundle, "Contents", "MacOS")
    shell = os.path.join(macos, "standin-shell")
    if not os.path.exists(shell):
        shutil.copy2(os.path.realpath("/bin/sh"), shell)
    script = os.path.join(macos, executable)
    with open(script, "w", encoding="utf-8") as out:
        out.write(f"#!{shell}\n")
        if marker:
            out.write(f"echo $$ >> '{marker}'\n")
        out.write("while :; do sleep 600; done\n")
    os.chmod(script, 0o755)
    return script


def make_standin_bundle(bundle, identifier, marker=None, executable="Kestrel"):
    os.makedirs(os.path.join(bundle, "Contents", "MacOS"), exist_ok=True)
    with open(os.path.join(bundle, "Contents", "Info.plist"), "w", encoding="utf-8") as out:
        out.write(info_plist(identifier, executable))
    write_standin(bundle, executable, marker)
    return bundle


def add_built_helper(agent_bundle):
    """Copies the built helper bundle into its place inside `agent_bundle`."""
    target = os.path.join(agent_bundle, *HELPER_PARTS)
    shutil.copytree(BUILT_HELPER_BUNDLE, target)
    return os.path.join(target, "Contents", "MacOS", "Kestrel-Helper")


def executable_of(pid):
    try:
        path = os.readlink(f"/proc/{pid}/exe")
    except OSError:
        return None
    return path[:-len(" (deleted)")] if path.endswith(" (deleted)") else path


def parent_of(pid):
    try:
        with open(f"/proc/{pid}/stat", encoding="utf-8", errors="replace") as f:
            return int(f.read().rsplit(")", 1)[1].split()[1])
    except (OSError, IndexError, ValueError):
        return None


def all_pids():
    return [int(name) for name in os.listdir("/proc") if name.isdigit()]


def running_from(folder):
    """Processes whose executable lies in `folder`, in pid order."""
    prefix = os.path.realpath(folder) + os.sep
    return sorted(pid for pid in all_pids() if (executable_of(pid) or "").startswith(prefix))


def started_programs(pids):
    """Drops the processes whose parent is among them: a program's own child
    shows its parent's executable until it has started its own."""
    return [pid for pid in pids if parent_of(pid) not in set(pids)]


def wait_for(predicate, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.02)
    return predicate()


def end_processes(pids, timeout=10.0):
    """Ends the given processes and their children, each by its id."""
    children = [pid for pid in all_pids() if parent_of(pid) in set(pids)]
    for pid in list(pids) + children:
        for send in (lambda: os.killpg(pid, signal.SIGKILL), lambda: os.kill(pid, signal.SIGKILL)):
            try:
                send()
            except OSError:
                pass
    for pid in list(pids) + children:
        try:
            os.waitpid(pid, 0)  # ours: reaped here; anyone else's: reaped by its parent
        except ChildProcessError:
            pass
    wait_for(lambda: not any(os.path.exists(f"/proc/{pid}/exe") and executable_of(pid)
                             for pid in list(pids) + children), timeout)


def read_pids(marker):
    try:
        with open(marker, encoding="utf-8") as f:
            return [int(line) for line in f if line.strip()]
    except FileNotFoundError:
        return []


def mode_of(path):
    return stat.S_IMODE(os.stat(path).st_mode)
