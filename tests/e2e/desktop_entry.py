"""Reads an autostart entry as a desktop session does, written from the Desktop
Entry rules alone: the string escapes of a value are undone first, then the
Exec value is split into arguments by its quoting, then field codes expand."""

import os
import subprocess

BUILD_DIR = os.environ.get("KES_BUILD_DIR") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "build")
PROBE = os.path.join(BUILD_DIR, "tests", "kes_login_items_probe")
HELPER_ID = "com.kestrel.Kestrel-Helper"

STRING_ESCAPES = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
QUOTED_ESCAPES = '"`$\\'


def main_group(path):
    """Key -> raw value of the [Desktop Entry] group."""
    keys, group = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f.read().split("\n"):
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                group = line
                continue
            if group == "[Desktop Entry]" and "=" in line:
                key, value = line.split("=", 1)
                keys.setdefault(key.strip(), value.strip())
    return keys


def unescape_string(value):
    out, i = [], 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value) and value[i + 1] in STRING_ESCAPES:
            out.append(STRING_ESCAPES[value[i + 1]])
            i += 2
        else:
            out.append(value[i])
            i += 1
    return "".join(out)


def expand_field_codes(argument):
    out, i = [], 0
    while i < len(argument):
        if argument[i] == "%":
            if argument[i + 1:i + 2] == "%":
                out.append("%")
            # Any other code stands for files or addresses; a session starting
            # an autostart entry has none to give.
            i += 2
        else:
            out.append(argument[i])
            i += 1
    return "".join(out)


def exec_argv(value):
    """The program and arguments an Exec value runs."""
    text = unescape_string(value)
    args, current, quoted, i = [], None, False, 0
    while i < len(text):
        c = text[i]
        if quoted:
            if c == "\\" and i + 1 < len(text) and text[i + 1] in QUOTED_ESCAPES:
                current += text[i + 1]
                i += 2
                continue
            if c == '"':
                quoted = False
            else:
                current += c
        elif c == " ":
            if current is not None:
                args.append(current)
                current = None
        elif c == '"':
            quoted, current = True, current or ""
        else:
            current = (current or "") + c
        i += 1
    if quoted:
        raise ValueError(f"unterminated quote in {value!r}")
    if current is not None:
        args.append(current)
    return [expand_field_codes(a) for a in args]


def entry_path(home):
    return os.path.join(home, ".config", "autostart", HELPER_ID + ".desktop")


def login_items(bundle, request, env):
    """Runs the probe; returns (exit code, stdout)."""
    result = subprocess.run([PROBE, bundle, request, HELPER_ID], env=env, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=30)
    return result.returncode, result.stdout.strip()


def validate(path):
    """desktop-file-validate's exit code and everything it printed."""
    result = subprocess.run(["desktop-file-validate", path], capture_output=True, text=True, timeout=30)
    return result.returncode, result.stdout + result.stderr
