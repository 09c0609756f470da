"""Hand-edited and damaged config.ini files: the documented values are used, and the file is never
truncated or corrupted: start-up leaves an existing file alone, a change from the menu rewrites
only the values, a read-only file stays as it is."""
import os
import stat
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402

GARBAGE = bytes(range(256)) * 8


def starts_alone(exe, desktop, name, content):
    """Starts on `content`; the file must be untouched after the first screenshot."""
    program = Ruvello(desktop, exe, folder=name)
    with open(program.path("config.ini"), "wb") as f:
        f.write(content)
    program.start()
    wait_for(program.screenshots, 30, f"{name}: the first screenshot")
    check(program.config() == content, f"{name}: start-up changed config.ini")
    return program


def test(exe):
    with Desktop(640, 480) as desktop:
        # An empty file and binary garbage read as all defaults (the screenshots go to the
        # program folder); a change appends a [Settings] section and keeps every other byte.
        for name, content in (("Empty", b""), ("Garbage", GARBAGE)):
            program = starts_alone(exe, desktop, name, content)
            program.choose("Up", "Up", "Return")  # "Begrenzung Speicher aktiv" off
            program.wait_config(b"UseMaxSize=false\r\n")
            check(program.config().startswith(content), f"{name}: the old bytes were not kept")
            section = program.config()[len(content):].decode()
            check(section.removeprefix("\r\n").count("\r\n") == 8 and "IntervalSeconds=60\r\n" in section,
                  f"{name}: the new section is {section!r}")
            program.process.terminate()
            program.process.wait(10)

        # Other case and order, duplicates, blanks, hex, out-of-range and non-numeric values.
        hand = (b"; mine\r\n[settings]\r\nmaximagecount = 3\r\nINTERVALSECONDS=&H2\r\nMaxImageCount=99\r\n"
                b"MaxTotalSizeMB=-7\r\nUseMaxCount= Ja \r\nShowFlash=vielleicht\r\n"
                b"[Settings]\r\nIntervalSeconds=1\r\n[Other]\r\nKeep=me\r\n")
        program = starts_alone(exe, desktop, "HandEdited", hand)
        # Every screenshot lives for two intervals at least before the count limit takes it.
        taken = {}

        def four_taken():
            for name in program.screenshots():
                try:
                    taken.setdefault(name, os.stat(program.path(name)).st_mtime)
                except FileNotFoundError:
                    pass
            return len(taken) >= 4
        wait_for(four_taken, 60, "four screenshots")
        program.settle()
        check(len(program.screenshots()) == 3, f"MaxImageCount 3 kept {len(program.screenshots())} files")
        # The shots keep to a grid: late ones do not move the next. The mean over three gaps
        # tells 2 s from the 1 s of the later duplicate and the default 60 s on a loaded machine.
        times = sorted(taken.values())[:4]
        mean = (times[-1] - times[0]) / 3
        check(1.5 <= mean <= 3, f"not 2 s apart: {times}")
        program.choose("Up", "Up", "Return")
        program.wait_config(b"UseMaxSize=false\r\n")
        text = program.config()
        check(text.startswith(b"; mine\r\n[settings]\r\nmaximagecount=3\r\nINTERVALSECONDS=2\r\n"
                              b"MaxImageCount=99\r\nMaxTotalSizeMB=500\r\nUseMaxCount=true\r\nShowFlash=true\r\n"),
              f"values were not replaced in place: {text!r}")
        check(text.endswith(b"[Settings]\r\nIntervalSeconds=1\r\n[Other]\r\nKeep=me\r\n"),
              f"the rest of the file changed: {text!r}")
        program.process.terminate()
        program.process.wait(10)

        # Values of 2,000 characters: the first 1,023 count, the file keeps all of them.
        long_values = b"[Settings]\r\nIntervalSeconds=" + b"1" + b" " * 1999 + b"\r\nShowFlash=" + b"x" * 2000 + b"\r\n"
        program = starts_alone(exe, desktop, "LongValues", long_values)
        wait_for(lambda: len(program.screenshots()) >= 2, 30, "screenshots every second")
        program.process.terminate()
        program.process.wait(10)
        check(program.config() == long_values, "the long values were changed")

        # A read-only file stays byte for byte, and the program keeps working with its settings.
        readonly = b"[Settings]\r\nIntervalSeconds=1\r\nUseMaxSize=true\r\n"
        program = Ruvello(desktop, exe, folder="ReadOnly")
        with open(program.path("config.ini"), "wb") as f:
            f.write(readonly)
        os.chmod(program.path("config.ini"), stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        program.start()
        wait_for(program.screenshots, 30, "the first screenshot")
        program.choose("Up", "Up", "Return")
        program.settle()
        check(program.config() == readonly, "the read-only config.ini changed")
        check(sorted(os.listdir(program.dir)) == sorted(["config.ini", "ruvello"] + program.screenshots()),
              f"stray files beside a read-only config.ini: {os.listdir(program.dir)}")
        wait_for(lambda: len(program.screenshots()) >= 3, 30, "the program to go on")


if __name__ == "__main__":
    main(test)
