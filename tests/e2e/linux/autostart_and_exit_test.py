"""The autostart switch writes an XDG autostart entry that starts exactly this program, even from
a folder whose name holds spaces, quotes, "$", "%" and backslashes, and removes it again;
"Beenden" ends the program and takes its icon away."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from desktop import Desktop, Ruvello, check, main, wait_for  # noqa: E402

AWKWARD_FOLDER = 'Mein "Werkzeug" $HOME 100% a\\b `x`'


def exec_argv(value):
    """The Exec key as a launcher reads it: string escapes first, then quoting, then %% -> %."""
    unescaped, i = "", 0
    escapes = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value) and value[i + 1] in escapes:
            unescaped += escapes[value[i + 1]]
            i += 2
        else:
            unescaped += value[i]
            i += 1
    argv, current, quoted, i = [], None, False, 0
    while i < len(unescaped):
        c = unescaped[i]
        if quoted and c == "\\" and i + 1 < len(unescaped) and unescaped[i + 1] in '"`$\\':
            current = (current or "") + unescaped[i + 1]
            i += 1
        elif c == '"':
            quoted = not quoted
            current = current or ""
        elif c == " " and not quoted:
            if current is not None:
                argv.append(current)
            current = None
        elif c == "%":
            check(unescaped[i + 1:i + 2] == "%", f"a field code in Exec: {value!r}")
            current = (current or "") + "%"
            i += 1
        else:
            current = (current or "") + c
        i += 1
    check(not quoted, f"unbalanced quotes in Exec: {value!r}")
    if current is not None:
        argv.append(current)
    return argv


def test(exe):
    with Desktop(640, 480) as desktop:
        program = Ruvello(desktop, exe, folder=AWKWARD_FOLDER)
        program.start()
        wait_for(program.screenshots, 30, "the start-up screenshot")
        entry = os.path.join(desktop.env["XDG_CONFIG_HOME"], "autostart", "ruvello.desktop")
        check(not os.path.exists(entry), "an autostart entry exists before it was switched on")

        program.choose(*["Down"] * 5, "Return")  # "Automatischer Programmstart bei Anmeldung"
        wait_for(lambda: os.path.exists(entry), 30, "the autostart entry")
        with open(entry, encoding="utf-8") as f:
            keys = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
        check(keys.get("Type") == "Application", f"entry: {keys}")
        check(exec_argv(keys["Exec"]) == [program.exe], f"Exec {keys['Exec']!r} does not start {program.exe!r}")
        check(keys.get("Path", "").replace("\\\\", "\\") == program.dir, f"Path is {keys.get('Path')!r}")

        # The desktop's settings switched it off inside the file: a click switches it on again
        # (the entry written whole) instead of deleting it.
        with open(entry, "a", encoding="utf-8") as f:
            f.write("X-GNOME-Autostart-enabled=false\n")
        program.choose(*["Down"] * 5, "Return")
        wait_for(lambda: "X-GNOME-Autostart-enabled=false" not in open(entry, encoding="utf-8").read(), 30,
                 "the entry switched on again")

        program.choose(*["Down"] * 5, "Return")
        wait_for(lambda: not os.path.exists(entry), 30, "the autostart entry to go")
        check(program.alive(), "the program ended")

        icon = program.icon()
        program.choose("Up", "Return")  # "Beenden"
        code = program.process.wait(10)
        check(code == 0, f"the program ended with {code}")
        check(all(w.id != icon.id for w in desktop.windows()), "the tray icon is still there")
        check(not os.path.exists(entry), "quitting wrote an autostart entry")


if __name__ == "__main__":
    main(test)
