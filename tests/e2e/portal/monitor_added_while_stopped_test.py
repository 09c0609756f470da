"""Through the real desktop portal with GNOME's compositor (mutter, headless) and the tests'
ScreenCast backend, which restores a remembered choice of monitors as GNOME's does: the choice
was made among two monitors, and a third came while the program was not running. The next
start restores the two without asking, records them, and says once that a monitor is missing;
a left click lets the remembered choice go and the chooser asks, and the files then cover all
three. A monitor the user leaves out in the chooser is no reason for a notice, then or at later starts."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
from portal_services import Monitor, PortalServices, check_screenshot, next_shot, stop_program  # noqa: E402

PATTERN = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None


def test(exe):
    with Desktop(640, 480) as desktop:
        monitors = [Monitor(400, 300, 0, 0), Monitor(240, 180, 400, 0), Monitor(200, 150, 640, 0)]
        with PortalServices(desktop, monitors, pattern_exe=PATTERN, in_use=[0, 1]) as portal:
            program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\nShowFlash=false\r\n")
            program.start()
            wait_for(lambda: portal.monitors_at_choice() == 2, 30, "the choice kept as made among 2 monitors")

            stop_program(program)
            portal.use_monitors([0, 1, 2])
            count = len(program.screenshots())
            program.start()
            program.message_box(30)
            check_screenshot(program.path(next_shot(program)), monitors[:2], [0, 0])
            check(program.screenshots()[count:], "no screenshot of the remembered monitors")
            time.sleep(3)
            check(len(desktop.visible_windows("^Ruvello$")) == 1, "not exactly one notice")
            check(portal.events().count("asked") == 1, f"the start asked: {portal.events()}")
            program.close_message_box()

            program.left_click()
            portal.wait_event("asked", count=2, timeout=60)
            check_screenshot(program.path(next_shot(program, 60)), monitors, [0, 0, 0])

            # Other monitors on purpose, as the README says: quit, delete the file, start, and
            # leave the third one out in the chooser. Later starts say nothing of it.
            stop_program(program)
            os.remove(portal.token_file)
            portal.tell_backend("choose Meta-0,Meta-1")
            asked, restored = portal.events().count("asked"), portal.events().count("restored")
            for start in range(2):
                count = len(program.screenshots())
                program.start()
                shot = wait_for(lambda: program.screenshots()[count:], 30, "a screenshot after the start")[0]
                check_screenshot(program.path(shot), monitors[:2], [0, 0])
                time.sleep(3)
                check(not desktop.visible_windows("^Ruvello$"), f"start {start + 1}: a notice for a monitor "
                      "left out on purpose")
                stop_program(program)
            check(portal.events().count("asked") == asked + 1 and portal.events().count("restored") == restored + 1,
                  f"the second start did not restore the choice: {portal.events()}")
            check(portal.monitors_at_choice() == 3, f"the choice kept as made among {portal.monitors_at_choice()}")


if __name__ == "__main__":
    main(test)
