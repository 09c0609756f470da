#!/usr/bin/env python3
"""What the program costs between screenshots: CPU time and wake-ups over a minute of ticks with
nothing due (IntervalSeconds=600), on a private 1920x1080 display with a tray host.

    python3 bench/idle_cost.py build/linux/ruvello [seconds=60]
"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from desktop import Desktop, Ruvello, wait_for  # noqa: E402


def cpu_ns_and_switches(pid):
    """Run time in ns (schedstat) and context switches, summed over the process's threads."""
    ns = switches = 0
    tasks = os.listdir(f"/proc/{pid}/task")
    for task in tasks:
        with open(f"/proc/{pid}/task/{task}/schedstat") as f:
            ns += int(f.read().split()[0])
        with open(f"/proc/{pid}/task/{task}/status") as f:
            fields = dict(line.split(":", 1) for line in f)
        switches += int(fields["voluntary_ctxt_switches"]) + int(fields["nonvoluntary_ctxt_switches"])
    return ns, switches, len(tasks)


def main():
    exe = os.path.abspath(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60
    with Desktop(1920, 1080) as desktop:
        program = Ruvello(desktop, exe, config="[Settings]\r\nIntervalSeconds=600\r\n").start()
        wait_for(program.screenshots, 10, "the start-up screenshot")
        time.sleep(3)  # start-up settles
        ns0, sw0, _ = cpu_ns_and_switches(program.process.pid)
        t0 = time.monotonic()
        time.sleep(seconds)
        ns1, sw1, threads = cpu_ns_and_switches(program.process.pid)
        elapsed = time.monotonic() - t0
    cpu = (ns1 - ns0) / 1e9
    print(f"{elapsed:.1f} s idle: {cpu * 1000:.1f} ms CPU = {100 * cpu / elapsed:.3f} % of one core; "
          f"{sw1 - sw0} context switches = {(sw1 - sw0) / elapsed:.2f}/s over {threads} threads "
          f"(the 500 ms timer alone: 2/s)")


if __name__ == "__main__":
    main()
