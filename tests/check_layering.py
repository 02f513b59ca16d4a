#!/usr/bin/env python3
"""Fails when a module under src/ includes a module to its right, or any Qt header."""
import pathlib
import re
import sys

# Each module may include itself and the modules listed for it.
ALLOWED = {
    "platform": {"platform"},
    "settings": {"platform", "settings"},
    "raster": {"platform", "settings", "raster"},
    "model": {"platform", "settings", "raster", "model"},
    "postprocess": {"platform", "settings", "raster", "model", "postprocess"},
    "trace": {"platform", "settings", "raster", "model", "postprocess", "trace"},
    "formats": {"platform", "settings", "raster", "model", "formats"},
    "batch": {"platform", "settings", "raster", "model", "postprocess", "trace", "formats", "batch"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]')
QT = re.compile(r'^(Q[A-Z]\w*|Qt\w*/)')


def main() -> int:
    root = pathlib.Path(sys.argv[1]) / "src"
    problems = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in {".h", ".hpp", ".cpp", ".cc"}:
            continue
        module = path.relative_to(root).parts[0]
        allowed = ALLOWED.get(module)
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            target = m.group(1)
            if QT.match(target):
                problems.append(f"{path}:{number}: Qt header {target} in core code")
                continue
            head = target.split("/")[0]
            if allowed is not None and head in ALLOWED and head not in allowed:
                problems.append(f"{path}:{number}: {module} must not include {target}")
            if head in {"FreeImage.h"} and module != "raster":
                problems.append(f"{path}:{number}: only raster/ uses FreeImage")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
