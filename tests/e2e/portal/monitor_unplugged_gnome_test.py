"""With GNOME's own screen-cast stack (headless mutter, xdg-desktop-portal-gnome behind the real
front end) and a remembered choice of both monitors: a monitor unplugged while the program
records (taken out of mutter's layout, as GNOME's display settings do) leaves the record going
on with the other one, without a notice: mutter keeps the gone monitor's stream open without
frames. Plugged in again, it is a monitor that no stream shows: one notice, the files go on with
the first monitor, and a left click asks the portal again, which restores the remembered choice
of both without a question; from then on the files show both."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
from portal_services import Monitor, PortalServices, check_screenshot, next_shot  # noqa: E402

PATTERN = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None


def test(exe):
    with Desktop(640, 480) as desktop:
        monitors = [Monitor(640, 480, 0, 0), Monitor(320, 200, 640, 0)]
        with PortalServices(desktop, monitors, backend="gnome", pattern_exe=PATTERN) as portal:
            portal.remember_choice()
            program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\nShowFlash=false\r\n")
            program.start()
            first = wait_for(program.screenshots, 30, "the first screenshot")[0]
            check_screenshot(program.path(first), monitors, [0, 0])

            portal.use_monitors([0])  # the second monitor unplugged
            check_screenshot(program.path(next_shot(program)), monitors[:1], [0])
            portal.change_picture()
            check_screenshot(program.path(next_shot(program)), monitors[:1], [1])
            check(not desktop.visible_windows("^Ruvello$"), "a notice although the record went on")

            portal.use_monitors([0, 1])  # plugged in again
            program.message_box(30)
            check_screenshot(program.path(next_shot(program)), monitors[:1], [1])
            time.sleep(3)
            check(len(desktop.visible_windows("^Ruvello$")) == 1, "not exactly one notice")
            program.close_message_box()

            # The click's own screenshot may be lost to an automatic one under way (every second
            # here): the files after it show what the new session shows.
            program.left_click()
            check_screenshot(program.path(next_shot(program, 60)), monitors, [1, 1])
            check(portal.token() and len(portal.token()) == 36, "the remembered choice was not kept")
            check(not desktop.visible_windows("^Ruvello$"), "a notice after the new session")
            check(program.alive(), "the program ended")


if __name__ == "__main__":
    main(test)
