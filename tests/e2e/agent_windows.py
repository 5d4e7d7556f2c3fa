"""The real agent's windows under Xvfb, as a user meets them: a recording
xdg-open, and finding, measuring, clicking and keeping (as screenshots) the
windows it shows."""

import os
import stat

from test_desktop_agent import keep_drawn

RECORDING_OPENER = """#!/bin/sh
printf '%s\\n' "$@" >> "$(dirname "$0")/opened.txt"
"""


def recording_opener(home):
    """A folder holding an xdg-open that only writes down what it was given
    (to opened.txt beside it): no browser ever opens."""
    folder = os.path.join(home, "bin")
    os.makedirs(folder, exist_ok=True)
    opener = os.path.join(folder, "xdg-open")
    with open(opener, "w") as out:
        out.write(RECORDING_OPENER)
    os.chmod(opener, stat.S_IRWXU)
    return folder


class AgentWindows:
    """For a test case with `self.desktop` (scanner_x11.Desktop)."""

    def window(self, name, timeout=30, excluding=()):
        """The id of a visible window named `name` that is not in `excluding`
        (windows of that name seen before), once there is one."""
        found = []

        def visible():
            shown = self.desktop.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name]).stdout.split()
            found[:] = [window for window in shown if window not in excluding]
            return bool(found)
        self.desktop.wait_until(visible, timeout=timeout, what=f'a new visible window named "{name}"')
        return found[0]

    def geometry(self, window):
        """The window's content area on the screen, as the X server has it."""
        info = {}
        for line in self.desktop.run(["xwininfo", "-id", window]).stdout.splitlines():
            key, _, value = line.strip().partition(":")
            info[key] = value.strip()
        return [int(info["Absolute upper-left X"]), int(info["Absolute upper-left Y"]),
                int(info["Width"]), int(info["Height"])]

    def settled(self, window, size=None):
        """The window's place once it has taken `size` (any, when None) and stopped moving."""
        seen = []

        def still():
            seen.append(self.geometry(window))
            return (size is None or seen[-1][2:] == size) and len(seen) > 1 and seen[-1] == seen[-2]
        self.desktop.wait_until(still, timeout=20,
                                what=f"window {window} to stop moving" + (f" at the size {size}" if size else ""))
        return seen[-1]

    def click_bottom_right(self, window, left, up):
        """A click `left` and `up` pixels from the window's bottom right corner."""
        _, _, width, height = self.geometry(window)
        self.desktop.run(["xdotool", "mousemove", "--window", window, str(width - left), str(height - up),
                          "click", "1"])

    def keep(self, name, box):
        keep_drawn(self.desktop, name, box)

    def assert_wholly_on_screen(self, box):
        width, height = (int(v) for v in self.desktop.screen.split("x"))
        x, y, w, h = box
        self.assertTrue(x >= 0 and y >= 0 and x + w <= width and y + h <= height,
                        f"{box} leaves the {self.desktop.screen} screen")
