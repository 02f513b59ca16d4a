#!/usr/bin/env python3
"""How well a run keeps K cores busy, whatever else the machine runs:
    bench/core_use.py K COMMAND [ARGS...]
Records the run's scheduler events (`perf sched record`, needs root or
perf_event_paranoid <= 1) and counts, at each moment, the run's threads that
were runnable (running, or ready and waiting for a CPU). "idle core time" is
the time integral of max(0, K - runnable): core time the program itself left
unused (its start and end, waits for the disk or for other threads, the last
file alone). Other work on the machine stretches the run but does not count
as idle here, so the figure compares across a busy machine's runs.
"""
import collections
import os
import re
import subprocess
import sys
import tempfile


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    cores = int(sys.argv[1])
    command = sys.argv[2:]
    with tempfile.TemporaryDirectory() as scratch:
        data = os.path.join(scratch, "sched.data")
        pidfile = os.path.join(scratch, "pid")
        # The shell writes its process id and becomes the command, so the
        # run is told apart from other processes of the same name.
        wrapper = ["sh", "-c", 'echo $$ > "$0"; exec "$@"', pidfile] + command
        run = subprocess.Popen(["perf", "sched", "record", "-q", "-o", data, "--"] + wrapper, stdout=subprocess.DEVNULL)
        if run.wait() != 0:
            sys.exit("the command (or perf) failed")
        with open(pidfile) as f:
            pid = f.read().strip()
        lines = subprocess.run(["perf", "sched", "timehist", "-i", data, "--state"], capture_output=True,
                               text=True).stdout.splitlines()
    events = collections.defaultdict(list)
    pattern = re.compile(r"\s*([\d.]+)\s+\[\d+\]\s+(.*?)\[(\d+)(?:/(\d+))?\]\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+(\S+)")
    for line in lines[3:]:
        m = pattern.match(line)
        if not m:
            continue
        process = m.group(4) or m.group(3)
        if process != pid:
            continue
        # Each line is a switch away from the thread: when, how long it then
        # waited for a CPU before running, how long it ran, and its state.
        events[m.group(3)].append((float(m.group(1)), float(m.group(6)) / 1000, float(m.group(7)) / 1000, m.group(8)))
    if not events:
        sys.exit("no scheduler events of process " + pid)
    spans = []
    for switches in events.values():
        switches.sort()
        t, delay, ran, _ = switches[0]
        spans.append((t - ran - delay, t))
        for (t0, _, _, state0), (t1, delay1, ran1, _) in zip(switches, switches[1:]):
            # Preempted (R): runnable all along; else blocked until woken.
            spans.append((t0 if state0.startswith("R") else t1 - ran1 - delay1, t1))
    start = min(a for a, _ in spans)
    end = max(b for _, b in spans)
    points = sorted([(a, 1) for a, _ in spans] + [(b, -1) for _, b in spans])
    runnable = 0
    last = start
    idle = 0.0
    for t, step in points:
        idle += max(0, cores - runnable) * (t - last)
        runnable += step
        last = t
    print("%.0f ms from first to last scheduler event, idle core time %.0f ms (of %d cores)"
          % ((end - start) * 1000, idle * 1000, cores))


if __name__ == "__main__":
    main()
