"""A private X desktop for end-to-end tests: its own Xvfb on a free display, a real tray host,
real clicks and keys through xdotool. Ends exactly the processes it started."""
import ctypes
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import traceback

import pngcheck


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout, what):
    """Polls until `predicate` gives a true value and returns it; fails after `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.05)


def end_processes(processes, grace):
    """Ends the processes a test started, newest first: asked to end, killed after `grace` s."""
    for process in reversed(processes):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(grace)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def log_tail(path, lines):
    """The last `lines` lines of a log, for a failure's report; "" when it cannot be read."""
    try:
        with open(path, errors="replace") as f:
            return "\n".join(f.read().splitlines()[-lines:])
    except OSError:
        return ""


def sanitizer_reports(logs):
    """What AddressSanitizer or UndefinedBehaviorSanitizer said in the program's logs."""
    reports = []
    for log in logs:
        try:
            with open(log, errors="replace") as f:
                text = f.read()
        except OSError:
            continue
        for marker in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"):
            at = text.find(marker)
            if at >= 0:
                reports.append(text[max(0, at - 200):at + 3000])
    return reports


class Window:
    LINE = re.compile(r'^(\s*)(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)): \((.*)\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+)')

    def __init__(self, match):
        self.depth = len(match.group(1))
        self.id = match.group(2)
        self.name = match.group(3) or ""
        self.wm_class = match.group(4)
        self.width, self.height = int(match.group(5)), int(match.group(6))
        self.x, self.y = int(match.group(9)), int(match.group(10))

    def center(self):
        return self.x + self.width // 2, self.y + self.height // 2


class Desktop:
    """An X display of its own with a root-window pattern and, unless told otherwise, a tray host."""

    def __init__(self, width=640, height=480, depth=24, tray=True, server="Xvfb"):
        self.width, self.height = width, height
        self.processes = []
        self.logs = []
        self.tmp = tempfile.mkdtemp(prefix="ruvello-e2e-")
        home = os.path.join(self.tmp, "home")
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        self.display = self._start_server(server, width, height, depth)
        self.env = dict(os.environ, DISPLAY=f":{self.display}", HOME=home,
                        XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_RUNTIME_DIR=runtime,
                        LANG="C.UTF-8", LC_ALL="C.UTF-8", QT_QPA_PLATFORM="xcb",
                        DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent")  # the XEmbed tray, not a StatusNotifier host
        self.env.pop("XAUTHORITY", None)
        self.pattern = self._set_root_pattern()
        self.last_press = 0.0
        self.tray = None
        if tray:
            self.start_tray()

    def __enter__(self):
        return self

    def __exit__(self, exc_type, *exc):
        reports = self.close()
        if exc_type is None and reports:
            raise Failure("a sanitizer reported:\n" + "\n".join(reports))

    def _start_server(self, server, width, height, depth):
        """Xvfb, or where a test changes the screen's size with RandR, TigerVNC's X server: Xvfb
        cannot make its screen larger or smaller than it started, Xtigervnc resizes the root
        window as a real server does when a monitor comes or goes (nobody connects to it)."""
        read_end, write_end = os.pipe()
        if server == "Xvnc":
            argv = ["Xtigervnc", "-displayfd", str(write_end), "-geometry", f"{width}x{height}",
                    "-depth", str(depth), "-SecurityTypes", "None", "-rfbport", "-1",
                    "-nolisten", "tcp", "-noreset"]
        else:
            argv = ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x{depth}",
                    "-nolisten", "tcp", "-noreset"]
        process = subprocess.Popen(argv, pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        self.processes.append(process)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            check(chunk, f"{argv[0]} ended before it told its display number")
            number += chunk
        os.close(read_end)
        return int(number)

    def start(self, argv, log=None):
        if log:
            self.logs.append(log)
        out = open(log, "ab") if log else subprocess.DEVNULL
        process = subprocess.Popen(argv, env=self.env, stdout=out, stderr=subprocess.STDOUT)
        self.processes.append(process)
        return process

    def start_reader(self, argv):
        """A process whose standard output the test reads, as text."""
        process = subprocess.Popen(argv, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   text=True)
        self.processes.append(process)
        return process

    def run(self, *argv):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=30)

    def _set_root_pattern(self):
        """A busy, known picture as the root window's background, so screenshots can be compared."""
        w, h = self.width, self.height
        rgb = bytearray(w * h * 3)
        for y in range(h):
            for x in range(w):
                i = (y * w + x) * 3
                rgb[i] = (x * 255) // max(w - 1, 1)
                rgb[i + 1] = (y * 255) // max(h - 1, 1)
                rgb[i + 2] = ((x // 16 + y // 16) % 2) * 200 + (x ^ y) % 40
        path = os.path.join(self.tmp, "pattern.png")
        pngcheck.write_png(path, w, h, bytes(rgb))
        result = self.run("display", "-window", "root", path)
        check(result.returncode in (0, 1), f"could not set the root pattern: {result.stderr}")
        return bytes(rgb)

    def start_tray(self):
        self.tray = self.start(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                "--width", "120", "--heighttype", "pixel", "--height", "28"])
        wait_for(lambda: self.panel(), 30, "the tray host")

    def stop_tray(self):
        if self.tray:
            self.tray.terminate()
            self.tray.wait(5)
            self.processes.remove(self.tray)
            self.tray = None

    def windows(self):
        result = self.run("xwininfo", "-root", "-tree")
        return [Window(m) for m in map(Window.LINE.match, result.stdout.splitlines()) if m]

    def panel(self):
        return next((w for w in self.windows() if w.name == "panel" and '"trayer"' in w.wm_class), None)

    def focus_follows_pointer(self):
        """What a window manager does when a focused window goes: without one, the X focus
        falls back to the root window itself, and Qt then closes a popup menu as soon as it
        opens (seen after a message box in about one start of five)."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = x11.XOpenDisplay(f":{self.display}".encode())
        check(display, "cannot open the display")
        pointer_root = 1
        x11.XSetInputFocus(display, pointer_root, pointer_root, 0)
        x11.XCloseDisplay(display)  # flushes the request

    def viewable(self, window):
        return "Map State: IsViewable" in self.run("xwininfo", "-id", window.id).stdout

    def visible_windows(self, name_regex):
        """Ids of the mapped windows whose name matches."""
        result = self.run("xdotool", "search", "--onlyvisible", "--name", name_regex)
        return result.stdout.split()

    # Qt takes a second press within its double-click interval (400 ms) as a double click,
    # which a right click on the tray icon ignores: presses keep further apart than that.
    PRESS_GAP = 0.6

    def press(self, x, y, button, action="click"):
        wait = self.last_press + self.PRESS_GAP - time.monotonic()
        if wait > 0:
            time.sleep(wait)
        self.run("xdotool", "mousemove", str(x), str(y), action, str(button))
        self.last_press = time.monotonic()

    def click(self, x, y, button):
        self.press(x, y, button)

    def keys(self, *names):
        for name in names:
            self.run("xdotool", "key", name)
            time.sleep(0.15)

    def screen_rgb(self):
        """An independent grab of the screen, through ImageMagick's import."""
        path = os.path.join(self.tmp, "import.png")
        self.run("import", "-window", "root", "-depth", "8", "-type", "TrueColor", path)
        return pngcheck.read_png(path)

    def close(self):
        """Ends what was started, removes the files; returns any sanitizer reports of the logs."""
        end_processes(self.processes, 5)
        reports = sanitizer_reports(self.logs)
        shutil.rmtree(self.tmp, ignore_errors=True)
        return reports


class MapWatcher:
    """Every top-level window the X server maps, with its geometry, from the server's own event
    stream (xev): a short-lived window such as the 80 ms flash is never missed, however busy the
    machine, as polling the window tree could miss it."""

    GEOMETRY = re.compile(r"window (0x[0-9a-f]+), \((-?\d+),(-?\d+)\), width (\d+), height (\d+)")
    MAPPED = re.compile(r"^MapNotify event.*\n.*window (0x[0-9a-f]+)", re.M)

    def __init__(self, desktop):
        # xev writes through stdio, which buffers a pipe by blocks: line by line instead.
        self.process = desktop.start_reader(["stdbuf", "-oL", "xev", "-root", "-event", "substructure"])
        self.text = ""
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.desktop = desktop
        self.sync()  # xev prints nothing until it listens

    def sync(self):
        """Returns once xev has passed on every event up to now: a window made now shows up.
        The first probe may come before xev listens at all; then another one follows."""
        deadline = time.monotonic() + 30
        while True:
            since = self.mark()
            probe = self.desktop.start(["xmessage", "-timeout", "1", "probe"])
            try:
                wait_for(lambda: "CreateNotify" in self.snapshot()[since:], 3, "xev to pass on a probe window")
                return
            except Failure:
                if time.monotonic() > deadline:
                    raise Failure(f"xev passed on no probe window; it printed: {self.snapshot()[-2000:]!r}")
            finally:
                probe.wait(30)

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.text += line

    def snapshot(self):
        with self.lock:
            return self.text

    def mark(self):
        """A point in the stream: maps() after it only."""
        return len(self.snapshot())

    def maps(self, since=0):
        """(x, y, width, height) of each window mapped after `since`, in order."""
        text = self.snapshot()
        geometry, mapped = {}, []
        for event in text.split("\n\n"):
            found = self.GEOMETRY.search(event)
            if found and event.lstrip().startswith(("CreateNotify", "ConfigureNotify")):
                geometry[found[1]] = tuple(int(v) for v in found.groups()[1:])
        for found in self.MAPPED.finditer(text, since):
            mapped.append(geometry.get(found[1]))
        return mapped


class Ruvello:
    """The program under test in a program folder of its own."""

    def __init__(self, desktop, exe, folder="Ruvello", config=None):
        self.desktop = desktop
        self.dir = os.path.join(desktop.tmp, folder)
        os.makedirs(self.dir, exist_ok=True)
        self.exe = os.path.join(self.dir, "ruvello")
        shutil.copy2(exe, self.exe)
        self.log = os.path.join(desktop.tmp, "ruvello.log")
        if config is not None:
            with open(self.path("config.ini"), "wb") as f:
                f.write(config.encode())
        self.process = None

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def start(self):
        self.process = self.desktop.start([self.exe], log=self.log)
        return self

    def config(self):
        with open(self.path("config.ini"), "rb") as f:
            return f.read()

    def screenshots(self, folder=None):
        folder = folder or self.dir
        return sorted(n for n in os.listdir(folder) if re.fullmatch(r"Screenshot_\d{8}_\d{6}(?:_\d+)?\.png", n))

    def owns(self, window):
        """Whether the window belongs to this program's process (several may run at once)."""
        result = self.desktop.run("xprop", "-id", window.id, "_NET_WM_PID")
        return result.stdout.strip().endswith(f"= {self.process.pid}")

    def icon(self, timeout=30):
        """The docked tray icon: a window of the program inside the tray host's panel."""
        def find():
            panel = self.desktop.panel()
            if not panel:
                return None
            for w in self.desktop.windows():
                inside = panel.x <= w.x < panel.x + panel.width and panel.y <= w.y < panel.y + panel.height
                if inside and '"ruvello"' in w.wm_class and w.width < 64 and self.owns(w):
                    return w
            return None
        return wait_for(find, timeout, "the tray icon")

    def left_click(self):
        self.desktop.click(*self.icon().center(), 1)

    def menu(self):
        """The open menu. Its window exists a moment before the server shows it (longer on a
        loaded machine); only then does it take the focus and the keys."""
        return next((w for w in self.desktop.windows()
                     if '"ruvello"' in w.wm_class and w.width > 150 and w.height > 150 and self.owns(w)
                     and self.desktop.viewable(w)), None)

    def open_menu(self):
        """Right click on the icon; clicked again if the menu did not come (a click lost while
        the program was busy with a screenshot). Each wait is long enough for a sanitized build
        on a loaded machine: a second click while the menu is still coming would close it."""
        for _ in range(3):
            # The button goes up only once the menu is there: a release that reaches the menu
            # while the server is still placing it counts as a release elsewhere and closes it
            # (seen with the sanitized build on a loaded machine), where a hand is never quick
            # enough to do that.
            self.desktop.press(*self.icon().center(), 3, action="mousedown")
            try:
                menu = wait_for(self.menu, 15, "the tray menu")
            except Failure:
                continue
            finally:
                self.desktop.run("xdotool", "mouseup", "3")
            # The keys go to the menu: its keyboard grab can fail on a loaded machine when it is
            # asked for before the server has made the menu viewable, and then they would go to
            # whatever window the X focus falls to.
            self.desktop.run("xdotool", "windowfocus", menu.id)
            return menu
        raise Failure("the tray menu did not open")

    def wait_menu_closed(self):
        """Waits for the menu to go and gives the X focus back to the pointer, where the focus
        given to the menu would otherwise fall to the root window (see focus_follows_pointer)."""
        try:
            wait_for(lambda: self.menu() is None, 30, "the menu to close")
        except Failure as failure:
            focus = self.desktop.run("xdotool", "getwindowfocus").stdout.strip()
            raise Failure(f"{failure} (X focus on window {focus}; the program said: {self.log_text()!r})")
        self.desktop.focus_follows_pointer()

    def settle(self):
        """Returns once the program has handled what it was asked before: the menu can open
        only when the user-interface thread is free."""
        self.open_menu()
        self.desktop.keys("Escape")
        self.wait_menu_closed()

    def choose(self, *keys):
        """Opens the menu and walks it with the keyboard."""
        self.open_menu()
        self.desktop.keys(*keys)
        self.wait_menu_closed()

    def message_box(self, timeout=30):
        """Waits for the program's message box (title "Ruvello" or "Autostart") and returns its text."""
        wait_for(lambda: self.desktop.visible_windows("^(Ruvello|Autostart)$"), timeout, "a message box")
        return True

    def close_message_box(self):
        # A real key press, as a user's: Qt loses the first key to the next menu after a box
        # closed by a key sent to its window (an event the server marks as sent by a client).
        # Pressed again, as a user would, if the box missed it while it was taking the focus.
        for _ in range(3):
            windows = self.desktop.visible_windows("^(Ruvello|Autostart)$")
            if not windows:
                break
            self.desktop.run("xdotool", "windowfocus", "--sync", windows[0])
            self.desktop.run("xdotool", "key", "Return")
            try:
                wait_for(lambda: not self.desktop.visible_windows("^(Ruvello|Autostart)$"), 10, "")
            except Failure:
                continue
        check(not self.desktop.visible_windows("^(Ruvello|Autostart)$"), "the message box did not close")
        self.desktop.focus_follows_pointer()

    def wait_config(self, needle, timeout=30):
        return wait_for(lambda: needle in self.config(), timeout, f"{needle!r} in config.ini")

    def alive(self):
        return self.process.poll() is None

    def log_text(self):
        try:
            with open(self.log, errors="replace") as f:
                return f.read()
        except OSError:
            return ""


def main(test):
    """Runs one test function with the program path from the command line; exit code 1 on failure."""
    exe = os.path.abspath(sys.argv[1])
    try:
        test(exe)
    except Failure as failure:
        # Where in the scenario it failed: the step, not only the symptom.
        steps = traceback.extract_tb(failure.__traceback__)
        print(f"FAILED: {failure}\n" + "".join(traceback.format_list(steps[1:])))
        sys.exit(1)
    print("passed")
