#!/usr/bin/env python3
"""What the system does to ruvello.exe, played under Wine by the helper with the messages Windows
sends: closing its window and ending the session while one of its message boxes is open, locking
and disconnecting the session, and an autostart entry switched off in Task Manager.

    wine_system_events.py run CASE --exe EXE --template TEMPLATE [--artifacts DIR] --helper EXE
"""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from wine_e2e import AUTOSTART, MANUAL_FOLDER, MANUAL_NAME, check, down, main, shots  # noqa: E402
from wine_e2e import refused_autostart_box, wait_for_shots, write_ini  # noqa: E402
from wine_faults import left_click_flashes, quit_from_menu, stays  # noqa: E402
from wine_session import wait_for  # noqa: E402

APPROVED_KEY = ("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved"
                "\\StartupFolder")


def helper_says(session, helper, *arguments):
    result = session.wine(str(helper), *arguments)
    check(result.returncode == 0,
          f"helper {' '.join(arguments)} failed with {result.returncode}: {result.stdout!r}")
    return result.stdout.decode("utf-8", "replace")


def ends_cleanly(session, box_title):
    """The program is gone within the limit, with exit code 0, its icon and its box."""
    check(session.wait_for_exit() == 0, "the exit code is not 0")
    session.wait_for_no_tray_icon()
    check(not session.viewable_windows(box_title), "the message box outlived the program")


def start_with_startup_box(session, helper):
    """A screenshot folder whose parent is missing: start-up ends with a message box, which
    stands on its own (no owner) above other windows."""
    missing = session.root / "fehlt" / "Bilder"
    write_ini(session, ScreenshotFolder=session.windows_path(missing) + "\\")
    session.start()
    wait_for(lambda: session.viewable_windows("Ruvello"), 30, "the start-up message box")
    boxes = helper_says(session, helper, "boxes")
    check("box owner=0 topmost=1" in boxes, f"the start-up box is owned or not topmost: {boxes}")


def case_close_with_box(session, helper):
    """WM_CLOSE to the main window while the start-up box is open, then the session's end
    (WM_QUERYENDSESSION, WM_ENDSESSION) while it is open, then WM_CLOSE while the autostart
    switch's box is open, and while the tray menu is open: each time the program ends at once
    with the normal shutdown."""
    start_with_startup_box(session, helper)
    helper_says(session, helper, "close")
    ends_cleanly(session, "Ruvello")

    start_with_startup_box(session, helper)
    helper_says(session, helper, "end-session")
    ends_cleanly(session, "Ruvello")

    write_ini(session)
    refused_autostart_box(session)
    helper_says(session, helper, "close")
    ends_cleanly(session, "Autostart")

    session.start()
    session.open_menu()
    helper_says(session, helper, "close")
    ends_cleanly(session, "Autostart")
    check(not session.open_popups(), "the menu outlived the program")


def case_session_lock(session, helper):
    """While the session is locked or disconnected no screenshot is written, neither by the
    schedule nor by a click; unlocked or connected again, both go on."""
    write_ini(session, IntervalSeconds=1)
    session.start()
    wait_for_shots(session.folder, 2, 20)
    manual = session.folder / MANUAL_FOLDER
    for away, back in (("lock", "unlock"), ("disconnect", "connect")):
        helper_says(session, helper, "session", away)
        before = {p.name for p in shots(session.folder)}
        stays(lambda: {p.name for p in shots(session.folder)} <= before, 3.5,
              f"a screenshot was written while the session was {away}ed")
        manual_before = len(shots(manual, MANUAL_NAME)) if manual.is_dir() else 0
        left_click_flashes(session)
        stays(lambda: not manual.is_dir() or len(shots(manual, MANUAL_NAME)) == manual_before,
              1.5, f"a manual screenshot was written while the session was {away}ed")
        helper_says(session, helper, "session", back)
        wait_for(lambda: {p.name for p in shots(session.folder)} - before, 20,
                 f"a screenshot once the session was {back}ed")
        left_click_flashes(session)
        wait_for(lambda: manual.is_dir() and len(shots(manual, MANUAL_NAME)) > manual_before,
                 20, f"a manual screenshot once the session was {back}ed")
    quit_from_menu(session)


def approval(session):
    """The first byte of the program's entry under StartupApproved, or None without one."""
    result = session.wine("reg", "query", APPROVED_KEY, "/v", "ruvello.lnk")
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        if "ruvello.lnk" in line and "REG_BINARY" in line:
            return int(line.split()[-1][:2], 16)
    return None


def case_autostart_switched_off(session):
    """An autostart entry switched off in Task Manager (its shortcut stays, the StartupApproved
    value says "disabled"): the switch counts it as off, so a click switches it on again, and
    Windows would start the program at the next logon."""
    session.start()
    wait_for_shots(session.folder, 1, 20)
    link = session.startup_folder() / "ruvello.lnk"
    session.choose(*down(AUTOSTART, "Return"))
    wait_for(link.exists, 20, "the shortcut in the Startup folder")
    quit_from_menu(session)

    result = session.wine("reg", "add", APPROVED_KEY, "/v", "ruvello.lnk", "/t", "REG_BINARY",
                          "/d", "030000000000000000000000", "/f")
    check(result.returncode == 0 and approval(session) == 3, "test set-up: no disabled value")
    session.start()
    session.choose(*down(AUTOSTART, "Return"))
    wait_for(lambda: approval(session) is None or approval(session) % 2 == 0, 20,
             "the entry to be approved again")
    check(link.exists(), "the click took the shortcut away: it counted as on")
    quit_from_menu(session)


CASES = {
    "close_with_box": case_close_with_box,
    "session_lock": case_session_lock,
    "autostart_switched_off": case_autostart_switched_off,
}
NEEDS_HELPER = {"close_with_box", "session_lock"}

if __name__ == "__main__":
    sys.exit(main(CASES, NEEDS_HELPER, {}))
