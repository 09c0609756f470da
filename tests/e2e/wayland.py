"""A private Wayland desktop for end-to-end tests: headless sway with two outputs of different
sizes and a picture on each, XWayland, and swaybar as StatusNotifier watcher and host on a
private D-Bus session bus. The tray is driven the way hosts do it, over D-Bus (gdbus); grim gives
the compositor's own picture. Ends exactly the processes it started.

With pluggable outputs the session's sway runs nested in a second, headless one, each of its
outputs a window there: closing the window unplugs the output, create_output plugs one in. (The
headless backend of this wlroots cannot switch an output off: `output NAME disable` fails to
commit and leaves it as it was.)"""
import glob
import json
import os
import re
import shutil
import subprocess
import tempfile
import time

import pngcheck
from desktop import Failure, check, end_processes, log_tail, sanitizer_reports, wait_for

# Output name, mode and place in the layout: a gap below the smaller one stays black.
OUTPUTS = (("HEADLESS-1", 640, 480, 0, 0), ("HEADLESS-2", 800, 600, 640, 0))
WIDTH, HEIGHT = 1440, 600
# The same layout in a nested session, whose outputs the wlroots Wayland backend names WL-n.
PLUGGABLE_OUTPUTS = (("WL-1", 640, 480, 0, 0), ("WL-2", 800, 600, 640, 0))


def pattern(width, height, seed):
    """A busy picture, different per output, so that a misplaced output shows."""
    rgb = bytearray(width * height * 3)
    for y in range(height):
        for x in range(width):
            i = (y * width + x) * 3
            rgb[i] = (x * 255 // (width - 1) + seed) % 256
            rgb[i + 1] = (y * 255 // (height - 1) + 2 * seed) % 256
            rgb[i + 2] = ((x // 16 + y // 16) % 2) * 200 + (x ^ y) % 40
    return bytes(rgb)


def read_ppm(path):
    data = open(path, "rb").read()
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    check(match, f"{path} is no PPM picture")
    width, height = int(match.group(1)), int(match.group(2))
    return width, height, data[match.end():match.end() + width * height * 3]


class WaylandDesktop:
    def __init__(self, tray=True, outputs=OUTPUTS, backgrounds=None, pluggable=False):
        """`backgrounds`: a PNG file per output name instead of the generated pictures.
        `pluggable`: outputs that can be unplugged and plugged in (named as PLUGGABLE_OUTPUTS),
        in a session without XWayland."""
        self.tray, self.outputs, self.backgrounds = tray, outputs, backgrounds or {}
        self.pluggable, self.plugged = pluggable, len(outputs)
        self.processes, self.logs = [], []
        self.compositors = []  # (name, process): whose state a compositor that stops answering shows
        self.tmp = tempfile.mkdtemp(prefix="ruvello-wl-")
        home, self.runtime = os.path.join(self.tmp, "home"), os.path.join(self.tmp, "runtime")
        os.makedirs(home)
        os.makedirs(self.runtime, mode=0o700)
        self.env = {key: value for key, value in os.environ.items()
                    if key not in ("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "XAUTHORITY",
                                   "QT_QPA_PLATFORM", "SWAYSOCK", "XDG_SESSION_TYPE")}
        self.env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_RUNTIME_DIR=self.runtime,
                        LANG="C.UTF-8", LC_ALL="C.UTF-8")
        try:
            self._start_bus()
            self._start_compositor()
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, exc_type, *exc):
        reports = self.close()
        if exc_type is None and reports:
            raise Failure("a sanitizer reported:\n" + "\n".join(reports))

    def _start_bus(self):
        # The session's services as usual, but for the document portal: the desktop portal starts
        # it, and it mounts a FUSE file system in the runtime folder whose end, when the bus goes,
        # races the removal of this folder (rmtree then fails with ECONNABORTED).
        services = os.path.join(self.tmp, "bus-services")
        os.makedirs(services)
        with open(os.path.join(services, "org.freedesktop.portal.Documents.service"), "w") as f:
            f.write("[D-BUS Service]\nName=org.freedesktop.portal.Documents\nExec=/bin/false\n")
        config = os.path.join(self.tmp, "bus.conf")
        with open(config, "w") as f:
            f.write(f"<busconfig>\n  <servicedir>{services}</servicedir>\n"
                    "  <include>/usr/share/dbus-1/session.conf</include>\n</busconfig>\n")
        bus = subprocess.Popen(["dbus-daemon", "--config-file", config, "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env)
        self.processes.append(bus)
        address = bus.stdout.readline().decode().strip()
        check(address, "dbus-daemon gave no address")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    def _output_line(self, seed, name, width, height, x, y):
        """The configuration of one output, with its picture (made here unless given)."""
        path = self.backgrounds.get(name)
        if path:
            self.pictures[name] = pngcheck.read_png(path)[2]
        else:
            path = os.path.join(self.tmp, f"{name}.png")
            self.pictures[name] = pattern(width, height, 70 * seed)
            pngcheck.write_png(path, width, height, self.pictures[name])
        return f"output {name} mode {width}x{height} position {x} {y} bg {path} stretch"

    def _launch_sway(self, name, lines, backend):
        """Starts a sway with these configuration lines on a wlroots backend; returns its Wayland
        display and IPC socket, found as the ones that were not there before."""
        def sockets(pattern):
            return {p for p in glob.glob(os.path.join(self.runtime, pattern)) if not p.endswith(".lock")}
        displays, ipcs = sockets("wayland-*"), sockets("sway-ipc.*.sock")
        config = os.path.join(self.tmp, f"{name}.conf")
        with open(config, "w") as f:
            f.write("\n".join(lines) + "\n")
        env = dict(self.env, WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1", **backend)
        # sway refuses to run as root: in a user namespace it runs as nobody, a user the system
        # knows (XWayland lets in the clients of its own user, and root outside is nobody inside).
        process = self.start(["unshare", "-U", "--map-user=65534", "--map-group=65534", "sway", "-c", config],
                             log=os.path.join(self.tmp, f"{name}.log"), env=env)
        self.compositors.append((name, process))
        display = wait_for(lambda: list(sockets("wayland-*") - displays), 30, f"{name}'s Wayland socket")[0]
        ipc = wait_for(lambda: list(sockets("sway-ipc.*.sock") - ipcs), 30, f"{name}'s IPC socket")[0]
        return os.path.basename(display), ipc

    # The compositor's own log: its sanitizer-free noise is not the program's.
    COMPOSITOR_LOG = "sway.log"

    def _start_compositor(self):
        self._start_sway()

    def _start_sway(self):
        self.pictures = {}
        lines = ["xwayland disable" if self.pluggable else "xwayland force", "default_border none",
                 "focus_follows_mouse no"]
        lines += [self._output_line(seed, *output) for seed, output in enumerate(self.outputs)]
        # An invisible bar still runs the StatusNotifier watcher and host, and nothing on the
        # screen changes by itself, so that pictures taken at different times can be compared.
        if self.tray:
            lines.append("bar {\n  mode invisible\n  tray_output *\n}")
        backend = dict(WLR_BACKENDS="headless", WLR_HEADLESS_OUTPUTS=str(len(self.outputs)))
        if self.pluggable:
            # The host holds the session's outputs as floating windows of their own size.
            display, self.host_ipc = self._launch_sway("host", [
                "xwayland disable", "default_border none", "output HEADLESS-1 mode 1600x1200",
                'for_window [title=".*"] floating enable'], backend)
            backend = dict(WLR_BACKENDS="wayland", WLR_WL_OUTPUTS=str(len(self.outputs)), WAYLAND_DISPLAY=display)
        self.env["WAYLAND_DISPLAY"], self.env["SWAYSOCK"] = self._launch_sway("sway", lines, backend)
        wait_for(self._outputs_placed, 30, "the outputs in their modes and places")
        if not self.pluggable:
            self._start_xwayland()
        if self.tray:
            wait_for(lambda: "org.kde.StatusNotifierWatcher" in self.bus_names(), 30, "swaybar's tray watcher")
        wait_for(self._pictures_shown, 30, "the background pictures")

    def _start_xwayland(self):
        display_file = os.path.join(self.tmp, "display")
        self.swaymsg("exec", f"echo $DISPLAY > {display_file}")
        display = wait_for(lambda: os.path.exists(display_file) and open(display_file).read().strip(), 30,
                           "XWayland's display")
        self.env["DISPLAY"] = display
        wait_for(lambda: self.run("xdpyinfo").returncode == 0, 30, "XWayland")

    def _pictures_shown(self):
        width, _, rgb = self.screen()
        for name, w, h, x, y in self.outputs:
            at, into = ((h // 2) * width + x + w // 2) * 3, ((h // 2) * w + w // 2) * 3
            if rgb[at:at + 3] != self.pictures[name][into:into + 3]:
                return False
        return True

    def active_outputs(self):
        """{name: (width, height, x, y)} of the outputs the session shows, or None."""
        result = self.run("swaymsg", "-t", "get_outputs", "-r")
        try:
            outputs = json.loads(result.stdout)
        except ValueError:
            return None
        return {o["name"]: (o["rect"]["width"], o["rect"]["height"], o["rect"]["x"], o["rect"]["y"])
                for o in outputs if o["active"]}

    def _outputs_placed(self):
        active = self.active_outputs()
        return active is not None and {(name, *rect) for name, rect in active.items()} == set(self.outputs)

    def unplug(self, name):
        """Unplugs an output (pluggable outputs only): its window in the host closes."""
        result = self.run("swaymsg", "-s", self.host_ipc, f'[title="^wlroots - {name}$"]', "kill")
        check(result.returncode == 0, f"could not unplug {name}: {result.stdout}{result.stderr}")
        wait_for(lambda: name not in (self.active_outputs() or {name: None}), 30, f"{name} to go")

    def plug(self, seed, width, height, x, y):
        """Plugs in an output of that mode and place, with the picture of output `seed`
        (pluggable outputs only); returns its name."""
        self.plugged += 1
        name = f"WL-{self.plugged}"
        path = os.path.join(self.tmp, f"plugged-{seed}.png")
        if not os.path.exists(path):
            pngcheck.write_png(path, width, height, pattern(width, height, 70 * seed))
        # swaymsg gives up on an answer after 3 s, which a loaded sway may take; the wait below
        # checks what the commands did.
        self.swaymsg("output", name, "mode", f"{width}x{height}", "position", str(x), str(y), "bg", path, "stretch",
                     late_answer=True)
        self.swaymsg("create_output", late_answer=True)
        wait_for(lambda: (self.active_outputs() or {}).get(name) == (width, height, x, y), 30,
                 f"{name} at {width}x{height}+{x}+{y}")
        return name

    def start(self, argv, log=None, env=None):
        if log:
            self.logs.append(log)
        out = open(log, "ab") if log else subprocess.DEVNULL
        process = subprocess.Popen(argv, env=env or self.env, stdout=out, stderr=subprocess.STDOUT)
        self.processes.append(process)
        return process

    def run(self, *argv):
        try:
            return subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=60)
        except subprocess.TimeoutExpired:
            raise Failure(f"{argv[0]} got no answer in 60 s\n" + self.compositor_state()) from None

    def compositor_state(self):
        """Where each compositor is (kernel state, call stacks) and the end of its log, for the
        report of a compositor that stopped answering."""
        parts = []
        for name, process in self.compositors:
            if process.poll() is not None:
                parts.append(f"--- {name}: ended with {process.returncode}")
                continue
            try:
                with open(f"/proc/{process.pid}/stat") as f:
                    state = f.read().rsplit(")", 1)[1].split()[0]
                with open(f"/proc/{process.pid}/wchan") as f:
                    state += f", waiting in {f.read() or '-'}"
            except OSError as error:
                state = str(error)
            stacks = "(no gdb)"
            if shutil.which("gdb"):
                try:
                    stacks = subprocess.run(["gdb", "-batch", "-nx", "-p", str(process.pid), "-ex", "thread apply all bt 25"],
                                            capture_output=True, text=True, timeout=120).stdout
                    stacks = "\n".join(l for l in stacks.splitlines() if l.startswith(("#", "Thread")))
                except subprocess.TimeoutExpired:
                    stacks = "(gdb took more than 120 s)"
            parts.append(f"--- {name} (pid {process.pid}): {state}\n{stacks}\n"
                         + log_tail(os.path.join(self.tmp, f"{name}.log"), 20))
        return "\n".join(parts)

    def swaymsg(self, *argv, late_answer=False):
        """late_answer: a command whose answer did not come in swaymsg's time is taken as sent,
        for a caller that then waits for its effect."""
        result = self.run("swaymsg", *argv)
        late = late_answer and "Unable to receive IPC response" in result.stderr + result.stdout
        check(result.returncode == 0 or late, f"swaymsg {argv}: {result.stdout}{result.stderr}")

    def window_titles(self):
        """The titles of the windows sway manages."""
        def walk(node):
            if node.get("type") in ("con", "floating_con") and node.get("name"):
                yield node["name"]
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                yield from walk(child)
        return list(walk(json.loads(self.run("swaymsg", "-t", "get_tree", "-r").stdout)))

    def screen(self):
        """The compositor's own picture of the whole layout, through grim."""
        path = os.path.join(self.tmp, "grim.ppm")
        result = self.run("grim", "-t", "ppm", path)
        check(result.returncode == 0, f"grim failed: {result.stderr}")
        return read_ppm(path)

    # The tray as a StatusNotifier host drives it, over D-Bus.
    def gdbus(self, *argv):
        result = self.run("gdbus", "call", "--session", *argv)
        check(result.returncode == 0, f"gdbus {argv}: {result.stderr}")
        return result.stdout

    def bus_names(self):
        result = self.run("gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                          "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.ListNames")
        return result.stdout

    def tray_items(self):
        """The registered items as (bus name, object path)."""
        out = self.gdbus("--dest", "org.kde.StatusNotifierWatcher", "--object-path", "/StatusNotifierWatcher",
                         "--method", "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierWatcher",
                         "RegisteredStatusNotifierItems")
        return [tuple(item.split("/", 1)) for item in re.findall(r"'([^']+)'", out)]

    def close(self):
        end_processes(self.processes, 10)
        reports = sanitizer_reports([log for log in self.logs if not log.endswith((self.COMPOSITOR_LOG, "host.log"))])
        shutil.rmtree(self.tmp, ignore_errors=True)
        return reports


class TrayItem:
    """One StatusNotifierItem, as a host sees it."""

    def __init__(self, desktop, timeout=30):
        self.desktop = desktop
        self.name, path = wait_for(lambda: desktop.tray_items(), timeout, "the tray item")[0]
        self.path = "/" + path

    def call(self, method, *args, path=None, interface="org.kde.StatusNotifierItem"):
        return self.desktop.gdbus("--dest", self.name, "--object-path", path or self.path,
                                  "--method", f"{interface}.{method}", "--", *[str(a) for a in args])

    def activate(self):
        self.call("Activate", 10, 10)

    def context_menu(self):
        self.call("ContextMenu", 1400, 590)

    def menu_path(self):
        out = self.call("Get", "org.kde.StatusNotifierItem", "Menu", interface="org.freedesktop.DBus.Properties")
        return re.search(r"objectpath '([^']+)'", out).group(1)

    def menu_items(self):
        """{label: id} of every item of the exported menu."""
        out = self.call("GetLayout", 0, -1, "@as []", path=self.menu_path(), interface="com.canonical.dbusmenu")
        return {label: int(item) for item, label in re.findall(r"\((\d+), \{[^}]*'label': <'([^']*)'>", out)}

    def click(self, label):
        items = self.menu_items()
        check(label in items, f"no menu item {label!r} in {sorted(items)}")
        self.call("Event", items[label], "clicked", "<0>", 0, path=self.menu_path(), interface="com.canonical.dbusmenu")


def differing(a, b):
    """How many pixels of two RGB pictures of one size differ."""
    if len(a) != len(b):
        return -1
    return sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])


def click_until_flash_seen(item, program, seen, tries=8):
    """Left clicks (Activate) until a watcher has put the flash into `seen`: it is up for 80 ms,
    and a loaded machine slows the pictures that look for it more than the flash. Each click's
    manual screenshot is waited for; the next click comes a second later, for a name of its own."""
    manual = program.path("manueller Screenshot")
    for clicks in range(1, tries + 1):
        item.activate()
        wait_for(lambda: os.path.isdir(manual) and len(os.listdir(manual)) >= clicks, 60,
                 f"manual screenshot {clicks}")
        if seen:
            return
        time.sleep(1.1)


def differing(a, b):
    """How many pixels of two RGB pictures of one size differ."""
    if len(a) != len(b):
        return -1
    return sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])


__all__ = ["WaylandDesktop", "TrayItem", "click_until_flash_seen", "differing", "read_ppm", "Failure", "WIDTH", "HEIGHT", "OUTPUTS",
           "PLUGGABLE_OUTPUTS"]
