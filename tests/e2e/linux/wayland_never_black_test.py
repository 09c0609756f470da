"""Never a black frame from XWayland. In a Wayland session with Qt forced onto XWayland (xcb),
every file the program writes shows the screen. Started on XWayland with no way to the Wayland
session, it writes no file at all, says so once and keeps running."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Ruvello, check, main, wait_for  # noqa: E402
from wayland import HEIGHT, WIDTH, WaylandDesktop, differing  # noqa: E402
import pngcheck  # noqa: E402


def test(exe):
    with WaylandDesktop() as desktop:
        _, _, screen = desktop.screen()

        program = Ruvello(desktop, exe, folder="xcb", config="[Settings]\r\nIntervalSeconds=1\r\n")
        program.process = desktop.start([program.exe], log=program.log, env=dict(desktop.env, QT_QPA_PLATFORM="xcb"))
        wait_for(lambda: len(program.screenshots()) >= 3, 30, "three screenshots with Qt on XWayland")
        program.process.terminate()
        program.process.wait(10)
        for name in program.screenshots():
            width, height, pixels = pngcheck.read_png(program.path(name))
            check((width, height) == (WIDTH, HEIGHT), f"{name} is {width}x{height}")
            check(pixels == screen, f"{name}: {differing(pixels, screen)} pixels differ from the screen")

        # XWayland alone: DISPLAY set, the Wayland display gone from the environment.
        stranded = Ruvello(desktop, exe, folder="xwayland", config="[Settings]\r\nIntervalSeconds=1\r\n")
        env = {k: v for k, v in desktop.env.items() if k != "WAYLAND_DISPLAY"}
        stranded.process = desktop.start([stranded.exe], log=stranded.log, env=env)
        notice = wait_for(lambda: desktop.run("xdotool", "search", "--onlyvisible", "--name", "^Ruvello$").stdout.split(),
                          30, "the notice that nothing is recorded")
        time.sleep(3.5)  # three intervals
        check(stranded.alive(), "the program ended on XWayland")
        check(not stranded.screenshots() and not [n for n in os.listdir(stranded.dir) if n.endswith(".png")],
              f"files were written on XWayland: {os.listdir(stranded.dir)}")
        check(len(notice) == 1 and len(desktop.run("xdotool", "search", "--onlyvisible", "--name", "^Ruvello$")
                                       .stdout.split()) == 1, "the notice is not shown exactly once")


if __name__ == "__main__":
    main(test)
