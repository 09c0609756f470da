#!/usr/bin/python3
"""KWin's own picture of every screen, taken through ScreenShot2 as the tests see the desktop
(KWin grants it to the copy of the interpreter this runs on, through a desktop entry of the
tests' own). Each line
"shot PATH" on stdin writes a PPM file (RGB) there and answers "done WIDTH HEIGHT", or
"error NAME"."""
import os
import sys

import dbus

FORMATS = {4: "BGRX", 5: "BGRA", 6: "BGRA"}  # QImage's 32-bit formats, little-endian


def shot(bus, path):
    screenshot = bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2")
    read_end, write_end = os.pipe()
    try:
        results = screenshot.CaptureWorkspace({"native-resolution": True}, dbus.types.UnixFd(write_end),
                                              dbus_interface="org.kde.KWin.ScreenShot2", timeout=60)
    finally:
        os.close(write_end)
    width, height, stride = int(results["width"]), int(results["height"]), int(results["stride"])
    if int(results["format"]) not in FORMATS:
        raise ValueError(f"format {int(results['format'])}")
    data = bytearray()
    with os.fdopen(read_end, "rb") as pipe:
        while len(data) < stride * height:
            chunk = pipe.read(stride * height - len(data))
            if not chunk:
                raise ValueError("the pipe ended early")
            data += chunk
    rgb = bytearray(width * height * 3)
    for y in range(height):
        row = data[y * stride:y * stride + width * 4]
        rgb[y * width * 3:(y + 1) * width * 3:3] = row[2::4]
        rgb[y * width * 3 + 1:(y + 1) * width * 3:3] = row[1::4]
        rgb[y * width * 3 + 2:(y + 1) * width * 3:3] = row[0::4]
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height) + bytes(rgb))
    return width, height


def answer(bus, path):
    try:
        return "done %d %d" % shot(bus, path)
    except dbus.DBusException as error:
        return f"error {error.get_dbus_name()}"
    except ValueError as error:
        return f"error {error}"


if __name__ == "__main__":
    session = dbus.SessionBus()
    for line in sys.stdin:
        command, _, target = line.strip().partition(" ")
        print(answer(session, target), flush=True)
