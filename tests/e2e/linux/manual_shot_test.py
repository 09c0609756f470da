"""A left click takes a manual screenshot into "manueller Screenshot" after the white flash; the
flash is not in the picture, the limits do not count it, no automatic screenshot is taken."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, MapWatcher, Ruvello, check, main, wait_for  # noqa: E402
import pngcheck  # noqa: E402


def test(exe):
    with Desktop(640, 480) as desktop:
        program = Ruvello(desktop, exe, config="[Settings]\r\nMaxImageCount=1\r\n")
        program.start()
        wait_for(program.screenshots, 30, "the start-up screenshot")
        manual = program.path("manueller Screenshot")

        watcher = MapWatcher(desktop)
        for expected in (1, 2):
            program.left_click()
            wait_for(lambda: os.path.isdir(manual) and len(os.listdir(manual)) >= expected, 30,
                     f"manual screenshot {expected}")
        names = sorted(os.listdir(manual))
        check(len(names) == 2 and all(n.startswith("ManualShot_") and n.endswith(".png") for n in names),
              f"manual folder holds {names}")
        watcher.sync()
        seen = watcher.maps()
        check(seen.count((0, 0, 640, 480)) == 2, f"not two flashes covering the screen: {seen}")
        check(not desktop.visible_windows("^Blitz$"), "a flash overlay stayed on the screen")

        width, height, pixels = pngcheck.read_png(os.path.join(manual, names[0]))
        check((width, height) == (640, 480), f"manual screenshot is {width}x{height}")
        i = (240 * 640 + 100) * 3
        check(pixels[i:i + 3] == desktop.pattern[i:i + 3], "the flash shows in the manual screenshot")
        check(program.screenshots() and len(program.screenshots()) == 1, "a click took an automatic screenshot")

        program.choose("Down", "Down", "Down", "Down", "Return")  # flash off
        program.wait_config(b"ShowFlash=false\r\n")
        since = watcher.mark()
        program.left_click()
        wait_for(lambda: len(os.listdir(manual)) == 3, 30, "the manual screenshot without flash")
        watcher.sync()
        check((0, 0, 640, 480) not in watcher.maps(since), f"a flash although switched off: {watcher.maps(since)}")

if __name__ == "__main__":
    main(test)
