#!/usr/bin/env python3
"""What a start of the program loads.

test_start_libraries.py QUILLON SOURCE_DIR: a command that touches no raster
(`quillon version`, and the first of the two starts of every command, which
starts itself again with the huge-page heap) must not load FreeImage, libtiff
and the codec libraries behind them; a command that reads a raster loads them
when it needs them and works as before, a TIFF of several pages included.
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
        for library in ("freeimage", "libtiff"):
            if any(library in n.lower() for n in names):
                failures.append("quillon version loaded " + library + ": " + " ".join(names))

        sample = os.path.join(source, "data", "samples", "lines_1bit.bmp")
        target = os.path.join(scratch, "lines.dxf")
        run, names = loaded([quillon, "trace", sample, "-o", target, "-q", "--defaults"], env)
        if run.returncode != 0 or not os.path.getsize(target):
            failures.append("quillon trace failed: " + run.stderr[-500:])
        if not any("freeimage" in n.lower() for n in names):
            failures.append("quillon trace never loaded FreeImage: " + " ".join(names))

        pages = os.path.join(source, "data", "samples", "pages_3.tif")
        run, names = loaded([quillon, "trace", pages, "-o", os.path.join(scratch, "pages.dxf"), "-q", "--defaults"], env)
        written = sorted(f for f in os.listdir(scratch) if f.startswith("pages") and f.endswith(".dxf"))
        if run.returncode != 0 or len(written) != 3:
            failures.append("quillon trace of a 3-page TIFF wrote %s: %s" % (written, run.stderr[-500:]))
        if not any("libtiff" in n.lower() for n in names):
            failures.append("quillon trace of a TIFF never loaded libtiff: " + " ".join(names))
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
