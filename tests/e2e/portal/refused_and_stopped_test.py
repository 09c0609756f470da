"""Through the real desktop portal with GNOME's compositor (mutter, headless), the three ways the
screen stops being shared: the user refuses in the chooser, stops a running session (mutter ends
the streams and the session closes), or only the monitor streams go away.
Each time: no file, one message, a program that keeps running and never asks again by itself;
a manual screenshot asks again, and once allowed it and the automatic ones are written."""
import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
from portal_services import Monitor, PortalServices, check_screenshot  # noqa: E402

PATTERN = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
QUIET = 3.5  # seconds of one-second ticks that must stay without a file, a question or a message


def boxes(desktop):
    return desktop.visible_windows("^Ruvello$")


def close_box(desktop):
    """Return on the focused box, as a keyboard types it. A key sent to the box's window alone
    (XSendEvent) reaches Qt once more, in the next box, after the first one has closed."""
    desktop.run("xdotool", "windowfocus", "--sync", boxes(desktop)[0], "key", "Return")
    wait_for(lambda: not boxes(desktop), 10, "the message box to close")
    desktop.focus_follows_pointer()


def told_once_and_quiet(desktop, program, portal, asked):
    """One message comes, no file and no question follow while it is up or after it closed."""
    program.message_box(30)
    shots = len(program.screenshots())
    time.sleep(QUIET)
    check(len(boxes(desktop)) == 1, f"{len(boxes(desktop))} message boxes instead of one")
    close_box(desktop)
    time.sleep(QUIET)
    check(not boxes(desktop), "a second message came")
    check(len(program.screenshots()) == shots, "automatic screenshots went on without the screen")
    check(portal.events().count("asked") == asked, f"the program asked by itself: {portal.events()}")
    check(program.alive(), "the program ended")


def manual_shots(program):
    """The finished manual screenshots; a file being written is a hidden temporary one."""
    folder = program.path("manueller Screenshot")
    names = os.listdir(folder) if os.path.isdir(folder) else []
    return sorted(n for n in names if re.fullmatch(r"ManualShot_\d{8}_\d{6}\.png", n))


def manual_shot_asks_again(desktop, program, portal, asked, phases):
    made = len(manual_shots(program))
    shots = len(program.screenshots())
    program.left_click()
    portal.wait_event("asked", count=asked)
    names = wait_for(lambda: manual_shots(program)[made:], 30, "the manual screenshot after allowing")
    check_screenshot(program.path("manueller Screenshot", names[0]), portal.monitors, phases)
    wait_for(lambda: len(program.screenshots()) > shots, 15, "automatic screenshots again")
    time.sleep(1.1)  # the next manual screenshot gets a name of its own


def test(exe):
    with Desktop(640, 480) as desktop:
        monitors = [Monitor(400, 300, 0, 0), Monitor(240, 180, 400, 0)]
        with PortalServices(desktop, monitors, pattern_exe=PATTERN, answer="cancel") as portal:
            program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\nShowFlash=false\r\n")
            program.start()

            portal.wait_event("answer 1")
            told_once_and_quiet(desktop, program, portal, asked=1)
            check(not program.screenshots(), "a screenshot without the user's leave")
            check(portal.token() is None, "a token was stored for a refused request")

            portal.tell_backend("answer grant")
            manual_shot_asks_again(desktop, program, portal, asked=2, phases=[0, 0])

            portal.tell_backend("stop")  # the user's "Stop" in the desktop's top bar
            told_once_and_quiet(desktop, program, portal, asked=2)
            check(portal.token() is None, "the token of a stopped session was kept")

            manual_shot_asks_again(desktop, program, portal, asked=3, phases=[0, 0])

            portal.tell_backend("vanish")  # the monitor streams end without a word on the bus
            told_once_and_quiet(desktop, program, portal, asked=3)


if __name__ == "__main__":
    main(test)
