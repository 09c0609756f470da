#!/usr/bin/env python3
"""A Wayland screenshot (headless sway, wlr-screencopy; headless KWin, ScreenShot2) against the X11
one (Xvfb), measured in one run on the same machine with the same frame on the screen: the
program's whole automatic screenshot from the tick to the file, its wall time and its process CPU
time, and the CPU time the display server spent for it (sway copying the output, KWin drawing and
sending its picture, Xvfb serving the grab). Checks that every file holds exactly the frame's
pixels. KWin's row needs the build's output_config and show_frame (left out without them).

    python3 bench/compare_wayland.py build/linux/bench/ruvello_shot_bench [frames folder] [runs]
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import pngcheck  # noqa: E402
from xvfb import start_display  # noqa: E402
from wayland import WaylandDesktop  # noqa: E402
from kwin_desktop import KWinDesktop  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_ms(pid):
    """User and system time of a process and its waited-for children, in ms."""
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return sum(int(f) for f in fields[11:15]) * 1000 / TICKS


def run_bench(bench, env, runs, server_pid):
    before = cpu_ms(server_pid)
    result = subprocess.run([bench, "--benchmark_filter=TickToFile", f"--benchmark_repetitions={runs}",
                             "--benchmark_format=json"], env=env, capture_output=True, text=True, check=True)
    server = cpu_ms(server_pid) - before
    runs_ = [r for r in json.loads(result.stdout)["benchmarks"] if r.get("run_type") == "iteration"]
    shots = sum(r["iterations"] for r in runs_)
    with tempfile.TemporaryDirectory() as folder:
        shot = os.path.join(folder, "shot.png")
        subprocess.run([bench, f"--shot={shot}"], env=env, capture_output=True, check=True)
        pixels = pngcheck.read_png(shot)[2]
    return {"wall": [r["real_time"] for r in runs_], "cpu": [r["cpu_time"] for r in runs_],
            "server": server / max(shots, 1), "shots": shots, "pixels": pixels,
            "bytes": runs_[0].get("bytes")}


def measure(bench, frame, runs):
    width, height = map(int, os.path.basename(frame)[len("desktop-"):-len(".png")].split("x"))
    expected = pngcheck.read_png(frame)[2]
    base = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "WAYLAND_SOCKET", "DISPLAY")}
    base["QT_QPA_PLATFORM"] = "offscreen"  # the same Qt side for both routes
    rows = {}

    xvfb, display = start_display(width, height)
    try:
        env = dict(base, DISPLAY=display)
        subprocess.run(["display", "-window", "root", frame], env=env, capture_output=True)
        rows["X11 (Xvfb, shared memory)"] = run_bench(bench, env, runs, xvfb.pid)
    finally:
        xvfb.terminate()
        xvfb.wait()

    with WaylandDesktop(tray=False, outputs=(("HEADLESS-1", width, height, 0, 0),),
                        backgrounds={"HEADLESS-1": frame}) as desktop:
        env = dict(base, WAYLAND_DISPLAY=desktop.env["WAYLAND_DISPLAY"], XDG_RUNTIME_DIR=desktop.runtime)
        rows["Wayland (sway, wlr-screencopy)"] = run_bench(bench, env, runs, desktop.sway.pid)

    build = os.path.dirname(os.path.dirname(os.path.abspath(bench)))
    output_config = os.path.join(build, "tests", "e2e", "kwin", "output_config")
    show_frame = os.path.join(build, "bench", "show_frame")
    if os.path.exists(output_config) and os.path.exists(show_frame):
        with KWinDesktop(output_config, tray=False, size=(width, height), count=1) as desktop:
            viewer = subprocess.Popen([show_frame, frame], env=desktop.env, stdout=subprocess.PIPE, text=True)
            desktop.processes.append(viewer)
            check_line = viewer.stdout.readline().strip()
            if check_line != "shown":
                raise SystemExit(f"show_frame said {check_line!r}")
            env = dict(base, WAYLAND_DISPLAY=desktop.env["WAYLAND_DISPLAY"], XDG_RUNTIME_DIR=desktop.runtime,
                       DBUS_SESSION_BUS_ADDRESS=desktop.env["DBUS_SESSION_BUS_ADDRESS"], HOME=desktop.env["HOME"],
                       XDG_DATA_DIRS=desktop.env["XDG_DATA_DIRS"])
            # The first shot of a new grant entry waits until KWin has read it: outside the runs.
            subprocess.run([bench, f"--shot={os.path.join(desktop.tmp, 'grant.png')}"], env=env,
                           capture_output=True, check=True)
            rows["Wayland (KWin, ScreenShot2)"] = run_bench(bench, env, runs, desktop.kwin.pid)

    print(f"\n{width}x{height}, {runs} runs each")
    print("| route | tick to file, median (min-max) | program CPU | server CPU | bytes | pixels |")
    print("|---|---|---|---|---|---|")
    for name, row in rows.items():
        wall = row["wall"]
        print(f"| {name} | {statistics.median(wall):.1f} ms ({min(wall):.1f}-{max(wall):.1f}) | "
              f"{statistics.median(row['cpu']):.1f} ms | {row['server']:.1f} ms | {row['bytes']:.0f} | "
              f"{'exact' if row['pixels'] == expected else 'DIFFER'} |")
    x11 = rows["X11 (Xvfb, shared memory)"]
    for name, wl in list(rows.items())[1:]:
        print(f"{name} / X11: wall {statistics.median(wl['wall']) / statistics.median(x11['wall']):.2f}x, "
              f"program + server CPU "
              f"{(statistics.median(wl['cpu']) + wl['server']) / (statistics.median(x11['cpu']) + x11['server']):.2f}x")
    return all(row["pixels"] == expected for row in rows.values())


def main():
    bench = os.path.abspath(sys.argv[1])
    frames = sys.argv[2] if len(sys.argv) > 2 else os.path.join(HERE, "..", "..", "shared", "bench")
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    exact = True
    for name in ("desktop-1920x1080.png", "desktop-3840x2160.png"):
        exact &= measure(bench, os.path.join(frames, name), runs)
    sys.exit(0 if exact else 1)


if __name__ == "__main__":
    main()
