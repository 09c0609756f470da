"""The X screen changes size under the running program (RandR: a monitor added or removed, a
resolution changed), also in quick succession while it takes a screenshot every second: it keeps
running, every file decodes, and the screenshots and the flash after a change have the size of
that moment."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, MapWatcher, Ruvello, check, main, wait_for  # noqa: E402
import pngcheck  # noqa: E402


def resize(desktop, width, height):
    # The server's one output shows a corner of every size used here; the root window, which the
    # program grabs, takes the new size.
    result = desktop.run("xrandr", "--fb", f"{width}x{height}", "--output", "VNC-0", "--mode", "640x480")
    check(result.returncode == 0, f"xrandr could not make the screen {width}x{height}: {result.stderr}")


def size_of(program, name):
    return pngcheck.png_size(program.path(name))


def shot_after(program, moment):
    """The first screenshot whose time stamp lies surely after `moment` (a whole second later)."""
    stamp = time.strftime("%Y%m%d_%H%M%S", time.localtime(moment + 1))
    return wait_for(lambda: next((n for n in program.screenshots() if n[11:26] > stamp), None), 30,
                    f"a screenshot after {stamp}")


def test(exe):
    with Desktop(1024, 768, server="Xvnc") as desktop:
        program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\nMaxImageCount=2000\r\n")
        program.start()
        first = wait_for(program.screenshots, 30, "the first screenshot")[0]
        check(size_of(program, first) == (1024, 768), f"the first screenshot is {size_of(program, first)}")

        # A second monitor to the right, then back to one smaller one.
        for width, height in ((1824, 768), (800, 600)):
            resize(desktop, width, height)
            changed = time.time()
            name = shot_after(program, changed)
            check(size_of(program, name) == (width, height),
                  f"{name}, taken after the screen became {width}x{height}, is {size_of(program, name)}")

        # The flash covers the screen as it is now.
        watcher = MapWatcher(desktop)
        resize(desktop, 1280, 720)
        since = watcher.mark()
        program.left_click()
        manual = program.path("manueller Screenshot")
        taken = wait_for(lambda: os.path.isdir(manual) and [
            n for n in os.listdir(manual) if n.startswith("ManualShot_")], 30, "the manual screenshot")
        width, height = pngcheck.png_size(os.path.join(manual, taken[0]))
        check((width, height) == (1280, 720), f"the manual screenshot is {width}x{height}")
        watcher.sync()
        check((0, 0, 1280, 720) in watcher.maps(since), f"no flash over the whole screen: {watcher.maps(since)}")

        # Changes in quick succession, racing the shots.
        sizes = [(1600, 900), (640, 480), (1920, 1080), (1024, 768), (700, 500)] * 4
        for width, height in sizes:
            resize(desktop, width, height)
            time.sleep(0.3)
        settled = time.time()
        name = shot_after(program, settled)
        check(size_of(program, name) == sizes[-1], f"{name} after the last change is {size_of(program, name)}")
        check(program.alive(), f"the program ended:\n{program.log_text()}")
        allowed = set(sizes) | {(1024, 768), (1824, 768), (800, 600), (1280, 720)}
        for shot in program.screenshots():
            check(size_of(program, shot) in allowed, f"{shot} is {size_of(program, shot)}")


if __name__ == "__main__":
    main(test)
