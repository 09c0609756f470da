"""Right click opens the menu; "Max. Bilder" -> 25 over a seeded folder prunes it to the 25
newest PNG files at once (".PNG" counts, a subfolder's files do not) and saves the choice."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
import pngcheck  # noqa: E402


def seed(program):
    """40 screenshots a minute apart, an upper-case ".PNG" among them and an old file in a subfolder."""
    now = time.time()
    ages = {}
    for i in range(40):
        ages[f"Screenshot_2024010{i // 10}_0000{i % 10}0.png"] = 3600 - 60 * i
    ages["Urlaub.PNG"] = 3600 - 60 * 30 - 30  # between the 31st and the 32nd
    os.makedirs(program.path("sub"))
    ages[os.path.join("sub", "alt.png")] = 99999
    for name, age in ages.items():
        pngcheck.write_png(program.path(name), 1, 1, b"\x10\x20\x30")
        os.utime(program.path(name), (now - age, now - age))
    return ages


def test(exe):
    with Desktop(640, 480) as desktop:
        program = Ruvello(desktop, exe)
        ages = seed(program)
        program.start()
        wait_for(lambda: len(program.screenshots()) == 41, 30, "the start-up screenshot")
        first = max(program.screenshots())

        menu = program.open_menu()
        artifacts = os.environ.get("RUVELLO_ARTIFACTS")
        if artifacts:
            os.makedirs(artifacts, exist_ok=True)
            time.sleep(0.3)
            shot = os.path.join(artifacts, "tray-menu.png")
            left = max(menu.x - 20, 0)
            desktop.run("import", "-window", "root", "-crop",
                        f"{desktop.width - left}x{menu.y + menu.height + 20}+{left}+0", shot)
        desktop.keys("Down", "Right", "Return")  # "Max. Bilder", its first choice "25"
        program.wait_menu_closed()
        program.wait_config(b"MaxImageCount=25\r\n")

        pngs = sorted(n for n in os.listdir(program.dir) if n.lower().endswith(".png"))
        newest = sorted((n for n in ages if os.sep not in n), key=lambda n: ages[n])[:24] + [first]
        check(pngs == sorted(newest), f"kept {pngs}\nexpected {sorted(newest)}")
        check("Urlaub.PNG" in pngs, "the upper-case .PNG is one of the newest and stays")
        check(os.path.exists(program.path("sub", "alt.png")), "a file in a subfolder was touched")
        check(program.alive(), "the program ended")


if __name__ == "__main__":
    main(test)
