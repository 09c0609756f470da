#!/usr/bin/env python3
"""End-to-end tests of ruvello.exe under Wine, driven with real clicks and keys on a virtual X
display, checked on the files it writes.

    wine_e2e.py prepare TEMPLATE                 the Wine prefix every test copies
    wine_e2e.py remove TEMPLATE
    wine_e2e.py run CASE --exe EXE --template TEMPLATE [--artifacts DIR] [--helper EXE]
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import time
from datetime import datetime
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from file_formats import decode_png, parse_shell_link  # noqa: E402
from wine_session import (SCREEN_HEIGHT, SCREEN_WIDTH, Failure, Session,  # noqa: E402
                          Skipped, prepare_prefix, remove_prefix, wait_for)

SKIP_RETURN_CODE = 77  # CTest's SKIP_RETURN_CODE for these tests

# Down presses from a freshly opened menu to each item: Wine's menus step over separators but
# not over disabled items (title, counts, version).
MAX_COUNT, INTERVAL, FLASH, AUTOSTART = 5, 7, 8, 9
USE_COUNT, USE_SIZE = 10, 11

SHOT_NAME = re.compile(r"^Screenshot_(\d{8}_\d{6})(?:_\d+)?\.png$")
MANUAL_NAME = re.compile(r"^ManualShot_(\d{8}_\d{6})(?:_\d+)?\.png$")
MANUAL_FOLDER = "manueller Screenshot"
OPACITY_160 = 0xA0A0A0A0  # X's 32-bit opacity for alpha 160 of 255


def check(condition, message):
    if not condition:
        raise Failure(message)


def down(count, *then):
    return ["Down"] * count + list(then)


def shots(folder, pattern=SHOT_NAME):
    return sorted(p for p in Path(folder).iterdir() if p.is_file() and pattern.match(p.name))


def wait_for_shots(folder, count, timeout, pattern=SHOT_NAME):
    return wait_for(lambda: len(shots(folder, pattern)) >= count and shots(folder, pattern),
                    timeout, f"{count} screenshot(s) in {folder}", interval=0.2)


# How late a screenshot may come on a busy machine: the tick that finds it due comes up to 500 ms
# after the due time, later when the machine is loaded, and the capture and the writing take their
# time too.
LATENESS = 2.0


def check_spacing(times, interval, what):
    """Screenshots (their file times) `interval` seconds apart: each may come late, but the due
    times keep to their grid, so no gap is off by more than the lateness and the mean gap by
    that part of it."""
    gaps = [round(b - a, 2) for a, b in zip(times, times[1:])]
    mean = (times[-1] - times[0]) / len(gaps)
    check(all(interval - LATENESS <= gap <= interval + LATENESS for gap in gaps) and
          abs(mean - interval) <= LATENESS / len(gaps),
          f"{what}: gaps {gaps} for an interval of {interval} s")


def settled(path, timeout=10):
    """Waits until a just-written file has its final size (the program moves it into place
    whole, so this is a formality) and returns its bytes."""
    last = None
    def same():
        nonlocal last
        now = path.stat().st_size
        stable = now == last and now > 0
        last = now
        return stable
    wait_for(same, timeout, f"{path.name} to be complete", interval=0.3)
    return path.read_bytes()


def identify(session, path):
    """ImageMagick's reading of the file: format and size."""
    result = subprocess.run(["identify", "-format", "%m %w %h", str(path)],
                            capture_output=True, text=True, timeout=60)
    check(result.returncode == 0, f"identify refused {path.name}: {result.stderr.strip()}")
    return result.stdout.split()


def check_screen_png(session, path):
    """A complete PNG of the X screen: right size for ImageMagick and for the zlib decoder, the
    trayer panel (light grey, top right) where it is on the screen, and the black root window
    elsewhere: the capture starts at the screen's origin."""
    data = settled(path)
    check(identify(session, path) == ["PNG", str(SCREEN_WIDTH), str(SCREEN_HEIGHT)],
          f"{path.name} is not a {SCREEN_WIDTH}x{SCREEN_HEIGHT} PNG")
    image = decode_png(data)
    check((image.width, image.height) == (SCREEN_WIDTH, SCREEN_HEIGHT), "decoded size differs")
    panel = image.pixel(SCREEN_WIDTH - 190, 4)
    check(min(panel) > 150, f"no trayer panel at the top right of {path.name}: {panel}")
    check(image.pixel(SCREEN_WIDTH // 2, SCREEN_HEIGHT // 2) == (0, 0, 0),
          f"the middle of {path.name} is not the black root window")
    return image


def no_leftovers(folder):
    left = [p.name for p in Path(folder).rglob("*") if p.name.lower().endswith(".tmp")]
    check(not left, f"temporary files left behind: {left}")


def default_ini(folder):
    """The seven defaults with `folder` (ending in a backslash) as the screenshot folder, in the
    ANSI code page (Windows-1252 for English and German), or in UTF-8 when the folder has no
    form there."""
    lines = ["[Settings]", "IntervalSeconds=60", "MaxImageCount=500", "UseMaxCount=true",
             "UseMaxSize=true", "MaxTotalSizeMB=500", "ScreenshotFolder=" + folder,
             "ShowFlash=true"]
    text = "\r\n".join(lines) + "\r\n"
    try:
        return text.encode("cp1252")
    except UnicodeEncodeError:
        return text.encode("utf-8")


def expected_first_ini(session):
    """The seven defaults of a first start, with the program folder as the screenshot folder."""
    return default_ini(session.windows_path(session.folder) + "\\")


def write_ini(session, **values):
    text = "[Settings]\r\n" + "".join(f"{k}={v}\r\n" for k, v in values.items())
    session.ini.write_bytes(text.encode("latin-1"))


# --- the cases ---------------------------------------------------------------------------


def case_first_start(session):
    """First start in a program folder (whose name needs the ANSI code page) that holds only the
    temporary files of a run that ended while writing: config.ini with the defaults, byte for
    byte, and the first screenshot at once; the temporary files are gone, another program's
    stays."""
    for name in ("config.ini", "Screenshot_20240101_000000.png"):
        (session.folder / f"{name}.4294967292.tmp").write_bytes(b"left by a run that ended")
    foreign = session.folder / "Notiz.4294967292.tmp"
    foreign.write_bytes(b"not ours")
    started = datetime.now()
    session.start()
    wait_for(lambda: session.ini_text().count("\r\n") >= 8, 30, "config.ini to be complete")
    check(session.ini.read_bytes() == expected_first_ini(session),
          "config.ini differs:\n" + repr(session.ini.read_bytes()))
    first = wait_for_shots(session.folder, 1, 20)
    check(len(first) == 1, f"more than one screenshot at start: {first}")
    stamp = datetime.strptime(SHOT_NAME.match(first[0].name)[1], "%Y%m%d_%H%M%S")
    check(abs((stamp - started).total_seconds()) < 60,
          f"the name's time {stamp} is not the time of the start {started}")
    check_screen_png(session, first[0])
    check(foreign.exists(), "another program's temporary file was removed")
    foreign.unlink()
    no_leftovers(session.folder)


def case_unicode_folder(session):
    """A program folder whose name has no form in the ANSI code page: the screenshots go there,
    config.ini is written there in UTF-8 with that folder, and a setting changed from the menu
    is read back at the next start."""
    session.start()
    first = wait_for_shots(session.folder, 1, 20)
    check_screen_png(session, first[0])
    folder_line = f"ScreenshotFolder={session.windows_path(session.folder)}\\\r\n".encode()
    wait_for(lambda: session.ini.exists() and folder_line in session.ini.read_bytes(), 20,
             "config.ini with the program folder in UTF-8")
    session.choose(*down(FLASH, "Return"))
    session.wait_for_ini("ShowFlash=false")
    session.choose("Up", "Return")
    check(session.wait_for_exit() == 0, "the exit code is not 0")
    session.wait_for_no_tray_icon()
    session.start()
    shot, watch = manual_shot(session, 1, 3)
    check(not watch.appeared, "the flash appeared although switched off before the restart")


def case_german_words(session):
    """For a user whose interface language is German the switches are stored as "wahr" and
    "falsch"."""
    session.env.update({"LC_ALL": "de_DE.UTF-8", "LANG": "de_DE.UTF-8"})
    session.start()
    wait_for_shots(session.folder, 1, 20)
    session.choose(*down(USE_SIZE, "Return"))
    session.wait_for_ini("UseMaxSize=falsch", "UseMaxCount=wahr", "ShowFlash=wahr")


def case_interval_shots(session):
    """With IntervalSeconds=5 the screenshots follow each other about five seconds apart, also
    while the menu is open (which follows the count); a WM_CLOSE (taskkill without /F) ends the
    program and removes its icon."""
    write_ini(session, IntervalSeconds=5)
    session.start()
    taken = wait_for_shots(session.folder, 4, 60)
    check_spacing([p.stat().st_mtime for p in taken[:4]], 5, "screenshots")
    for path in taken[1:3]:
        check_screen_png(session, path)

    # A screenshot taken while the menu is open shows in its count line at once.
    menu = max(session.open_menu(), key=lambda w: w.width * w.height)
    band = f"{menu.width}x50+{menu.x}+{menu.y}"  # title and count lines
    def top_lines():
        return subprocess.run(["import", "-window", "root", "-crop", band, "rgb:-"],
                              env=session.x_env(), capture_output=True, timeout=20).stdout
    before, count = top_lines(), len(shots(session.folder))
    wait_for_shots(session.folder, count + 1, 20)
    wait_for(lambda: top_lines() != before, 20, "the open menu to show the new count")
    session.xdotool("key", "Escape")
    wait_for(lambda: not session.open_popups(), 20, "the tray menu to close")

    result = session.wine("taskkill", "/IM", "ruvello.exe")
    check(result.returncode == 0, f"taskkill failed: {result.stdout!r} {result.stderr!r}")
    session.wait_for_exit()
    session.wait_for_no_tray_icon()


class FlashWatch:
    """Polls the window tree for the flash window ("Blitz") while a manual screenshot runs:
    `appeared` once it exists, `seen` (its geometry) and `properties` once it is on the screen.
    It shows for 80 ms, which the polling of a busy machine can miss; it exists a little longer."""

    def __init__(self, session):
        self.session, self.appeared, self.seen, self.properties = session, False, None, ""

    def run(self, timeout):
        end = time.monotonic() + timeout
        while time.monotonic() < end and self.seen is None:
            flashes = self.session.find_windows(name="Blitz")
            self.appeared = self.appeared or bool(flashes)
            if flashes and self.session.is_viewable(flashes[0].id):
                properties = subprocess.run(
                    ["xprop", "-id", flashes[0].id], env=self.session.x_env(),
                    capture_output=True, text=True, timeout=20).stdout
                if "_NET_WM_WINDOW_OPACITY" in properties:  # still there when read
                    self.seen, self.properties = flashes[0], properties


def manual_shot(session, expected_count, watch_seconds):
    """Left-clicks the icon; returns (the new manual screenshot, what the flash watch saw)."""
    watch = FlashWatch(session)
    session.click_icon(1)
    watch.run(watch_seconds)
    folder = session.folder / MANUAL_FOLDER
    wait_for(folder.is_dir, 20, "the folder of manual screenshots")
    taken = wait_for_shots(folder, expected_count, 30, MANUAL_NAME)
    return taken[-1], watch


def case_manual_shot(session):
    """A left click writes a manual screenshot into its own folder, with a white, translucent,
    topmost overlay over the whole screen that takes no input and is gone before the capture.
    Switched off in the menu, the flash stays away and the screenshot is still written."""
    session.start()
    wait_for_shots(session.folder, 1, 20)
    automatic = len(shots(session.folder))
    for count in range(1, 4):  # until the watch has seen the flash on the screen
        shot, watch = manual_shot(session, count, 6)
        if watch.seen is not None:
            break
    flash = watch.seen
    check(flash is not None, "no flash window appeared")
    check((flash.x, flash.y, flash.width, flash.height) == (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT),
          f"the flash does not cover the screen: {flash}")
    props = watch.properties
    check(f"_NET_WM_WINDOW_OPACITY(CARDINAL) = {OPACITY_160}" in props,
          "the flash is not at alpha 160:\n" + props)
    check("_NET_WM_STATE_ABOVE" in props, "the flash is not topmost:\n" + props)
    check("_NET_WM_STATE_SKIP_TASKBAR" in props, "the flash has a task-bar entry:\n" + props)
    check("accepts input or input focus: False" in props, "the flash takes the focus:\n" + props)
    image = check_screen_png(session, shot)
    white = image.share(lambda c: min(c) >= 0xF0)
    check(white < 0.05, f"the manual screenshot shows the flash ({white:.0%} white)")
    check(len(shots(session.folder)) == automatic, "a manual shot landed among the automatic")

    session.choose(*down(FLASH, "Return"))
    session.wait_for_ini("ShowFlash=false")
    shot, watch = manual_shot(session, count + 1, 3)
    check(not watch.appeared, "a flash appeared although it is switched off")
    check_screen_png(session, shot)
    no_leftovers(session.folder)


def seed_screenshots(session):
    """40 screenshots a minute apart, plus one named in upper case among the newest, one in a
    subfolder and a hidden one (a dot file, which Wine reports as hidden) older than all."""
    base = time.time() - 3 * 3600
    seeded = {}
    for i in range(40):
        path = session.folder / f"Screenshot_20240101_{i // 60:02d}{i % 60:02d}00.png"
        path.write_bytes(b"x" * 1000)
        seeded[path.name] = base + i * 60
    upper = session.folder / "OLDSHOT.PNG"
    upper.write_bytes(b"x" * 1000)
    seeded[upper.name] = base + 38 * 60 + 30  # between the two newest seeded files
    for name, when in seeded.items():
        os.utime(session.folder / name, (when, when))
    sub = session.folder / "archiv"
    sub.mkdir()
    (sub / "Screenshot_19990101_000000.png").write_bytes(b"y" * 10)
    hidden = session.folder / ".versteckt.png"
    hidden.write_bytes(b"z" * 10)
    os.utime(hidden, (base - 3600, base - 3600))
    return seeded


def png_files(folder):
    return {p.name: p.stat().st_mtime for p in Path(folder).iterdir()
            if p.is_file() and p.name.lower().endswith(".png") and not p.name.startswith(".")}


def case_prune_by_count(session):
    """Choosing "Max. Bilder" -> "25" keeps the 25 newest PNG files of the folder (whatever the
    letter case of ".png") and touches neither subfolders nor hidden files."""
    write_ini(session, IntervalSeconds=1800)
    seed_screenshots(session)
    session.start()
    wait_for(lambda: len(png_files(session.folder)) == 42, 20, "the first screenshot")
    before = png_files(session.folder)
    newest = sorted(before, key=lambda name: before[name], reverse=True)[:25]
    check("OLDSHOT.PNG" in newest, "test set-up: the upper-case file should be among the newest")

    session.choose(*down(MAX_COUNT, "Right", "Return"))
    session.wait_for_ini("MaxImageCount=25")
    wait_for(lambda: len(png_files(session.folder)) == 25, 20, "25 PNG files left")
    check(sorted(png_files(session.folder)) == sorted(newest),
          f"kept {sorted(png_files(session.folder))}, expected {sorted(newest)}")
    check((session.folder / "archiv" / "Screenshot_19990101_000000.png").exists(),
          "the file in the subfolder was deleted")
    check((session.folder / ".versteckt.png").exists(), "the hidden file was deleted")


def case_limit_switches(session):
    """The two limit switches invert their setting and store all seven settings."""
    session.start()
    wait_for_shots(session.folder, 1, 20)
    session.choose(*down(USE_SIZE, "Return"))
    session.wait_for_ini("UseMaxSize=false")
    text = session.ini_text()
    for line in ("UseMaxCount=true", "IntervalSeconds=60", "MaxImageCount=500",
                 "MaxTotalSizeMB=500", "ShowFlash=true",
                 "ScreenshotFolder=" + session.windows_path(session.folder) + "\\"):
        check(line + "\r\n" in text, f"{line!r} missing after the switch:\n{text!r}")
    session.choose(*down(USE_COUNT, "Return"))
    session.wait_for_ini("UseMaxCount=false")
    session.choose(*down(USE_SIZE, "Return"))
    session.wait_for_ini("UseMaxSize=true")
    check("UseMaxCount=false\r\n" in session.ini_text(), "the count switch flipped back")


def case_interval_change(session):
    """Choosing "Intervall" -> "5 Sek." stores it and the screenshots come every five seconds
    from then on (the default of a minute would bring none in that time)."""
    session.start()
    wait_for_shots(session.folder, 1, 20)
    session.choose(*down(INTERVAL, "Right", "Return"))
    chosen = time.time()
    session.wait_for_ini("IntervalSeconds=5")
    taken = wait_for_shots(session.folder, 3, 30)
    times = [p.stat().st_mtime for p in taken]
    # The change was made a moment before the menu was seen to close.
    check(3.0 <= times[1] - chosen <= 5 + LATENESS,
          f"the first shot after the change came {times[1] - chosen:.1f} s later")
    check_spacing(times[1:], 5, "after the change")


def case_autostart_shortcut(session):
    """The autostart switch writes a shell link to the program into the Startup folder (target,
    working folder, icon, minimised start) and removes it again."""
    session.start()
    wait_for_shots(session.folder, 1, 20)
    link_path = session.startup_folder() / "ruvello.lnk"
    check(not link_path.exists(), "test set-up: a shortcut exists before")
    session.choose(*down(AUTOSTART, "Return"))
    wait_for(link_path.exists, 20, "the shortcut in the Startup folder")
    link = parse_shell_link(settled(link_path))
    exe = session.windows_path(session.folder / "ruvello.exe")
    check(link.get("local_base_path", "").lower() == exe.lower(),
          f"target {link.get('local_base_path')!r}, expected {exe!r}")
    check(link.get("working_dir") == session.windows_path(session.folder),
          f"working folder {link.get('working_dir')!r}")
    check(link.get("icon_location", "").lower() == exe.lower() and link["icon_index"] == 0,
          f"icon {link.get('icon_location')!r},{link['icon_index']}")
    check(link["show_command"] == 7, f"show command {link['show_command']}, expected 7")

    session.choose(*down(AUTOSTART, "Return"))
    wait_for(lambda: not link_path.exists(), 20, "the shortcut to be removed")


def refused_autostart_box(session):
    """Starts the program with a file where the Startup folder should be and switches autostart
    on from the menu; returns the message box that says it could not be done."""
    startup = session.startup_folder()
    startup.rmdir()
    startup.write_bytes(b"a file where the folder should be")
    session.start()
    wait_for_shots(session.folder, 1, 20)
    session.choose(*down(AUTOSTART, "Return"))
    return wait_for(lambda: session.viewable_windows("Autostart"), 20, "the message box")[0]


def case_autostart_refused(session):
    """Where the Startup folder cannot take the shortcut, the switch says so in a message box
    (titled "Autostart"); after OK the program goes on as before."""
    box = refused_autostart_box(session)
    # Wine draws the OK button into the box, centred, 22 pixels above its lower edge.
    session.click_point(box.x + box.width // 2, box.y + box.height - 22, 1)
    wait_for(lambda: not any(session.is_viewable(w.id)
                             for w in session.find_windows(name="Autostart")),
             20, "the message box to close")
    check(session.running(), "the program ended after the message")
    session.choose(*down(USE_SIZE, "Return"))
    session.wait_for_ini("UseMaxSize=false")


def case_exit_ends_own_copy(session):
    """A second copy starts in full (its own icon); "Beenden" in one icon's menu ends that copy
    and removes its icon, the other goes on."""
    first = session.start()
    wait_for_shots(session.folder, 1, 20)
    second = subprocess.Popen(["wine", str(session.folder / "ruvello.exe")], cwd=session.folder,
                              env=session.env, stdout=session.log, stderr=session.log)
    session.processes.append(second)
    icons = wait_for(lambda: len(session.tray_icons()) == 2 and session.tray_icons(), 40,
                     "a second tray icon")
    # The newer icon is docked to the left of the older one, so it is the second copy's.
    newest = min(icons, key=lambda w: w.x)
    session.click_at(newest, 3)
    wait_for(session.open_popups, 20, "the second copy's menu")
    session.xdotool("key", "--delay", "120", "Up", "Return")
    try:
        second.wait(30)
    except subprocess.TimeoutExpired:
        raise Failure("the second copy did not end") from None
    wait_for(lambda: len(session.tray_icons()) == 1, 20, "one tray icon")
    check(first.poll() is None, "the first copy ended as well")
    check(second.returncode == 0, f"exit code {second.returncode}")

    session.choose("Up", "Return")
    check(session.wait_for_exit() == 0, "the first copy's exit code is not 0")
    session.wait_for_no_tray_icon()
    no_leftovers(session.folder)


def case_tray_restart(session, helper):
    """When the icon is gone from the tray (the shell restarted), the shell's "TaskbarCreated"
    broadcast brings it back."""
    session.start()
    wait_for_shots(session.folder, 1, 20)
    result = session.wine(str(helper), "remove-icon")
    check(result.returncode == 0, f"helper could not remove the icon: {result.returncode}")
    session.wait_for_no_tray_icon()
    result = session.wine(str(helper), "announce-taskbar")
    check(result.returncode == 0, f"helper could not broadcast: {result.returncode}")
    session.wait_for_tray_icon(20)
    session.choose(*down(USE_SIZE, "Return"))  # the icon answers as before
    session.wait_for_ini("UseMaxSize=false")


def case_backend(session, helper):
    """The backend checks (ruvello_backend_tests.exe) against Wine's Windows API, in a time zone
    apart from UTC so that local file times differ from the stored ones."""
    session.env["TZ"] = "Europe/Berlin"
    result = session.wine(str(helper), timeout=120)
    output = (result.stdout + result.stderr).decode("utf-8", "replace")
    print(output)
    check(result.returncode == 0, f"backend checks failed (exit code {result.returncode})")
    check(re.search(r"^0 failed\r?$", output, re.MULTILINE), "the backend checks did not report")


CASES = {
    "first_start": case_first_start,
    "unicode_folder": case_unicode_folder,
    "german_words": case_german_words,
    "interval_shots": case_interval_shots,
    "manual_shot": case_manual_shot,
    "prune_by_count": case_prune_by_count,
    "limit_switches": case_limit_switches,
    "interval_change": case_interval_change,
    "autostart_shortcut": case_autostart_shortcut,
    "autostart_refused": case_autostart_refused,
    "exit_ends_own_copy": case_exit_ends_own_copy,
    "tray_restart": case_tray_restart,
    "backend": case_backend,
}
NEEDS_HELPER = {"tray_restart", "backend"}
# Program folders whose names need the ANSI code page, or have no form in it.
FOLDER_NAMES = {"first_start": "Bildschirm Größe", "unicode_folder": "ruvello-日本"}


def stop_on_signal(number, frame):
    raise Failure(f"stopped by signal {number}")  # unwinds through the session's clean-up


def main(cases=CASES, needs_helper=NEEDS_HELPER, folder_names=FOLDER_NAMES):
    """The command line of this script and of the ones that add cases of their own."""
    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGINT, stop_on_signal)
    parser = argparse.ArgumentParser()
    parser.add_argument("action", choices=["prepare", "remove", "run"])
    parser.add_argument("target", help="the prefix template (prepare, remove) or a case (run)")
    parser.add_argument("--exe")
    parser.add_argument("--template")
    parser.add_argument("--artifacts")
    parser.add_argument("--helper")
    args = parser.parse_args()
    if args.action == "prepare":
        prepare_prefix(args.target)
        return 0
    if args.action == "remove":
        remove_prefix(args.target)
        return 0
    case = cases[args.target]
    started = time.monotonic()
    try:
        with Session(args.exe, args.template, args.target, args.artifacts,
                     folder_names.get(args.target, "prog")) as session:
            if args.target in needs_helper:
                case(session, Path(args.helper))
            else:
                case(session)
    except Failure as failure:
        print(f"FAILED {args.target}: {failure}", file=sys.stderr)
        return 1
    except Skipped as reason:
        print(f"SKIPPED {args.target}: {reason}")
        return SKIP_RETURN_CODE
    print(f"passed {args.target} in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
