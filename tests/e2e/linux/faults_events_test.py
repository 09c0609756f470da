"""Events crossing each other: clicks during the flash while screenshots fall due, the menu open
while a screenshot falls due, two copies on one folder and one config.ini, the tray host missing
at start-up and restarted later. Nothing crashes, no overlay stays, settings stay whole."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402

KEYS = ["IntervalSeconds", "MaxImageCount", "UseMaxCount", "UseMaxSize", "MaxTotalSizeMB", "ScreenshotFolder",
        "ShowFlash"]


def test(exe):
    with Desktop(640, 480, tray=False) as desktop:
        program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\nMaxImageCount=5\r\n").start()
        wait_for(program.screenshots, 30, "a screenshot without a tray host")
        desktop.start_tray()
        icon = program.icon()  # the icon docks into a tray host that came later

        # Clicks faster than the flash, while a screenshot falls due every second.
        x, y = icon.center()
        for _ in range(6):
            desktop.run("xdotool", "mousemove", str(x), str(y), "click", "--repeat", "2", "--delay", "40", "1")
        manual = program.path("manueller Screenshot")
        wait_for(lambda: os.path.isdir(manual) and os.listdir(manual), 30, "a manual screenshot")
        program.settle()
        check(not desktop.visible_windows("^Blitz$"), "a flash overlay stayed on the screen")
        check(program.alive(), "the program ended")

        # Screenshots go on while the menu is open; a choice still works afterwards.
        program.open_menu()
        before = set(program.screenshots())
        wait_for(lambda: set(program.screenshots()) != before, 30, "a screenshot while the menu is open")
        check(program.menu(), "the menu closed by itself")
        desktop.keys("Up", "Up", "Return")
        program.wait_config(b"UseMaxSize=false\r\n")

        # A second copy on the same folder and config.ini: both run, the file stays whole.
        second = desktop.start([program.exe], log=program.log)
        twin = Ruvello.__new__(Ruvello)
        twin.__dict__.update(program.__dict__, process=second)
        twin.icon()
        twin.choose("Up", "Up", "Return")  # the second copy read UseMaxSize=false: now on again
        program.wait_config(b"UseMaxSize=true\r\n")
        program.choose("Down", "Right", "Return")  # the first copy: "Max. Bilder" -> 25
        program.wait_config(b"MaxImageCount=25\r\n")
        lines = program.config().decode().split("\r\n")
        check(lines[0] == "[Settings]" and [line.split("=")[0] for line in lines[1:8]] == KEYS and lines[8:] == [""],
              f"config.ini is not whole: {lines}")

        # The tray host restarts: both icons come back.
        desktop.stop_tray()
        desktop.start_tray()
        program.icon()
        twin.icon()
        check(program.alive() and second.poll() is None, "a copy ended when the tray host restarted")


if __name__ == "__main__":
    main(test)
