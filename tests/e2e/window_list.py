"""The windows on an X display as a failed test's report shows them: one line
per window that has a name or a class (and per viewable top-level one), indented
by depth, with its id, whether it is viewable, override-redirect or not, its
geometry on the screen, its name and its WM_CLASS, read with python-xlib.

    DISPLAY=:5 /usr/bin/python3 window_list.py

Run as its own process, with a time-out, by the report: a hung X server must
not hang the test that is explaining itself."""

import sys

from Xlib import X, Xatom, display, error

MAX_LINES = 120


def text_property(connection, window, name, kind):
    reply = window.get_full_property(connection.intern_atom(name), kind)
    if reply is None:
        return None
    value = reply.value
    return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)


def describe(connection, window, origin):
    """(line, absolute x, absolute y, has a name or class, viewable) of one window; None when it is gone."""
    try:
        attributes = window.get_attributes()
        geometry = window.get_geometry()
        name = text_property(connection, window, "_NET_WM_NAME", connection.intern_atom("UTF8_STRING"))
        if name is None:
            name = text_property(connection, window, "WM_NAME", Xatom.STRING)
        window_class = window.get_wm_class()
    except error.XError:
        return None
    x, y = origin[0] + geometry.x, origin[1] + geometry.y
    state = {X.IsViewable: "viewable", X.IsUnviewable: "unviewable"}.get(attributes.map_state, "unmapped")
    override = " override-redirect" if attributes.override_redirect else ""
    labels = (f' "{name}"' if name is not None else "") + (" class=" + "/".join(window_class) if window_class else "")
    line = f"0x{window.id:08x} {state}{override} {geometry.width}x{geometry.height}+{x}+{y}{labels}"
    return line, x, y, bool(name or window_class), attributes.map_state == X.IsViewable


def window_lines(connection):
    lines = []

    def walk(window, origin, depth):
        try:
            children = window.query_tree().children
        except error.XError:
            return
        for child in children:
            described = describe(connection, child, origin)
            if described is None:
                continue
            line, x, y, labelled, viewable = described
            # A window manager's frames hold the clients: shown when they show.
            if labelled or (depth == 0 and viewable):
                lines.append("  " * depth + line)
            walk(child, (x, y), depth + 1)

    walk(connection.screen().root, (0, 0), 0)
    return lines


def main():
    try:
        connection = display.Display()
    except Exception as failure:  # noqa: BLE001 -- the report says why instead
        print(f"(no connection to the display: {failure})")
        return 1
    lines = window_lines(connection)
    # Windows are listed bottom to top: the ones on top, the likeliest suspects, are kept.
    if len(lines) > MAX_LINES:
        print(f"({len(lines) - MAX_LINES} older windows left out)")
        lines = lines[-MAX_LINES:]
    print("\n".join(lines) if lines else "(no windows)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
