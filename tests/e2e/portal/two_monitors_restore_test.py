"""Through the real desktop portal with GNOME's compositor (mutter, headless): the first start asks
once (monitors, several, cursor hidden, kept until revoked) and its screenshots compose both
monitor streams, of different sizes, into one picture of their bounding rectangle with black
where no monitor is, pixel for pixel, showing the screen as it is at the shot. The restore token
is stored; the next start hands it back and the desktop restores the choice without asking. A
request that the portal never answers is made again: the portal spent the token on the lost one,
so the desktop asks, and the record goes on without a notice of failure."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
from portal_services import Monitor, PortalServices, check_screenshot, next_shot, stop_program  # noqa: E402

PATTERN = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None


def test(exe):
    with Desktop(640, 480) as desktop:
        monitors = [Monitor(640, 480, 0, 0), Monitor(320, 200, 640, 0)]
        with PortalServices(desktop, monitors, pattern_exe=PATTERN) as portal:
            program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=2\r\n").start()

            first = wait_for(program.screenshots, 30, "the first screenshot")[0]
            check(portal.events()[:3] == ["select types=1 multiple=1 cursor=1 persist=2 restore=none",
                                          "asked", "answer 0"], f"the first start asked {portal.events()}")
            check_screenshot(program.path(first), monitors, [0, 0])
            token = wait_for(portal.token, 10, "the stored restore token")
            check(len(token) == 36 and token.count("-") == 4, f"stored token {token!r}")

            # The screen changes: the next screenshot shows the new picture, not a kept old one.
            portal.change_picture()
            later = next_shot(program)
            check_screenshot(program.path(later), monitors, [1, 1])

            stop_program(program)
            portal.wait_event("closed")
            check(program.process.returncode == 0, f"the program ended with {program.process.returncode}")

            before = len(program.screenshots())
            program.start()
            wait_for(lambda: len(program.screenshots()) > before, 30, "a screenshot after the restart")
            events = portal.events()
            check(events[events.index("closed") + 1:][:3] == [
                "select types=1 multiple=1 cursor=1 persist=2 restore=known", "restored", "answer 0"],
                f"the second start did not restore silently: {events}")
            check(events.count("asked") == 1, f"the desktop asked again: {events}")
            check_screenshot(program.path(program.screenshots()[-1]), monitors, [1, 1])
            check(portal.token() and len(portal.token()) == 36, "the token after the second start")
            check(program.alive(), "the program ended")

            kept = portal.token()
            stop_program(program)
            portal.wait_event("closed", count=2)
            portal.tell_backend("mute")
            before = len(program.screenshots())
            program.start()
            wait_for(lambda: len(program.screenshots()) > before, 90, "a screenshot after an unanswered request")
            events = portal.events()
            muted = events.index("select types=1 multiple=1 cursor=1 persist=2 restore=known muted")
            later = events[muted + 1:]
            check(any(e.startswith("select") for e in later) and "answer 0" in later,
                  f"the lost request was not made again: {events}")
            check(not desktop.visible_windows("^Ruvello$"), "a notice for a request the portal lost")
            check_screenshot(program.path(program.screenshots()[-1]), monitors, [1, 1])
            check(portal.token() and portal.token() != kept, "no new token after the lost request")


if __name__ == "__main__":
    main(test)
