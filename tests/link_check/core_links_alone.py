#!/usr/bin/python3
"""The core's test programs load no window-system or toolkit library.

Asks the system's dynamic loader (ldd) which shared libraries each program
given on the command line loads, prints them, and fails when one of them is
an X11/xcb or Qt library, or when ldd cannot tell.
"""
import re
import subprocess
import sys

FORBIDDEN = re.compile(r"^(libxcb|libX11|libXss|libXext|libQt)", re.IGNORECASE)


def loaded_libraries(program):
    result = subprocess.run(["ldd", program], capture_output=True, text=True, check=False)
    if result.returncode != 0:
        raise RuntimeError(f"ldd {program} failed: {result.stderr.strip()}")
    names = [line.split()[0] for line in result.stdout.splitlines() if line.strip()]
    # Every dynamically linked program loads the C library: without it the
    # answer is not a list of what the program loads.
    if not any(name.startswith("libc.so") for name in names):
        raise RuntimeError(f"ldd {program} listed no C library:\n{result.stdout}")
    return names


def main(programs):
    if not programs:
        print("usage: core_links_alone.py PROGRAM...", file=sys.stderr)
        return 2
    failed = False
    for program in programs:
        names = loaded_libraries(program)
        forbidden = [name for name in names if FORBIDDEN.match(name)]
        print(f"{program}: {len(names)} libraries: {' '.join(names)}")
        if forbidden:
            print(f"  FORBIDDEN: {' '.join(forbidden)}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
