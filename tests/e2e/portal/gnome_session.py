#!/usr/bin/python3
"""A GNOME user's earlier choice in the screen-cast chooser, "every monitor, remember it", as
GNOME's portal leaves it in the permission store for a restore token:

    gnome_session.py remember TOKEN
"""
import sys
import time

import dbus

STORE = "org.freedesktop.impl.portal.PermissionStore"


def remember(bus, token):
    config = bus.get_object("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig")
    _, monitors, _, _ = config.GetCurrentState(dbus_interface="org.gnome.Mutter.DisplayConfig")
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


if __name__ == "__main__":
    session_bus = dbus.SessionBus()
    remember(session_bus, sys.argv[2])
