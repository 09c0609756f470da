"""In a Wayland session (headless sway, two outputs of different sizes, XWayland running, Qt on
Wayland): the first automatic screenshot is the whole layout as the compositor shows it, a left
click (Activate) flashes every output and takes a manual screenshot without the flash, the menu
that the host asks for (ContextMenu) opens as a menu, and "Beenden" over DBusMenu ends the
program."""
import os
import signal
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Ruvello, check, main, wait_for  # noqa: E402
from wayland import HEIGHT, WIDTH, TrayItem, WaylandDesktop, click_until_flash_seen, differing  # noqa: E402
import pngcheck  # noqa: E402


def watch_for_flash(desktop, background, seen, stop):
    """Pictures of the screen while the flash may be up: is every output white-veiled at once?"""
    while not stop.is_set():
        width, _, rgb = desktop.screen()
        veiled = [rgb[(y * width + x) * 3:(y * width + x) * 3 + 3] != background[(y * width + x) * 3:
                                                                                 (y * width + x) * 3 + 3]
                  for x, y in ((100, 100), (1000, 500))]
        if all(veiled):
            seen.append(rgb[(100 * width + 100) * 3:(100 * width + 100) * 3 + 3])


def changed_area(rgb, background):
    """The bounding box (left, top, right, bottom) of the pixels that differ, or None."""
    rows = [y for y in range(0, HEIGHT) if rgb[y * WIDTH * 3:(y + 1) * WIDTH * 3] != background[y * WIDTH * 3:
                                                                                            (y + 1) * WIDTH * 3]]
    if not rows:
        return None
    columns = [x for x in range(WIDTH) for y in (rows[0], rows[len(rows) // 2], rows[-1])
               if rgb[(y * WIDTH + x) * 3:(y * WIDTH + x) * 3 + 3] != background[(y * WIDTH + x) * 3:
                                                                                 (y * WIDTH + x) * 3 + 3]]
    return min(columns), rows[0], max(columns) + 1, rows[-1] + 1


def test(exe):
    with WaylandDesktop() as desktop:
        _, _, background = desktop.screen()
        program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=600\r\n")
        desktop.env["XDG_SESSION_TYPE"] = "wayland"  # Qt takes its Wayland platform, as in a real session
        program.start()

        first = wait_for(program.screenshots, 30, "the first automatic screenshot")[0]
        width, height, pixels = pngcheck.read_png(program.path(first))
        check((width, height) == (WIDTH, HEIGHT), f"the screenshot is {width}x{height}, not the layout")
        check(pixels == background, f"{differing(pixels, background)} pixels differ from grim's picture")
        check(pixels[(550 * WIDTH + 100) * 3:(550 * WIDTH + 100) * 3 + 3] == b"\0\0\0",
              "the gap beside the smaller output is not black")

        item = TrayItem(desktop)
        seen, stop = [], threading.Event()
        watcher = threading.Thread(target=watch_for_flash, args=(desktop, background, seen, stop))
        watcher.start()
        manual = program.path("manueller Screenshot")
        try:
            click_until_flash_seen(item, program, seen)  # grim catches it most of the time
        finally:
            stop.set()
            watcher.join()
        check(seen, "the flash was not seen on the screen")
        check(all(p[0] > background[(100 * WIDTH + 100) * 3] for p in seen), f"the flash is not white: {seen[:2]}")
        for name in sorted(os.listdir(manual)):
            _, _, shot = pngcheck.read_png(os.path.join(manual, name))
            check(shot == background, f"{name}: {differing(shot, background)} pixels differ (the flash in it?)")
        check(len(program.screenshots()) == 1, "a click took an automatic screenshot")

        # swaybar only asks for the menu (ContextMenu): it opens as a menu, not as a window of
        # the tiling layout, without holding up the host's call.
        item.context_menu()
        panel = wait_for(lambda: changed_area(desktop.screen()[2], background), 30, "the menu on the screen")
        left, top, right, bottom = panel
        check(150 <= right - left <= 700 and 150 <= bottom - top <= HEIGHT, f"the menu covers {panel}")
        check(not desktop.window_titles(), f"the menu opened as a window: {desktop.window_titles()}")

        item.click("Beenden")
        wait_for(lambda: not program.alive(), 30, "the program to end after \"Beenden\"")
        check(program.process.returncode == 0, f"the program ended with {program.process.returncode}")

        # A logout while that menu is open ends the program all the same.
        program.start()
        wait_for(lambda: len(program.screenshots()) >= 2, 30, "the first screenshot of the second start")
        item = TrayItem(desktop)
        item.context_menu()
        wait_for(lambda: changed_area(desktop.screen()[2], background), 30, "the menu on the screen")
        program.process.send_signal(signal.SIGTERM)
        wait_for(lambda: not program.alive(), 30, "the program to end on SIGTERM with the menu open")
        check(program.process.returncode == 0, f"SIGTERM with the menu open: exit code {program.process.returncode}")


if __name__ == "__main__":
    main(test)
