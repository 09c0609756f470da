"""Monitors unplugged and plugged in again and again under a Wayland session (sway with two
outputs, nested, so that they can go and come) while the program takes a shot every second,
flashes for manual shots and shows its layer-shell menu: it keeps running, every file it writes
decodes, and the first shot after each change covers the outputs of that moment. The menu closes
when the compositor closes it with its output, and opens again at the next right click."""
import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Ruvello, check, main, wait_for  # noqa: E402
from wayland import PLUGGABLE_OUTPUTS, TrayItem, WaylandDesktop  # noqa: E402
import pngcheck  # noqa: E402

# The two places of the layout: (picture seed, width, height, x, y).
SLOTS = [(seed, w, h, x, y) for seed, (_, w, h, x, y) in enumerate(PLUGGABLE_OUTPUTS)]
NAME = re.compile(r"(?:Screenshot|ManualShot)_(\d{8}_\d{6})(?:_\d+)?\.png")


def layout_size(outputs):
    """Width and height of the bounding rectangle of the outputs {name: (w, h, x, y)}."""
    return (max(x + w for w, h, x, y in outputs.values()) - min(x for w, h, x, y in outputs.values()),
            max(y + h for w, h, x, y in outputs.values()) - min(y for w, h, x, y in outputs.values()))


def started(name):
    """The second a shot began, from its file name (the local time stamp taken before it)."""
    return time.mktime(time.strptime(NAME.fullmatch(name).group(1), "%Y%m%d_%H%M%S"))


class Session:
    def __init__(self, desktop, program):
        self.desktop, self.program = desktop, program
        self.placed = {name: slot for name, slot in zip((o[0] for o in PLUGGABLE_OUTPUTS), SLOTS)}
        self.sizes = {layout_size(desktop.active_outputs())}  # every layout there has been
        self.changes = 0

    def settled(self):
        """After a change: the outputs as expected, and a fresh client (grim) has been served,
        so that sway has sent the change to every client before."""
        outputs = wait_for(self.desktop.active_outputs, 30, "the outputs")
        self.desktop.screen()
        return outputs

    def check_next_shot(self, since):
        """The first automatic shot begun after `since` covers the outputs there are now."""
        size = layout_size(self.desktop.active_outputs())
        self.sizes.add(size)
        first = wait_for(lambda: [n for n in self.program.screenshots() if started(n) > since], 60,
                         "the first shot after the change")[0]
        width, height, _ = pngcheck.read_png(self.program.path(first))
        check((width, height) == size, f"{first}, the first shot after change {self.changes}, is "
                                       f"{width}x{height}; the outputs {self.desktop.active_outputs()} are {size}")
        check(self.program.alive(), "the program ended")

    def unplug(self, name):
        slot = self.placed.pop(name)
        self.desktop.unplug(name)
        self.changed()
        return slot

    def plug(self, slot):
        self.placed[self.desktop.plug(*slot)] = slot
        self.changed()

    def changed(self):
        self.changes += 1
        self.settled()
        self.check_next_shot(time.time())

    def name_at(self, slot):
        return next(name for name, placed in self.placed.items() if placed == slot)


def menu_shown(desktop, before):
    """Whether the screen differs from `before` (the menu's panel is the only thing that can)."""
    width, height, rgb = desktop.screen()
    return (width, height) == before[:2] and rgb != before[2]


def menu_slot(desktop, before):
    """The slot whose output shows the menu: the first column that differs from `before`."""
    width, _, rgb = desktop.screen()
    for slot in SLOTS:
        _, w, h, x, y = slot
        for row in range(y, y + h, 4):
            at, end = (row * width + x) * 3, (row * width + x + w) * 3
            if rgb[at:end] != before[2][at:end]:
                return slot
    return None


def test(exe):
    with WaylandDesktop(outputs=PLUGGABLE_OUTPUTS, pluggable=True) as desktop:
        program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=1\r\n")
        desktop.env["XDG_SESSION_TYPE"] = "wayland"  # Qt on Wayland, as in a real session
        program.start()
        session = Session(desktop, program)
        session.check_next_shot(time.time())
        item = TrayItem(desktop)
        manual = program.path("manueller Screenshot")

        # Each output goes and comes twice, a manual shot (with its flash) just before the
        # unplugging in the first round and right after it in the second.
        for round in range(2):
            for slot in SLOTS:
                if round % 2 == 0:
                    item.activate()
                gone = session.unplug(session.name_at(slot))
                if round % 2 == 1:
                    item.activate()
                session.plug(gone)

        # The menu goes with its output, and opens again at the next right click.
        before = desktop.screen()
        item.context_menu()
        wait_for(lambda: menu_shown(desktop, before), 30, "the menu on the screen")
        slot = wait_for(lambda: menu_slot(desktop, before), 30, "the output of the menu")
        session.plug(session.unplug(session.name_at(slot)))
        before = desktop.screen()
        item.context_menu()
        wait_for(lambda: menu_shown(desktop, before), 30, "the menu on the screen after its output came back")

        item.click("Beenden")
        wait_for(lambda: not program.alive(), 60, "the program to end after \"Beenden\"")
        check(program.process.returncode == 0, f"the program ended with {program.process.returncode}")

        shots = [program.path(n) for n in program.screenshots()]
        shots += [os.path.join(manual, n) for n in sorted(os.listdir(manual))] if os.path.isdir(manual) else []
        check(len(shots) >= session.changes, f"only {len(shots)} files in {session.changes} changes")
        check(os.path.isdir(manual) and os.listdir(manual), "no manual screenshot was written")
        for path in shots:
            width, height, _ = pngcheck.read_png(path)  # fails on a file that does not decode
            check((width, height) in session.sizes,
                  f"{os.path.basename(path)} is {width}x{height}, no layout there was ({session.sizes})")


if __name__ == "__main__":
    main(test)
