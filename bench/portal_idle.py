#!/usr/bin/env python3
"""What the portal route costs between screenshots, in a headless GNOME session (mutter with two
monitors, 1920x1080 and 1280x1024, GNOME's portal backend, a remembered choice):

1. the program itself with its session open and nothing due (IntervalSeconds=600), a still
   screen: its CPU time and wake-ups over `seconds`, and mutter's CPU time beside it;
2. the same while the screen changes 30 times a second (a video, a moving window);
3. ruvello_portal_bench: one shot and an idle stretch for each way of keeping the streams
   (newest frame kept at a low frame rate, or paused between shots), on a still and a changing
   screen.

    python3 bench/portal_idle.py build/linux [seconds=60]
"""
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from desktop import Desktop, Ruvello, wait_for  # noqa: E402
from idle_cost import cpu_ns_and_switches  # noqa: E402
from portal_services import Monitor, PortalServices  # noqa: E402


def cpu_seconds(pid):
    """The process's CPU time, threads that ended included (/proc/PID/stat: utime, stime)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def measure(pids, seconds):
    """Over `seconds`, for each process: CPU time summed over its threads (ns-exact, for a
    process whose threads live throughout), context switches likewise, and CPU time with ended
    threads included (10 ms steps)."""
    def sample(pid):
        ns, switches, _ = cpu_ns_and_switches(pid)
        return ns / 1e9, switches, cpu_seconds(pid)
    before = {pid: sample(pid) for pid in pids}
    t0 = time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - t0
    after = {pid: sample(pid) for pid in pids}
    return elapsed, {pid: tuple(a - b for a, b in zip(after[pid], before[pid])) for pid in pids}


def report(label, elapsed, cpu, switches):
    print(f"{label}: {cpu * 1000:.1f} ms CPU in {elapsed:.1f} s = {100 * cpu / elapsed:.3f} % of one core, "
          f"{switches / elapsed:.2f} wake-ups/s")


def main():
    build = os.path.abspath(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60
    pattern = os.path.join(build, "tests", "e2e", "portal", "pattern_window")
    with Desktop(640, 480) as desktop:
        monitors = [Monitor(1920, 1080, 0, 0), Monitor(1280, 1024, 1920, 0)]
        with PortalServices(desktop, monitors, backend="gnome", pattern_exe=pattern) as portal:
            mutter = next(p for p in desktop.processes if p.args[0] == "mutter")
            portal.remember_choice()
            program = Ruvello(desktop, os.path.join(build, "ruvello"),
                              config="[Settings]\r\nIntervalSeconds=600\r\n").start()
            wait_for(program.screenshots, 60, "the start-up screenshot")
            time.sleep(3)  # start-up settles
            for screen in ("still screen", "screen changing 30 times a second"):
                if screen != "still screen":
                    portal.pattern.stdin.write("animate 30\n")
                    portal.pattern.stdin.flush()
                    time.sleep(2)
                elapsed, costs = measure([program.process.pid, mutter.pid], seconds)
                report(f"program, session open, {screen}", elapsed, *costs[program.process.pid][:2])
                print(f"mutter beside it: {100 * costs[mutter.pid][2] / elapsed:.2f} % of one core")
            portal.pattern.stdin.write("animate 0\n")
            portal.pattern.stdin.flush()
            program.process.terminate()
            program.process.wait(20)
            desktop.processes.remove(program.process)

            bench = [os.path.join(build, "bench", "ruvello_portal_bench"), "--benchmark_counters_tabular=true"]
            env = dict(desktop.env, RUVELLO_IDLE_SECONDS=str(int(seconds // 2)), RUVELLO_COMPOSITOR_PID=str(mutter.pid))
            for screen, hz in (("still screen", 0), ("screen changing 30 times a second", 30)):
                portal.pattern.stdin.write(f"animate {hz}\n")
                portal.pattern.stdin.flush()
                print(f"\nruvello_portal_bench, {screen}:", flush=True)
                subprocess.run(bench, env=env, check=True)


if __name__ == "__main__":
    main()
