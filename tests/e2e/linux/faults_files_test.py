"""The folder holds what other programs and the user put there: a folder named x.png, a link
named x.png pointing outside, names with spaces, non-ASCII letters and very long names, files
appearing and vanishing all the time. Only PNG files directly in the folder are ever deleted, a
link only as a link; the program runs on."""
import os
import random
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
import pngcheck  # noqa: E402


def churn(folder, stop):
    """Creates and removes PNG files as fast as it can, so some vanish between listing and stat."""
    rng = random.Random(7)
    while not stop.is_set():
        name = os.path.join(folder, f"churn{rng.randrange(50)}.png")
        try:
            if rng.random() < 0.5:
                with open(name, "wb") as f:
                    f.write(b"\x89PNG")
            else:
                os.remove(name)
        except OSError:
            pass


def test(exe):
    with Desktop(640, 480) as desktop:
        outside = os.path.join(desktop.tmp, "outside.png")
        pngcheck.write_png(outside, 1, 1, b"\1\2\3")
        program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\nMaxImageCount=2\r\n")
        odd = ["mit Leerzeichen.png", "Grüße ä ö ü ß.png", "雪.png", "x" * 251 + ".png"]
        old = time.time() - 3600
        for i, name in enumerate(odd):
            pngcheck.write_png(program.path(name), 1, 1, b"\0\0\0")
            os.utime(program.path(name), (old + i, old + i))
        os.mkdir(program.path("x.png"))
        pngcheck.write_png(program.path("x.png", "inner.png"), 1, 1, b"\0\0\0")
        os.symlink(outside, program.path("link.png"))
        os.utime(program.path("link.png"), (old - 10, old - 10), follow_symlinks=False)
        os.utime(outside, (old - 10, old - 10))

        program.start()
        wait_for(lambda: len(program.screenshots()) == 2, 30, "two screenshots")
        wait_for(lambda: not any(os.path.lexists(program.path(name)) for name in odd + ["link.png"]), 30,
                 "the old files with odd names and the old link to go")
        check(os.path.exists(outside), "the file the link pointed to was deleted")
        check(os.path.isfile(program.path("x.png", "inner.png")), "the folder named x.png was touched")

        stop = threading.Event()
        worker = threading.Thread(target=churn, args=(program.dir, stop))
        worker.start()
        try:
            time.sleep(6)  # six automatic screenshots with files vanishing under them
        finally:
            stop.set()
            worker.join()
        check(program.alive(), "the program ended while files came and went")
        program.settle()

        def pngs():
            return [n for n in os.listdir(program.dir) if n.lower().endswith(".png") and os.path.isfile(program.path(n))]
        wait_for(lambda: len(pngs()) <= 2, 30, f"the count limit to hold again: {pngs()}")


if __name__ == "__main__":
    main(test)
