#!/usr/bin/env python3
"""What a start of the program loads.

test_start_libraries.py QUILLON SOURCE_DIR: a command that touches no raster
(`quillon version`, and the first of the two starts of every command, which
starts itself again with the huge-page heap) must not load FreeImage and the
codec libraries behind it; a command that reads a raster loads it when it
needs it and works as before.
"""
import os
import subprocess
import sys
import tempfile


def loaded(command, env):
    """The libraries the dynamic loader opened, from its own report."""
    env = dict(env, LD_DEBUG="files")
    run = subprocess.run(command, env=env, capture_output=True, text=True)
    names = [line.split("file=", 1)[1].split()[0] for line in run.stderr.splitlines() if "file=" in line]
    return run, names


def main():
    quillon, source = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as scratch:
        env = dict(os.environ, QUILLON_CONFIG_DIR=scratch)
        failures = []
        run, names = loaded([quillon, "version"], env)
        if run.returncode != 0:
            failures.append("quillon version failed: " + run.stderr[-500:])
        if any("freeimage" in n.lower() for n in names):
            failures.append("quillon version loaded FreeImage: " + " ".join(names))

        sample = os.path.join(source, "data", "samples", "lines_1bit.bmp")
        target = os.path.join(scratch, "lines.dxf")
        run, names = loaded([quillon, "trace", sample, "-o", target, "-q", "--defaults"], env)
        if run.returncode != 0 or not os.path.getsize(target):
            failures.append("quillon trace failed: " + run.stderr[-500:])
        if not any("freeimage" in n.lower() for n in names):
            failures.append("quillon trace never loaded FreeImage: " + " ".join(names))
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
