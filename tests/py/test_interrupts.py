#!/usr/bin/env python3
"""SIGINT and SIGTERM stop a conversion cleanly; a memory budget ends one cleanly.

test_interrupts.py QUILLON SOURCE_DIR: interrupts `quillon trace` and
`quillon convert` while they work on a large drawing and checks the exit
status (130 for INT, 143 for TERM), that the previous output is intact and
that no temporary file is left; then that a stale temporary file of an
earlier killed save is removed by the next save to that target, and a file
that only looks similar is not.
"""
import os
import signal
import subprocess
import sys
import tempfile
import time

BMP_HEADER = 54


def write_noise_bmp(path, width, height, seed=7):
    """A 1-bit BMP of dense noise: slow enough to interrupt at any stage."""
    import random
    rng = random.Random(seed)
    stride = ((width + 31) // 32) * 4
    data = bytearray()
    for _ in range(height):
        row = bytearray(rng.getrandbits(8) & rng.getrandbits(8) for _ in range(stride))
        data += row
    palette = bytes([255, 255, 255, 0, 0, 0, 0, 0])
    offset = 14 + 40 + len(palette)
    header = b"BM" + (offset + len(data)).to_bytes(4, "little") + b"\0\0\0\0" + offset.to_bytes(4, "little")
    info = (40).to_bytes(4, "little") + width.to_bytes(4, "little", signed=True) + \
        height.to_bytes(4, "little", signed=True) + (1).to_bytes(2, "little") + (1).to_bytes(2, "little") + \
        bytes(4) + len(data).to_bytes(4, "little") + (2835).to_bytes(4, "little") * 2 + (2).to_bytes(4, "little") + \
        bytes(4)
    with open(path, "wb") as f:
        f.write(header + info + palette + data)


def leftovers(folder, name):
    return [n for n in os.listdir(folder) if n.startswith(name + ".tmp")]


def catches(pid, sig):
    """Whether the process has installed its handler for sig (Linux /proc)."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("SigCgt:"):
                    return bool(int(line.split()[1], 16) >> (sig - 1) & 1)
    except OSError:
        pass
    return False


def interrupt(cmd, sig, delay, env):
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    # On a loaded machine the process may not have started its work after the
    # delay; a signal before its handler is in place kills it outright.
    deadline = time.monotonic() + 30
    while not catches(proc.pid, sig) and proc.poll() is None and time.monotonic() < deadline:
        time.sleep(0.01)
    time.sleep(delay)
    proc.send_signal(sig)
    _, err = proc.communicate(timeout=60)
    return proc.returncode, err.decode(errors="replace")


def main():
    quillon = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, QUILLON_CONFIG_DIR=tmp)
        source = os.path.join(tmp, "noise.bmp")
        write_noise_bmp(source, 3000, 3000)
        target = os.path.join(tmp, "out.svg")
        for sig, expected, delay in ((signal.SIGINT, 130, 0.3), (signal.SIGTERM, 143, 1.0), (signal.SIGINT, 130, 2.0)):
            with open(target, "w") as f:
                f.write("previous")
            code, err = interrupt([quillon, "trace", source, "-o", target, "-q"], sig, delay, env)
            if code == 0:
                continue  # finished before the signal on a fast machine: nothing to check
            if "stopped, nothing written" not in err:
                failures.append(f"trace {sig.name}: no word of the stop: {err}")
            if code != expected:
                failures.append(f"trace {sig.name} after {delay}s: status {code}, expected {expected}: {err}")
            with open(target) as f:
                if f.read() != "previous":
                    failures.append(f"trace {sig.name}: the previous output was replaced")
            if leftovers(tmp, "out.svg"):
                failures.append(f"trace {sig.name}: temporary files left: {leftovers(tmp, 'out.svg')}")

        # A budget the trace cannot keep ends it with "out of memory", nothing written.
        budget_target = os.path.join(tmp, "budget.dxf")
        result = subprocess.run(["/usr/bin/env", quillon, "trace", source, "-o", budget_target, "-q",
                                 "--max-memory", "60M"], env=env, capture_output=True, text=True)
        if result.returncode != 1 or "memory" not in result.stderr or os.path.exists(budget_target):
            failures.append(f"--max-memory 60M: status {result.returncode}: {result.stderr}")

        # A stale temporary of a killed save goes at the next save; a look-alike stays.
        stale = os.path.join(tmp, "out.svg.tmpAbC123")
        other = os.path.join(tmp, "out.svg.tmpAbC1234")
        for path in (stale, other):
            with open(path, "w") as f:
                f.write("stale")
            old = time.time() - 3600
            os.utime(path, (old, old))
        small = os.path.join(source_dir(), "data", "samples", "lines_1bit.bmp")
        result = subprocess.run([quillon, "trace", small, "-o", target, "-q"], env=env, capture_output=True)
        if result.returncode != 0:
            failures.append(f"trace after a kill failed: {result.stderr}")
        if os.path.exists(stale):
            failures.append("a stale temporary file of the target was not removed")
        if not os.path.exists(other):
            failures.append("a file that only looks like a temporary file was removed")
    for f in failures:
        print(f)
    return 1 if failures else 0


def source_dir():
    return sys.argv[2]


if __name__ == "__main__":
    sys.exit(main())
