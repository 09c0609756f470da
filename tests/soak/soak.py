#!/usr/bin/env python3
"""A long run of the Linux program: `shots` automatic screenshots at the shortest interval (1 s)
with a small count limit, on a private 1920x1080 display. Samples the process's memory and open
descriptors and the folder, and fails on growth or on a folder beyond its limit.

    python3 tests/soak/soak.py build/linux/ruvello [shots=2000]
"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
from desktop import Desktop, Ruvello, check, wait_for  # noqa: E402

LIMIT = 10


def sample(pid):
    with open(f"/proc/{pid}/status") as f:
        fields = dict(line.split(":", 1) for line in f)
    return int(fields["VmRSS"].split()[0]), len(os.listdir(f"/proc/{pid}/fd"))


def main():
    exe = os.path.abspath(sys.argv[1])
    shots = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    with Desktop(1920, 1080) as desktop:
        program = Ruvello(desktop, exe, config=f"[Settings]\r\nIntervalSeconds=1\r\nMaxImageCount={LIMIT}\r\n")
        program.start()
        wait_for(program.screenshots, 10, "the first screenshot")
        seen, samples, worst = set(), [], 0
        started = time.monotonic()
        while len(seen) < shots:
            names = program.screenshots()
            worst = max(worst, len(names))
            seen.update(names)
            if not samples or time.monotonic() - samples[-1][0] >= 10:
                samples.append((time.monotonic(), *sample(program.process.pid)))
            check(program.alive(), f"the program ended after {len(seen)} screenshots")
            time.sleep(0.25)
        elapsed = time.monotonic() - started
        rss = [s[1] for s in samples]
        fds = [s[2] for s in samples]
        print(f"{len(seen)} screenshots in {elapsed:.0f} s; folder at most {worst} files (limit {LIMIT})")
        print(f"resident memory: first {rss[0]} kB, after a minute {rss[min(6, len(rss) - 1)]} kB, "
              f"last {rss[-1]} kB, max {max(rss)} kB")
        print(f"open descriptors: first {fds[0]}, last {fds[-1]}, max {max(fds)}")
        settled = rss[min(6, len(rss) - 1)]
        check(worst <= LIMIT + 1, f"the folder held {worst} files")  # + the one just written
        check(rss[-1] <= settled * 1.10 + 2048, f"memory grew from {settled} kB to {rss[-1]} kB")
        check(max(fds) == fds[0], f"descriptors grew from {fds[0]} to {max(fds)}")
    print("passed")


if __name__ == "__main__":
    main()
