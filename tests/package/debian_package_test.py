"""The Debian package as a user meets it: built with cpack, checked by lintian,
desktop-file-validate and appstreamcli, installed with apt-get into this machine, started from
/usr/bin by an ordinary user on a private X display with a tray host, removed again.

Installed, the program cannot write beside itself: config.ini must appear in the user's
~/.config/ruvello/ with the defaults, the screenshots in ~/Pictures/Ruvello/, a menu choice must be
saved there and the start-at-logon entry must start /usr/bin/ruvello. After the removal nothing
the package installed may be left.

Needs root (to install and to make the test user); run as another user it starts itself again
through `sudo -n`, and is skipped when that is not possible or when a Ruvello package is already
installed (the test would remove it)."""
import os
import pwd
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
from desktop import Desktop, Failure, Ruvello, check, wait_for  # noqa: E402
import pngcheck  # noqa: E402

SKIP = 77
APT = ["env", "DEBIAN_FRONTEND=noninteractive", "apt-get", "-y", "-q",
       "-o", "DPkg::Lock::Timeout=600"]


def run(*argv, cwd=None):
    """Runs a command; on failure its output goes into the failure message."""
    result = subprocess.run(argv, cwd=cwd, capture_output=True, text=True, timeout=900)
    check(result.returncode == 0,
          f"{' '.join(argv)} ended with {result.returncode}:\n{result.stdout}\n{result.stderr}")
    return result.stdout


def package_status():
    result = subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Status}", "ruvello"],
                            capture_output=True, text=True)
    return result.stdout.strip() if result.returncode == 0 else "not-installed"


def build(build_dir, version):
    run("cpack", "-G", "DEB", cwd=build_dir)
    deb = os.path.join(build_dir, f"ruvello_{version}_amd64.deb")
    check(os.path.isfile(deb), f"cpack made no {os.path.basename(deb)}")
    return deb


def validate(deb, tmp):
    """The checkers of the distribution on what was built."""
    run("lintian", "--fail-on", "error", "--allow-root", deb)
    tree = os.path.join(tmp, "tree")
    run("dpkg-deb", "-x", deb, tree)
    run("desktop-file-validate", os.path.join(tree, "usr/share/applications/org.ruvello.Ruvello.desktop"))
    run("appstreamcli", "validate", "--no-net",
        os.path.join(tree, "usr/share/metainfo/org.ruvello.Ruvello.metainfo.xml"))
    depends = run("dpkg-deb", "-f", deb, "Depends")
    for library in ("libc6", "libqt6widgets6", "libx11-6", "libdeflate0"):
        check(library in depends, f"the package does not depend on {library}: {depends}")


def desktop_entry(path):
    with open(path, encoding="utf-8") as f:
        return dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)


class TestUser:
    """An ordinary account with an empty home folder, removed again afterwards."""

    def __init__(self):
        self.base = tempfile.mkdtemp(prefix="ruvello-pkg-")
        os.chmod(self.base, 0o755)
        self.name = next(n for n in (f"ruvello-t{os.getpid() % 100000}-{i}" for i in range(100))
                         if not self._exists(n))
        self.home = os.path.join(self.base, "home")
        run("useradd", "--no-create-home", "--home-dir", self.home, "--shell", "/usr/sbin/nologin",
            "--user-group", self.name)
        entry = pwd.getpwnam(self.name)
        self.uid, self.gid = entry.pw_uid, entry.pw_gid
        self.runtime = os.path.join(self.base, "runtime")
        for folder in (self.home, self.runtime):
            os.mkdir(folder, 0o700)
            os.chown(folder, self.uid, self.gid)

    @staticmethod
    def _exists(name):
        try:
            pwd.getpwnam(name)
            return True
        except KeyError:
            return False

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        subprocess.run(["userdel", self.name], capture_output=True)
        shutil.rmtree(self.base, ignore_errors=True)


class InstalledRuvello(Ruvello):
    """/usr/bin/ruvello started by the test user; `dir` is where its config.ini belongs."""

    def __init__(self, desktop, user):
        self.desktop, self.user = desktop, user
        self.exe = "/usr/bin/ruvello"
        self.dir = os.path.join(user.home, ".config", "ruvello")
        self.shots = os.path.join(user.home, "Pictures", "Ruvello")
        self.log = os.path.join(desktop.tmp, "ruvello.log")
        self.process = None

    def start(self):
        env = {"PATH": "/usr/bin:/bin", "HOME": self.user.home, "USER": self.user.name,
               "LOGNAME": self.user.name, "DISPLAY": self.desktop.env["DISPLAY"],
               "XDG_RUNTIME_DIR": self.user.runtime, "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8",
               "DBUS_SESSION_BUS_ADDRESS": "unix:path=/nonexistent"}
        self.desktop.logs.append(self.log)
        # setpriv runs the program in its own process, so its id is the one its windows carry.
        argv = ["setpriv", f"--reuid={self.user.uid}", f"--regid={self.user.gid}", "--init-groups",
                self.exe]
        with open(self.log, "ab") as out:
            self.process = subprocess.Popen(argv, env=env, cwd=self.user.home, stdout=out,
                                            stderr=subprocess.STDOUT)
        self.desktop.processes.append(self.process)
        return self


def use_as_user(user):
    with Desktop(640, 480) as desktop:
        program = InstalledRuvello(desktop, user).start()
        config = os.path.join(program.dir, "config.ini")
        wait_for(lambda: os.path.exists(config), 30, config)
        expected = ("[Settings]\r\nIntervalSeconds=60\r\nMaxImageCount=500\r\nUseMaxCount=true\r\n"
                    "UseMaxSize=true\r\nMaxTotalSizeMB=500\r\nScreenshotFolder=" + program.shots +
                    "/\r\nShowFlash=true\r\n").encode()
        try:
            wait_for(lambda: program.config() == expected, 10, "the seven defaults in config.ini")
        except Failure:
            raise Failure(f"config.ini is\n{program.config()!r}\nexpected\n{expected!r}")
        check(os.stat(config).st_uid == user.uid, "config.ini does not belong to the user")
        # config.ini comes first, the screenshot folder a moment later (longer on a loaded machine).
        shots = wait_for(lambda: os.path.isdir(program.shots) and program.screenshots(program.shots), 30,
                         "a screenshot in ~/Pictures/Ruvello")
        width, height, _ = pngcheck.read_png(os.path.join(program.shots, shots[0]))
        check((width, height) == (640, 480), f"the screenshot is {width}x{height}")
        # The folders it made and what it wrote are the user's alone: other users of the
        # machine must not see the screen's history.
        for path, mode in ((program.dir, 0o700), (program.shots, 0o700), (config, 0o600),
                           (os.path.join(program.shots, shots[0]), 0o600)):
            actual = os.stat(path).st_mode & 0o7777
            check(actual == mode, f"{path} has mode {actual:o}, not {mode:o}")

        program.choose(*["Down"] * 4, "Return")  # the flash switch
        program.wait_config(b"\r\nShowFlash=false\r\n")
        program.choose(*["Down"] * 5, "Return")  # start at logon
        entry = os.path.join(user.home, ".config", "autostart", "ruvello.desktop")
        wait_for(lambda: os.path.exists(entry), 10, "the autostart entry")
        exec_key = desktop_entry(entry).get("Exec")
        check(exec_key == '"/usr/bin/ruvello"', f"the autostart entry starts {exec_key!r}")

        program.choose("Up", "Return")  # "Beenden"
        code = program.process.wait(10)
        check(code == 0, f"the program ended with {code}:\n{program.log_text()}")


def test(build_dir, version):
    tmp = tempfile.mkdtemp(prefix="ruvello-deb-")
    try:
        deb = build(build_dir, version)
        validate(deb, tmp)
        run(*APT, "install", "--no-install-recommends", os.path.abspath(deb))
        try:
            installed = [p for p in run("dpkg-query", "-L", "ruvello").splitlines() if p != "/."]
            entry = desktop_entry("/usr/share/applications/org.ruvello.Ruvello.desktop")
            check(shutil.which(entry["Exec"].split()[0]) == "/usr/bin/ruvello", f"the menu starts {entry['Exec']}")
            # KWin grants its screenshot interface by the executable's path: the entry names it in
            # full, which a bare name on the PATH would not do.
            check(entry["Exec"].split()[0] == "/usr/bin/ruvello"
                  and "org.kde.KWin.ScreenShot2" in entry.get("X-KDE-DBUS-Restricted-Interfaces", ""),
                  f"the entry grants KWin's screenshots to no program: {entry}")
            check(os.path.isfile(f"/usr/share/icons/hicolor/48x48/apps/{entry['Icon']}.png"),
                  f"no icon {entry['Icon']} in the icon theme")
            with TestUser() as user:
                use_as_user(user)
        except BaseException:
            subprocess.run([*APT, "remove", "ruvello"], capture_output=True)
            raise
        run(*APT, "remove", "ruvello")
        check(package_status() == "not-installed", f"the package is {package_status()} after its removal")
        left = [p for p in installed if os.path.lexists(p) and not
                (os.path.isdir(p) and subprocess.run(["dpkg-query", "-S", p], capture_output=True).returncode == 0)]
        check(not left, f"left after the removal: {left}")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def main():
    build_dir, version = os.path.abspath(sys.argv[1]), sys.argv[2]
    if os.geteuid() != 0:
        if shutil.which("sudo") and subprocess.run(["sudo", "-n", "true"], capture_output=True).returncode == 0:
            os.execvp("sudo", ["sudo", "-n", sys.executable, os.path.abspath(__file__), build_dir, version])
        print("SKIPPED: installing the package needs root or sudo without a password")
        sys.exit(SKIP)
    if package_status() != "not-installed":
        print("SKIPPED: a ruvello package is installed here, and the test would remove it")
        sys.exit(SKIP)
    try:
        test(build_dir, version)
    except Failure as failure:
        print(f"FAILED: {failure}")
        sys.exit(1)
    print("passed")


if __name__ == "__main__":
    main()
