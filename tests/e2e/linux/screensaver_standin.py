"""Stands in for the desktop's screen saver on a private session bus (no desktop session runs
here): org.freedesktop.ScreenSaver.GetActive answers what the file given as argument says
("1" active), and every call is counted in that file's sibling ".calls"."""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


class ScreenSaver(dbus.service.Object):
    def __init__(self, bus, state_file):
        super().__init__(bus, "/org/freedesktop/ScreenSaver")
        self.state_file = state_file
        self.calls = 0

    @dbus.service.method("org.freedesktop.ScreenSaver", out_signature="b")
    def GetActive(self):
        self.calls += 1
        with open(self.state_file + ".calls", "w") as f:
            f.write(str(self.calls))
        with open(self.state_file) as f:
            return f.read().strip() == "1"


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName("org.freedesktop.ScreenSaver", bus)
    ScreenSaver(bus, sys.argv[1])
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name


if __name__ == "__main__":
    main()
