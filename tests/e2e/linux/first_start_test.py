"""First start in an empty program folder: config.ini with the defaults, a tray icon, and the
first screenshot at once, of the whole screen, decoding to what is on the screen."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
import pngcheck  # noqa: E402


def test(exe):
    with Desktop(640, 480) as desktop:
        program = Ruvello(desktop, exe)
        started = time.strftime("%Y%m%d_%H%M%S")
        program.start()
        shots = wait_for(program.screenshots, 30, "the first screenshot")
        finished = time.strftime("%Y%m%d_%H%M%S")
        check(len(shots) == 1, f"one screenshot at start-up, found {shots}")
        stamp = shots[0][len("Screenshot_"):-len(".png")]
        check(started <= stamp <= finished, f"{stamp} is not the time of the start ({started}..{finished})")

        expected = ("[Settings]\r\nIntervalSeconds=60\r\nMaxImageCount=500\r\nUseMaxCount=true\r\n"
                    "UseMaxSize=true\r\nMaxTotalSizeMB=500\r\nScreenshotFolder=" + program.dir + "/\r\n"
                    "ShowFlash=true\r\n").encode()
        check(program.config() == expected, f"config.ini is\n{program.config()!r}\nexpected\n{expected!r}")

        width, height, pixels = pngcheck.read_png(program.path(shots[0]))
        check((width, height) == (640, 480), f"screenshot is {width}x{height}")
        # Outside the tray host's panel the screen shows the known root pattern.
        panel = desktop.panel()
        mismatches = 0
        for y in range(height):
            for x in range(0, width, 3):
                if panel.x <= x < panel.x + panel.width and y < panel.y + panel.height:
                    continue
                i = (y * width + x) * 3
                mismatches += pixels[i:i + 3] != desktop.pattern[i:i + 3]
        check(mismatches == 0, f"{mismatches} pixels differ from the screen")

        program.icon()
        check(program.alive(), "the program ended")
        time.sleep(2)
        check(len(program.screenshots()) == 1, "a second screenshot came before the interval")


if __name__ == "__main__":
    main(test)
