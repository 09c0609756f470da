"""A monitor stream that never sends a frame, even when asked again: after two automatic shots
that waited for it in vain, one notice, no file, and the program keeps running without asking
the desktop again by itself."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main  # noqa: E402
from portal_services import Monitor, PortalServices  # noqa: E402

SOURCE = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None


def test(exe):
    with Desktop(640, 480) as desktop:
        monitors = [Monitor(320, 240, 0, 0), Monitor(200, 150, 320, 0, silent=True)]
        with PortalServices(desktop, monitors, backend="source", source_exe=SOURCE) as portal:
            program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\n").start()
            program.message_box(40)
            time.sleep(3)
            check(not program.screenshots(), "a screenshot without the silent monitor's picture")
            check(len(desktop.visible_windows("^Ruvello$")) == 1, "not exactly one notice")
            check(portal.events().count("asked") == 1, f"the program asked by itself: {portal.events()}")
            check(program.alive(), "the program ended")


if __name__ == "__main__":
    main(test)
