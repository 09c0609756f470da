"""The screen's history is its owner's alone: the folders the program makes are 0700 and the
files it writes (screenshots, manual screenshots, config.ini) 0600, under the usual umask 022 as
under 077; a folder the user made keeps the mode the user gave it."""
import os
import stat
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402
import pngcheck  # noqa: E402


def mode(path):
    return stat.S_IMODE(os.stat(path).st_mode)


def start_under(program, umask):
    previous = os.umask(umask)
    try:
        program.start()
    finally:
        os.umask(previous)


def end(program):
    program.process.terminate()  # the program ends normally on SIGTERM
    check(program.process.wait(30) == 0, f"the program ended badly:\n{program.log_text()}")


def run_under(desktop, exe, umask):
    folder = f"Ruvello-{umask:03o}"
    program = Ruvello(desktop, exe, folder=folder)
    os.chmod(program.dir, 0o755)  # the user's own program folder
    shots = program.path("Aufnahmen")  # missing: the program makes it
    start_under(program, umask)
    config = program.path("config.ini")
    wait_for(lambda: os.path.exists(config) and b"ShowFlash" in program.config(), 30, "config.ini")
    first = wait_for(program.screenshots, 30, "the first screenshot")[0]
    check(mode(config) == 0o600, f"umask {umask:03o}: a new config.ini has mode {mode(config):o}")

    # Point the record at a folder that does not exist yet, as a user editing config.ini would.
    text = program.config().replace(f"ScreenshotFolder={program.dir}/".encode(),
                                    f"ScreenshotFolder={shots}/".encode())
    end(program)
    with open(config, "wb") as f:
        f.write(text)
    os.chmod(config, 0o644)  # a file the user changed keeps the mode the user gave it
    start_under(program, umask)
    moved = wait_for(lambda: os.path.isdir(shots) and program.screenshots(shots), 30,
                     "a screenshot in the new folder")
    manual = os.path.join(shots, "manueller Screenshot")
    program.left_click()
    manual_shots = lambda: os.path.isdir(manual) and [  # noqa: E731
        n for n in os.listdir(manual) if n.startswith("ManualShot_")]
    taken = wait_for(manual_shots, 30, "the manual screenshot")
    end(program)

    expected = {
        program.dir: 0o755,
        program.path(first): 0o600,
        config: 0o644,
        shots: 0o700,
        os.path.join(shots, moved[0]): 0o600,
        manual: 0o700,
        os.path.join(manual, taken[0]): 0o600,
    }
    for path, want in expected.items():
        check(mode(path) == want, f"umask {umask:03o}: {path} has mode {mode(path):o}, not {want:o}")
    width, height, _ = pngcheck.read_png(os.path.join(shots, moved[0]))
    check((width, height) == (640, 480), f"the screenshot is {width}x{height}")


def test(exe):
    with Desktop(640, 480) as desktop:
        for umask in (0o022, 0o077):
            run_under(desktop, exe, umask)


if __name__ == "__main__":
    main(test)
