#!/usr/bin/env python3
"""Ruvello's automatic screenshot beside scrot and beside libpng at its defaults, on private
virtual displays showing the reference desktop frames, measured in one run. Prints a table of
the time per screenshot (median, min-max), the bytes per file and the ratio to libpng's bytes,
and checks that Ruvello's file decodes (ImageMagick) to exactly the screen's pixels.

    python3 bench/compare_shots.py build/linux/bench/ruvello_shot_bench [frames folder] [runs]
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def start_display(width, height):
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
                             "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        number += os.read(read_end, 16)
    os.close(read_end)
    return xvfb, f":{int(number)}"


def rgb_of(path, env):
    return subprocess.run(["convert", path, "-depth", "8", "rgb:-"], env=env, capture_output=True, check=True).stdout


def measure(bench, frame, runs):
    width, height = map(int, os.path.basename(frame)[len("desktop-"):-len(".png")].split("x"))
    xvfb, display = start_display(width, height)
    env = dict(os.environ, DISPLAY=display)
    rows = {}
    try:
        subprocess.run(["display", "-window", "root", frame], env=env, capture_output=True)
        result = subprocess.run([bench, "--benchmark_filter=TickToFile|LibpngDefault|Grab",
                                 f"--benchmark_repetitions={runs}", "--benchmark_format=json"],
                                env=env, capture_output=True, text=True, check=True)
        for run in json.loads(result.stdout)["benchmarks"]:
            if run.get("run_type") != "iteration":
                continue
            name = run["run_name"].split("/min_time")[0]
            entry = rows.setdefault(name, {"times": [], "bytes": run.get("bytes")})
            entry["times"].append(run["real_time"])
        with tempfile.TemporaryDirectory() as folder:
            times, sizes = [], []
            for i in range(runs):
                path = os.path.join(folder, f"scrot{i}.png")
                started = time.perf_counter()
                subprocess.run(["scrot", "-o", path], env=env, check=True)
                times.append((time.perf_counter() - started) * 1000)
                sizes.append(os.path.getsize(path))
            rows["scrot (whole process)"] = {"times": times, "bytes": statistics.median(sizes)}
            # Ruvello's own file against an independent grab of the same screen.
            shot = os.path.join(folder, "ruvello.png")
            check = subprocess.run([bench, "--benchmark_filter=TickToFile", "--benchmark_min_time=0",
                                    f"--shot={shot}"], env=env, capture_output=True, text=True)
            exact = None
            if check.returncode == 0 and os.path.exists(shot):
                reference = os.path.join(folder, "import.png")
                subprocess.run(["import", "-window", "root", reference], env=env, check=True)
                exact = rgb_of(shot, env) == rgb_of(reference, env)
    finally:
        xvfb.terminate()
        xvfb.wait()
    return f"{width}x{height}", rows, exact


def main():
    bench = os.path.abspath(sys.argv[1])
    frames = sys.argv[2] if len(sys.argv) > 2 else os.path.join(HERE, "..", "..", "shared", "bench")
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 15
    labels = {"TickToFile": "ruvello tick to file", "LibpngDefault": "grab + libpng default + write",
              "Grab/1": "grab, shared memory", "Grab/0": "grab, plain transfer"}
    for name in ("desktop-1920x1080.png", "desktop-3840x2160.png"):
        size, rows, exact = measure(bench, os.path.join(frames, name), runs)
        reference = rows["LibpngDefault"]["bytes"]
        print(f"\n{size}, {runs} runs each" +
              ("" if exact is None else f"; ruvello's file decodes to the screen's pixels: {'yes' if exact else 'NO'}"))
        print(f"{'':32} {'median ms':>10} {'min-max ms':>16} {'bytes':>10} {'x libpng':>9}")
        for key in ("TickToFile", "LibpngDefault", "scrot (whole process)", "Grab/1", "Grab/0"):
            row = rows[key]
            t = row["times"]
            b = row["bytes"]
            size_text = f"{b:>10.0f} {b / reference:>9.3f}" if b else f"{'':>10} {'':>9}"
            print(f"{labels.get(key, key):32} {statistics.median(t):>10.1f} {min(t):>7.1f}-{max(t):<8.1f} {size_text}")


if __name__ == "__main__":
    main()
