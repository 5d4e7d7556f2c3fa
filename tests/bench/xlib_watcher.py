"""A small python-xlib watcher for comparison: once a second it reads the
active window, its class, title and process id, and the screen-saver idle
time, the way a simple tracker would.

    /usr/bin/python3 tests/bench/xlib_watcher.py
"""

import time

from Xlib import Xatom, display
from Xlib.ext import screensaver  # noqa: F401  (registers the extension)


def main():
    d = display.Display()
    root = d.screen().root
    active_atom = d.intern_atom("_NET_ACTIVE_WINDOW")
    name_atom = d.intern_atom("_NET_WM_NAME")
    pid_atom = d.intern_atom("_NET_WM_PID")
    utf8_atom = d.intern_atom("UTF8_STRING")
    while True:
        active = root.get_full_property(active_atom, Xatom.WINDOW)
        if active and active.value and active.value[0]:
            window = d.create_resource_object("window", active.value[0])
            try:
                window.get_wm_class()
                window.get_full_property(name_atom, utf8_atom)
                window.get_full_property(pid_atom, Xatom.CARDINAL)
            except Exception:  # the window went away between two requests
                pass
        root.screensaver_query_info()
        time.sleep(1)


if __name__ == "__main__":
    main()
