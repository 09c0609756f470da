"""The screenshot folder goes wrong: its parent is missing at start-up, it is removed while the
program runs, it is a read-only or a full file system. The program never crashes, leaves no
partial files and still answers its menu."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
import pngcheck  # noqa: E402


def config(folder, interval=1):
    return f"[Settings]\r\nIntervalSeconds={interval}\r\nScreenshotFolder={folder}\r\n"


def answers_menu(program):
    program.open_menu()
    program.desktop.keys("Escape")
    program.wait_menu_closed()
    check(program.alive(), "the program ended")


def quit(program):
    program.process.terminate()
    check(program.process.wait(10) == 0, "the program did not end cleanly on SIGTERM")


def parent_missing(exe, desktop):
    folder = os.path.join(desktop.tmp, "missing", "parent", "Shots") + "/"
    program = Ruvello(desktop, exe, folder="MissingParent", config=config(folder)).start()
    program.message_box()  # says the folder could not be made, then runs on
    program.close_message_box()
    time.sleep(2.5)
    check(not os.path.exists(os.path.join(desktop.tmp, "missing")), "a missing parent was created")
    answers_menu(program)
    quit(program)


def removed_while_running(exe, desktop):
    folder = os.path.join(desktop.tmp, "Shots")
    os.makedirs(folder)
    program = Ruvello(desktop, exe, folder="Removed", config=config(folder + "/")).start()
    wait_for(lambda: program.screenshots(folder), 30, "the first screenshot")
    subprocess.run(["rm", "-rf", folder], check=True)
    time.sleep(2.5)
    check(not os.path.exists(folder), "the removed folder came back without a restart")
    program.left_click()  # the manual folder cannot be made inside a missing folder
    answers_menu(program)
    os.makedirs(folder)
    wait_for(lambda: program.screenshots(folder), 30, "screenshots once the folder is back")
    quit(program)


def mounted(desktop, name, options):
    path = os.path.join(desktop.tmp, name)
    os.makedirs(path)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", path], capture_output=True).returncode != 0:
        return None
    desktop.mounts.append(path)
    return path


def full_and_read_only(exe, desktop):
    # A file system with room for a few screenshots only.
    full = mounted(desktop, "Full", "size=64k")
    if full is None:
        print("SKIPPED: no permission to mount a small tmpfs here")
        return False
    program = Ruvello(desktop, exe, folder="OnFull", config=config(full + "/")).start()
    time.sleep(4)
    for name in os.listdir(full):
        path = os.path.join(full, name)
        check(not name.startswith(".ruvello-"), f"a partial file was left: {name}")
        if os.path.isfile(path):
            pngcheck.read_png(path)  # whatever is there is a whole PNG
    answers_menu(program)
    quit(program)

    read_only = mounted(desktop, "ReadOnly", "size=1m")
    pngcheck.write_png(os.path.join(read_only, "old.png"), 1, 1, b"\0\0\0")
    subprocess.run(["mount", "-o", "remount,ro", read_only], check=True)
    program = Ruvello(desktop, exe, folder="OnReadOnly",
                      config=config(read_only + "/") + "MaxImageCount=1\r\n").start()
    time.sleep(3)
    check(os.listdir(read_only) == ["old.png"], f"the read-only folder changed: {os.listdir(read_only)}")
    answers_menu(program)
    quit(program)
    return True


def test(exe):
    with Desktop(640, 480) as desktop:
        desktop.mounts = []
        try:
            parent_missing(exe, desktop)
            removed_while_running(exe, desktop)
            full_and_read_only(exe, desktop)
        finally:
            for process in desktop.processes[2:]:  # the programs, before their folders go
                if process.poll() is None:
                    process.terminate()
                    process.wait(10)
            for path in reversed(desktop.mounts):
                subprocess.run(["umount", path])


if __name__ == "__main__":
    main(test)
