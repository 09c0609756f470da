#!/usr/bin/env python3
"""The capture routes side by side in one run, on the same pixels: the X11 grab (Xvfb), the
Wayland screen copy (headless sway, wlr-screencopy), KWin's ScreenShot2 (headless KWin 5.27,
granted by the program's own desktop entry) and the desktop portal (headless mutter with GNOME's
portal backend and PipeWire), each at 1920x1080 and with two 1920x1080 outputs side by
side (one 3840x1080 screen on X11), each on a still screen and on a busy one.

The screen is ruvello_scene_window on every desktop: a photo over all outputs, and on the busy
screen a clock and a terminal that change once a second. For each route, layout and screen:

- the real program, automatic screenshots every second for `seconds`: its CPU time per shot
  (/proc/PID/stat, threads that ended included), its resident memory at the end (VmRSS) and at
  its peak (VmHWM), and what the display server spent per shot beyond what it spends on the same
  screen without the program (Xvfb; sway; KWin; mutter and the PipeWire daemon);
- ruvello_shot_bench --serve in the same session: single automatic screenshots a second apart,
  wall time from the tick to the file and the process's CPU time (CLOCK_PROCESS_CPUTIME_ID);
- that the program's last file decodes (ImageMagick) to exactly the photo (busy: outside the
  clock and the terminal).

    python3 bench/compare_wayland.py build/linux [seconds=60] [--routes=x11,sway,kwin,portal]
        [--layouts=1920x1080,2x1920x1080] [--screens=still,busy] [--shots=10]
        [--frames=../shared/bench (the folder of desktop-3840x2160.png; or $RUVELLO_FRAMES_DIR)]
        [--keep=FOLDER (each route's last file is copied there)]
        [--before=<another build folder> (measured in the same desktops, just before this one)]
    python3 bench/compare_wayland.py build/linux --soak=3600 [--routes=...]
        the routes in every layout side by side for an hour (still screen); resident memory and
        CPU a second every five minutes.

A route is one entry of ROUTES: a name and a function that starts its desktop (see x11_route).
"""
import contextlib
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.path.insert(0, HERE)
from compare_shots import Server, photo_desktop  # noqa: E402
from desktop import Desktop, Ruvello, end_processes, wait_for  # noqa: E402
from kwin_desktop import KWinDesktop  # noqa: E402
from portal_services import LineReader, Monitor, PortalServices  # noqa: E402
from wayland import WaylandDesktop  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")
LAYOUTS = {"1920x1080": ((1920, 1080, 0, 0),), "2x1920x1080": ((1920, 1080, 0, 0), (1920, 1080, 1920, 0))}
CONFIG = "[Settings]\r\nIntervalSeconds=1\r\nMaxImageCount=20\r\n"


def cpu_ms(pid):
    """User and system time of a process, threads that ended included, in ms."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000 / TICKS


def memory_kb(pid):
    """Resident memory (VmRSS, its peak VmHWM, its parts) and the proportional share (Pss: pages
    shared with another process, as the X11 segment with Xvfb and the portal's frames with
    mutter, count half)."""
    with open(f"/proc/{pid}/status") as f:
        fields = dict(line.split(":", 1) for line in f)
    with open(f"/proc/{pid}/smaps_rollup") as f:
        fields.update(line.split(":", 1) for line in f if line.startswith("Pss:"))
    return {key: int(fields[key].split()[0]) for key in ("VmRSS", "VmHWM", "RssAnon", "RssFile", "RssShmem", "Pss")}


class Route:
    """A desktop of one route with the scene on it: `env` for the program, `servers` the display
    server's processes whose CPU time counts, `start` starts a process there (ended with it)."""

    def __init__(self, env, servers, start, tmp):
        self.env, self.servers, self.start, self.tmp = env, servers, start, tmp


def start_scene(route, build, photo, busy, env, options=()):
    """The scene on the route's screens; returns its process once it has drawn them."""
    scene = subprocess.Popen([os.path.join(build, "bench", "ruvello_scene_window"), photo]
                             + (["--busy"] if busy else []) + list(options), env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
    lines = LineReader(scene, os.path.join(route.tmp, "scene.log"))
    lines.wait(lambda line: line == "shown", 60, "the scene on the screen")
    time.sleep(1)  # the compositor shows what the scene drew
    return scene


@contextlib.contextmanager
def x11_route(build, layout, photo, busy):
    """Xvfb of the layout's bounding size, a tray host, Qt on X11."""
    width = max(x + w for w, h, x, y in layout)
    height = max(y + h for w, h, x, y in layout)
    with Desktop(width, height) as desktop:
        route = Route(desktop.env, [desktop.processes[0].pid], desktop.start, desktop.tmp)
        desktop.processes.append(start_scene(route, build, photo, busy, desktop.env))
        yield route


@contextlib.contextmanager
def sway_route(build, layout, photo, busy):
    """Headless sway (pixman) with one output per screen of the layout, swaybar's tray, Qt on
    Wayland. The scene's windows are tiled, as a desktop's windows are: sway shows a full-screen
    window's buffer as it is, and every change of it then counts as a change of the whole
    output."""
    outputs = tuple((f"HEADLESS-{i + 1}", w, h, x, y) for i, (w, h, x, y) in enumerate(layout))
    with WaylandDesktop(tray=True, outputs=outputs) as desktop:
        desktop.env.update(XDG_SESSION_TYPE="wayland", QT_QPA_PLATFORM="wayland")
        sway = next(p for p in desktop.processes if "-c" in p.args and p.args[-1].endswith("sway.conf"))
        route = Route(desktop.env, [sway.pid], desktop.start, desktop.tmp)
        desktop.processes.append(start_scene(route, build, photo, busy, desktop.env, ["--tiled"]))
        for i, (name, w, h, x, y) in enumerate(outputs):
            desktop.swaymsg(f'[title="^ruvello-scene-{i}$"]', "move", "container", "to", "output", name)
        wait_for(lambda: tiled_on_outputs(desktop, outputs), 30, "the scene's windows on their outputs")
        time.sleep(1)  # drawn again at their new sizes
        yield route


def tiled_on_outputs(desktop, outputs):
    """Whether scene window N fills output N."""
    tree = json.loads(desktop.run("swaymsg", "-t", "get_tree", "-r").stdout)
    rects = {}

    def walk(node):
        if (node.get("name") or "").startswith("ruvello-scene-"):
            rects[node["name"]] = (node["rect"]["width"], node["rect"]["height"], node["rect"]["x"], node["rect"]["y"])
        for child in node.get("nodes", []) + node.get("floating_nodes", []):
            walk(child)
    walk(tree)
    return all(rects.get(f"ruvello-scene-{i}") == (w, h, x, y) for i, (name, w, h, x, y) in enumerate(outputs))


@contextlib.contextmanager
def kwin_route(build, layout, photo, busy):
    """Headless KWin with one virtual output per screen of the layout (all of the first one's
    size, placed as the layout says), the tests' StatusNotifierWatcher as the tray host, Qt on
    Wayland."""
    width, height = layout[0][:2]
    output_config = os.path.join(build, "tests", "e2e", "kwin", "output_config")
    with KWinDesktop(output_config, tray=True, size=(width, height), count=len(layout)) as desktop:
        for i, (w, h, x, y) in enumerate(layout[1:], 1):
            desktop.output("position", f"Virtual-{i}", x, y)
        route = Route(desktop.env, [desktop.kwin.pid], desktop.start, desktop.tmp)
        desktop.processes.append(start_scene(route, build, photo, busy, desktop.env))
        yield route


@contextlib.contextmanager
def portal_route(build, layout, photo, busy):
    """Headless mutter with a virtual monitor per screen of the layout, GNOME's portal backend
    restoring a remembered choice, PipeWire; the program's tray and Qt on a small Xvfb beside it
    (mutter alone has no tray host)."""
    with Desktop(640, 480) as desktop:
        monitors = [Monitor(w, h, x, y) for w, h, x, y in layout]
        with PortalServices(desktop, monitors, backend="gnome") as portal:
            portal.remember_choice()
            servers = [p.pid for p in desktop.processes if p.args[0] in ("mutter", "pipewire")]
            route = Route(desktop.env, servers, desktop.start, desktop.tmp)
            env = dict(desktop.env, QT_QPA_PLATFORM="wayland")
            desktop.processes.append(start_scene(route, build, photo, busy, env))
            yield route


ROUTES = {
    "x11": ("X11 grab (Xvfb)", x11_route),
    "sway": ("Wayland direct (sway, wlr-screencopy)", sway_route),
    "kwin": ("KWin (ScreenShot2)", kwin_route),
    "portal": ("portal (mutter, PipeWire)", portal_route),
}


def busy_places(layout):
    """Where the busy screen changes, as ruvello_scene_window draws it: (x, y, width, height)."""
    left = min(layout, key=lambda o: o[2])
    right = max(layout, key=lambda o: o[2])
    w, h, x, y = left
    terminal = (x + 40, y + h - h // 12 - 24 * 16, 608, 24 * 16)
    w, h, x, y = right
    clock = (x + w - 220, y + 2, 200, 24)
    return terminal, clock


def rgb(path):
    return subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout


def exact(shot, photo, layout, busy):
    """Whether the file holds exactly the photo's pixels (on the busy screen outside the places
    that change)."""
    got, expected = bytearray(rgb(shot)), bytearray(rgb(photo))
    if len(got) != len(expected):
        return False
    if busy:
        width = max(x + w for w, h, x, y in layout)
        for px, py, pw, ph in busy_places(layout):
            for row in range(py, py + ph):
                start = (row * width + px) * 3
                got[start:start + pw * 3] = expected[start:start + pw * 3]
    return got == expected


def program_run(route, build, seconds):
    """The real program, a shot a second: CPU per shot (program, server beyond its own idle
    cost), memory, and its last file."""
    baseline = max(10.0, seconds / 3)
    servers0 = sum(cpu_ms(pid) for pid in route.servers)
    time.sleep(baseline)
    idle_per_s = (sum(cpu_ms(pid) for pid in route.servers) - servers0) / baseline

    class Host:  # what the e2e helper Ruvello needs of a desktop
        tmp, start = route.tmp, staticmethod(route.start)
    program = Ruvello(Host(), os.path.join(build, "ruvello"), config=CONFIG)
    program.start()
    try:
        wait_for(lambda: len(program.screenshots()) >= 3, 90, "the first screenshots")
        time.sleep(5)  # start-up settles
        before = set(program.screenshots())
        seen, samples = set(), []
        cpu0, servers0, t0 = cpu_ms(program.process.pid), sum(cpu_ms(pid) for pid in route.servers), time.monotonic()
        while time.monotonic() - t0 < seconds:
            time.sleep(0.25)
            seen |= set(program.screenshots()) - before
            samples.append(memory_kb(program.process.pid))
        elapsed = time.monotonic() - t0
        cpu = cpu_ms(program.process.pid) - cpu0
        servers = sum(cpu_ms(pid) for pid in route.servers) - servers0 - idle_per_s * elapsed
        # Between shots and during them alike: the median of samples four times a second.
        memory = {key: statistics.median(sample[key] for sample in samples) for key in samples[0]}
        memory["VmHWM"] = samples[-1]["VmHWM"]
    finally:
        end_processes([program.process], 20)
    kept = os.path.join(route.tmp, "last.png")
    os.replace(program.path(sorted(program.screenshots())[-1]), kept)  # written whole, then renamed
    shots = max(len(seen), 1)
    return {"shots": len(seen), "cpu": cpu / shots, "server": servers / shots, "memory": memory, "file": kept}


def serve_run(route, build, shots):
    """Single automatic screenshots a second apart in ruvello_shot_bench: wall and CPU time."""
    env = dict(route.env, QT_QPA_PLATFORM="offscreen")
    server = Server([os.path.join(build, "bench", "ruvello_shot_bench"), "--serve"], env)
    walls, cpus = [], []
    try:
        for i in range(shots + 2):
            time.sleep(1)
            wall, cpu, _ = (float(v) for v in server.ask("ruvello"))
            if i >= 2:
                walls.append(wall)
                cpus.append(cpu)
    except (RuntimeError, BrokenPipeError):  # an older build's bench that needs an X display
        walls, cpus = [], []
    finally:
        with contextlib.suppress(BrokenPipeError):
            server.close()
    return {"wall": walls, "cpu_inside": cpus}


def measure(key, builds, layout_name, busy, photo, seconds, shots, keep):
    """One route's desktop with the scene on it; each build measured there in turn."""
    name, start = ROUTES[key]
    layout = LAYOUTS[layout_name]
    rows = []
    with start(builds[-1][1], layout, photo, busy) as route:  # the scene of the newest build
        for label, build in builds:
            row = program_run(route, build, seconds)
            row.update(serve_run(route, build, shots))
            row["exact"] = exact(row["file"], photo, layout, busy)
            if keep:
                os.makedirs(keep, exist_ok=True)
                screen = "busy" if busy else "still"
                shutil.copy(row["file"], os.path.join(keep, f"{key}-{layout_name}-{screen}-{label}.png"))
            row["name"], row["route"], row["build"] = f"{name}{', ' + label if len(builds) > 1 else ''}", key, label
            rows.append(row)
    return rows


def report(rows):
    """A table row per route and build; ratios to the X11 route of the same build."""
    print("| route | CPU per shot: program + server = sum | in-process CPU | wall, median (min-max) "
          "| resident, median (peak) | proportional | × X11: program CPU, sum, resident | pixels |")
    print("|---|---|---|---|---|---|---|---|")
    for row in rows:
        x11 = next((r for r in rows if r["route"] == "x11" and r["build"] == row["build"]), row)
        total, x11_total = row["cpu"] + row["server"], x11["cpu"] + x11["server"]
        inside, wall = "—", "—"
        if row["wall"]:
            inside = f"{statistics.median(row['cpu_inside']):.1f} ms"
            wall = f"{statistics.median(row['wall']):.0f} ms ({min(row['wall']):.0f}-{max(row['wall']):.0f})"
        print(f"| {row['name']} | {row['cpu']:.1f} + {row['server']:.1f} = {total:.1f} ms "
              f"| {inside} | {wall} "
              f"| {row['memory']['VmRSS'] / 1024:.1f} MB ({row['memory']['VmHWM'] / 1024:.1f}) "
              f"| {row['memory']['Pss'] / 1024:.1f} MB "
              f"| {row['cpu'] / x11['cpu']:.2f}, {total / x11_total:.2f}, "
              f"{row['memory']['VmRSS'] / x11['memory']['VmRSS']:.2f} "
              f"| {'exact' if row['exact'] else 'DIFFER'} |", flush=True)


def soak(build, photos, seconds, routes):
    """The routes in every layout side by side on a still screen, a shot a second, for
    `seconds`."""
    with contextlib.ExitStack() as stack:
        programs = []
        for layout_name in LAYOUTS:
            for key in routes:
                name, start = ROUTES[key]
                route = stack.enter_context(start(build, LAYOUTS[layout_name], photos[layout_name], False))

                class Host:
                    tmp, start = route.tmp, staticmethod(route.start)
                program = Ruvello(Host(), os.path.join(build, "ruvello"), config=CONFIG).start()
                programs.append((f"{name}, {layout_name}", program, route))
        started = time.monotonic()
        # The folder keeps only its newest files (MaxImageCount): CPU is given per second of the
        # run, which at a shot a second is per shot.
        marks = {label: (cpu_ms(p.process.pid), sum(cpu_ms(s) for s in r.servers), time.monotonic())
                 for label, p, r in programs}
        while time.monotonic() - started < seconds:
            time.sleep(300 - (time.monotonic() - started) % 300)
            print(f"\nafter {(time.monotonic() - started) / 60:.0f} min, load average {os.getloadavg()[0]:.1f}")
            for label, program, route in programs:
                cpu, servers, since = marks[label]
                now = time.monotonic()
                cpu1, servers1 = cpu_ms(program.process.pid), sum(cpu_ms(s) for s in route.servers)
                memory = memory_kb(program.process.pid)
                print(f"{label}: program {(cpu1 - cpu) / (now - since):.1f} ms CPU a second, server (idle "
                      f"included) {(servers1 - servers) / (now - since):.1f} ms a second, resident "
                      f"{memory['VmRSS'] / 1024:.1f} MB (peak {memory['VmHWM'] / 1024:.1f}, anonymous "
                      f"{memory['RssAnon'] / 1024:.1f}, shared {memory['RssShmem'] / 1024:.1f})", flush=True)
                marks[label] = (cpu1, servers1, now)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    settings = dict(a[2:].split("=", 1) for a in sys.argv[1:] if a.startswith("--"))
    build = os.path.abspath(args[0])
    seconds = float(args[1]) if len(args) > 1 else 60
    frames = settings.get("frames", os.environ.get("RUVELLO_FRAMES_DIR", os.path.join(HERE, "..", "..", "shared",
                                                                                      "bench")))
    with tempfile.TemporaryDirectory() as folder:
        photos = {}
        for layout_name, layout in LAYOUTS.items():
            width, height = max(x + w for w, h, x, y in layout), max(y + h for w, h, x, y in layout)
            photos[layout_name] = os.path.join(folder, f"photo-{width}x{height}.png")
            photo_desktop(frames, width, height, photos[layout_name])
        routes = settings.get("routes", ",".join(ROUTES)).split(",")
        if "soak" in settings:
            soak(build, photos, float(settings["soak"]), routes)
            return
        layouts = settings.get("layouts", ",".join(LAYOUTS)).split(",")
        screens = settings.get("screens", "still,busy").split(",")
        shots = int(settings.get("shots", "10"))
        print(f"{seconds:.0f} s of shots at 1 s per route; {shots} single shots; load average at the start "
              f"{os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
        all_exact = True
        builds = [("after" if "before" in settings else "", build)]
        if "before" in settings:
            builds.insert(0, ("before", os.path.abspath(settings["before"])))
        for layout_name in layouts:
            for screen in screens:
                rows = [row for key in routes
                        for row in measure(key, builds, layout_name, screen == "busy", photos[layout_name], seconds,
                                           shots, settings.get("keep"))]
                print(f"\n{layout_name}, {screen} screen; load average now {os.getloadavg()[0]:.1f}")
                report(rows)
                all_exact &= all(row["exact"] for row in rows)
    sys.exit(0 if all_exact else 1)


if __name__ == "__main__":
    main()
