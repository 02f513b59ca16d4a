#!/usr/bin/env python3
"""Commands that only read settings never move, rewrite or create the file.

test_settings_untouched.py QUILLON SOURCE_DIR: runs `info`, `params` and a
trace with a damaged, an unreadable and a directory settings.json and checks
that each is left exactly as it was, with one warning naming the file.
"""
import os
import subprocess
import sys
import tempfile


def run(quillon, config, *args):
    env = dict(os.environ, QUILLON_CONFIG_DIR=config)
    return subprocess.run([quillon, *args], env=env, capture_output=True, text=True)


def snapshot(folder):
    out = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(root, name)
            data = None
            if os.path.isfile(path) and os.access(path, os.R_OK):
                with open(path, "rb") as f:
                    data = f.read()
            out[os.path.relpath(path, folder)] = (os.path.isdir(path), os.stat(path).st_mode, data)
    return out


def main():
    quillon, source = sys.argv[1], sys.argv[2]
    sheet = os.path.join(source, "data", "samples", "lines_1bit.bmp")
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        kinds = {
            "damaged": lambda p: open(p, "w").write("{\"keys\": "),
            "unreadable": lambda p: (open(p, "w").write("{}"), os.chmod(p, 0)),
            "directory": lambda p: os.mkdir(p),
        }
        for kind, make in kinds.items():
            config = os.path.join(tmp, kind)
            os.mkdir(config)
            make(os.path.join(config, "settings.json"))
            before = snapshot(config)
            for args in (["info", sheet], ["params"],
                         ["trace", sheet, "-q", "-o", os.path.join(tmp, kind + ".dxf")]):
                result = run(quillon, config, *args)
                if result.returncode != 0:
                    failures.append(f"{kind}: {' '.join(args[:1])} exited {result.returncode}: {result.stderr}")
                if snapshot(config) != before:
                    failures.append(f"{kind}: {args[0]} changed the config folder: {sorted(snapshot(config))}")
                warnings = [l for l in result.stderr.splitlines() if "settings.json" in l]
                # root reads a file without permissions: then there is nothing to report
                if kind != "unreadable" or os.access(os.path.join(config, "settings.json"), os.R_OK) is False:
                    if len(warnings) != 1:
                        failures.append(f"{kind}: {args[0]} reported the file {len(warnings)} times: {result.stderr}")
            os.chmod(config, 0o755)
            for root, dirs, files in os.walk(config):
                for name in files:
                    os.chmod(os.path.join(root, name), 0o644)
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
