"""Through the real desktop portal with monitor streams of the tests' own: a monitor unplugged
while the program records ends its stream alone, as KDE does. The record goes on with the
monitors that remain, without a notice: every later file decodes, has the size of the remaining
monitors' bounding rectangle and shows their current pictures. When the last stream ends too,
one notice, no file, a running program."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
import pngcheck  # noqa: E402
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
from portal_services import (Monitor, PortalServices, check_screenshot, next_shot,  # noqa: E402
                             told_once_and_stopped)

SOURCE = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None


def test(exe):
    with Desktop(640, 480) as desktop:
        # The monitor that goes lies left of and below the others: the picture's origin moves.
        monitors = [Monitor(400, 300, 0, 0), Monitor(240, 180, 400, 60), Monitor(200, 100, -200, 300)]
        with PortalServices(desktop, monitors, backend="source", source_exe=SOURCE) as portal:
            program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\n").start()
            first = wait_for(program.screenshots, 30, "the first screenshot")[0]
            check_screenshot(program.path(first), monitors, [0, 0, 0])

            portal.tell_source("drop 2")
            portal.source_lines.wait(lambda l: l == "dropped 2", 10, "the third monitor's node removed")
            remaining = monitors[:2]
            after = next_shot(program)
            check_screenshot(program.path(after), remaining, [0, 0])
            portal.tell_source("change")
            wait_for(lambda: all(f"frame {i} 1" in portal.source_lines.all() for i in range(2)), 10,
                     "the changed picture on the remaining monitors")
            changed = next_shot(program)
            check_screenshot(program.path(changed), remaining, [1, 1])
            for name in program.screenshots()[program.screenshots().index(after):]:
                size = pngcheck.read_png(program.path(name))[:2]
                check(size == (640, 300), f"{name} is {size[0]}x{size[1]}, not the remaining 640x300")
            check(not desktop.visible_windows("^Ruvello$"), "a notice although the record went on")
            check(portal.events().count("asked") == 1, f"the program asked again: {portal.events()}")

            portal.tell_source("drop")  # the last monitors go too
            told_once_and_stopped(program, quiet=3)


if __name__ == "__main__":
    main(test)
