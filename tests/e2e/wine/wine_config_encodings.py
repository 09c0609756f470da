#!/usr/bin/env python3
"""config.ini as Windows editors save it, under Wine: UTF-8 without and with a byte order mark,
with a screenshot folder whose name has letters beyond ASCII.

    wine_config_encodings.py run CASE --exe EXE --template TEMPLATE [--artifacts DIR]
"""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from wine_e2e import USE_SIZE, check, down, main, shots, wait_for_shots  # noqa: E402
from wine_faults import quit_from_menu  # noqa: E402
from wine_session import wait_for  # noqa: E402

UTF8_MARK = b"\xef\xbb\xbf"


def case_config_utf8(session):
    """A UTF-8 file as Notepad saves it (no mark) names the folder "Büro": the program makes that
    folder and not "BÃ¼ro" (its bytes read in the ANSI code page). With a mark and a layout of
    its own, the settings are read all the same, and a change from the menu writes them in place
    and keeps the mark and every other line, with no second section."""
    office = session.root / "Büro"
    folder = session.windows_path(office) + "\\"
    session.ini.write_bytes(f"[Settings]\r\nIntervalSeconds=1\r\nScreenshotFolder={folder}\r\n"
                            .encode("utf-8"))
    session.start()
    made = lambda: sorted(p.name for p in session.root.iterdir() if p.name.startswith("B"))
    wait_for(made, 20, "the screenshot folder")
    check(made() == ["Büro"], f"folders made: {made()}")
    wait_for_shots(office, 2, 20)
    quit_from_menu(session)

    for path in shots(office):
        path.unlink()
    head = f"; von Hand\r\n[Settings]\r\nIntervalSeconds = 1\r\nNotiz = fürs Büro\r\n"
    tail = "[Andere]\r\nSchlüssel =  bleibt \r\n"
    session.ini.write_bytes(UTF8_MARK + (head + f"ScreenshotFolder = {folder}\r\n"
                                         "MaxImageCount=2\r\n" + tail).encode("utf-8"))
    session.start()
    wait_for_shots(office, 2, 20)
    session.choose(*down(USE_SIZE, "Return"))
    expected = UTF8_MARK + (head.replace("IntervalSeconds = 1", "IntervalSeconds=1") +
                            f"ScreenshotFolder={folder}\r\nMaxImageCount=2\r\n"
                            "UseMaxCount=true\r\nUseMaxSize=false\r\nMaxTotalSizeMB=500\r\n"
                            "ShowFlash=true\r\n" + tail).encode("utf-8")
    session.wait_for_ini_bytes(expected, "with a mark")
    quit_from_menu(session)
    check(len(shots(office)) == 2, f"MaxImageCount 2 kept {shots(office)}")


CASES = {"config_utf8": case_config_utf8}

if __name__ == "__main__":
    sys.exit(main(CASES, set(), {}))
