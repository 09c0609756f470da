#!/usr/bin/env python3
"""Ruvello's automatic screenshot beside scrot and beside libpng at its defaults, on private
virtual displays whose screens change between shots, measured in one run: the tools take their
shots in turn, and the screen changes before every shot. Prints, for each scene, the CPU time
per shot (Ruvello's whole process; scrot's process from start to end), the wall time, the bytes
per file and their ratio to libpng's, and checks that Ruvello's file decodes (ImageMagick) to
exactly the screen's pixels.

    python3 bench/compare_shots.py build/linux/bench/ruvello_shot_bench [frames folder] [runs]
        [--before=<commit>]... [--build=<label>=<an older build's ruvello_shot_bench>]...
        [--scenes=busy,photo,everything,text-everything,other-photo,other-text,other-busy]
        [--sizes=1920x1080,3840x2160]

--before=<commit> builds this program with the PNG encoder of that commit (once, into
build/encoder-<commit>, by bench/build_encoder_at.sh) and measures it beside the given build.

Scenes: "busy" is the reference desktop frame (terminals, an editor, a photo, X clients) with a
clock that ticks and a terminal that prints a line and scrolls; "photo" a photo wallpaper with
one photo in a window and a panel, with the same clock and terminal; "everything" that photo
desktop scrolled by 37 rows at each shot, so that every row changes; "text-everything" the busy
desktop scrolled in the same way. The "other-" scenes are desktops not made from the reference
frames (bench/other_desktops.py: real photographs and text drawn by X clients, from Debian
packages installed for benchmarking), with the same clock and terminal: "other-photo" a photo
wallpaper with one photo window, "other-text" terminals and an editor full of text, "other-busy"
photos beside text; "other-photo-everything" (not run by default) scrolls the first.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

import other_desktops
from xvfb import start_display

HERE = os.path.dirname(os.path.abspath(__file__))
WARM_UP = 2


def photo_desktop(frames, width, height, path):
    """A photo wallpaper (the photo in the reference frame, scaled up, with sensor noise), one
    more photo in a window, and a panel along the top. Made the same way every time."""
    s = height / 1080
    subprocess.run(["convert", os.path.join(frames, "desktop-3840x2160.png"), "-crop", "1400x880+2380+120", "+repage",
                    "-resize", f"{width}x{height}^", "-gravity", "center", "-extent", f"{width}x{height}",
                    "-seed", "7", "-attenuate", "0.15", "+noise", "Gaussian",
                    "(", "-size", f"{int(960 * s)}x{int(640 * s)}", "-seed", "3", "plasma:fractal", "-blur", "0x1",
                    "-attenuate", "0.2", "+noise", "Gaussian", "-bordercolor", "#d8d8d8", "-border", str(int(4 * s)),
                    "-gravity", "north", "-splice", f"0x{int(24 * s)}", ")",
                    "-gravity", "northwest", "-geometry", f"+{int(120 * s)}+{int(180 * s)}", "-composite",
                    "(", "-size", f"{width}x{int(28 * s)}", "xc:#202428", ")", "-geometry", "+0+0", "-composite",
                    "-depth", "8", path], check=True)


class Server:
    """A line-by-line conversation with a helper process."""

    def __init__(self, command, env):
        self.process = subprocess.Popen(command, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)

    def ask(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline()
        if not answer:
            raise RuntimeError(f"{self.process.args[0]} stopped")
        return answer.split()

    def close(self):
        self.process.stdin.close()
        self.process.wait()


def scrot_shot(path, env):
    started = time.perf_counter()
    process = subprocess.Popen(["scrot", "-o", path], env=env)
    _, status, usage = os.wait4(process.pid, 0)
    wall = (time.perf_counter() - started) * 1000
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise RuntimeError("scrot failed")
    return wall, (usage.ru_utime + usage.ru_stime) * 1000, os.path.getsize(path)


def rgb_of(path, env):
    return subprocess.run(["convert", path, "-depth", "8", "rgb:-"], env=env, capture_output=True, check=True).stdout


def measure(scene, background, width, height, runs, builds):
    """builds: (label, ruvello_shot_bench) pairs, the one to check first."""
    xvfb, display = start_display(width, height)
    env = dict(os.environ, DISPLAY=display)
    servers = {}
    scene_server = None
    rows = {}
    exact = None
    current = builds[0][1]
    try:
        subprocess.run(["display", "-window", "root", background], env=env, capture_output=True)
        scene_server = Server([current, "--scene=" + ("scroll" if scene.endswith("everything") else "desk")], env)
        scene_server.process.stdout.readline()  # "ready"
        tools = []
        for label, bench in builds:
            servers[label] = Server([bench, "--serve"], env)
            tools.append((label, lambda s=servers[label]: [float(v) for v in s.ask("ruvello")]))
        checked = servers[builds[0][0]]
        tools.append(("libpng default (grab, encode, write)",
                      lambda: [float(v) for v in checked.ask("libpng")]))
        with tempfile.TemporaryDirectory() as folder:
            scrot_path = os.path.join(folder, "scrot.png")
            tools.append(("scrot (whole process)", lambda: scrot_shot(scrot_path, env)))
            for run in range(WARM_UP + runs):
                for name, shoot in tools:
                    scene_server.ask("next")
                    wall, cpu, size = shoot()
                    if run >= WARM_UP:
                        entry = rows.setdefault(name, {"wall": [], "cpu": [], "bytes": []})
                        entry["wall"].append(wall)
                        entry["cpu"].append(cpu)
                        entry["bytes"].append(size)
            # Ruvello's own file against an independent grab of the same screen.
            scene_server.ask("next")
            checked.ask("ruvello")
            shot = os.path.join(folder, "ruvello.png")
            checked.ask("keep " + shot)
            reference = os.path.join(folder, "import.png")
            subprocess.run(["import", "-window", "root", reference], env=env, check=True)
            exact = rgb_of(shot, env) == rgb_of(reference, env)
    finally:
        for server in list(servers.values()) + ([scene_server] if scene_server else []):
            server.close()
        xvfb.terminate()
        xvfb.wait()
    return rows, exact


def built_at(commit):
    """This program with the PNG encoder of `commit`, built once."""
    out = os.path.join(HERE, "..", "build", f"encoder-{commit}")
    bench = os.path.join(out, "build", "bench", "ruvello_shot_bench")
    if not os.path.exists(bench):
        subprocess.run([os.path.join(HERE, "build_encoder_at.sh"), commit, out], check=True,
                       stdout=subprocess.DEVNULL)
    return os.path.abspath(bench)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    options = [a[2:].split("=", 1) for a in sys.argv[1:] if a.startswith("--")]
    settings = {key: value for key, value in options if key not in ("before", "build")}
    others = [(f"Ruvello, encoder of {value}", built_at(value)) for key, value in options if key == "before"]
    others += [tuple(value.split("=", 1)) for key, value in options if key == "build"]
    builds = [("Ruvello" + (" (this build)" if others else ""), os.path.abspath(args[0]))] + \
        [(label, os.path.abspath(path)) for label, path in others]
    frames = args[1] if len(args) > 1 else os.path.join(HERE, "..", "..", "shared", "bench")
    runs = int(args[2]) if len(args) > 2 else 15
    scenes = settings.get("scenes", "busy,photo,everything,text-everything,other-photo,other-text,"
                          "other-busy").split(",")
    sizes = [tuple(map(int, s.split("x"))) for s in settings.get("sizes", "1920x1080,3840x2160").split(",")]
    print(f"{runs} shots each after {WARM_UP} unmeasured; medians; load average at the start "
          f"{os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
    with tempfile.TemporaryDirectory() as folder:
        for width, height in sizes:
            for scene in scenes:
                if scene in ("busy", "text-everything"):
                    background = os.path.join(frames, f"desktop-{width}x{height}.png")
                elif scene.startswith("other-"):
                    background = other_desktops.build(folder, scene.removesuffix("-everything"), width, height)
                else:
                    background = os.path.join(folder, f"photo-{width}x{height}.png")
                    if not os.path.exists(background):
                        photo_desktop(frames, width, height, background)
                rows, exact = measure(scene, background, width, height, runs, builds)
                reference = statistics.median(rows["libpng default (grab, encode, write)"]["bytes"])
                scrot_cpu = statistics.median(rows["scrot (whole process)"]["cpu"])
                print(f"\n{scene}, {width}x{height}; Ruvello's file decodes to the screen's pixels: "
                      f"{'yes' if exact else 'NO'}; load average now {os.getloadavg()[0]:.1f}")
                print(f"{'':38} {'CPU ms':>8} {'scrot/x':>8} {'wall ms':>8} {'min-max':>15} {'bytes':>10} {'x libpng':>9}")
                for name, row in rows.items():
                    cpu = statistics.median(row["cpu"])
                    wall = statistics.median(row["wall"])
                    size = statistics.median(row["bytes"])
                    print(f"{name:38} {cpu:>8.1f} {scrot_cpu / cpu:>8.2f} {wall:>8.1f} "
                          f"{min(row['wall']):>7.1f}-{max(row['wall']):<7.1f} {size:>10.0f} {size / reference:>9.3f}")


if __name__ == "__main__":
    main()
