"""The Windows zip, made with cpack in the Windows build tree, holds exactly the ruvello.exe that
the Wine tests test, byte for byte, and the German text on how to use it, in a form Notepad
shows (UTF-8 with its mark, CR LF line ends)."""
import os
import subprocess
import sys
import zipfile


def main():
    tree, exe, version = sys.argv[1], sys.argv[2], sys.argv[3]
    result = subprocess.run(["cpack", "-G", "ZIP"], cwd=tree, capture_output=True, text=True, timeout=100)
    failures = []
    if result.returncode != 0:
        failures.append(f"cpack ended with {result.returncode}:\n{result.stdout}\n{result.stderr}")
    path = os.path.join(tree, f"ruvello-{version}-windows-x64.zip")
    if not failures and not os.path.isfile(path):
        failures.append(f"cpack made no {os.path.basename(path)}")
    if not failures:
        with zipfile.ZipFile(path) as archive:
            names = sorted(archive.namelist())
            if names != ["LIESMICH.txt", "ruvello.exe"]:
                failures.append(f"the zip holds {names}")
            else:
                with open(exe, "rb") as f:
                    if archive.read("ruvello.exe") != f.read():
                        failures.append(f"the zip's ruvello.exe is not {exe}")
                text = archive.read("LIESMICH.txt")
                if not text.startswith(b"\xef\xbb\xbf") or b"\n" in text.replace(b"\r\n", b""):
                    failures.append("LIESMICH.txt lacks the UTF-8 mark or has bare line ends")
                elif "config.ini" not in text.decode("utf-8"):
                    failures.append("LIESMICH.txt does not say where config.ini goes")
    if failures:
        print("FAILED: " + "\n".join(failures))
        sys.exit(1)
    print("passed")


if __name__ == "__main__":
    main()
