"""Screens of 16 and 30 bits per pixel give correct RGB screenshots, compared with an independent
grab of the same screen."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
import pngcheck  # noqa: E402


def test(exe):
    for depth in (16, 30):
        with Desktop(320, 240, depth=depth, tray=False) as desktop:
            program = Ruvello(desktop, exe).start()
            shot = wait_for(program.screenshots, 30, f"a screenshot at depth {depth}")[0]
            width, height, pixels = pngcheck.read_png(program.path(shot))
            _, _, reference = desktop.screen_rgb()
            check((width, height) == (320, 240), f"depth {depth}: screenshot is {width}x{height}")
            worst = max(abs(a - b) for a, b in zip(pixels, reference))
            check(worst <= 2, f"depth {depth}: a channel differs by {worst} from the screen")
            check(len(set(pixels[i:i + 3] for i in range(0, len(pixels), 3))) > 500,
                  f"depth {depth}: the screenshot lost the picture's colours")


if __name__ == "__main__":
    main(test)
