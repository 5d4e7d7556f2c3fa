"""Why an end-to-end test failed, from its output alone.

A test's desktops and homes are its witnesses: each registers with `watch`
when made and leaves with `forget` when closed. The moment a test fails (in
unittest's result, before tearDown and the cleanups end its processes and
remove its folders), every witness still open prints what it saw on stderr:
the windows on its display, the tail of the agent's debug log, and the tail
of what each process it started wrote (see `output_file`). A witness closed
while an exception passes (a `finally:` of the test's own) speaks then. What
the test waited for is in its error (waiting.py).

Scripts run their tests with `unittest.main(testRunner=ExplainingRunner)`."""

import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT_FOLDER = "test-output"
LOG_LINES = 60
OUTPUT_LINES = 30

# The witnesses open in this process, in the order they were made: the test
# runner runs one test at a time, so these are the failing test's (and its
# class's).
_open_witnesses = []


def watch(witness):
    """`witness` has `explain()` answering its report as text."""
    _open_witnesses.append(witness)


def forget(witness):
    """Called as a witness closes: closed while an exception passes, it
    reports first, since nothing will be left of it when the test fails."""
    if witness not in _open_witnesses:
        return
    failure = sys.exc_info()[1]
    if isinstance(failure, Exception) and not isinstance(failure, unittest.SkipTest):
        report([witness], f"closed while {type(failure).__name__} passed: {failure}")
    _open_witnesses.remove(witness)


def report(witnesses, headline):
    parts = [f"\n======== why it failed: {headline}"]
    for witness in witnesses:
        try:
            parts.append(witness.explain())
        except Exception as failure:  # noqa: BLE001 -- a report must not hide the test's error
            parts.append(f"(the report of {witness!r} failed: {failure!r})")
    parts.append("======== end of the report\n")
    print("\n".join(parts), file=sys.stderr, flush=True)


def output_file(folder, name):
    """A new file in `folder`/test-output for a process's stdout and stderr
    (for Popen's stdout= and stderr=; close it once the process is started)."""
    outputs = os.path.join(folder, OUTPUT_FOLDER)
    os.makedirs(outputs, exist_ok=True)
    number = len(os.listdir(outputs))
    return open(os.path.join(outputs, f"{number:02d}-{os.path.basename(name)}.txt"), "wb")


def tail(path, lines):
    """The last `lines` lines of a text file, or why there are none."""
    try:
        with open(path, "rb") as f:
            f.seek(0, os.SEEK_END)
            size = f.tell()
            f.seek(max(0, size - 64 * 1024))
            text = f.read().decode("utf-8", "replace")
    except OSError as failure:
        return f"    ({failure.strerror})"
    kept = text.splitlines()[-lines:]
    return "\n".join("    " + line for line in kept) if kept else "    (empty)"


def debug_log_tail(data_dir):
    path = os.path.join(data_dir, "log", "debug_log.txt")
    return f"-- the last {LOG_LINES} lines of the debug log {path}:\n{tail(path, LOG_LINES)}"


def output_tails(folder):
    """What each process started with `output_file` in `folder` wrote."""
    outputs = os.path.join(folder, OUTPUT_FOLDER)
    try:
        names = sorted(os.listdir(outputs))
    except OSError:
        return "-- no process output was kept"
    return "\n".join(f"-- the last {OUTPUT_LINES} lines that {name} holds (stdout and stderr):\n"
                     f"{tail(os.path.join(outputs, name), OUTPUT_LINES)}" for name in names)


def processes_state(processes):
    lines = []
    for process in processes:
        code = process.poll()
        state = "running" if code is None else f"ended with {code}"
        command = process.args if isinstance(process.args, str) else " ".join(map(str, process.args))
        lines.append(f"    pid {process.pid} {state}: {command[:160]}")
    return "-- processes started:\n" + ("\n".join(lines) if lines else "    (none)")


def windows_on(display, env):
    """The window list of `display` (window_list.py), or why there is none."""
    try:
        listed = subprocess.run(["/usr/bin/python3", os.path.join(HERE, "window_list.py")], env=env,
                                capture_output=True, text=True, timeout=20)
        text = listed.stdout + listed.stderr
    except subprocess.TimeoutExpired:
        text = "(the display did not answer within 20 s)"
    return f"-- windows on {display}, bottom to top:\n" + "\n".join("    " + line for line in text.splitlines())


class ExplainingResult(unittest.TextTestResult):
    """Reports the open witnesses as each error or failure is added, which
    unittest does before the test's tearDown and cleanups run."""

    def explain(self, test, err):
        kind, value, _ = err
        if issubclass(kind, unittest.SkipTest):
            return
        report(list(_open_witnesses), f"{test}: {kind.__name__}: {value}")

    def addError(self, test, err):
        self.explain(test, err)
        super().addError(test, err)

    def addFailure(self, test, err):
        self.explain(test, err)
        super().addFailure(test, err)

    def addSubTest(self, test, subtest, err):
        if err is not None:
            self.explain(subtest, err)
        super().addSubTest(test, subtest, err)


class ExplainingRunner(unittest.TextTestRunner):
    resultclass = ExplainingResult
