"""KDE Plasma's compositor (KWin 5.27, headless) refuses ScreenShot2 to a program that no desktop
entry it reads names: here the program's own entry goes to a data folder that KWin does not
read, as if the user had none. The program then takes the desktop portal; where no portal
backend for the screen cast runs, as here, it writes no file at all (never a black one), says
so, and keeps running; a manual screenshot writes no file either."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Ruvello, check, main, wait_for  # noqa: E402
from kwin_desktop import MONITORS, KWinDesktop  # noqa: E402
from portal_services import expected_screen  # noqa: E402
from wayland import TrayItem, differing  # noqa: E402

OUTPUT_CONFIG = os.path.abspath(sys.argv[2])
PATTERN = os.path.abspath(sys.argv[3])
# The program retries a refusal for 10 s after it wrote its entry (KWin may not have read it
# yet); the notice comes after that.
NOTICE_WAIT = 90


def test(exe):
    with KWinDesktop(OUTPUT_CONFIG, PATTERN) as desktop:
        _, _, pattern = expected_screen(list(MONITORS), [0, 0])
        unread = os.path.join(desktop.tmp, "unread-data")
        desktop.env["XDG_DATA_HOME"] = unread  # the program's, not KWin's, which runs already
        program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\n")
        program.start()

        wait_for(lambda: os.path.isdir(os.path.join(unread, "applications")), 30, "the program's entry")
        check(not desktop.program_entries(), f"an entry where KWin reads: {desktop.program_entries()}")
        shown = wait_for(lambda: differing(desktop.screen()[2], pattern) > 0, NOTICE_WAIT, "a notice on the screen")
        check(shown, "no notice")
        check(program.alive(), "the program ended after KWin refused")

        # A left click asks the portal again; it is not there, so no file either.
        TrayItem(desktop).activate()
        time.sleep(5)
        check(program.alive(), "the program ended after a manual screenshot")
        check(not program.screenshots(), f"files were written: {program.screenshots()}")
        manual = program.path("manueller Screenshot")
        check(not os.path.isdir(manual) or not os.listdir(manual), "a manual screenshot was written")


if __name__ == "__main__":
    main(test)
