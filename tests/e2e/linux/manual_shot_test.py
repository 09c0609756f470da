"""A left click takes a manual screenshot into "manueller Screenshot" after the white flash; the
flash is not in the picture, the limits do not count it, no automatic screenshot is taken."""
import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
import pngcheck  # noqa: E402


def watch_for_flash(desktop, seen, stop):
    while not stop.is_set():
        for w in desktop.windows():
            if w.name == "Blitz":
                seen.append((w.x, w.y, w.width, w.height))
        time.sleep(0.005)


def test(exe):
    with Desktop(640, 480) as desktop:
        program = Ruvello(desktop, exe, config="[Settings]\r\nMaxImageCount=1\r\n")
        program.start()
        wait_for(program.screenshots, 10, "the start-up screenshot")
        manual = program.path("manueller Screenshot")

        seen, stop = [], threading.Event()
        watcher = threading.Thread(target=watch_for_flash, args=(desktop, seen, stop))
        watcher.start()
        try:
            for expected in (1, 2):
                program.left_click()
                wait_for(lambda: os.path.isdir(manual) and len(os.listdir(manual)) >= expected, 10,
                         f"manual screenshot {expected}")
                time.sleep(1.1)  # the next one gets a name of its own
        finally:
            stop.set()
            watcher.join()
        names = sorted(os.listdir(manual))
        check(len(names) == 2 and all(n.startswith("ManualShot_") and n.endswith(".png") for n in names),
              f"manual folder holds {names}")
        check(seen and seen[0] == (0, 0, 640, 480), f"the flash covering the screen was not seen: {seen[:3]}")

        width, height, pixels = pngcheck.read_png(os.path.join(manual, names[0]))
        check((width, height) == (640, 480), f"manual screenshot is {width}x{height}")
        i = (240 * 640 + 100) * 3
        check(pixels[i:i + 3] == desktop.pattern[i:i + 3], "the flash shows in the manual screenshot")
        check(program.screenshots() and len(program.screenshots()) == 1, "a click took an automatic screenshot")

        program.choose("Down", "Down", "Down", "Down", "Return")  # flash off
        program.wait_config(b"ShowFlash=false\r\n")
        seen.clear()
        stop.clear()
        watcher = threading.Thread(target=watch_for_flash, args=(desktop, seen, stop))
        watcher.start()
        time.sleep(1.1)
        program.left_click()
        wait_for(lambda: len(os.listdir(manual)) == 3, 10, "the manual screenshot without flash")
        time.sleep(0.3)
        stop.set()
        watcher.join()
        check(not seen, "a flash showed although it was switched off")


if __name__ == "__main__":
    main(test)
