#!/usr/bin/env python3
"""A long run of ruvello.exe under Wine (not part of CTest): `shots` automatic screenshots at the
shortest interval (1 s) with MaxImageCount=10 on a busy screen, with a manual screenshot and the
menu opened and closed once a minute. ruvello_fault_helper.exe samples the process every 10 s:
its GDI objects (from the GDI handle table, where GetGuiResources counts them; Wine does not
implement that call), its windows (the USER objects one can see from outside under Wine), its
handles, private bytes and working set. The folder is checked at every poll. Fails on growth of
any counter or on a folder beyond its limit.

    python3 tests/e2e/wine/soak_win32.py build/windows/ruvello.exe [shots=300]

The helper is looked for beside the exe.
"""
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from wine_e2e import check, shots, wait_for_shots, write_ini  # noqa: E402
from wine_faults import quit_from_menu, set_busy_background  # noqa: E402
from wine_session import Failure, Session, prepare_prefix, wait_for  # noqa: E402

LIMIT = 10
SAMPLE_SECONDS = 10
WARM_UP_SAMPLES = 6  # the first minute: caches, fonts and the menu's first drawing fill up
COUNTERS = ["gdi", "windows", "handles", "private", "working_set"]
# Above the first minute, allowed for a sample taken in the middle of a screenshot or manual
# shot (a DC, a bitmap, the flash window), and in memory for heap that is not given back.
SLACK = {"gdi": 6, "windows": 1, "handles": 4}


def parse(line):
    return {key: int(value) for key, value in (part.split("=") for part in line.split())}


def soak(exe, shots_wanted, work):
    helper = Path(exe).with_name("ruvello_fault_helper.exe")
    check(helper.exists(), f"{helper} not built")
    template = work / "template"
    print("preparing a Wine prefix ...", flush=True)
    prepare_prefix(template)
    with Session(exe, template, "soak") as session:
        set_busy_background(session)
        write_ini(session, IntervalSeconds=1, MaxImageCount=LIMIT)
        session.start()
        wait_for_shots(session.folder, 1, 30)
        sampler = subprocess.Popen(
            ["wine", str(helper), "sample", "ruvello.exe", str(SAMPLE_SECONDS * 1000)],
            env=session.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=session.log,
            text=True)
        session.processes.append(sampler)
        lines = queue.Queue()  # read aside, so that the polls of the folder go on meanwhile
        threading.Thread(target=lambda: [lines.put(line.strip()) for line in sampler.stdout],
                         daemon=True).start()
        samples, seen, worst = [], set(), 0
        started = time.monotonic()
        last_extra = started - 60  # the first round at once, within the first minute
        try:
            while len(seen) < shots_wanted:
                names = {p.name for p in shots(session.folder)}
                worst = max(worst, len(names))
                check(len(names) <= LIMIT + 1, f"the folder holds {len(names)} screenshots")
                seen.update(names)
                while not lines.empty():
                    line = lines.get()
                    check(line != "gone", f"the program ended after {len(seen)} screenshots")
                    samples.append(parse(line))
                check(session.running(), f"the program ended after {len(seen)} screenshots")
                if time.monotonic() - last_extra >= 60:
                    session.click_icon(1)  # a manual shot with the flash
                    wait_for(lambda: not session.viewable_windows("Blitz"), 20, "the flash")
                    session.open_menu()
                    session.xdotool("key", "Escape")
                    wait_for(lambda: not session.open_popups(), 20, "the menu to close")
                    last_extra = time.monotonic()
                time.sleep(0.25)
        finally:
            sampler.stdin.close()
            sampler.wait(30)
        elapsed = time.monotonic() - started
        quit_from_menu(session)
        left = len(shots(session.folder))
        manual = len(list((session.folder / "manueller Screenshot").glob("*.png")))
    report(samples, len(seen), elapsed, worst, left, manual)


def report(samples, taken, elapsed, worst, left, manual):
    check(len(samples) > WARM_UP_SAMPLES + 3, f"only {len(samples)} samples")
    print(f"{taken} screenshots in {elapsed:.0f} s, {manual} manual ones; the folder held at "
          f"most {worst} (limit {LIMIT}, one more just written before the limits run), "
          f"{left} at the end; {len(samples)} samples, one each {SAMPLE_SECONDS} s")
    failures = []
    for name in COUNTERS:
        values = [s[name] for s in samples]
        settled = values[WARM_UP_SAMPLES]
        tail = min(values[-3:])
        unit = " bytes" if name in ("private", "working_set") else ""
        print(f"  {name:12} first {values[0]}{unit}, after a minute {settled}, last {values[-1]}, "
              f"max {max(values)}, min {min(values)}")
        if name in SLACK:
            print(f"               all: {' '.join(map(str, values))}")
        if name in SLACK:
            if tail > settled + SLACK[name]:
                failures.append(f"{name} grew from {settled} to {tail}")
        elif name == "private" and tail > settled * 1.10 + (2 << 20):
            failures.append(f"private bytes grew from {settled} to {tail}")
    gui = {s["gui_gdi"] for s in samples} | {s["gui_user"] for s in samples}
    if gui == {-1}:
        print("  GetGuiResources: not implemented here (Wine); USER objects other than windows "
              "(menus, icons) cannot be counted from outside")
    check(left == LIMIT, f"{left} screenshots left, limit {LIMIT}")
    check(not failures, "; ".join(failures))
    print("passed")


def main():
    exe = Path(sys.argv[1]).resolve()
    shots_wanted = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    work = Path(tempfile.mkdtemp(prefix="ruvello-soak-"))
    try:
        soak(exe, shots_wanted, work)
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
