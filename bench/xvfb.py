"""A private virtual X display for the benchmarks."""
import os
import subprocess


def start_display(width, height):
    """A private Xvfb display of that size: its process and its name (":n")."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
                             "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        number += os.read(read_end, 16)
    os.close(read_end)
    return xvfb, f":{int(number)}"
