"""A Wayland desktop without any tray host (plain GNOME): the program records all the same and
tells the user once how to reach its menu."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Ruvello, check, main, wait_for  # noqa: E402
from wayland import WaylandDesktop  # noqa: E402


def test(exe):
    with WaylandDesktop(tray=False) as desktop:
        desktop.env["XDG_SESSION_TYPE"] = "wayland"
        program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\n").start()
        wait_for(lambda: "Ruvello" in desktop.window_titles(), 30, "the notice that no tray host shows the icon")
        before = len(program.screenshots())
        time.sleep(2.5)
        check(len(program.screenshots()) > before, "no screenshots while the notice is open")
        check(desktop.window_titles().count("Ruvello") == 1, f"not one notice: {desktop.window_titles()}")
        check(program.alive(), "the program ended")


if __name__ == "__main__":
    main(test)
