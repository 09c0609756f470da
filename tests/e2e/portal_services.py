"""The desktop portal's screen cast for end-to-end tests, on a private session bus: PipeWire and
WirePlumber, the real xdg-desktop-portal front end (and its permission store, which keeps the
restore tokens) and a ScreenCast backend of the tests' own (portal/screencast_backend.py). The
monitors are those of a headless mutter, GNOME's compositor, showing known pictures
(portal/pattern_window), whose ScreenCast API the backend asks for the streams as GNOME's portal
backend does; or nodes of portal/pw_test_source, for pixel formats mutter does not send and a
first frame that gets lost. GNOME's own portal backend needs a user to click in its chooser, and
the wlroots one needs a GPU: the backend is the one stand-in here. Ends exactly the processes it
started."""
import json
import os
import subprocess
import threading
import time
import uuid

from desktop import Failure, check, log_tail, wait_for

HERE = os.path.dirname(os.path.abspath(__file__))
BACKEND = os.path.join(HERE, "portal", "screencast_backend.py")
GNOME_SESSION = os.path.join(HERE, "portal", "gnome_session.py")
PORTAL_BUS_LOG = "portal-bus.log"  # what the program and the portal said to each other
# python3-dbus and python3-gi are Debian's: the backend runs on Debian's own interpreter.
BACKEND_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else "python3"

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""

# GNOME's backend for the screen cast alone: the front end waits for no other desktop service.
GNOME_PORTAL_FILE = """[portal]
DBusName=org.freedesktop.impl.portal.desktop.gnome
Interfaces=org.freedesktop.impl.portal.ScreenCast
UseIn=gnome
"""

PORTAL_FILE = """[portal]
DBusName=org.freedesktop.impl.portal.desktop.ruvellotest
Interfaces=org.freedesktop.impl.portal.ScreenCast
UseIn=ruvellotest
"""


class Monitor:
    """A test monitor: its stream's size and pixel format, and its logical place."""

    def __init__(self, width, height, x, y, format="BGRx", lose_first_frame=False, silent=False):
        self.width, self.height, self.x, self.y, self.format = width, height, x, y, format
        self.lose_first_frame, self.silent = lose_first_frame, silent
        self.node = None

    def argument(self):
        return (f"{self.width}x{self.height}:{self.format}" + (":lose" if self.lose_first_frame else "")
                + (":silent" if self.silent else ""))


def pattern_pixel(index, phase, x, y):
    """Monitor `index`'s picture at `phase`, as pw_test_source draws it: R, G, B."""
    return ((x + 3 * index + 17 * phase) % 256, (y + 5 * index) % 256,
            ((x // 8 + y // 8) * 40 + 60 * index) % 256)


def expected_screen(monitors, phases):
    """The bounding rectangle of the monitors as RGB bytes, black where none is."""
    left, top = min(m.x for m in monitors), min(m.y for m in monitors)
    width = max(m.x + m.width for m in monitors) - left
    height = max(m.y + m.height for m in monitors) - top
    rgb = bytearray(width * height * 3)
    for index, m in enumerate(monitors):
        for y in range(m.height):
            row = ((m.y - top + y) * width + m.x - left) * 3
            for x in range(m.width):
                rgb[row + 3 * x:row + 3 * x + 3] = bytes(pattern_pixel(index, phases[index], x, y))
    return width, height, bytes(rgb)


class LineReader:
    """The output lines of a helper process, collected by a thread, waited on by tests."""

    def __init__(self, process, log):
        self.lines = []
        self.lock = threading.Lock()
        self.log = log
        self.thread = threading.Thread(target=self._read, args=(process,), daemon=True)
        self.thread.start()

    def _read(self, process):
        with open(self.log, "a") as log:
            for line in process.stdout:
                log.write(line)
                log.flush()
                with self.lock:
                    self.lines.append(line.rstrip("\n"))

    def all(self):
        with self.lock:
            return list(self.lines)

    def wait(self, predicate, timeout, what):
        return wait_for(lambda: next((l for l in self.all() if predicate(l)), None), timeout, what)


class PortalServices:
    """Starts everything on `desktop` (a desktop.Desktop) and points its environment at it.
    backend="gnome": GNOME's own portal backend with mutter's monitors; "test": the tests'
    backend with mutter's monitors; "source": the tests' backend with `source_exe`'s monitors.
    mutter lays its monitors out side by side from the left; `pattern_exe` draws on them.
    `in_use` (numbers into `monitors`) keeps only those in mutter's layout at first."""

    def __init__(self, desktop, monitors, backend="test", pattern_exe=None, source_exe=None, answer="grant",
                 in_use=None):
        self.desktop = desktop
        self.monitors = monitors
        self.backend_kind = backend
        runtime = desktop.env["XDG_RUNTIME_DIR"]
        home = desktop.env["HOME"]
        portals = os.path.join(desktop.tmp, "portals")
        os.makedirs(portals)
        with open(os.path.join(portals, "backend.portal"), "w") as f:
            f.write(GNOME_PORTAL_FILE if backend == "gnome" else PORTAL_FILE)
        bus_socket = os.path.join(runtime, "bus")
        config = os.path.join(desktop.tmp, "bus.conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG.format(socket=bus_socket))
        desktop.env.update(
            DBUS_SESSION_BUS_ADDRESS=f"unix:path={bus_socket}", XDG_DESKTOP_PORTAL_DIR=portals,
            XDG_CURRENT_DESKTOP="GNOME" if backend == "gnome" else "ruvellotest",
            XDG_STATE_HOME=os.path.join(home, ".local", "state"),
            XDG_DATA_HOME=os.path.join(home, ".local", "share"), PIPEWIRE_RUNTIME_DIR=runtime)
        self.token_file = os.path.join(home, ".local", "state", "ruvello", "screencast-restore-token")

        self._start(["dbus-daemon", "--config-file", config, "--nofork"], "dbus.log")
        wait_for(lambda: os.path.exists(bus_socket), 20, "the session bus")
        # The portal conversation, a line a message, for a failure's report.
        self._start(["dbus-monitor", "--session", "--profile",
                     "interface='org.freedesktop.portal.ScreenCast'", "interface='org.freedesktop.portal.Request'",
                     "interface='org.freedesktop.portal.Session'",
                     "interface='org.freedesktop.impl.portal.ScreenCast'"], PORTAL_BUS_LOG)
        self._start(["pipewire"], "pipewire.log")
        wait_for(lambda: os.path.exists(os.path.join(runtime, "pipewire-0")), 20, "PipeWire")
        self._start(["wireplumber"], "wireplumber.log")
        # mutter is the session's compositor in every case: the program sees a Wayland desktop
        # without a screen-copy protocol and takes the portal.
        self._start_mutter(monitors if backend != "source" else [Monitor(320, 240, 0, 0)], pattern_exe, in_use)
        self._start(["/usr/libexec/xdg-permission-store", "--replace"], "permission-store.log")
        self._wait_name("org.freedesktop.impl.portal.PermissionStore")
        if backend == "gnome":
            self.gnome = self._start(["/usr/libexec/xdg-desktop-portal-gnome", "--replace"], "portal-gnome.log")
            self._wait_name("org.freedesktop.impl.portal.desktop.gnome")
        else:
            self._start_test_backend("mutter" if backend == "test" else self._start_source(source_exe), answer)
        self._start(["/usr/libexec/xdg-desktop-portal", "--replace"], "portal.log")
        self._wait_name("org.freedesktop.portal.Desktop")
        if backend == "gnome":
            self._gnome_session("ready")

    def _start_source(self, source_exe):
        """The tests' own monitor streams; returns them as the backend hands them out."""
        self.source, self.source_lines = self._start_reader([source_exe] + [m.argument() for m in self.monitors],
                                                            "source.log")
        self.source_lines.wait(lambda l: l == "ready", 30, "the test monitors' nodes")
        for line in self.source_lines.all():
            if line.startswith("node "):
                _, index, node = line.split()
                self.monitors[int(index)].node = int(node)
        return json.dumps([{"node": m.node, "x": m.x, "y": m.y, "width": m.width, "height": m.height}
                           for m in self.monitors])

    def _start_test_backend(self, streams, answer):
        self.backend, self.backend_lines = self._start_reader([BACKEND_PYTHON, BACKEND, streams], "backend.log")
        self.backend_lines.wait(lambda l: l == "ready", 30, "the ScreenCast backend")
        self.tell_backend(f"answer {answer}")

    def __enter__(self):
        return self

    def __exit__(self, exc_type, *exc):
        if exc_type is not None:
            self.print_logs()

    def print_logs(self):
        """The last lines of every helper's log and the program's, for a failure's report."""
        for name in sorted(os.listdir(self.desktop.tmp)):
            path = os.path.join(self.desktop.tmp, name)
            if name.endswith((".log", ".err", ".out")) and os.path.isfile(path):
                print(f"--- {name}\n" + log_tail(path, 40 if name == PORTAL_BUS_LOG else 15))

    def _start(self, argv, log):
        out = open(os.path.join(self.desktop.tmp, log), "ab")
        process = subprocess.Popen(argv, env=self.desktop.env, stdout=out, stderr=subprocess.STDOUT)
        self.desktop.processes.append(process)
        return process

    def _start_reader(self, argv, log):
        process = subprocess.Popen(argv, env=self.desktop.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=open(os.path.join(self.desktop.tmp, log + ".err"), "ab"), text=True)
        self.desktop.processes.append(process)
        return process, LineReader(process, os.path.join(self.desktop.tmp, log))

    def _wait_name(self, name):
        def owned():
            result = subprocess.run(
                ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                 "org.freedesktop.DBus.NameHasOwner", f"string:{name}"],
                env=self.desktop.env, capture_output=True, text=True, timeout=30)
            return "boolean true" in result.stdout
        wait_for(owned, 30, name)

    def _start_mutter(self, monitors, pattern_exe, in_use):
        """mutter without a GPU: its frames are drawn in memory and shared as such."""
        display = "wayland-ruvello"
        argv = ["mutter", "--headless", "--wayland", "--no-x11", f"--wayland-display={display}"]
        for m in monitors:
            argv += ["--virtual-monitor", f"{m.width}x{m.height}"]
        self._start(argv, "mutter.log")
        runtime = self.desktop.env["XDG_RUNTIME_DIR"]
        wait_for(lambda: os.path.exists(os.path.join(runtime, display)), 30, "mutter's Wayland socket")
        self._wait_name("org.gnome.Mutter.ScreenCast")
        self.desktop.env["WAYLAND_DISPLAY"] = display
        if in_use is not None:
            self._gnome_session("monitors", ",".join(str(n) for n in in_use))
        if not pattern_exe:
            return
        env = dict(self.desktop.env, QT_QPA_PLATFORM="wayland")
        self.pattern = subprocess.Popen([pattern_exe], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=open(os.path.join(self.desktop.tmp, "pattern.log"), "ab"), text=True)
        self.desktop.processes.append(self.pattern)
        self.pattern_lines = LineReader(self.pattern, os.path.join(self.desktop.tmp, "pattern.out"))
        self.pattern_lines.wait(lambda l: l == "shown 0", 30, "the pictures on mutter's monitors")
        self.phase = 0

    def change_picture(self):
        """The next picture on every monitor of mutter, once shown."""
        self.phase += 1
        self.pattern.stdin.write("change\n")
        self.pattern.stdin.flush()
        self.pattern_lines.wait(lambda l: l == f"shown {self.phase}", 30, f"picture {self.phase}")

    def use_monitors(self, numbers):
        """Only these of mutter's monitors in its layout from now on, side by side from the left:
        the others are unplugged, as far as programs can tell. Returns once the pictures are on
        the monitors in use."""
        start = len(self.pattern_lines.all())
        self._gnome_session("monitors", ",".join(str(n) for n in numbers))
        shown = f"screens {len(numbers)} shown {self.phase}"
        wait_for(lambda: shown in self.pattern_lines.all()[start:], 30, f"the pictures on monitors {numbers}")
        if self.backend_kind == "gnome":
            self._gnome_session("ready")  # GNOME's backend learns the new layout from mutter later

    def remember_choice(self):
        """A choice remembered in GNOME's chooser earlier, and its token where the program keeps it."""
        token = str(uuid.uuid4())
        self._gnome_session("remember", token)
        os.makedirs(os.path.dirname(self.token_file), exist_ok=True)
        with open(self.token_file, "w") as f:
            f.write(token + "\n")
        return token

    def end_gnome_backend(self):
        """GNOME's portal backend quits (it crashed, the session ends): mutter ends the screen
        casts it asked for, as it does after the Stop button in GNOME's top bar, which only
        gnome-shell itself can press."""
        self.gnome.terminate()
        self.gnome.wait(20)
        self.desktop.processes.remove(self.gnome)

    def _gnome_session(self, *argv):
        result = subprocess.run([BACKEND_PYTHON, GNOME_SESSION, *argv], env=self.desktop.env, capture_output=True,
                                text=True, timeout=120)
        check(result.returncode == 0, f"gnome_session.py {argv[0]}: {result.stderr}")
        return result.stdout

    def tell_source(self, command):
        self.source.stdin.write(command + "\n")
        self.source.stdin.flush()

    def tell_backend(self, command):
        self.backend.stdin.write(command + "\n")
        self.backend.stdin.flush()
        self.backend_lines.wait(lambda l: l == f"done {command}", 20, f"the backend to take {command!r}")

    def events(self):
        """What the backend was asked, without the streams it answered with."""
        events = [l[len("event "):] for l in self.backend_lines.all() if l.startswith("event ")]
        return [e.split(" [")[0] for e in events]

    def wait_event(self, prefix, count=1, timeout=30):
        """Waits until the backend has told `count` events starting with `prefix`."""
        return wait_for(lambda: len([e for e in self.events() if e.startswith(prefix)]) >= count, timeout,
                        f"{count} backend event(s) {prefix!r}; so far {self.events()}")

    def frames_sent(self, phase):
        """Whether every monitor has sent its picture of `phase`."""
        lines = self.source_lines.all()
        return all(f"frame {i} {phase}" in lines for i in range(len(self.monitors)))

    def _token_lines(self):
        try:
            with open(self.token_file) as f:
                return f.read().splitlines()
        except OSError:
            return []

    def token(self):
        return next(iter(self._token_lines()), None)

    def monitors_at_choice(self):
        """How many monitors the stored token's choice was made among, as the program keeps it."""
        lines = self._token_lines()
        return int(lines[1]) if len(lines) > 1 else None


def check_screenshot(path, monitors, phases):
    """The file holds exactly the monitors' pictures in their places, black between them."""
    import pngcheck
    width, height, pixels = pngcheck.read_png(path)
    ew, eh, expected = expected_screen(monitors, phases)
    check((width, height) == (ew, eh), f"{os.path.basename(path)} is {width}x{height}, not {ew}x{eh}")
    if pixels != expected:
        at = next(i for i in range(len(expected)) if pixels[i] != expected[i]) // 3
        raise Failure(f"{os.path.basename(path)} differs first at ({at % width}, {at // width}): "
                      f"{tuple(pixels[3 * at:3 * at + 3])} instead of {tuple(expected[3 * at:3 * at + 3])}")


def told_once_and_stopped(program, quiet):
    """One notice comes, no screenshot follows it for `quiet` seconds, the program keeps running."""
    program.message_box(30)
    time.sleep(0.5)  # a shot under way may still end
    count = len(program.screenshots())
    time.sleep(quiet)
    check(len(program.screenshots()) == count, "screenshots went on after the notice")
    check(len(program.desktop.visible_windows("^Ruvello$")) == 1, "not exactly one notice")
    check(program.alive(), "the program ended")


def next_shot(program, timeout=30):
    """The first automatic screenshot surely asked for after this call: a shot under way now
    may still end with an older picture, so the second new file is the one."""
    count = len(program.screenshots())
    return wait_for(lambda: program.screenshots()[count + 1:count + 2], timeout,
                    "a screenshot taken after now")[0]


def stop_program(program, timeout=20):
    """Ends the program as the session does (SIGTERM), so that it closes its portal session."""
    program.process.terminate()
    program.process.wait(timeout)
    program.desktop.processes.remove(program.process)

