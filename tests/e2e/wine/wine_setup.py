#!/usr/bin/env python3
"""The setup program (ruvello-<version>-windows-x64-setup.exe) under Wine: a silent first
install and what it leaves (files, shortcuts, uninstall entry, config.ini byte for byte), the
installed program started from the Start menu; an upgrade over changed settings; a setup while
the program runs; the silent uninstallation; and the wizard and the uninstaller clicked through
in German.

    wine_setup.py run CASE --exe EXE --template TEMPLATE --setup SETUP [--artifacts DIR]
                  [--helper EXE]
"""
import os
import re
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from file_formats import parse_shell_link  # noqa: E402
from wine_e2e import (AUTOSTART, check, check_screen_png, default_ini,  # noqa: E402
                      down, main, settled, shots, wait_for_shots)
from wine_faults import quit_from_menu  # noqa: E402
from wine_session import Failure, die_with_parent, wait_for  # noqa: E402
from wine_system_events import APPROVED_KEY, approval  # noqa: E402

UNINSTALL_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ruvello"
SHELL_FOLDERS_KEY = ("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"
                     "\\User Shell Folders")
SWITCHED_OFF = "030000000000000000000000"  # as Task Manager writes it: state 3, then a time
SETUP_TIMEOUT = 120  # a silent setup takes seconds; Wine starting up on a loaded machine, more

SETUP = None  # the setup program, from --setup


def setup_version():
    return re.match(r"ruvello-(.+)-windows-x64-setup\.exe$", SETUP.name)[1]


# --- where things are in the prefix -------------------------------------------------------


class Installation:
    """The paths of an installation for the prefix's user, as Unix and as Windows paths."""

    def __init__(self, session):
        self.session = session
        users = session.prefix / "drive_c" / "users"
        self.profile = next(p for p in users.iterdir()
                            if p.name != "Public" and (p / "AppData").is_dir())
        self.folder = self.profile / "AppData" / "Local" / "Programs" / "Ruvello"
        self.exe = self.folder / "ruvello.exe"
        self.ini = self.folder / "config.ini"
        self.start_menu_link = (self.profile / "AppData" / "Roaming" / "Microsoft" / "Windows" /
                                "Start Menu" / "Programs" / "Ruvello.lnk")
        self.startup_link = session.startup_folder() / "ruvello.lnk"

    def windows(self, path):
        return "C:\\" + "\\".join(path.relative_to(self.session.prefix / "drive_c").parts)

    def unix(self, windows_path):
        check(windows_path[:3].upper() == "C:\\", f"not on drive C: {windows_path!r}")
        return self.session.prefix / "drive_c" / Path(*windows_path[3:].split("\\"))

    def pictures(self, name):
        """Makes the folder `name` in the profile the user's pictures folder (the prefix's own
        is a link to a home folder that every session shares)."""
        folder = self.profile / name
        folder.mkdir()
        result = self.session.wine("reg", "add", SHELL_FOLDERS_KEY, "/v", "My Pictures", "/t",
                                   "REG_EXPAND_SZ", "/d", "%USERPROFILE%\\" + name, "/f")
        check(result.returncode == 0, f"test set-up: pictures folder not set: {result.stderr!r}")
        return folder


def registry_values(session, key):
    """The values of a registry key as {name: text or number}; None when the key is missing."""
    result = session.wine("reg", "query", key)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        match = re.match(r"^    (.+?)    (REG_[A-Z_]+)(?:    (.*))?$", line.rstrip("\r"))
        if match:
            value = match[3] or ""
            values[match[1]] = int(value, 16) if match[2] == "REG_DWORD" else value
    return values


# --- running the setup, the uninstaller and the installed program -------------------------


def run_setup(session, *arguments, expect=0):
    """Runs the setup program to its end; returns the seconds it took. Its output goes to the
    session's log, not to a pipe: a program it starts would hold a pipe open."""
    started = time.monotonic()
    try:
        result = subprocess.run(["wine", str(SETUP), *arguments], env=session.env,
                                stdout=session.log, stderr=session.log, timeout=SETUP_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise Failure(f"the setup {' '.join(arguments)} still runs after {SETUP_TIMEOUT} s") \
            from None
    check(result.returncode == expect,
          f"the setup {' '.join(arguments)} ended with {result.returncode}, expected {expect}")
    return time.monotonic() - started


def run_quiet_uninstall(session):
    """Runs the uninstall entry's quiet command, as a package manager would, and waits for the
    entry to go, the uninstaller's last step (it copies itself away and goes on from there)."""
    command = registry_values(session, UNINSTALL_KEY)["QuietUninstallString"]
    match = re.match(r'^"([^"]+)" (.*)$', command)
    check(match is not None, f"quiet uninstall command {command!r}")
    started = time.monotonic()
    result = subprocess.run(["wine", match[1], *match[2].split()], env=session.env,
                            stdout=session.log, stderr=session.log, timeout=SETUP_TIMEOUT)
    check(result.returncode == 0, f"the uninstaller ended with {result.returncode}")
    wait_for(lambda: registry_values(session, UNINSTALL_KEY) is None, SETUP_TIMEOUT,
             "the uninstall entry to go")
    return time.monotonic() - started


def start_installed(session, place):
    """Starts Ruvello as its Start menu shortcut does: the target in its working folder."""
    link = parse_shell_link(settled(place.start_menu_link))
    process = subprocess.Popen(["wine", link["local_base_path"]],
                               cwd=place.unix(link["working_dir"]), env=session.env,
                               stdout=session.log, stderr=session.log, preexec_fn=die_with_parent)
    session.processes.append(process)
    return process


def ended_cleanly(process, what):
    try:
        code = process.wait(60)
    except subprocess.TimeoutExpired:
        raise Failure(f"{what} still runs") from None
    check(code == 0, f"{what} ended with {code}")


# --- what an installation must look like --------------------------------------------------


def check_link(path, target, show_command, what):
    """A shell link to `target` (a Windows path), in the target's folder, with its first icon."""
    check(path.exists(), f"{what} is missing")
    link = parse_shell_link(settled(path))
    check(link.get("local_base_path", "").lower() == target.lower(),
          f"{what} starts {link.get('local_base_path')!r}, not {target!r}")
    check(link.get("working_dir", "").lower() == target.rsplit("\\", 1)[0].lower(),
          f"{what} runs in {link.get('working_dir')!r}")
    check(link.get("icon_location", "").lower() == target.lower() and link["icon_index"] == 0,
          f"{what} has the icon {link.get('icon_location')!r},{link['icon_index']}")
    check(link["show_command"] == show_command,
          f"{what} shows the window with {link['show_command']}, not {show_command}")


def check_program_files(place, build_exe):
    names = sorted(p.name for p in place.folder.iterdir())
    check(names == ["config.ini", "ruvello.exe", "uninstall.exe"],
          f"the program folder holds {names}")
    check(place.exe.read_bytes() == build_exe.read_bytes(), "ruvello.exe is not the built one")


def check_uninstall_entry(session, place):
    entry = registry_values(session, UNINSTALL_KEY)
    check(entry is not None, "no uninstall entry")
    exe, folder = place.windows(place.exe), place.windows(place.folder)
    uninstaller = folder + "\\uninstall.exe"
    size = (place.exe.stat().st_size + (place.folder / "uninstall.exe").stat().st_size) / 1024
    expected = {"DisplayName": "Ruvello", "DisplayVersion": setup_version(),
                "DisplayIcon": exe + ",0", "InstallLocation": folder,
                "UninstallString": f'"{uninstaller}"',
                "QuietUninstallString": f'"{uninstaller}" /S'}
    for name, value in expected.items():
        check(entry.get(name) == value,
              f"uninstall entry {name} is {entry.get(name)!r}, not {value!r}")
    check(entry.get("Publisher"), "the uninstall entry names no publisher")
    check(abs(entry.get("EstimatedSize", 0) - size) <= 1,
          f"the uninstall entry's size {entry.get('EstimatedSize')} KiB, the files {size:.0f} KiB")


def first_install(session, pictures_name, autostart):
    """A silent first install with the given pictures folder and start at logon; checks what
    it leaves, then starts the installed program, which must write its first screenshot into the
    pictures folder's Ruvello and show the autostart switch as the setup set it."""
    place = Installation(session)
    pictures = place.pictures(pictures_name)
    seconds = run_setup(session, "/S", f"/AUTOSTART={int(autostart)}")
    print(f"silent first install: {seconds:.1f} s, setup program {SETUP.stat().st_size} bytes")

    check_program_files(place, session.exe)
    shot_folder = pictures / "Ruvello"
    check(shot_folder.is_dir() and not any(shot_folder.iterdir()),
          "the screenshot folder was not made, or is not empty")
    expected_ini = default_ini(place.windows(shot_folder) + "\\")
    check(place.ini.read_bytes() == expected_ini,
          f"config.ini holds {place.ini.read_bytes()!r}, expected {expected_ini!r}")
    exe = place.windows(place.exe)
    check_link(place.start_menu_link, exe, 1, "the Start menu shortcut")
    if autostart:
        check_link(place.startup_link, exe, 7, "the Startup shortcut")
        check(approval(session) is None, "Task Manager's switch is set")
    else:
        check(not place.startup_link.exists(), "a Startup shortcut although switched off")
    check_uninstall_entry(session, place)

    session.program = start_installed(session, place)
    session.wait_for_tray_icon()
    first = wait_for_shots(shot_folder, 1, 30)
    check_screen_png(session, first[0])
    check(place.ini.read_bytes() == expected_ini, "the program changed config.ini at its start")
    # The program's switch shows what its menu item does on a click: off when it takes the
    # shortcut away, on when it makes one.
    session.choose(*down(AUTOSTART, "Return"))
    wait_for(lambda: place.startup_link.exists() != autostart, 20,
             f"the program's autostart switch to count as {'on' if autostart else 'off'}")
    quit_from_menu(session)


# --- the cases ----------------------------------------------------------------------------


def case_setup_first_install(session):
    """A user whose pictures folder has a name in the ANSI code page chooses the start at logon:
    config.ini comes in the ANSI code page."""
    first_install(session, "Jürgens Bilder", autostart=True)


def case_setup_unicode_pictures(session):
    """A pictures folder whose name has no form in the ANSI code page, no start at logon:
    config.ini comes in UTF-8, and the program finds the folder in it."""
    first_install(session, "Zdjęcia Łukasza", autostart=False)


def case_setup_upgrade(session):
    """An upgrade over an installation whose config.ini the user changed keeps every byte of it
    (and its time); the start at logon stays as it was, also when Task Manager switched it off,
    until the setup is told otherwise."""
    place = Installation(session)
    place.pictures("Bilder")
    run_setup(session, "/S", "/AUTOSTART=1")
    edited = ("\ufeff[Settings]\r\n; meine Einstellungen\r\nIntervalSeconds=5\r\n"
              "ScreenshotFolder=D:\\Aufnahmen\\\r\nshowflash = falsch").encode("utf-8")
    place.ini.write_bytes(edited)
    old_time = time.time() - 86400
    os.utime(place.ini, (old_time, old_time))
    with open(place.exe, "ab") as exe:
        exe.write(b"an older build")
    result = session.wine("reg", "add", APPROVED_KEY, "/v", "ruvello.lnk", "/t", "REG_BINARY",
                          "/d", SWITCHED_OFF, "/f")
    check(result.returncode == 0 and approval(session) == 3, "test set-up: not switched off")
    stamp = place.ini.stat().st_mtime_ns

    def settings_kept(when):
        check(place.ini.read_bytes() == edited, f"config.ini changed {when}: "
              f"{place.ini.read_bytes()!r}")
        check(place.ini.stat().st_mtime_ns == stamp, f"config.ini was written {when}")

    run_setup(session, "/S")
    settings_kept("by the upgrade")
    check_program_files(place, session.exe)
    check_uninstall_entry(session, place)
    check(place.startup_link.exists() and approval(session) == 3,
          "the upgrade changed the entry switched off in Task Manager")

    run_setup(session, "/S", "/AUTOSTART=1")
    check(place.startup_link.exists() and approval(session) is None,
          "/AUTOSTART=1 did not switch the entry on again")
    check_link(place.startup_link, place.windows(place.exe), 7, "the Startup shortcut")
    run_setup(session, "/S", "/AUTOSTART=0")
    check(not place.startup_link.exists(), "/AUTOSTART=0 left the Startup shortcut")
    settings_kept("by the setups that changed the start at logon")
    run_setup(session, "/S", "/AUTOSTART=ja", expect=2)
    settings_kept("by a setup with a wrong option")


def case_setup_while_running(session):
    """Setup while the installed Ruvello runs (and a copy of its own from another folder): the
    installed one ends as at a logout, its exe is replaced, it runs again; the other copy goes
    on."""
    place = Installation(session)
    pictures = place.pictures("Bilder")
    run_setup(session, "/S")
    with open(place.exe, "ab") as exe:
        exe.write(b"an older build")
    other = session.start()  # from the session's program folder
    wait_for_shots(session.folder, 1, 30)
    installed = start_installed(session, place)
    shot_folder = pictures / "Ruvello"
    before = {p.name for p in wait_for_shots(shot_folder, 1, 30)}
    wait_for(lambda: len(session.tray_icons()) == 2, 40, "both tray icons")

    seconds = run_setup(session, "/S")
    print(f"setup over the running program: {seconds:.1f} s")
    ended_cleanly(installed, "the installed Ruvello")
    check(place.exe.read_bytes() == session.exe.read_bytes(), "ruvello.exe was not replaced")
    check(other.poll() is None, "the copy in another folder was ended too")
    # Started again: its icon, and the screenshot it takes at its start.
    wait_for(lambda: {p.name for p in shots(shot_folder)} - before, 60,
             "a screenshot of the installed Ruvello started again")
    wait_for(lambda: len(session.tray_icons()) == 2, 40, "the tray icon of the one started again")
    check(place.ini.read_bytes() == default_ini(place.windows(shot_folder) + "\\"),
          "config.ini changed")

    # The one started again ends on WM_CLOSE (the setup started it, so it is no child of ours).
    result = session.wine("taskkill", "/IM", "ruvello.exe")
    check(result.returncode == 0, f"taskkill failed: {result.stdout!r} {result.stderr!r}")
    wait_for(lambda: not session.tray_icons(), 40, "both programs to end")
    ended_cleanly(other, "the copy in another folder")


def case_setup_uninstall(session):
    """The silent uninstallation ends the running Ruvello and removes the program, its
    shortcuts and its entry, but keeps config.ini and the screenshots; a Startup shortcut of a
    copy in another folder stays, one of its own goes with Task Manager's note on it."""
    place = Installation(session)
    pictures = place.pictures("Bilder")
    # A copy of its own (the zip) starts at logon.
    session.start()
    wait_for_shots(session.folder, 1, 30)
    session.choose(*down(AUTOSTART, "Return"))
    wait_for(place.startup_link.exists, 20, "the copy's Startup shortcut")
    quit_from_menu(session)
    other_exe = session.windows_path(session.folder / "ruvello.exe")

    run_setup(session, "/S")
    check_link(place.startup_link, other_exe, 7, "the other copy's Startup shortcut after setup")
    installed = start_installed(session, place)
    shot_folder = pictures / "Ruvello"
    taken = wait_for_shots(shot_folder, 1, 30)
    ini = place.ini.read_bytes()
    seconds = run_quiet_uninstall(session)
    print(f"silent uninstall: {seconds:.1f} s")
    ended_cleanly(installed, "the installed Ruvello")
    wait_for(lambda: not session.tray_icons(), 20, "the tray icon to go")

    def only_settings_left():
        names = sorted(p.name for p in place.folder.iterdir())
        check(names == ["config.ini"], f"the program folder holds {names}")
        check(place.ini.read_bytes() == ini, "config.ini changed")
        check(not place.start_menu_link.exists(), "the Start menu shortcut is left")

    only_settings_left()
    check(set(shots(shot_folder)) >= set(taken), "screenshots were removed")
    check_link(place.startup_link, other_exe, 7, "the other copy's Startup shortcut")

    # Now its own shortcut, switched off in Task Manager.
    place.startup_link.unlink()
    run_setup(session, "/S", "/AUTOSTART=1")
    session.wine("reg", "add", APPROVED_KEY, "/v", "ruvello.lnk", "/t", "REG_BINARY", "/d",
                 SWITCHED_OFF, "/f")
    check(approval(session) == 3, "test set-up: not switched off")
    run_quiet_uninstall(session)
    only_settings_left()
    check(not place.startup_link.exists(), "the Startup shortcut is left")
    check(approval(session) is None, "Task Manager's note on the shortcut is left")
    check(set(shots(shot_folder)) >= set(taken), "screenshots were removed")


def titled(session, title):
    """The windows whose titles begin with `title` (the setup adds its step to it)."""
    return [w for w in session.windows() if (w.name or "").startswith(title)]


def wait_for_page(session, helper, title, text, timeout=60):
    """Waits until the window whose title begins with `title` shows a control with `text` in
    it; returns the texts of its controls (one a line, line breaks as "|")."""
    # A Windows program that looks for windows while Wine's desktop is still being made for the
    # first window of the prefix can hang there: the helper runs once the window is on the screen.
    wait_for(lambda: titled(session, title), timeout, f"the window {title!r}")
    def shown():
        try:
            result = session.wine(str(helper), "texts", title, timeout=20)
        except subprocess.TimeoutExpired:
            return None
        lines = result.stdout.decode("utf-8", "replace").splitlines()
        return lines if any(text in line for line in lines) else None
    return wait_for(shown, timeout, f"{title!r} to show {text!r}", interval=0.5)


def case_setup_wizard(session, helper):
    """The wizard and the uninstaller in German, by the keyboard: the start at logon switched on
    on its page, Ruvello started from the last page; the uninstaller ends it and says where the
    settings and the screenshots stay."""
    place = Installation(session)
    pictures = place.pictures("Bilder")
    shot_folder = place.windows(pictures / "Ruvello")
    title = "Installation von Ruvello"
    wizard = subprocess.Popen(["wine", str(SETUP)], env=session.env, stdout=session.log,
                              stderr=session.log, preexec_fn=die_with_parent)
    session.processes.append(wizard)
    wait_for_page(session, helper, title, "Dieser Assistent installiert Ruvello")
    session.xdotool("key", "Return")  # Weiter
    texts = wait_for_page(session, helper, title, "Ruvello bei der Anmeldung automatisch starten")
    check(any(shot_folder in line for line in texts),
          f"the page does not name the screenshot folder {shot_folder}: {texts}")
    session.xdotool("key", "space", "Return")  # the switch on, Installieren
    texts = wait_for_page(session, helper, title, "Ruvello jetzt starten")
    check(any("Infobereich" in line for line in texts), f"no word on the tray icon: {texts}")
    session.xdotool("key", "Return")  # Fertigstellen, with "Ruvello jetzt starten" checked
    try:
        check(wizard.wait(60) == 0, f"the wizard ended with {wizard.returncode}")
    except subprocess.TimeoutExpired:
        raise Failure("the wizard is still open") from None
    session.wait_for_tray_icon()
    taken = wait_for_shots(pictures / "Ruvello", 1, 30)
    check_link(place.startup_link, place.windows(place.exe), 7, "the Startup shortcut")
    check_program_files(place, session.exe)
    # Edited in Notepad, to a folder that needs UTF-8 (the uninstaller must read it as the
    # program does to name it).
    (place.profile / "Zdjęcia").mkdir()
    edited_folder = place.windows(place.profile / "Zdjęcia") + "\\"
    edited = ("\ufeff[Settings]\r\nScreenshotFolder=" + edited_folder + "\r\n").encode("utf-8")
    place.ini.write_bytes(edited)

    # The uninstaller copies itself away and goes on from there.
    title = "Deinstallation von Ruvello"
    result = subprocess.run(["wine", str(place.folder / "uninstall.exe")], env=session.env,
                            stdout=session.log, stderr=session.log, timeout=SETUP_TIMEOUT)
    check(result.returncode == 0, f"the uninstaller ended with {result.returncode}")
    wait_for_page(session, helper, title, "Ihre Screenshots bleiben erhalten")
    session.xdotool("key", "Return")  # Deinstallieren
    texts = wait_for_page(session, helper, title, "Ruvello ist von Ihrem Computer entfernt")
    said = "|".join(texts)
    for where in (f"Einstellungen: {place.windows(place.ini)}", f"Screenshots: {edited_folder}"):
        check(where in said, f"the uninstaller does not say {where!r}: {texts}")
    session.wait_for_no_tray_icon()
    session.xdotool("key", "Return")  # Fertigstellen
    wait_for(lambda: not titled(session, title), 30, "the uninstaller to close")
    check(registry_values(session, UNINSTALL_KEY) is None, "the uninstall entry is left")
    check(sorted(p.name for p in place.folder.iterdir()) == ["config.ini"],
          "more than config.ini is left in the program folder")
    check(place.ini.read_bytes() == edited, "config.ini changed")
    check(not place.startup_link.exists(), "the Startup shortcut is left")
    check(set(shots(pictures / "Ruvello")) >= set(taken), "screenshots were removed")


CASES = {
    "setup_first_install": case_setup_first_install,
    "setup_unicode_pictures": case_setup_unicode_pictures,
    "setup_upgrade": case_setup_upgrade,
    "setup_while_running": case_setup_while_running,
    "setup_uninstall": case_setup_uninstall,
    "setup_wizard": case_setup_wizard,
}


def take_setup_argument():
    """--setup SETUP, which the common command line does not know."""
    global SETUP
    at = sys.argv.index("--setup")
    SETUP = Path(sys.argv[at + 1])
    del sys.argv[at:at + 2]


if __name__ == "__main__":
    if "--setup" in sys.argv:
        take_setup_argument()
    sys.exit(main(CASES, {"setup_wizard"}, {}))
