#!/usr/bin/env python3
"""Summarises the runs bench/batch_bench.sh recorded:
    bench/batch_timeline.py RUN_FILE...
Each RUN_FILE is named SET-BUILD-JOBS-RUN.log and holds the script's launch
and exit times (system clock seconds), then `/usr/bin/time -f "%e %M %U %S"`'s
line, then the run's `row ...` lines (QUILLON_STAGE_TIMES=1). For each set,
build and job count it prints medians with their range over the runs:

  wall, sheets/s, CPU   the whole process (user + sys)
  rows CPU              CPU time of the conversions on their own threads
                        (the rest is start, log, saves and the pool)
  start                 launch to the first conversion taking a core
  idle cores            core time the run left unused between the first
                        conversion and the last save: fewer conversions
                        holding a core than jobs (hand-overs, the last
                        sheet alone)
  last alone            from the moment fewer than JOBS conversions hold a
                        core for good to the end of the last one's trace
  end                   the last file saved to the process's exit

and the ratios of --jobs 2 to --jobs 1, taken run by run (runs alternate, so
each pair saw the same load). A busy machine stretches every wall figure; the
CPU figures, and the idle core time relative to the wall time, compare
across loads.
"""
import collections
import os
import re
import statistics
import sys

ROW = re.compile(r"row (\d+) thread (\d+) began ([\d.]+) saving ([\d.]+) ended ([\d.]+) cpu ([\d.]+)")


def parse(path):
    with open(path) as f:
        lines = f.read().splitlines()
    launch, exit_ = (float(v) for v in lines[0].split())
    wall, kib, user, system = (float(v) for v in lines[1].split()[:4])
    rows = []
    for line in lines[2:]:
        m = ROW.match(line)
        if m:
            _, thread, began, saving, ended, cpu = m.groups()
            began, saving, ended = float(began), float(saving), float(ended)
            rows.append((began, saving or ended, ended, float(cpu)))
    return launch, exit_, wall, kib, user + system, rows


def timeline(jobs, launch, exit_, rows):
    """start, idle core time, last alone, end (seconds)."""
    if not rows:
        return 0.0, 0.0, 0.0, 0.0
    first = min(r[0] for r in rows)
    last_trace = max(r[1] for r in rows)
    events = sorted([(r[0], 1) for r in rows] + [(r[1], -1) for r in rows])
    holding, t, idle, drop = 0, first, 0.0, first
    for when, step in events:
        idle += max(0, jobs - holding) * (when - t)
        if step < 0 and holding == jobs:
            drop = when
        holding += step
        t = when
    alone = last_trace - drop if jobs > 1 else 0.0
    return first - launch, idle, alone, exit_ - max(r[2] for r in rows)


def spread(values, scale=1.0, digits=2):
    values = [v * scale for v in values]
    return "%.*f [%.*f-%.*f]" % (digits, statistics.median(values), digits, min(values), digits, max(values))


def main():
    runs = collections.defaultdict(dict)  # (set, build, jobs) -> run -> figures
    order = []
    for path in sys.argv[1:]:
        name = os.path.basename(path)[: -len(".log")]
        data_set, build, jobs, run = name.rsplit("-", 3)
        jobs = int(jobs)
        launch, exit_, wall, kib, cpu, rows = parse(path)
        start, idle, alone, end = timeline(jobs, launch, exit_, rows)
        key = (data_set, build, jobs)
        if key not in runs:
            order.append(key)
        runs[key][int(run)] = dict(wall=wall, cpu=cpu, rows_cpu=sum(r[3] for r in rows), kib=kib, start=start,
                                    idle=idle, alone=alone, end=end, count=len(rows))
    # A build that prints no row times (an older one) converted as many rows.
    order.sort(key=lambda k: (k[0], k[1] != "before", k[1], k[2]))
    for data_set in dict.fromkeys(k[0] for k in order):
        rows = max(x["count"] for k in order if k[0] == data_set for x in runs[k].values())
        for k in order:
            if k[0] == data_set:
                for x in runs[k].values():
                    x["rate"] = rows / x["wall"] if x["wall"] else 0.0
    header = "%-6s %4s  %-19s %-19s %-19s %-19s %-16s %-16s %-19s %-16s %-16s" % (
        "build", "jobs", "wall s", "sheets/s", "CPU s", "rows CPU s", "peak MiB", "start ms", "idle cores ms",
        "last alone ms", "end ms")
    for data_set in dict.fromkeys(k[0] for k in order):
        keys = [k for k in order if k[0] == data_set]
        first = runs[keys[0]]
        count = max(x["count"] for k in keys for x in runs[k].values())
        print("\n%s: %d rows, %d runs; median [min-max]" % (data_set, count, len(first)))
        print(header)
        for key in keys:
            r = list(runs[key].values())
            timed = all(x["count"] for x in r)

            def col(name, scale=1.0, digits=2):
                if not timed and name in ("rows_cpu", "start", "idle", "alone", "end"):
                    return "-"
                return spread([x[name] for x in r], scale, digits)

            print("%-6s %4d  %-19s %-19s %-19s %-19s %-16s %-16s %-19s %-16s %-16s" % (
                key[1], key[2], col("wall"), col("rate"), col("cpu"), col("rows_cpu"), col("kib", 1 / 1024, 0),
                col("start", 1000, 0), col("idle", 1000, 0), col("alone", 1000, 0), col("end", 1000, 0)))
        for build in dict.fromkeys(k[1] for k in keys):
            one, two = runs.get((data_set, build, 1)), runs.get((data_set, build, 2))
            if not one or not two:
                continue
            pairs = sorted(set(one) & set(two))
            wall = [one[i]["wall"] / two[i]["wall"] for i in pairs]
            cpu = [two[i]["cpu"] / one[i]["cpu"] for i in pairs]
            rows_cpu = [two[i]["rows_cpu"] / one[i]["rows_cpu"] for i in pairs if one[i]["rows_cpu"]]
            print("%s: throughput --jobs 2 / --jobs 1 %s; CPU --jobs 2 / --jobs 1 %s%s" % (
                build, spread(wall), spread(cpu),
                " (conversions alone %s)" % spread(rows_cpu) if len(rows_cpu) == len(pairs) else ""))


if __name__ == "__main__":
    main()
