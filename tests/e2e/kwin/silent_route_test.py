"""KDE Plasma's compositor (KWin 5.27, headless, two outputs): a copy of the program started from
its own folder writes its hidden desktop entry, KWin grants it ScreenShot2 by that entry, and
from the first screenshot on every file is the whole layout as KWin shows it (a known picture on
each output, the gap black), with nothing asked and nothing said. A left click on the tray item
(Activate) flashes the outputs and takes a manual screenshot without the flash; an output
switched off is gone from the next screenshot and back in the one after it is switched on
again; with one output at scale 2 the picture takes the larger scale; the menu that Plasma's
host shows comes over DBusMenu, and "Beenden" ends the program."""
import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Ruvello, check, main, wait_for  # noqa: E402
from kwin_desktop import HEIGHT, MONITORS, SECOND, WIDTH, KWinDesktop, same_as_screen  # noqa: E402
from portal_services import check_screenshot, next_shot, pattern_pixel  # noqa: E402
from wayland import TrayItem, click_until_flash_seen  # noqa: E402
import pngcheck  # noqa: E402

OUTPUT_CONFIG = os.path.abspath(sys.argv[2])
PATTERN = os.path.abspath(sys.argv[3])
LAYOUT = (SECOND[0] + WIDTH, SECOND[1] + HEIGHT)


def watch_for_flash(desktop, seen, stop):
    """KWin's pictures while the flash may be up: is every output veiled white at once?"""
    while not stop.is_set():
        width, _, rgb = desktop.screen()
        points = [(100, 100), (SECOND[0] + 100, SECOND[1] + 100)]
        if width == LAYOUT[0] and all(min(rgb[(y * width + x) * 3:(y * width + x) * 3 + 3]) >= 0x60 and
                                      rgb[(y * width + x) * 3:(y * width + x) * 3 + 3] != bytes(3)
                                      for x, y in points):
            seen.append(rgb[(100 * width + 100) * 3:(100 * width + 100) * 3 + 3])


def manual_shots(program):
    folder = program.path("manueller Screenshot")
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def test(exe):
    with KWinDesktop(OUTPUT_CONFIG, PATTERN) as desktop:
        program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=2\r\n")
        program.start()

        # The grant: a hidden entry naming this copy, which KWin reads.
        entries = wait_for(desktop.program_entries, 30, "the program's desktop entry")
        check(len(entries) == 1, f"entries: {sorted(entries)}")
        entry = next(iter(entries.values()))
        for line in (f'Exec="{program.exe}"', "NoDisplay=true",
                     "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2"):
            check(line in entry.splitlines(), f"{line!r} not in the entry:\n{entry}")

        first = wait_for(program.screenshots, 60, "the first automatic screenshot")[0]
        check_screenshot(program.path(first), list(MONITORS), [0, 0])
        time.sleep(3)  # a notice would be on the screen by now
        check_screenshot(program.path(next_shot(program)), list(MONITORS), [0, 0])
        same_as_screen(program.path(program.screenshots()[-1]), desktop)
        check(program.alive(), "the program ended")

        # A left click: the flash on every output, a manual screenshot without it.
        item = TrayItem(desktop)
        seen, stop = [], threading.Event()
        watcher = threading.Thread(target=watch_for_flash, args=(desktop, seen, stop))
        watcher.start()
        try:
            click_until_flash_seen(item, program, seen)
        finally:
            stop.set()
            watcher.join()
        check(seen, "the flash was not seen on the screen")
        for name in manual_shots(program):
            check_screenshot(program.path("manueller Screenshot", name), list(MONITORS), [0, 0])

        # An output unplugged: the next screenshot has the other one alone; plugged in again,
        # both, and no dialog on the way.
        desktop.output("disable", "Virtual-1")
        alone = program.path(next_shot(program))
        check(pngcheck.read_png(alone)[:2] == (WIDTH, HEIGHT), "the unplugged output is still in the screenshot")
        same_as_screen(alone, desktop)
        desktop.output("enable", "Virtual-1", "position", "Virtual-1", *SECOND)
        both = program.path(next_shot(program))
        check(pngcheck.read_png(both)[:2] == LAYOUT, "the output plugged in again is not in the screenshot")
        same_as_screen(both, desktop)

        # The second output at scale 2 (half the logical size): the picture takes the larger
        # scale, the first output enlarged pixel by pixel, as on the other Wayland routes.
        desktop.output("scale", "Virtual-1", 2)
        scaled = program.path(next_shot(program))
        width, height, pixels = pngcheck.read_png(scaled)
        check((width, height) == ((SECOND[0] + WIDTH // 2) * 2, max(HEIGHT, SECOND[1] + HEIGHT // 2) * 2),
              f"the screenshot with a scaled output is {width}x{height}")
        for x, y in ((0, 0), (1, 1), (777, 333), (1599, 1199)):
            at = (y * width + x) * 3
            check(tuple(pixels[at:at + 3]) == pattern_pixel(0, 0, x // 2, y // 2),
                  f"the first output is not enlarged pixel by pixel at ({x}, {y})")
        same_as_screen(scaled, desktop)

        # The menu as Plasma's host shows it: over DBusMenu, "Beenden" ends the program.
        items = item.menu_items()
        for label in ("Max. Bilder", "Intervall", "Beenden"):
            check(any(l.startswith(label) for l in items), f"no {label!r} in the menu: {sorted(items)}")
        item.click("Beenden")
        wait_for(lambda: not program.alive(), 30, "the program to end after \"Beenden\"")
        check(program.process.returncode == 0, f"the program ended with {program.process.returncode}")


if __name__ == "__main__":
    main(test)
