"""A switch and an interval choice from the menu: each is saved at once; the new interval takes
no screenshot now and puts the next one a full interval later, then every interval."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402


def test(exe):
    with Desktop(640, 480) as desktop:
        program = Ruvello(desktop, exe)
        program.start()
        wait_for(program.screenshots, 30, "the start-up screenshot")

        program.choose("Up", "Up", "Return")  # "Begrenzung Speicher aktiv", second from the end
        program.wait_config(b"UseMaxSize=false\r\n")
        check(b"UseMaxCount=true\r\n" in program.config(), "the other switch changed too")

        program.choose("Down", "Down", "Down", "Right", "Return")  # "Intervall" -> "5 Sek."
        chosen = time.monotonic()
        program.wait_config(b"IntervalSeconds=5\r\n")
        check(len(program.screenshots()) == 1, "choosing an interval took a screenshot")

        wait_for(lambda: len(program.screenshots()) == 2, 30, "the first screenshot after the choice")
        first_after = time.monotonic() - chosen
        check(4.0 <= first_after <= 6.5, f"the next screenshot came {first_after:.1f} s after the choice")
        wait_for(lambda: len(program.screenshots()) == 4, 15, "two more screenshots")
        times = [os.stat(program.path(n)).st_mtime for n in program.screenshots()[1:]]
        gaps = [b - a for a, b in zip(times, times[1:])]
        check(all(4.4 <= g <= 5.6 for g in gaps), f"screenshots are not 5 s apart: {gaps}")
        check(b"UseMaxSize=false\r\n" in program.config(), "the switch was lost")


if __name__ == "__main__":
    main(test)
