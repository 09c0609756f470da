#!/usr/bin/python3
"""A ScreenCast backend of the tests' own, behind the real xdg-desktop-portal front end: the
desktop-specific half that a desktop's portal package provides (its monitor chooser). It answers
for the monitors the test's PipeWire source offers, and tells on stdout what it was asked:

    event select types=1 multiple=1 cursor=1 persist=2 restore=none|known|foreign
    event asked          the chooser would have shown (no usable restore data)
    event restored       the earlier choice came back through the front end: nothing asked
    event answer N       the response code of Start
    event closed         the session ended from the program's side (Session.Close)
    event stopped        the session ended from the desktop's side (the user's "Stop")

Commands on stdin: "answer grant|cancel|fail" (how the next chooser ends), "stop", "quit".
Streams come as JSON: [{"node": id, "x": .., "y": .., "width": .., "height": ..}, ...].
"""
import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

BUS_NAME = "org.freedesktop.impl.portal.desktop.ruvellotest"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
SCREENCAST = "org.freedesktop.impl.portal.ScreenCast"
SESSION = "org.freedesktop.impl.portal.Session"
VENDOR = "ruvello-test"
ANSWERS = {"grant": 0, "cancel": 1, "fail": 2}


def say(line):
    print(line, flush=True)


class Session(dbus.service.Object):
    def __init__(self, bus, path, sessions):
        super().__init__(bus, path)
        self.path = path
        self.sessions = sessions
        self.restored = False
        self.persist_mode = 0
        sessions[path] = self

    @dbus.service.method(SESSION, in_signature="", out_signature="")
    def Close(self):
        say("event closed")
        self.end()

    @dbus.service.signal(SESSION, signature="")
    def Closed(self):
        pass

    def end(self):
        self.sessions.pop(self.path, None)
        self.remove_from_connection()


class ScreenCast(dbus.service.Object):
    def __init__(self, bus, streams):
        super().__init__(bus, PORTAL_PATH)
        self.bus = bus
        self.streams = streams
        self.answer = "grant"
        self.sessions = {}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface != SCREENCAST:
            return {}
        return {"AvailableSourceTypes": dbus.UInt32(1 | 2), "AvailableCursorModes": dbus.UInt32(1 | 2),
                "version": dbus.UInt32(4)}

    @dbus.service.method(SCREENCAST, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_handle, app_id, options):
        Session(self.bus, session_handle, self.sessions)
        return dbus.UInt32(0), {"session_id": dbus.String(str(session_handle), variant_level=1)}

    @dbus.service.method(SCREENCAST, in_signature="oosa{sv}", out_signature="ua{sv}")
    def SelectSources(self, handle, session_handle, app_id, options):
        session = self.sessions.get(session_handle)
        if session is None:
            return dbus.UInt32(2), {}
        data = options.get("restore_data")
        restore = "none"
        if data is not None:
            restore = "known" if str(data[0]) == VENDOR and int(data[1]) == 1 else "foreign"
        session.restored = restore == "known"
        session.persist_mode = int(options.get("persist_mode", 0))
        say(f"event select types={int(options.get('types', 0))} multiple={int(bool(options.get('multiple', False)))} "
            f"cursor={int(options.get('cursor_mode', 0))} persist={session.persist_mode} restore={restore}")
        return dbus.UInt32(0), {}

    @dbus.service.method(SCREENCAST, in_signature="oossa{sv}", out_signature="ua{sv}")
    def Start(self, handle, session_handle, app_id, parent_window, options):
        session = self.sessions.get(session_handle)
        if session is None:
            return dbus.UInt32(2), {}
        if session.restored:
            say("event restored")
            response = 0
        else:
            say("event asked")
            response = ANSWERS[self.answer]
        say(f"event answer {response}")
        if response != 0:
            return dbus.UInt32(response), {}
        streams = dbus.Array([
            dbus.Struct((dbus.UInt32(s["node"]), {
                "position": dbus.Struct((dbus.Int32(s["x"]), dbus.Int32(s["y"])), variant_level=1),
                "size": dbus.Struct((dbus.Int32(s["width"]), dbus.Int32(s["height"])), variant_level=1),
                "source_type": dbus.UInt32(1, variant_level=1),
            }), signature="ua{sv}") for s in self.streams], signature="(ua{sv})")
        results = {"streams": dbus.Array(streams, signature="(ua{sv})", variant_level=1)}
        if session.persist_mode:
            chosen = ",".join(str(s["node"]) for s in self.streams)
            results["restore_data"] = dbus.Struct(
                (dbus.String(VENDOR), dbus.UInt32(1), dbus.String(chosen, variant_level=1)),
                signature="suv", variant_level=1)
            results["persist_mode"] = dbus.UInt32(session.persist_mode, variant_level=1)
        return dbus.UInt32(0), results

    def stop(self):
        for session in list(self.sessions.values()):
            say("event stopped")
            session.Closed()
            session.end()


def main():
    streams = json.loads(sys.argv[1])
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    backend = ScreenCast(bus, streams)
    name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)  # noqa: F841 (kept while running)
    loop = GLib.MainLoop()

    def on_input(source, condition):
        line = sys.stdin.readline()
        if not line or line.strip() == "quit":
            loop.quit()
            return False
        words = line.split()
        if words[:1] == ["answer"] and len(words) == 2 and words[1] in ANSWERS:
            backend.answer = words[1]
        elif words == ["stop"]:
            backend.stop()
        say(f"done {line.strip()}")
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_input)
    say("ready")
    loop.run()


if __name__ == "__main__":
    main()
