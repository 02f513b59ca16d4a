#!/usr/bin/env python3
"""Fails when a module under src/ includes a module to its right, or when any
Qt header appears under src/ or app/editor/ (only app/ui/ may use Qt)."""
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
QT = re.compile(r'^(Q[A-Z]\w*|Qt\w*)([/.>]|$)')


def qt_free_sources(directory: pathlib.Path):
    if not directory.is_dir():
        return
    for path in sorted(directory.rglob("*")):
        if path.suffix in {".h", ".hpp", ".cpp", ".cc"}:
            yield path


def includes(path: pathlib.Path):
    """Yields (line number, included name) of every #include of the file."""
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        m = INCLUDE.match(line)
        if m:
            yield number, m.group(1)


def main() -> int:
    repo = pathlib.Path(sys.argv[1])
    root = repo / "src"
    problems = []
    for path in qt_free_sources(root):
        module = path.relative_to(root).parts[0]
        allowed = ALLOWED.get(module)
        for number, target in includes(path):
            if QT.match(target):
                problems.append(f"{path}:{number}: Qt header {target} in core code")
                continue
            head = target.split("/")[0]
            if allowed is not None and head in ALLOWED and head not in allowed:
                problems.append(f"{path}:{number}: {module} must not include {target}")
            if head in {"FreeImage.h"} and module != "raster":
                problems.append(f"{path}:{number}: only raster/ uses FreeImage")
    # The editor core may use every core module but neither Qt nor the UI.
    for path in qt_free_sources(repo / "app" / "editor"):
        for number, target in includes(path):
            if QT.match(target):
                problems.append(f"{path}:{number}: Qt header {target} in the editor core")
            elif target.split("/")[0] in {"ui", "FreeImage.h"}:
                problems.append(f"{path}:{number}: the editor core must not include {target}")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
