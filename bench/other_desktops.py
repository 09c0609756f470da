#!/usr/bin/env python3
"""Desktops not made from the reference frames, for the byte comparison of bench/compare_shots.py:
real photographs and real text rendered by X clients, from Debian packages that are installed
for benchmarking only (never part of the program or its repository):

    apt-get install --no-install-recommends mate-backgrounds xterm x11-apps
    python3 bench/other_desktops.py <folder> [1920x1080,3840x2160]

writes other-photo-WxH.png, other-text-WxH.png and other-busy-WxH.png into <folder>:

- other-photo: MATE's nature photograph Garden.jpg as the wallpaper (scaled to cover the screen,
  no added noise), LadyBird.jpg in a window with a grey frame and title bar, a dark panel along
  the top;
- other-text: xterm windows (Xft, DejaVu Sans Mono, as a terminal or editor shows text) with the
  GNU GPL 3 text, zlib.h and Xlib.h with line numbers and X's colour names; xedit (X core fonts)
  with the Apache licence; on a dark blue gradient;
- other-busy: Storm.jpg as the wallpaper, YellowFlower.jpg in an ImageMagick window, xterm
  windows with text (one light, one dark), xlogo and xcalc.

The files come from mate-backgrounds 1.26.0, base-files (the licences), zlib1g-dev, libx11-dev
and x11-common (rgb.txt); fonts-dejavu-core renders the terminals. The X clients draw on a
private Xvfb display with no window manager; `import` grabs its root window. The screen size
scales every window, font and offset (by height / 1080). Made twice, the photo desktop is the
same to the pixel, the two with X clients within a few dozen pixels (their cursors).
"""
import os
import subprocess
import sys
import tempfile
import time

from xvfb import start_display

PHOTOS = "/usr/share/backgrounds/mate/nature"


def convert(*args):
    subprocess.run(["convert", *args], check=True)


def framed_photo(photo, width, height, s, path):
    """A photo in a window: scaled to cover width x height, a 4 px frame, a 24 px title bar."""
    convert(photo, "-resize", f"{width}x{height}^", "-gravity", "center", "-extent", f"{width}x{height}",
            "-bordercolor", "#d8d8d8", "-border", str(int(4 * s)), "-gravity", "north",
            "-background", "#c8c8c8", "-splice", f"0x{int(24 * s)}", "+repage", path)


def photo_desktop(width, height, path):
    s = height / 1080
    with tempfile.TemporaryDirectory() as folder:
        window = os.path.join(folder, "window.png")
        framed_photo(os.path.join(PHOTOS, "LadyBird.jpg"), int(960 * s), int(600 * s), s, window)
        convert(os.path.join(PHOTOS, "Garden.jpg"), "-resize", f"{width}x{height}^", "-gravity", "center",
                "-extent", f"{width}x{height}", window, "-gravity", "northwest",
                "-geometry", f"+{int(700 * s)}+{int(260 * s)}", "-composite",
                "(", "-size", f"{width}x{int(28 * s)}", "xc:#202428", ")", "-geometry", "+0+0", "-composite",
                "-depth", "8", "-type", "TrueColor", path)


def xterm(s, columns, rows, x, y, command, fg="black", bg="white"):
    return ["xterm", "-fa", "DejaVu Sans Mono", "-fs", str(round(9 * s)), "-geometry",
            f"{columns}x{rows}+{int(x * s)}+{int(y * s)}", "-fg", fg, "-bg", bg, "-b", str(int(4 * s)),
            "-hold", "-e", "sh", "-c", command]


def text_clients(s):
    return [
        xterm(s, 92, 74, 6, 6, "cat /usr/share/common-licenses/GPL-3"),
        xterm(s, 100, 44, 700, 6, "cat -n /usr/include/zlib.h | sed -n 200,600p", fg="#d4d4d4", bg="#1e1e1e"),
        xterm(s, 100, 30, 700, 640, "cat -n /usr/include/X11/Xlib.h | sed -n 1500,1800p", fg="#1a1a1a",
              bg="#fdf6e3"),
        xterm(s, 38, 70, 1620, 6, "sed -n 20,200p /usr/share/X11/rgb.txt", fg="#33ff66", bg="black"),
        ["xedit", "-geometry", f"{int(620 * s)}x{int(300 * s)}+{int(1000 * s)}+{int(760 * s)}",
         "/usr/share/common-licenses/Apache-2.0"],
    ]


def busy_clients(s, photo_window):
    return [
        xterm(s, 96, 50, 20, 40, "cat -n /usr/include/zlib.h | sed -n 900,1300p"),
        xterm(s, 90, 28, 60, 660, "sed -n 300,700p /usr/share/common-licenses/GPL-3", fg="#e0e0e0",
              bg="#202020"),
        ["display", "-geometry", f"+{int(980 * s)}+{int(80 * s)}", photo_window],
        ["xlogo", "-geometry", f"{int(160 * s)}x{int(160 * s)}+{int(1720 * s)}+{int(700 * s)}"],
        ["xcalc", "-geometry", f"+{int(1500 * s)}+{int(720 * s)}"],
    ]


def x_desktop(width, height, background, clients, path):
    """`clients` on a private display over `background`, grabbed once they have drawn."""
    xvfb, display = start_display(width, height)
    env = dict(os.environ, DISPLAY=display)
    started = []
    try:
        # display's status is 1 even when it set the root window's picture.
        subprocess.run(["display", "-window", "root", background], env=env, capture_output=True)
        for client in clients:
            started.append(subprocess.Popen(client, env=env, stdout=subprocess.DEVNULL,
                                            stderr=subprocess.DEVNULL))
            time.sleep(0.5)  # each maps over the one before, in this order
        time.sleep(3)
        subprocess.run(["import", "-window", "root", "-depth", "8", "-type", "TrueColor", path], env=env,
                       check=True)
    finally:
        for process in started:
            process.terminate()
            process.wait()
        xvfb.terminate()
        xvfb.wait()


def text_desktop(width, height, path):
    s = height / 1080
    with tempfile.TemporaryDirectory() as folder:
        background = os.path.join(folder, "background.png")
        convert("-size", f"{width}x{height}", "gradient:#2b3a4a-#141a22", background)
        x_desktop(width, height, background, text_clients(s), path)


def busy_desktop(width, height, path):
    s = height / 1080
    with tempfile.TemporaryDirectory() as folder:
        background = os.path.join(folder, "background.png")
        convert(os.path.join(PHOTOS, "Storm.jpg"), "-resize", f"{width}x{height}^", "-gravity", "center",
                "-extent", f"{width}x{height}", background)
        window = os.path.join(folder, "window.png")
        convert(os.path.join(PHOTOS, "YellowFlower.jpg"), "-resize", f"{int(900 * s)}x{int(560 * s)}^",
                "-gravity", "center", "-extent", f"{int(900 * s)}x{int(560 * s)}", window)
        x_desktop(width, height, background, busy_clients(s, window), path)


BUILDERS = {"other-photo": photo_desktop, "other-text": text_desktop, "other-busy": busy_desktop}


def build(folder, name, width, height):
    """The frame of scene `name` at that size in `folder`, made once."""
    path = os.path.join(folder, f"{name}-{width}x{height}.png")
    if not os.path.exists(path):
        BUILDERS[name](width, height, path)
    return path


def main():
    folder = sys.argv[1]
    sizes = sys.argv[2] if len(sys.argv) > 2 else "1920x1080,3840x2160"
    os.makedirs(folder, exist_ok=True)
    for size in sizes.split(","):
        width, height = map(int, size.split("x"))
        for name in BUILDERS:
            print(build(folder, name, width, height))


if __name__ == "__main__":
    main()
