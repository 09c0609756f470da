"""KDE Plasma's compositor for end-to-end tests: Debian's KWin 5.27 headless (--virtual, drawn
with llvmpipe, no GPU) with two outputs on a private D-Bus session bus, and with it:
- the tests' own StatusNotifierWatcher (kwin/sni_watcher.py; Plasma's host, plasmashell, is not
  installed here), so that the program's tray item is driven as Plasma's host drives it;
- KWin's own picture of the screens through ScreenShot2 (kwin/kwin_picture.py, granted by a
  desktop entry of the tests' own);
- outputs switched off and on as Plasma's display settings do (kwin/output_config).
The installed kwin_wayland carries a file capability (CAP_SYS_NICE) that this container refuses
to exec; a copy of it, which drops the capability, starts as root. Ends exactly the processes
it started."""
import os
import shutil
import subprocess

from desktop import Failure, check, wait_for
from portal_services import LineReader, Monitor
import pngcheck
from wayland import WaylandDesktop, read_ppm

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else shutil.which("python3")
WIDTH, HEIGHT = 800, 600
# KWin's virtual outputs all have the size given on its command line, one mode each: the second
# one sits lower, so that the picture has a gap beside the first that must come out black.
SECOND = (WIDTH, 120)
MONITORS = (Monitor(WIDTH, HEIGHT, 0, 0), Monitor(WIDTH, HEIGHT, *SECOND))
GRANT = """[Desktop Entry]
Type=Application
Name={name}
Exec={exe}
NoDisplay=true
{key}
"""


class KWinDesktop(WaylandDesktop):
    COMPOSITOR_LOG = "kwin.log"

    def __init__(self, output_config, pattern_exe=None, tray=True, size=(WIDTH, HEIGHT), count=2):
        """`count` outputs of `size`, the second one at SECOND."""
        self.output_config, self.pattern_exe, self.size, self.count = output_config, pattern_exe, size, count
        super().__init__(tray=tray, outputs=())

    def _start_compositor(self):
        # The tests' tools get their grants from system-wide entries; the user's applications
        # folder is left as on a fresh account, for the program to fill.
        tools = os.path.join(self.tmp, "tools", "share")
        os.makedirs(os.path.join(tools, "applications"))
        self._grant(tools, "output-config", self.output_config, "X-KDE-Wayland-Interfaces=kde_output_management_v2")
        # The picture taker runs on a copy of the interpreter: KWin grants by the first entry
        # that names an executable, and Debian's python3.11.desktop names the interpreter too.
        self.picture_python = os.path.join(self.tmp, "tools", "picture-python")
        shutil.copy(os.path.realpath(PYTHON), self.picture_python)
        self._grant(tools, "picture", self.picture_python, "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2")
        self.env["XDG_DATA_DIRS"] = f"{tools}:/usr/local/share:/usr/share"
        kwin = os.path.join(self.tmp, "kwin_wayland")
        shutil.copy(shutil.which("kwin_wayland"), kwin)
        self.kwin = self.start([kwin, "--virtual", "--width", str(self.size[0]), "--height", str(self.size[1]),
                                "--output-count", str(self.count), "--no-lockscreen", "--socket", "wayland-kwin"],
                               log=os.path.join(self.tmp, "kwin.log"))
        self.compositors.append(("kwin", self.kwin))
        wait_for(lambda: os.path.exists(os.path.join(self.runtime, "wayland-kwin")), 60, "KWin's Wayland socket")
        wait_for(lambda: "org.kde.KWin.ScreenShot2" in self.bus_names(), 60, "KWin's screenshot interface")
        self.env.update(WAYLAND_DISPLAY="wayland-kwin", QT_QPA_PLATFORM="wayland", XDG_SESSION_TYPE="wayland",
                        XDG_CURRENT_DESKTOP="KDE")
        if self.count > 1:
            self.output("position", "Virtual-1", *SECOND)
        self.picture_taker = subprocess.Popen([self.picture_python, os.path.join(HERE, "kwin", "kwin_picture.py")],
                                              env=self.env,
                                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                              stderr=open(os.path.join(self.tmp, "picture.log"), "ab"))
        self.processes.append(self.picture_taker)
        if self.tray:
            watcher = self.start([PYTHON, os.path.join(HERE, "kwin", "sni_watcher.py")],
                                 log=os.path.join(self.tmp, "watcher.log"))
            wait_for(lambda: "org.kde.StatusNotifierWatcher" in self.bus_names() or watcher.poll() is not None, 30,
                     "the StatusNotifierWatcher")
            check(watcher.poll() is None, "the StatusNotifierWatcher ended")
        if self.pattern_exe:
            self.pattern = subprocess.Popen([self.pattern_exe], env=self.env, stdin=subprocess.PIPE,
                                            stdout=subprocess.PIPE, text=True,
                                            stderr=open(os.path.join(self.tmp, "pattern.log"), "ab"))
            self.processes.append(self.pattern)
            self.pattern_lines = LineReader(self.pattern, os.path.join(self.tmp, "pattern.out"))
            self.pattern_lines.wait(lambda l: l == "shown 0", 60, "the pictures on KWin's outputs")

    @staticmethod
    def _grant(share, name, exe, key):
        with open(os.path.join(share, "applications", f"ruvello-test-{name}.desktop"), "w") as f:
            f.write(GRANT.format(name=name, exe=exe, key=key))

    def output(self, *operations):
        """Changes the outputs (output_config's operations) and waits until KWin applied it."""
        result = subprocess.run([self.output_config, *map(str, operations)], env=self.env, capture_output=True,
                                text=True, timeout=90)
        check(result.returncode == 0, f"output_config {operations}: {result.stdout}{result.stderr}")

    def screen(self):
        """KWin's own picture of every screen (RGB), as the program's should be."""
        path = os.path.join(self.tmp, "kwin.ppm")
        self.picture_taker.stdin.write(f"shot {path}\n")
        self.picture_taker.stdin.flush()
        answer = self.picture_taker.stdout.readline().strip()
        check(answer.startswith("done"), f"KWin gave the tests no picture: {answer!r}")
        return read_ppm(path)

    def program_entries(self):
        """The program's desktop entries in the user's applications folder, as {name: text}."""
        folder = os.path.join(self.env["HOME"], ".local", "share", "applications")
        names = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        return {n: open(os.path.join(folder, n)).read() for n in names if n.startswith("ruvello")}


def same_as_screen(path, desktop):
    """The screenshot holds exactly what KWin shows now."""
    width, height, pixels = pngcheck.read_png(path)
    kw, kh, shown = desktop.screen()
    check((width, height) == (kw, kh), f"{os.path.basename(path)} is {width}x{height}, KWin shows {kw}x{kh}")
    if pixels != shown:
        at = next(i for i in range(len(shown)) if pixels[i] != shown[i]) // 3
        raise Failure(f"{os.path.basename(path)} differs from KWin's picture first at ({at % width}, {at // width})")
