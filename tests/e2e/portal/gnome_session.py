#!/usr/bin/python3
"""A GNOME user's earlier choice in the screen-cast chooser, "every monitor, remember it" (those
in mutter's layout then), as GNOME's portal leaves it in the permission store for a restore
token:

    gnome_session.py remember TOKEN
    gnome_session.py ready            waits until GNOME's portal backend restores such a choice
    gnome_session.py monitors 0,2     turns on only these of mutter's monitors (numbered as mutter
                                      made them), side by side from the left in that order, as
                                      GNOME's display settings do for a monitor plugged in or out

GNOME's backend learns the monitors from mutter shortly after it starts; a restore asked for
before that finds no monitor and opens the chooser, which nobody here answers."""
import sys
import time
import uuid

import dbus
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

STORE = "org.freedesktop.impl.portal.PermissionStore"
PORTAL = "org.freedesktop.portal.Desktop"
SCREENCAST = "org.freedesktop.portal.ScreenCast"


def remember(bus, token):
    config = bus.get_object("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig")
    _, monitors, logical, _ = config.GetCurrentState(dbus_interface="org.gnome.Mutter.DisplayConfig")
    in_use = {str(monitor[0]) for place in logical for monitor in place[5]}
    monitors = [m for m in monitors if str(m[0][0]) in in_use]
    # GNOME's restore data: (provider, version, (created, last used, [(stream id, monitor, match)]))
    # with monitors matched by "vendor:product:serial".
    now = dbus.Int64(int(time.time() * 1e6))
    chosen = dbus.Array([dbus.Struct((dbus.UInt32(i), dbus.UInt32(1), dbus.String(f"{m[0][1]}:{m[0][2]}:{m[0][3]}",
                                                                                  variant_level=1)))
                         for i, m in enumerate(monitors)], signature="(uuv)")
    data = dbus.Struct((dbus.String("GNOME"), dbus.UInt32(1),
                        dbus.Struct((now, now, chosen), signature="xxa(uuv)", variant_level=1)),
                       signature="suv", variant_level=1)
    store = dbus.Interface(bus.get_object(STORE, "/org/freedesktop/impl/portal/PermissionStore"), STORE)
    store.SetPermission("screencast", True, token, "", ["yes"])
    store.SetValue("screencast", True, token, data)


def use_monitors(bus, numbers):
    """A monitor turned off leaves the layout as one unplugged does: its wl_output goes, and what
    showed it (windows, screen casts) learns it; one turned on comes back as one plugged in."""
    config = bus.get_object("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig")
    serial, monitors, _, _ = config.GetCurrentState(dbus_interface="org.gnome.Mutter.DisplayConfig")
    logical, x = [], 0
    for number in numbers:
        connector, modes = monitors[number][0][0], monitors[number][1]
        mode = next(m for m in modes if m[6].get("is-preferred"))
        logical.append((dbus.Int32(x), dbus.Int32(0), dbus.Double(1.0), dbus.UInt32(0), not logical,
                        [(connector, mode[0], {})]))
        x += int(mode[1])
    temporary = dbus.UInt32(1)
    config.ApplyMonitorsConfig(dbus.UInt32(serial), temporary,
                               dbus.Array(logical, signature="(iiduba(ssa{sv}))"), {},
                               dbus_interface="org.gnome.Mutter.DisplayConfig")


def restores(bus, seconds):
    """Whether a session with a freshly remembered choice starts within `seconds`; a chooser that
    opened instead is closed again."""
    token = str(uuid.uuid4())
    remember(bus, token)
    cast = dbus.Interface(bus.get_object(PORTAL, "/org/freedesktop/portal/desktop"), SCREENCAST)
    sender = bus.get_unique_name()[1:].replace(".", "_")
    loop = GLib.MainLoop()
    answers = {}

    def request(method, *args, options):
        handle = f"probe{uuid.uuid4().hex[:8]}"
        path = f"/org/freedesktop/portal/desktop/request/{sender}/{handle}"
        match = bus.add_signal_receiver(lambda code, results: (answers.update({path: (int(code), results)}),
                                                               loop.quit()),
                                        "Response", "org.freedesktop.portal.Request", path=path)
        options["handle_token"] = handle
        getattr(cast, method)(*args, options)
        timer = GLib.timeout_add(int(seconds * 1000), loop.quit)
        loop.run()
        GLib.source_remove(timer)
        match.remove()
        if path not in answers:
            bus.get_object(PORTAL, path).Close(dbus_interface="org.freedesktop.portal.Request")
            return None
        return answers[path]

    created = request("CreateSession", options={"session_handle_token": f"probe{uuid.uuid4().hex[:8]}"})
    session = dbus.ObjectPath(created[1]["session_handle"])
    request("SelectSources", session, options={"types": dbus.UInt32(1), "multiple": True,
                                               "persist_mode": dbus.UInt32(2), "restore_token": token})
    started = request("Start", session, "", options={})
    bus.get_object(PORTAL, session).Close(dbus_interface="org.freedesktop.portal.Session")
    return started is not None and started[0] == 0


if __name__ == "__main__":
    DBusGMainLoop(set_as_default=True)
    session_bus = dbus.SessionBus()
    if sys.argv[1] == "remember":
        remember(session_bus, sys.argv[2])
    elif sys.argv[1] == "monitors":
        use_monitors(session_bus, [int(n) for n in sys.argv[2].split(",")])
    else:
        deadline = time.monotonic() + 90
        while not restores(session_bus, 5):
            if time.monotonic() > deadline:
                sys.exit("GNOME's portal backend never restored a remembered choice")
            time.sleep(1)
        print("ready", flush=True)
