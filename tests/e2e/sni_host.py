"""A StatusNotifierItem watcher that is also the host, on the session bus that
DBUS_SESSION_BUS_ADDRESS names: what a panel of a StatusNotifierItem desktop
runs. Items register with it; it prints one JSON line per event on stdout
("ready", then {"registered": service, "sender": unique name}) and serves
until ended. python3-dbus with the GLib main loop (python3-gi)."""

import json
import os

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
PROPERTIES = "org.freedesktop.DBus.Properties"


def say(**what):
    print(json.dumps(what), flush=True)


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        self.items = []
        self.hosts = []
        super().__init__(bus, "/StatusNotifierWatcher")

    @dbus.service.method(WATCHER, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # Items give a bus name or an object path on their own connection.
        name = service if not service.startswith("/") else sender
        if name not in self.items:
            self.items.append(name)
        say(registered=str(service), sender=str(sender))
        self.StatusNotifierItemRegistered(name)

    @dbus.service.method(WATCHER, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierHost(self, service, sender=None):
        self.hosts.append(str(service))
        self.StatusNotifierHostRegistered()

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemUnregistered(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    def properties(self):
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": dbus.Boolean(True),
                "ProtocolVersion": dbus.Int32(0)}

    # Clients that read properties through introspection (Qt does) must find
    # them there; dbus-python lists only methods and signals by itself.
    @dbus.service.method("org.freedesktop.DBus.Introspectable", in_signature="", out_signature="s",
                         path_keyword="object_path", connection_keyword="connection")
    def Introspect(self, object_path, connection):
        xml = super().Introspect(object_path, connection)
        properties = ('<property name="RegisteredStatusNotifierItems" type="as" access="read"/>'
                      '<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>'
                      '<property name="ProtocolVersion" type="i" access="read"/>')
        marker = '<interface name="%s">' % WATCHER
        return xml.replace(marker, marker + properties, 1)

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.properties()[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.properties()


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus)
    watcher_name = dbus.service.BusName(WATCHER, bus)
    host_name = dbus.service.BusName("org.kde.StatusNotifierHost-%d" % os.getpid(), bus)
    watcher.hosts.append(host_name.get_name())
    say(ready=True, bus=os.environ.get("DBUS_SESSION_BUS_ADDRESS", ""))
    GLib.MainLoop().run()
    del watcher_name, host_name


if __name__ == "__main__":
    main()
