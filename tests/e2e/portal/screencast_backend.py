#!/usr/bin/python3
"""A ScreenCast backend of the tests' own, behind the real xdg-desktop-portal front end: the
desktop-specific half that a desktop's portal package provides (its monitor chooser). It records
the monitors of a running mutter through mutter's ScreenCast API, as GNOME's portal backend
does ("mutter"), or hands out fixed PipeWire nodes given as JSON, and tells on stdout what it
was asked. Like GNOME's, the chooser offers mutter's monitors in use and a choice remembered
restores the monitors chosen then, by connector; when one of them is missing, the chooser
shows instead:

    event select types=1 multiple=1 cursor=1 persist=2 restore=none|known|foreign
    event asked          the chooser would have shown (no usable restore data)
    event restored       the earlier choice came back through the front end: nothing asked
    event answer N ...   the response code of Start (with the streams when 0)
    event closed         the session ended from the program's side (Session.Close)
    event stopped        the session ended from the desktop's side (the user's "Stop")

Commands on stdin: "answer grant|cancel|fail" (how the next chooser ends), "choose A,B" (the
monitors, by connector, that the chooser grants from then on; "choose all"), "stop" (the user's
Stop: the streams end and the session closes), "vanish" (only the streams end), "mute" (the next
SelectSources is never answered: a portal that lost it, "event select ... muted"), "quit".
Fixed streams come as JSON: [{"node": id, "x": .., "y": .., "width": .., "height": ..}, ...].
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
MUTTER = "org.gnome.Mutter.ScreenCast"
VENDOR = "ruvello-test"
ANSWERS = {"grant": 0, "cancel": 1, "fail": 2}


def say(line):
    print(line, flush=True)


class FixedStreams:
    """Nodes that exist already: the test's own PipeWire source."""

    def __init__(self, streams, ended):
        self.streams = streams
        self.ended = ended

    def restorable(self, remembered):
        return True

    def start(self, done, only=None):
        done(self.streams)

    @staticmethod
    def remember(streams):
        return ",".join(str(s["node"]) for s in streams)

    def stop(self, tell):
        if tell:
            self.ended()


class MutterStreams:
    """Every monitor of the running mutter, one RecordMonitor stream each with the cursor hidden;
    the nodes are announced by signal once the session started."""

    def __init__(self, bus, ended):
        self.bus = bus
        self.ended = ended
        self.session = None

    def in_use(self):
        """The connectors of the monitors in mutter's layout, left to right."""
        config = self.bus.get_object("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig")
        _, _, logical, _ = config.GetCurrentState(dbus_interface="org.gnome.Mutter.DisplayConfig")
        return [str(monitor[0]) for place in sorted(logical, key=lambda l: (int(l[0]), int(l[1])))
                for monitor in place[5]]

    def restorable(self, remembered):
        return set(remembered.split(",")) <= set(self.in_use())

    def start(self, done, only=None):
        """Records the monitors in use, or `only` those of them (connectors, comma-separated)."""
        connectors = [c for c in self.in_use() if only is None or c in only.split(",")]
        path = self.bus.get_object(MUTTER, "/org/gnome/Mutter/ScreenCast").CreateSession({}, dbus_interface=MUTTER)
        self.session = dbus.Interface(self.bus.get_object(MUTTER, path), MUTTER + ".Session")
        self.bus.add_signal_receiver(self._closed, "Closed", MUTTER + ".Session", path=path)
        streams, nodes = [], {}

        def added(node, stream):
            nodes[stream] = int(node)
            if len(nodes) == len(streams):
                done([self._describe(s, connector, nodes[s]) for s, connector in streams])

        for connector in connectors:
            stream = self.session.RecordMonitor(connector, {"cursor-mode": dbus.UInt32(0)})
            self.bus.add_signal_receiver(lambda node, s=stream: added(node, s), "PipeWireStreamAdded",
                                         MUTTER + ".Stream", path=stream)
            streams.append((stream, connector))
        self.session.Start()

    def _describe(self, path, connector, node):
        parameters = self.bus.get_object(MUTTER, path).Get(MUTTER + ".Stream", "Parameters",
                                                           dbus_interface=dbus.PROPERTIES_IFACE)
        (x, y), (width, height) = parameters["position"], parameters["size"]
        return {"node": node, "x": int(x), "y": int(y), "width": int(width), "height": int(height),
                "connector": connector}

    @staticmethod
    def remember(streams):
        return ",".join(s["connector"] for s in streams)

    def _closed(self):
        if self.session is not None:
            self.session = None
            self.ended()

    def stop(self, tell):
        session, self.session = self.session, None
        if session is not None:
            session.Stop()
            if tell:
                self.ended()


class Session(dbus.service.Object):
    def __init__(self, bus, path, sessions):
        super().__init__(bus, path)
        self.path = path
        self.sessions = sessions
        self.restored = False
        self.remembered = None  # what the restore data chose
        self.persist_mode = 0
        self.streams = None
        sessions[path] = self

    @dbus.service.method(SESSION, in_signature="", out_signature="")
    def Close(self):
        say("event closed")
        if self.streams:
            self.streams.stop(tell=False)
        self.end()

    @dbus.service.signal(SESSION, signature="")
    def Closed(self):
        pass

    def ended(self):
        say("event stopped")
        self.Closed()
        self.end()

    def end(self):
        if self.sessions.pop(self.path, None) is not None:
            self.remove_from_connection()


class ScreenCast(dbus.service.Object):
    def __init__(self, bus, streams):
        super().__init__(bus, PORTAL_PATH)
        self.bus = bus
        self.streams = streams  # "mutter" or a list of fixed streams
        self.answer = "grant"
        self.choice = None  # what the chooser grants: every monitor
        self.mute = False  # the next SelectSources goes unanswered
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

    @dbus.service.method(SCREENCAST, in_signature="oosa{sv}", out_signature="ua{sv}",
                         async_callbacks=("reply", "error"))
    def SelectSources(self, handle, session_handle, app_id, options, reply, error):
        session = self.sessions.get(session_handle)
        if session is None:
            reply(dbus.UInt32(2), {})
            return
        data = options.get("restore_data")
        restore = "none"
        if data is not None:
            restore = "known" if str(data[0]) == VENDOR and int(data[1]) == 1 else "foreign"
        session.restored = restore == "known"
        session.remembered = str(data[2]) if session.restored else None
        session.persist_mode = int(options.get("persist_mode", 0))
        muted, self.mute = self.mute, False
        say(f"event select types={int(options.get('types', 0))} "
            f"multiple={int(bool(options.get('multiple', False)))} cursor={int(options.get('cursor_mode', 0))} "
            f"persist={session.persist_mode} restore={restore}" + (" muted" if muted else ""))
        if not muted:
            reply(dbus.UInt32(0), {})

    @dbus.service.method(SCREENCAST, in_signature="oossa{sv}", out_signature="ua{sv}",
                         async_callbacks=("reply", "error"))
    def Start(self, handle, session_handle, app_id, parent_window, options, reply, error):
        session = self.sessions.get(session_handle)
        if session is None:
            reply(dbus.UInt32(2), {})
            return
        if self.streams == "mutter":
            streams = MutterStreams(self.bus, session.ended)
        else:
            streams = FixedStreams(self.streams, session.ended)
        restored = session.restored and streams.restorable(session.remembered)
        say("event restored" if restored else "event asked")
        response = 0 if restored else ANSWERS[self.answer]
        if response != 0:
            say(f"event answer {response}")
            reply(dbus.UInt32(response), {})
            return

        def started(streams):
            say(f"event answer 0 {json.dumps(streams)}")
            reply(dbus.UInt32(0), self._results(session, streams))

        session.streams = streams
        try:
            streams.start(started, session.remembered if restored else self.choice)
        except dbus.DBusException as failure:
            error(failure)

    def _results(self, session, streams):
        listed = dbus.Array([
            dbus.Struct((dbus.UInt32(s["node"]), {
                "position": dbus.Struct((dbus.Int32(s["x"]), dbus.Int32(s["y"])), variant_level=1),
                "size": dbus.Struct((dbus.Int32(s["width"]), dbus.Int32(s["height"])), variant_level=1),
                "source_type": dbus.UInt32(1, variant_level=1),
            }), signature="ua{sv}") for s in streams], signature="(ua{sv})", variant_level=1)
        results = {"streams": listed}
        if session.persist_mode:
            chosen = session.streams.remember(streams)
            results["restore_data"] = dbus.Struct(
                (dbus.String(VENDOR), dbus.UInt32(1), dbus.String(chosen, variant_level=1)),
                signature="suv", variant_level=1)
            results["persist_mode"] = dbus.UInt32(session.persist_mode, variant_level=1)
        return results

    def stop(self, vanish):
        for session in list(self.sessions.values()):
            if session.streams:
                session.streams.stop(tell=not vanish)


def main():
    streams = sys.argv[1] if sys.argv[1] == "mutter" else json.loads(sys.argv[1])
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    backend = ScreenCast(bus, streams)
    backend.bus_name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)  # owned while it runs
    loop = GLib.MainLoop()

    def on_input(source, condition):
        line = sys.stdin.readline()
        if not line or line.strip() == "quit":
            loop.quit()
            return False
        words = line.split()
        if words[:1] == ["answer"] and len(words) == 2 and words[1] in ANSWERS:
            backend.answer = words[1]
        elif words[:1] == ["choose"] and len(words) == 2:
            backend.choice = None if words[1] == "all" else words[1]
        elif words == ["mute"]:
            backend.mute = True
        elif words in (["stop"], ["vanish"]):
            backend.stop(vanish=words == ["vanish"])
        say(f"done {line.strip()}")
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_input)
    say("ready")
    loop.run()


if __name__ == "__main__":
    main()
