"""What the X server itself says is in front, read afresh at every question
(python-xlib, no memory between questions), by the rules the grabber
follows: the window manager's _NET_ACTIVE_WINDOW; its process from
_NET_WM_PID, else the X-Resource client's process; its name from the class
half of WM_CLASS, else the executable's base name; its title from
_NET_WM_NAME, else WM_NAME, and a transient window shows its owner's."""

import os

from Xlib import X, Xatom, error
from Xlib import display as xdisplay
from Xlib.ext import res


class WindowGone(Exception):
    pass


def executable_of(pid):
    try:
        path = os.readlink(f"/proc/{pid}/exe")
    except OSError:
        return ""
    return path[:-len(" (deleted)")] if path.endswith(" (deleted)") else path


def application_path_of(executable):
    """The nearest folder named "*.app" above the executable, else the executable."""
    folder = os.path.dirname(executable)
    while folder not in ("", "/"):
        if folder.endswith(".app"):
            return folder
        folder = os.path.dirname(folder)
    return executable


class ServerTruth:
    def __init__(self, display_name):
        self.display = xdisplay.Display(display_name)
        self.root = self.display.screen().root
        atom = self.display.intern_atom
        self.net_active_window = atom("_NET_ACTIVE_WINDOW")
        self.net_wm_pid = atom("_NET_WM_PID")
        self.net_wm_name = atom("_NET_WM_NAME")
        self.utf8_string = atom("UTF8_STRING")

    def close(self):
        self.display.close()

    def read(self, window_id, name):
        """The property as the server holds it now (one request for its whole
        value), or None when it is absent."""
        window = self.display.create_resource_object("window", window_id)
        try:
            value = window.get_property(name, X.AnyPropertyType, 0, 65536)
        except (error.BadWindow, error.BadDrawable):
            raise WindowGone() from None
        if value is not None and value.format == 8 and isinstance(value.value, str):
            value.value = value.value.encode("latin-1")
        return value

    def property(self, window_id, name, type_, format_):
        """The value (bytes for format 8, a list for 32), or None when the
        property is absent or of another type or format."""
        value = self.read(window_id, name)
        if value is None or value.property_type != type_ or value.format != format_:
            return None
        return value.value

    def active_window(self):
        value = self.property(self.root.id, self.net_active_window, Xatom.WINDOW, 32)
        return value[0] if value is not None and len(value) else None

    def pid(self, window):
        value = self.property(window, self.net_wm_pid, Xatom.CARDINAL, 32)
        if value is not None and len(value) and value[0] > 0:
            return value[0]
        try:
            reply = self.display.res_query_client_ids([{"client": window, "mask": res.LocalClientPIDMask}])
        except error.XError:
            return None
        for client in reply.ids:
            if client.spec.mask & res.LocalClientPIDMask and client.value and client.value[0] > 0:
                return client.value[0]
        return None

    def wm_class(self, window):
        value = self.property(window, Xatom.WM_CLASS, Xatom.STRING, 8)
        if value is None or b"\0" not in value:
            return ""
        return value.split(b"\0")[1].decode("utf-8", "replace")

    def own_title(self, window):
        net_name = self.property(window, self.net_wm_name, self.utf8_string, 8)
        if net_name is not None:
            return net_name.decode("utf-8", "replace")
        name = self.read(window, Xatom.WM_NAME)
        if name is None or name.format != 8:
            return ""
        return name.value.decode("latin-1" if name.property_type == Xatom.STRING else "utf-8", "replace")

    def owner(self, window):
        value = self.property(window, Xatom.WM_TRANSIENT_FOR, Xatom.WINDOW, 32)
        owner = value[0] if value is not None and len(value) else 0
        return 0 if owner == self.root.id else owner

    def title(self, window):
        try:
            owner = self.owner(window)
            return self.own_title(owner if owner else window)
        except WindowGone:
            return ""

    def front(self):
        """pid, name, path and title as the grabber answers them: empty
        texts for what cannot be known."""
        window = self.active_window() or 0
        answer = {"pid": "", "name": "", "path": "", "title": ""}
        if window == 0:
            return answer
        try:
            pid = self.pid(window)
            wm_class = self.wm_class(window)
        except WindowGone:
            return answer
        answer["title"] = self.title(window)
        if pid is None:
            return answer
        executable = executable_of(pid)
        answer["pid"] = str(pid)
        answer["name"] = wm_class or os.path.basename(executable)
        answer["path"] = application_path_of(executable) if executable else ""
        return answer
