"""Through the real desktop portal with monitor streams of the tests' own: the pixel formats a
compositor may send besides mutter's (BGRA, RGBx, RGBA), a monitor left of and below the first
one, and a monitor whose first frame was lost (sent before the program's stream joined, with
nothing after it on a still screen) still make one exact picture."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
from portal_services import Monitor, PortalServices, check_screenshot, next_shot  # noqa: E402

SOURCE = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None


def test(exe):
    with Desktop(640, 480) as desktop:
        monitors = [Monitor(400, 300, 0, 0, "BGRA", lose_first_frame=True),
                    Monitor(240, 180, 400, 60, "RGBx"), Monitor(200, 100, -200, 300, "RGBA")]
        with PortalServices(desktop, monitors, backend="source", source_exe=SOURCE) as portal:
            program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=2\r\n").start()
            first = wait_for(program.screenshots, 30, "the first screenshot")[0]
            check("lost 0" in portal.source_lines.all(), "the first frame was not lost")
            check_screenshot(program.path(first), monitors, [0, 0, 0])

            portal.tell_source("change")
            wait_for(lambda: portal.frames_sent(1), 10, "the changed picture")
            later = next_shot(program)
            check_screenshot(program.path(later), monitors, [1, 1, 1])


if __name__ == "__main__":
    main(test)
