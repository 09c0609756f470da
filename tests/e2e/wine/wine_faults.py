#!/usr/bin/env python3
"""Fault scenarios of ruvello.exe under Wine: a screenshot folder that is missing, removed,
read-only or full; damaged and hand-edited config.ini files, hidden or read-only; odd and
undeletable files in the folder; a tray host that comes late or restarts. Each asserts what the
user sees (message box, icon, menu) and what is on disk afterwards.

    wine_faults.py run CASE --exe EXE --template TEMPLATE [--artifacts DIR] [--helper EXE]
"""
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from file_formats import check_png  # noqa: E402
from wine_e2e import (MANUAL_FOLDER, USE_COUNT, USE_SIZE, FlashWatch, check,  # noqa: E402
                      check_spacing, down, expected_first_ini, main, no_leftovers, shots,
                      wait_for_shots, write_ini)
from wine_session import SCREEN_HEIGHT, SCREEN_WIDTH, Failure, Skipped, wait_for  # noqa: E402

# --- what the user does and sees ---------------------------------------------------------


def answers_menu(session):
    session.open_menu()
    session.xdotool("key", "Escape")
    wait_for(lambda: not session.open_popups(), 20, "the tray menu to close")
    check(session.running(), "the program ended")


def quit_from_menu(session):
    """"Beenden" from the icon's menu: the program ends with 0 and takes its icon along."""
    session.choose("Up", "Return")
    check(session.wait_for_exit() == 0, "the exit code is not 0")
    session.wait_for_no_tray_icon()


def close_message_box(session, title="Ruvello", timeout=30):
    box = wait_for(lambda: session.viewable_windows(title), timeout, "the message box")[0]
    # Wine draws the OK button into the box, centred, 22 pixels above its lower edge.
    session.click_point(box.x + box.width // 2, box.y + box.height - 22, 1)
    wait_for(lambda: not session.viewable_windows(title), 20, "the message box to close")


def left_click_flashes(session, clicks=3):
    """A left click on the icon is answered with the flash (the manual shot), which goes again
    (a click meanwhile would land on the overlay). One that the watch missed, on a busy machine,
    is clicked again."""
    for _ in range(clicks):
        watch = FlashWatch(session)
        session.click_icon(1)
        watch.run(6)
        wait_for(lambda: not session.viewable_windows("Blitz"), 20, "the flash to go")
        if watch.appeared:
            return
    raise Failure(f"{clicks} left clicks were not answered with the flash")


def stays(condition, seconds, what):
    """Fails as soon as `condition` turns false within `seconds` (for things that must not
    happen, where there is nothing to wait for)."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        check(condition(), what)
        time.sleep(0.2)


def seen_shots(folder, count, timeout, limit=None):
    """Waits until `count` different screenshots have been in `folder`; with `limit`, fails
    when more than it (and the one just written before the limits run) are there at once.
    Returns their file times, oldest first."""
    seen = {}
    def enough():
        now = shots(folder)
        check(limit is None or len(now) <= limit + 1, f"{len(now)} screenshots at once: {now}")
        for path in now:
            try:
                seen.setdefault(path.name, path.stat().st_mtime)
            except FileNotFoundError:
                pass  # deleted by the limits meanwhile
        return len(seen) >= count
    wait_for(enough, timeout, f"{count} screenshots in {folder}", interval=0.1)
    return sorted(seen.values())


def clear_shots(folder):
    for path in shots(folder):
        path.unlink()


def set_busy_background(session):
    """Random pixels on the root window, so that each screenshot is about 3 MB of PNG."""
    picture = session.root / "busy.png"
    subprocess.run(["convert", "-size", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}", "xc:", "+noise",
                    "Random", str(picture)], check=True, timeout=60)
    subprocess.run(["display", "-window", "root", str(picture)], env=session.x_env(),
                   timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def whole_screenshots(folder):
    """Every PNG in the folder is complete and of the screen's size."""
    for path in Path(folder).glob("*.png"):
        try:
            size = check_png(path.read_bytes())
        except ValueError as error:
            raise Failure(f"{path.name} is not a whole PNG: {error}") from None
        check(size == (SCREEN_WIDTH, SCREEN_HEIGHT), f"{path.name} is {size}")


def attributes(session, path):
    """The DOS attribute letters Wine reports for the file (attrib.exe)."""
    out = session.wine("attrib", session.windows_path(path)).stdout.decode("cp1252", "replace")
    return set(out.split("Z:\\")[0].replace(" ", ""))


def settings_section(session, **changes):
    """The [Settings] section as the program writes it with defaults and `changes`."""
    text = expected_first_ini(session)
    for key, value in changes.items():
        start = text.index(key.encode() + b"=")
        end = text.index(b"\r\n", start)
        text = text[:start] + f"{key}={value}".encode() + text[end:]
    return text


# --- the screenshot folder ---------------------------------------------------------------


def case_folder_missing(session):
    """A folder whose parent is missing at start-up: a message box says so at the end of
    start-up, the program runs on with icon and menu and creates nothing. A folder removed while
    the program runs: screenshots and a manual shot fail quietly, the folder is not made again;
    once it is back, the screenshots go on."""
    missing = session.root / "fehlt" / "Eltern" / "Bilder"
    write_ini(session, IntervalSeconds=1,
              ScreenshotFolder=session.windows_path(missing) + "\\")
    session.start()
    close_message_box(session)
    stays(lambda: not (session.root / "fehlt").exists() and not shots(session.folder), 2.5,
          "the missing folder was made, or screenshots went elsewhere")
    session.choose(*down(USE_SIZE, "Return"))
    session.wait_for_ini("UseMaxSize=false")
    check(f"ScreenshotFolder={session.windows_path(missing)}\\\r\n" in session.ini_text(),
          "the configured folder was not kept:\n" + session.ini_text())
    quit_from_menu(session)

    folder = session.root / "Bilder"
    folder.mkdir()
    write_ini(session, IntervalSeconds=1, ScreenshotFolder=session.windows_path(folder) + "\\")
    before = session.ini.read_bytes()
    session.start()
    wait_for_shots(folder, 1, 20)
    shutil.rmtree(folder)
    stays(lambda: not folder.exists(), 2.5, "the removed folder came back without a restart")
    left_click_flashes(session)  # its folder for manual shots cannot be made now
    answers_menu(session)
    check(not folder.exists(), "a click made the removed folder again")
    folder.mkdir()
    wait_for_shots(folder, 1, 20)
    quit_from_menu(session)
    check(session.ini.read_bytes() == before, "config.ini changed")
    check(not (folder / MANUAL_FOLDER).exists(), "the manual shot was written after all")
    whole_screenshots(folder)
    no_leftovers(folder)


def case_folder_full(session):
    """A file system that fills up (a small tmpfs): the screenshots that fit are whole, the
    ones that do not leave no partial or temporary file, the program answers its menu, and it
    writes again once there is room."""
    full = session.mount_tmpfs("voll", "size=8m")
    if full is None:
        raise Skipped("no permission to mount a small tmpfs here")
    set_busy_background(session)
    write_ini(session, IntervalSeconds=1, UseMaxSize="false",
              ScreenshotFolder=session.windows_path(full) + "\\")
    session.start()

    # Two fit; each try after them stops with the disk full, its temporary file in sight for
    # the time the encoder writes it.
    tried = set()
    def failed_tries():
        tried.update(p.name for p in full.glob("*.tmp"))
        done = {p.name for p in full.glob("*.png")}
        return len(done) >= 2 and len([t for t in tried if t.split(".png.")[0] + ".png"
                                       not in done]) >= 2
    wait_for(failed_tries, 60, "two screenshots and then two that did not fit", interval=0.05)
    check(shutil.disk_usage(full).free < 3_000_000, "test set-up: the tmpfs is not full")
    answers_menu(session)

    before = {p.name for p in shots(full)}
    shots(full)[0].unlink()
    wait_for(lambda: {p.name for p in shots(full)} - before, 20,
             "a screenshot once there is room again")
    quit_from_menu(session)
    no_leftovers(full)
    whole_screenshots(full)


def case_folder_read_only(session):
    """A read-only folder (a read-only tmpfs; as a normal user a folder without write rights):
    nothing in it changes, neither by the screenshots nor by the limits nor by a manual shot;
    the program answers its icon and menu."""
    folder = session.mount_tmpfs("nurlesen", "size=1m")
    old = b"\x89PNG an old screenshot"
    if folder is not None:
        (folder / "alt.png").write_bytes(old)
        check(session.remount_read_only(folder), "could not remount the tmpfs read-only")
    elif os.geteuid() != 0:
        folder = session.root / "nurlesen"
        (folder / "alt.png").write_bytes(old)
        folder.chmod(0o555)
    else:
        raise Skipped("no permission to mount, and root may write anywhere")
    listing = sorted(os.listdir(folder))
    write_ini(session, IntervalSeconds=1, MaxImageCount=1,
              ScreenshotFolder=session.windows_path(folder) + "\\")
    session.start()
    stays(lambda: sorted(os.listdir(folder)) == listing, 3, "the read-only folder changed")
    left_click_flashes(session)
    session.choose(*down(USE_SIZE, "Return"))
    session.wait_for_ini("UseMaxSize=false")
    quit_from_menu(session)
    check(sorted(os.listdir(folder)) == listing and (folder / "alt.png").read_bytes() == old,
          f"the read-only folder changed: {os.listdir(folder)}")
    check(not shots(session.folder), "the screenshots went to the program folder instead")


# --- config.ini --------------------------------------------------------------------------

GARBAGE = bytes(range(256)) * 8


def start_on(session, content, what):
    """A start on `content` in config.ini (after the screenshots of an earlier start are
    gone); start-up must leave the file as it is."""
    clear_shots(session.folder)
    session.ini.write_bytes(content)
    session.start()
    wait_for_shots(session.folder, 1, 20)
    check(session.ini.read_bytes() == content, f"{what}: start-up changed config.ini")


def case_config_damaged(session):
    """An empty config.ini, binary garbage and values of 2,000 characters: the documented
    values are used (defaults for the unreadable, the first 1,023 characters of a long value),
    start-up leaves the file alone, and a change from the menu adds or replaces the settings
    only: the rest of the file keeps its bytes."""
    start_on(session, b"", "empty")
    stays(lambda: len(shots(session.folder)) == 1, 2, "empty: not the default interval")
    session.choose(*down(USE_SIZE, "Return"))
    session.wait_for_ini_bytes(settings_section(session, UseMaxSize="false"), "empty")
    quit_from_menu(session)

    start_on(session, GARBAGE, "garbage")
    session.choose(*down(USE_SIZE, "Return"))
    # The old bytes stay as they were; the section follows them.
    session.wait_for_ini_bytes(GARBAGE + b"\r\n" + settings_section(session, UseMaxSize="false"),
                               "garbage")
    quit_from_menu(session)

    keep = b"[Other]\r\nKeep=" + b"y" * 2000 + b"\r\n"
    long_values = (b"[Settings]\r\nIntervalSeconds=1" + b" " * 1999 + b"\r\nShowFlash=" +
                   b"x" * 2000 + b"\r\n" + keep)
    start_on(session, long_values, "long values")
    seen_shots(session.folder, 3, 20)  # one a second
    left_click_flashes(session)  # ShowFlash is no word for yes or no: the default, on
    session.choose(*down(USE_SIZE, "Return"))
    expected = (b"[Settings]\r\nIntervalSeconds=1\r\nShowFlash=true\r\nMaxImageCount=500\r\n"
                b"UseMaxCount=true\r\nUseMaxSize=false\r\nMaxTotalSizeMB=500\r\n" +
                b"ScreenshotFolder=" + session.windows_path(session.folder).encode() +
                b"\\\r\n" + keep)
    session.wait_for_ini_bytes(expected, "long values")
    quit_from_menu(session)


def case_config_hand_edited(session):
    """Keys in other case and order, duplicate keys and sections, blanks, hex, negative,
    out-of-range and non-numeric values: the first of duplicates counts, unusable numbers take
    their defaults, numbers beyond 32 bits the largest, an interval beyond 2,147,483 s that
    one; a change from the menu writes the values in place (a line it writes loses the blanks
    around "=") and appends the missing keys to the section; the rest keeps its bytes."""
    hand = (b"; mine\r\n[settings]\r\nmaximagecount = 3\r\nINTERVALSECONDS=&H2\r\n"
            b"MaxImageCount=99\r\nMaxTotalSizeMB=-7\r\nUseMaxCount= Ja \r\n"
            b"ShowFlash=vielleicht\r\n[Settings]\r\nIntervalSeconds=1\r\n[Other]\r\nKeep=me\r\n")
    start_on(session, hand, "hand-edited")
    check_spacing(seen_shots(session.folder, 6, 40, limit=3), 2, "hand-edited")
    session.choose(*down(USE_SIZE, "Return"))
    folder = session.windows_path(session.folder).encode() + b"\\"
    expected = (b"; mine\r\n[settings]\r\nmaximagecount=3\r\nINTERVALSECONDS=2\r\n"
                b"MaxImageCount=99\r\nMaxTotalSizeMB=500\r\nUseMaxCount=true\r\n"
                b"ShowFlash=true\r\nUseMaxSize=false\r\nScreenshotFolder=" + folder + b"\r\n"
                b"[Settings]\r\nIntervalSeconds=1\r\n[Other]\r\nKeep=me\r\n")
    session.wait_for_ini_bytes(expected, "hand-edited")
    quit_from_menu(session)
    check(len(shots(session.folder)) == 3, f"MaxImageCount 3 kept {shots(session.folder)}")

    numbers = (b"[Settings]\r\nIntervalSeconds=2147484\r\nMaxImageCount=99999999999\r\n"
               b"MaxTotalSizeMB=zwei\r\nUseMaxCount=1\r\nUseMaxSize=off\r\nShowFlash=0\r\n")
    start_on(session, numbers, "numbers")
    session.choose(*down(USE_COUNT, "Return"))
    expected = (b"[Settings]\r\nIntervalSeconds=2147483\r\nMaxImageCount=2147483647\r\n"
                b"MaxTotalSizeMB=500\r\nUseMaxCount=false\r\nUseMaxSize=false\r\n"
                b"ShowFlash=false\r\nScreenshotFolder=" + folder + b"\r\n")
    session.wait_for_ini_bytes(expected, "numbers")
    quit_from_menu(session)


def start_with_attribute(session, content, attribute):
    """config.ini with `content` and one attribute ("H" hidden, "R" read-only), an empty
    screenshot folder, and the program started."""
    session.ini.write_bytes(content)
    session.wine("attrib", "+" + attribute.lower(), session.windows_path(session.ini))
    check(attribute in attributes(session, session.ini),
          f"test set-up: config.ini lacks the attribute {attribute}")
    clear_shots(session.folder)
    session.start()


def case_config_attributes(session):
    """A hidden config.ini counts as present: its values are used and start-up writes no
    defaults into it; a change from the menu writes its values and it stays hidden. A config.ini
    with the read-only attribute (which Wine turns into missing write rights, and which root
    could write through all the same): its values are used, a change from the menu leaves it
    byte for byte and no temporary file beside it, the program goes on."""
    hidden = b"[Settings]\r\nIntervalSeconds=1\r\nMaxImageCount=2\r\n"
    start_with_attribute(session, hidden, "H")
    seen_shots(session.folder, 4, 30, limit=2)
    check(session.ini.read_bytes() == hidden, f"hidden: start-up wrote {session.ini_text()!r}")
    session.choose(*down(USE_SIZE, "Return"))
    session.wait_for_ini_bytes(settings_section(
        session, IntervalSeconds=1, MaxImageCount=2, UseMaxSize="false"), "hidden")
    check("H" in attributes(session, session.ini), "config.ini is no longer hidden")
    quit_from_menu(session)

    session.wine("attrib", "-h", session.windows_path(session.ini))
    read_only = b"[Settings]\r\nIntervalSeconds=1\r\nMaxImageCount=2\r\nUseMaxSize=true\r\n"
    start_with_attribute(session, read_only, "R")
    seen_shots(session.folder, 3, 30, limit=2)
    session.choose(*down(USE_SIZE, "Return"))
    after = {p.name for p in shots(session.folder)}
    wait_for(lambda: {p.name for p in shots(session.folder)} - after, 20,
             "a screenshot after the change (the change is done by then)")
    check(session.ini.read_bytes() == read_only,
          f"the read-only config.ini changed: {session.ini_text()!r}")
    quit_from_menu(session)
    stray = {p.name for p in session.folder.iterdir()} - {"config.ini", "ruvello.exe"} - {
        p.name for p in shots(session.folder)}
    check(not stray, f"stray files beside a read-only config.ini: {stray}")
    check(len(shots(session.folder)) == 2, f"MaxImageCount 2 kept {shots(session.folder)}")


def case_config_disk_full(session):
    """config.ini on a full disk (the program folder on a small tmpfs): a change from the menu
    cannot be stored and leaves the file byte for byte (a file rewritten in place would be cut
    off), with no temporary file; once there is room, the next change
    stores every setting and keeps the rest of the file."""
    disk = session.mount_tmpfs("platte", "size=4m")
    if disk is None:
        raise Skipped("no permission to mount a small tmpfs here")
    session.folder = disk
    shutil.copy2(session.exe, disk / "ruvello.exe")
    pictures = session.root / "Bilder"
    pictures.mkdir()
    head = (b"[Settings]\r\nIntervalSeconds=600\r\nMaxImageCount=7\r\nUseMaxSize=true\r\n"
            b"ScreenshotFolder=" + session.windows_path(pictures).encode() + b"\\\r\n")
    note = b"; " + b"n" * (4096 - len(head) - 4) + b"\r\n"  # one page of the tmpfs in all
    session.ini.write_bytes(head + note)
    session.start()
    wait_for_shots(pictures, 1, 20)
    with open(disk / "fuellung", "wb") as filler:
        try:
            filler.write(b"\0" * shutil.disk_usage(disk).free)
        except OSError:
            pass  # as full as it gets
    session.choose(*down(USE_SIZE, "Return"))
    answers_menu(session)  # the change was handled before the icon answers again
    check(session.ini.read_bytes() == head + note,
          f"a change on a full disk damaged config.ini: {session.ini.read_bytes()[-200:]!r}")
    no_leftovers(disk)

    (disk / "fuellung").unlink()
    session.choose(*down(USE_COUNT, "Return"))
    # The missing keys follow the section's last key, before the comment that ends it.
    expected = (head.replace(b"UseMaxSize=true", b"UseMaxSize=false") +
                b"UseMaxCount=false\r\nMaxTotalSizeMB=500\r\nShowFlash=true\r\n" + note)
    session.wait_for_ini_bytes(expected, "then")
    quit_from_menu(session)
    no_leftovers(disk)


# --- what else is in the folder ----------------------------------------------------------

ODD_NAMES = ["mit Leerzeichen.png", "Grüße ä ö ü ß.png", "雪.png", "x" * 251 + ".png"]
NOT_PNG = ["notiz.png.txt", "bild.pngx"]


def case_odd_files(session, helper):
    """A PNG file held open by another program without delete sharing, a folder named x.png,
    files that are no PNG, and old PNG files with spaces, non-ASCII letters and names of 255
    characters: only PNG files directly in the folder are deleted, the held file stays while it
    is held, the limit still applies to the rest, and the program runs on; once let go, the held
    file goes too."""
    write_ini(session, IntervalSeconds=1, MaxImageCount=2)
    old = time.time() - 3600
    held = session.folder / "gehalten.png"
    held.write_bytes(b"\x89PNG held open")
    os.utime(held, (old - 60, old - 60))
    for i, name in enumerate(ODD_NAMES):
        (session.folder / name).write_bytes(b"\x89PNG odd " + bytes([i]))
        os.utime(session.folder / name, (old + i, old + i))
    for name in NOT_PNG:
        (session.folder / name).write_bytes(b"no picture")
        os.utime(session.folder / name, (old - 120, old - 120))
    (session.folder / "x.png").mkdir()
    (session.folder / "x.png" / "inner.png").write_bytes(b"\x89PNG inner")
    os.utime(session.folder / "x.png", (old - 120, old - 120))

    holder = subprocess.Popen(["wine", str(helper), "hold", session.windows_path(held)],
                              env=session.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=session.log)
    session.processes.append(holder)
    check(holder.stdout.readline().strip() == b"held", "the helper could not hold the file")

    session.start()
    wait_for(lambda: not any((session.folder / n).exists() for n in ODD_NAMES), 20,
             "the old files with odd names to be deleted")
    seen_shots(session.folder, 4, 30, limit=2)
    check(held.read_bytes() == b"\x89PNG held open", "the held file changed")
    answers_menu(session)

    holder.stdin.close()  # lets go of the file: it is the oldest, so it goes next
    check(holder.wait(20) == 0, "the helper failed")
    wait_for(lambda: not held.exists(), 20, "the file once let go")
    quit_from_menu(session)
    left = sorted(p.name for p in session.folder.iterdir())
    check(len(shots(session.folder)) == 2, f"the count limit does not hold: {left}")
    check((session.folder / "x.png" / "inner.png").is_file(), "the folder x.png was touched")
    check(all((session.folder / n).is_file() for n in NOT_PNG), f"a non-PNG file went: {left}")


# --- the tray host -----------------------------------------------------------------------


def case_tray_host_late(session):
    """No tray host at start-up (as at logon before the desktop is ready): the program takes its
    screenshots, and Wine keeps the icon in a window of its own ("Wine System Tray"), where it
    answers. A tray host that starts later gets the icon; one that restarts gets it back; the
    menu works in each."""
    session.stop_tray()
    write_ini(session, IntervalSeconds=2)
    session.start(wait_for_icon=False)
    wait_for_shots(session.folder, 1, 20)
    fallback = wait_for(lambda: session.viewable_windows("Wine System Tray"), 30,
                        "Wine's own tray window")[0]
    session.click_point(fallback.x + 10, fallback.y + 10, 3)
    wait_for(session.open_popups, 20, "the menu from the icon in Wine's tray window")
    session.xdotool("key", "--delay", "120", *down(USE_COUNT, "Return"))
    session.wait_for_ini("UseMaxCount=false")

    session.start_tray()
    session.wait_for_tray_icon(30)
    session.choose(*down(USE_SIZE, "Return"))
    session.wait_for_ini("UseMaxSize=false")

    session.stop_tray()
    count = len(shots(session.folder))
    wait_for_shots(session.folder, count + 1, 20)  # goes on without a tray host
    session.start_tray()
    session.wait_for_tray_icon(30)
    session.choose(*down(USE_SIZE, "Return"))
    session.wait_for_ini("UseMaxSize=true")
    quit_from_menu(session)


CASES = {
    "folder_missing": case_folder_missing,
    "folder_full": case_folder_full,
    "folder_read_only": case_folder_read_only,
    "config_damaged": case_config_damaged,
    "config_hand_edited": case_config_hand_edited,
    "config_attributes": case_config_attributes,
    "config_disk_full": case_config_disk_full,
    "odd_files": case_odd_files,
    "tray_host_late": case_tray_host_late,
}
NEEDS_HELPER = {"odd_files"}

if __name__ == "__main__":
    sys.exit(main(CASES, NEEDS_HELPER, {}))
