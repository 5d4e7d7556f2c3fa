"""The one way the end-to-end scripts wait for something to happen: a window,
a menu, a log line, a file, a request. A wait that times out fails the test
saying what it waited for (the caller's words, else the condition's own
source text or name and doc line), how long, and the condition's last answer."""

import inspect
import time


class TimedOut(AssertionError):
    """What a test waited for did not come in time: a failure of the test."""


def describe(condition):
    """A condition as its reader would name it: a lambda by its source text, a
    function by its name and the first line of its doc."""
    name = getattr(condition, "__name__", None) or repr(condition)
    if name == "<lambda>":
        try:
            return " ".join(inspect.getsource(condition).split())
        except (OSError, TypeError):
            return repr(condition)
    doc = (inspect.getdoc(condition) or "").split("\n")[0]
    return f"{name} ({doc})" if doc else name


def wait_until(condition, timeout, what=None, interval=0.05):
    """Asks `condition` every `interval` seconds; answers its first true
    value. Raises TimedOut when `timeout` seconds pass without one."""
    started = time.monotonic()
    deadline = started + timeout
    answer = None
    while True:
        answer = condition()
        if answer:
            return answer
        if time.monotonic() >= deadline:
            break
        time.sleep(interval)
    raise TimedOut(f"timed out after {time.monotonic() - started:.1f} s (limit {timeout} s) waiting for "
                   f"{what or describe(condition)}; its last answer: {answer!r}")
