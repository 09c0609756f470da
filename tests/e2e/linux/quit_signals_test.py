"""A logout or Ctrl+C ends the program at any moment, also while a message box or the menu waits
for the user: SIGTERM, SIGINT and SIGHUP run the normal shutdown and the process ends with 0."""
import os
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402


def ends_cleanly(program, signum, while_what):
    program.process.send_signal(signum)
    # Generous: a sanitized build on a busy machine takes its time to tear Qt down.
    deadline = time.monotonic() + 30
    while program.process.poll() is None and time.monotonic() < deadline:
        time.sleep(0.05)
    name = signal.Signals(signum).name
    check(program.process.poll() is not None, f"still running 30 s after {name} {while_what}")
    # Killed by the signal itself would be -signum: 0 means the shutdown ran.
    check(program.process.returncode == 0,
          f"{name} {while_what}: exit code {program.process.returncode}, not a normal shutdown")


def test(exe):
    with Desktop(640, 480) as desktop:
        # The start-up message box: the screenshot folder's parent is missing.
        for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            folder = os.path.join(desktop.tmp, "missing", "Shots") + "/"
            program = Ruvello(desktop, exe, folder=f"Box{int(signum)}",
                              config=f"[Settings]\r\nScreenshotFolder={folder}\r\n").start()
            program.message_box(timeout=30)
            program.icon(timeout=30)
            ends_cleanly(program, signum, "with the start-up message box open")
            wait_for(lambda: not desktop.visible_windows("^Ruvello$"), 30, "the message box to go")

        # The tray menu open.
        program = Ruvello(desktop, exe, folder="Menu").start()
        wait_for(program.screenshots, 30, "the first screenshot")
        program.open_menu()
        ends_cleanly(program, signal.SIGTERM, "with the menu open")


if __name__ == "__main__":
    main(test)
