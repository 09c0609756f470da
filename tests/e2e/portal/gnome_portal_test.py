"""With GNOME's own screen-cast stack (headless mutter, xdg-desktop-portal-gnome behind the real
front end), after the user once chose every monitor and ticked "remember": the program starts
without a question, composes both monitors pixel for pixel, keeps the new token each start and
starts again silently with it. When GNOME ends the screen cast (here: its portal backend quits,
and mutter ends the streams as after the Stop button): one notice, no file, a running program. (GNOME's chooser itself needs a click, so the first-time question
and a refusal are tested with the tests' backend.)"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
from portal_services import (Monitor, PortalServices, check_screenshot, next_shot, stop_program,  # noqa: E402
                             told_once_and_stopped)

PATTERN = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None


def test(exe):
    with Desktop(640, 480) as desktop:
        monitors = [Monitor(640, 480, 0, 0), Monitor(320, 200, 640, 0)]
        with PortalServices(desktop, monitors, backend="gnome", pattern_exe=PATTERN) as portal:
            portal.remember_choice()
            written = os.stat(portal.token_file).st_ino
            program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=2\r\n").start()
            first = wait_for(program.screenshots, 30, "the first screenshot")[0]
            check_screenshot(program.path(first), monitors, [0, 0])
            # The token the portal gave back replaces the file (this front end may hand out the
            # same one again).
            wait_for(lambda: os.stat(portal.token_file).st_ino != written, 10, "the token stored again")
            check(len(portal.token()) == 36, f"stored token {portal.token()!r}")

            portal.change_picture()
            later = next_shot(program)
            check_screenshot(program.path(later), monitors, [1, 1])

            stop_program(program)
            count = len(program.screenshots())
            program.start()
            again = wait_for(lambda: program.screenshots()[count:], 30, "a screenshot after the restart")[0]
            check_screenshot(program.path(again), monitors, [1, 1])

            portal.end_gnome_backend()
            told_once_and_stopped(program, quiet=4)


if __name__ == "__main__":
    main(test)
