"""Through the real desktop portal with GNOME's compositor (mutter, headless) and the tests'
ScreenCast backend, which restores a remembered choice of monitors as GNOME's does: a monitor
plugged in while the program records (put into mutter's layout) is one that no stream shows.
One notice; the files go on with the monitors chosen before; nothing is asked by itself. A left
click asks again: the remembered choice comes back without the new monitor, so the program
lets it go and the chooser asks; from then on the files cover all three monitors, and the
choice remembered now restores all of them at the next start. A monitor unplugged again leaves
the record going on with the others."""
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
            first = wait_for(program.screenshots, 30, "the first screenshot")[0]
            check_screenshot(program.path(first), monitors[:2], [0, 0])
            check(portal.events().count("asked") == 1, f"the first start asked {portal.events()}")
            wait_for(lambda: portal.monitors_at_choice() == 2, 10, "the choice kept as made among 2 monitors")

            portal.use_monitors([0, 1, 2])  # a third monitor plugged in
            program.message_box(30)
            check_screenshot(program.path(next_shot(program)), monitors[:2], [0, 0])
            time.sleep(3)
            check(len(desktop.visible_windows("^Ruvello$")) == 1, "not exactly one notice")
            program.close_message_box()
            check(portal.events().count("asked") == 1 and "closed" not in portal.events(),
                  f"the program asked by itself: {portal.events()}")

            # The click's own screenshot may be lost to an automatic one under way (every second
            # here); the sessions it asks for are what counts.
            program.left_click()
            portal.wait_event("answer 0", count=3, timeout=60)
            # The sessions close while the next one is asked for, in whatever order they meet.
            portal.wait_event("closed", count=2)
            events = portal.events()
            check([e for e in events[3:] if e != "closed"] == [
                "select types=1 multiple=1 cursor=1 persist=2 restore=known", "restored", "answer 0",
                "select types=1 multiple=1 cursor=1 persist=2 restore=none", "asked", "answer 0"]
                and events.count("closed") == 2, f"the click did not ask anew: {events}")
            check_screenshot(program.path(next_shot(program)), monitors, [0, 0, 0])
            check(not desktop.visible_windows("^Ruvello$"), "a notice after the new session")
            check(portal.monitors_at_choice() == 3, f"the new choice kept as made among {portal.monitors_at_choice()}")

            portal.use_monitors([0, 1])  # the third one unplugged again
            check_screenshot(program.path(next_shot(program)), monitors[:2], [0, 0])
            check(not desktop.visible_windows("^Ruvello$"), "a notice although the record went on")

            stop_program(program)
            portal.use_monitors([0, 1, 2])
            asked = portal.events().count("asked")
            count = len(program.screenshots())
            program.start()
            again = wait_for(lambda: program.screenshots()[count:], 30, "a screenshot after the restart")[0]
            check_screenshot(program.path(again), monitors, [0, 0, 0])
            check(portal.events().count("asked") == asked, f"the restart asked: {portal.events()}")
            time.sleep(2)
            check(not desktop.visible_windows("^Ruvello$"), "a notice after a restart that shows all monitors")
            check(program.alive(), "the program ended")


if __name__ == "__main__":
    main(test)
