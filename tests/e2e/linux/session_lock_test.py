"""While the screen saver or the lock screen is up, no screenshot is written, automatic or
manual, so the count limit cannot trade the history for pictures of a lock screen; once the
session is back, the screenshots go on."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def private_session_bus(desktop):
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=desktop.env, text=True)
    desktop.processes.append(bus)
    address = bus.stdout.readline().strip()
    check(address, "the private session bus did not start")
    return address


def test(exe):
    with Desktop(640, 480) as desktop:
        desktop.env["DBUS_SESSION_BUS_ADDRESS"] = private_session_bus(desktop)
        state = os.path.join(desktop.tmp, "screensaver")
        with open(state, "w") as f:
            f.write("0")
        # The system's Python: the D-Bus bindings come from Debian's packages.
        standin = desktop.start(["/usr/bin/python3", os.path.join(HERE, "screensaver_standin.py"), state])
        wait_for(lambda: subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
             "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.ScreenSaver"],
            env=desktop.env, capture_output=True, text=True).stdout.strip().endswith("true"),
            30, "the screen saver stand-in on the bus")
        check(standin.poll() is None, "the screen saver stand-in ended")

        def calls():
            try:
                with open(state + ".calls") as f:
                    return int(f.read() or 0)
            except OSError:
                return 0

        program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\nMaxImageCount=2\r\n").start()
        wait_for(lambda: len(program.screenshots()) >= 2, 30, "two screenshots before the lock")

        with open(state, "w") as f:
            f.write("1")
        asked = calls()
        wait_for(lambda: calls() >= asked + 1, 30, "the program asking the screen saver")
        history = program.screenshots()
        asked = calls()
        program.left_click()
        # Each attempt asks once: three more answers mean three shots refused (two automatic
        # ones at least, and the manual one).
        wait_for(lambda: calls() >= asked + 3, 30, "three shots attempted while locked")
        check(program.screenshots() == history, f"screenshots while locked: {history} -> {program.screenshots()}")
        manual = program.path("manueller Screenshot")
        check(not os.path.isdir(manual) or not os.listdir(manual), "a manual screenshot while locked")

        with open(state, "w") as f:
            f.write("0")
        wait_for(lambda: program.screenshots() != history, 30, "screenshots again after the lock")
        check(program.alive(), "the program ended")


if __name__ == "__main__":
    main(test)
