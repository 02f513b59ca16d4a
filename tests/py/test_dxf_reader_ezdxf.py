#!/usr/bin/env python3
"""Reads DXF files made by ezdxf (a third-party writer) with `quillon convert`.

test_dxf_reader_ezdxf.py QUILLON SOURCE_DIR

For R12 and R2000 files holding every entity kind quillon reads, entities it
skips (TEXT, INSERT, SPLINE, ELLIPSE, DIMENSION, ...), extended data, LF and
CR LF line ends, and the groups of single records in reverse order: converts
each file to DXF and checks with ezdxf that the layers, colours and geometry
of the kept entities came through, that the skipped kinds are named on stderr,
and that damaged files fail cleanly without leaving an output file.

Exit status 0 when every check passed, 1 otherwise; without ezdxf the test is
skipped (status 0).
"""
import math
import os
import subprocess
import sys
import tempfile

from python_modules import import_or_reexec


def import_ezdxf():
    modules = import_or_reexec("ezdxf")
    return modules[0] if modules else None


FAILURES = []


def check(condition, text):
    if not condition:
        FAILURES.append(text)
        print("FAIL:", text)


def make_document(ezdxf, version):
    doc = ezdxf.new(version)
    msp = doc.modelspace()
    doc.layers.add("Walls", color=3)
    doors = doc.layers.add("Doors", color=1)
    doors.off()  # a negative colour in the file: read as 7, still visible
    doc.appids.new("QUILLON_TEST")

    line = msp.add_line((1.5, 2.25), (10.0, -5.0), dxfattribs={"layer": "Walls", "color": 1})
    line.set_xdata("QUILLON_TEST", [(1000, "extra"), (1010, (99.0, 99.0, 0.0)), (1040, 3.5)])
    msp.add_circle((5.0, 5.0), 2.5, dxfattribs={"layer": "Walls"})
    msp.add_arc((1.0, 1.0), 3.0, 30.0, 120.0, dxfattribs={"layer": "Arcs", "color": 6})
    msp.add_arc((-4.0, 0.0), 2.0, 300.0, 45.0, dxfattribs={"layer": "Arcs"})
    msp.add_polyline2d([(0, 0), (10, 0), (10, 10)], close=True, dxfattribs={"layer": "Poly"})
    msp.add_solid([(0, 0), (4, 0), (0, 4), (4, 4)], dxfattribs={"layer": "Fill"})
    msp.add_solid([(10, 0), (14, 0), (10, 4)], dxfattribs={"layer": "Fill", "color": 2})
    msp.add_3dface([(0, 0, 0), (2, 0, 0), (2, 2, 0), (0, 2, 0)], dxfattribs={"layer": "Fill"})

    # Entities quillon skips (blocks, splines and ellipses have tests of
    # their own).
    msp.add_text("skipped", dxfattribs={"layer": "Walls"})
    block = doc.blocks.new("MARK")
    block.add_line((0, 0), (1, 1))
    msp.add_point((3, 3))
    dim = msp.add_linear_dim(base=(0, -3), p1=(0, 0), p2=(10, 0))
    dim.render()
    if version != "R12":
        msp.add_lwpolyline([(0, 0, 0.5, 0.5, 0.0), (6, 0, 0.5, 0.5, 0.4), (6, 6, 0.5, 0.5, 0.0), (0, 6, 0.5, 0.5, 0.0)],
                           format="xyseb", close=True, dxfattribs={"layer": "Poly", "color": 4})
        hatch = msp.add_hatch(color=5, dxfattribs={"layer": "Fill"})
        hatch.paths.add_polyline_path([(0, 0), (8, 0), (8, 8), (0, 8)], is_closed=True)
        hatch.paths.add_polyline_path([(2, 2, 0.0), (4, 2, 1.0), (4, 4, 0.0)], is_closed=True)
        edges = msp.add_hatch(color=1, dxfattribs={"layer": "Fill"})
        path = edges.paths.add_edge_path()
        path.add_line((0, 0), (5, 0))
        path.add_line((5, 0), (5, 5))
        path.add_line((5, 5), (0, 0))
        arcs = msp.add_hatch(color=3, dxfattribs={"layer": "Fill"})
        path = arcs.paths.add_edge_path()
        path.add_line((0, 0), (4, 0))
        path.add_arc((4, 2), 2, 270, 90, ccw=True)  # bulges out to x = 6
        path.add_line((4, 4), (0, 4))
        path.add_arc((0, 2), 2, 270, 90, ccw=False)  # clockwise from (0, 4) to (0, 0): bulges in to x = 2
        msp.add_hatch().set_pattern_fill("ANSI31")  # a pattern: dropped
        msp.add_mtext("skipped too")
    return doc


# The kinds quillon reads, and what its DXF 2000 writer turns them into.
KEPT = {"LINE": "LINE", "CIRCLE": "CIRCLE", "ARC": "ARC", "LWPOLYLINE": "LWPOLYLINE", "POLYLINE": "LWPOLYLINE",
        "SOLID": "SOLID", "3DFACE": "SOLID", "HATCH": "HATCH"}


def r(value):
    return round(value, 4)


def corners(points):
    return sorted({(r(p[0]), r(p[1])) for p in points})


def signature(entity):
    """What must survive a conversion, in a form that compares across kinds."""
    kind = entity.dxftype()
    layer = entity.dxf.layer
    colour = entity.dxf.color if entity.dxf.hasattr("color") else 256
    if colour == 0:
        colour = 256
    if kind == "LINE":
        geometry = (r(entity.dxf.start.x), r(entity.dxf.start.y), r(entity.dxf.end.x), r(entity.dxf.end.y))
    elif kind == "CIRCLE":
        geometry = (r(entity.dxf.center.x), r(entity.dxf.center.y), r(entity.dxf.radius))
    elif kind == "ARC":
        geometry = (r(entity.dxf.center.x), r(entity.dxf.center.y), r(entity.dxf.radius),
                    r(entity.dxf.start_angle % 360.0), r(entity.dxf.end_angle % 360.0))
    elif kind == "LWPOLYLINE":
        points = [(r(x), r(y), r(b)) for x, y, b in entity.get_points("xyb")]
        geometry = (tuple(points), bool(entity.closed))
    elif kind == "POLYLINE":
        points = [(r(v.dxf.location.x), r(v.dxf.location.y), r(v.dxf.bulge)) for v in entity.vertices]
        geometry = (tuple(points), bool(entity.is_closed))
    elif kind in ("SOLID", "3DFACE"):
        geometry = tuple(corners([entity.dxf.get(f"vtx{i}") for i in range(4) if entity.dxf.hasattr(f"vtx{i}")]))
    elif kind == "HATCH":
        # Each boundary as ezdxf draws it: its corners, and the box of the
        # flattened curve (which tells the way each arc bulges).
        from ezdxf import path as ezpath
        paths = []
        for boundary, drawn in zip(entity.paths, ezpath.from_hatch(entity)):
            if hasattr(boundary, "vertices"):
                start = [(r(v[0]), r(v[1])) for v in boundary.vertices]
            else:
                # ezdxf keeps arcs counter-clockwise: a clockwise one starts at its end point.
                start = [(r(p[0]), r(p[1])) for p in
                         (e.end_point if getattr(e, "ccw", True) is False else e.start_point for e in boundary.edges)]
            points = list(drawn.flattening(0.001))
            box = (round(min(p.x for p in points), 2), round(min(p.y for p in points), 2),
                   round(max(p.x for p in points), 2), round(max(p.y for p in points), 2))
            paths.append((tuple(start), box))
        geometry = tuple(paths)
    else:
        return None
    return (KEPT[kind], layer, colour, geometry)


def kept_signatures(doc):
    out = []
    for entity in doc.modelspace():
        if entity.dxftype() == "HATCH" and not entity.dxf.solid_fill:
            continue
        s = signature(entity)
        if s is not None:
            out.append(s)
    return sorted(out, key=repr)


def reorder_records(text, kinds=("LINE", "CIRCLE", "ARC", "SOLID", "3DFACE")):
    """Reverses the groups of each record of the given kinds (legal: these
    records carry no order-dependent groups)."""
    lines = text.split("\n")
    pairs = [(lines[i], lines[i + 1]) for i in range(0, len(lines) - 1, 2)]
    out, i = [], 0
    in_entities = False
    while i < len(pairs):
        code, value = pairs[i]
        if code.strip() == "2" and value.strip() == "ENTITIES":
            in_entities = True
        if in_entities and code.strip() == "0" and value.strip() in kinds:
            j = i + 1
            while j < len(pairs) and pairs[j][0].strip() != "0":
                j += 1
            body = pairs[i + 1:j]
            # Extended data stays last and in its order.
            xdata = [k for k, p in enumerate(body) if p[0].strip() == "1001"]
            cut = xdata[0] if xdata else len(body)
            out.append(pairs[i])
            out.extend(reversed(body[:cut]))
            out.extend(body[cut:])
            i = j
            continue
        out.append(pairs[i])
        i += 1
    return "\n".join(c + "\n" + v for c, v in out) + "\n"


def convert(quillon, source, target, *extra):
    return subprocess.run([quillon, "convert", source, "-o", target, *extra], capture_output=True, text=True,
                          timeout=120)


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    quillon = sys.argv[1]
    ezdxf = import_ezdxf()
    if ezdxf is None:
        print("ezdxf is not installed: skipped")
        return 0
    with tempfile.TemporaryDirectory() as tmp:
        for version in ("R12", "R2000"):
            doc = make_document(ezdxf, version)
            base = os.path.join(tmp, version)
            doc.saveas(base + ".dxf")
            expected = kept_signatures(ezdxf.readfile(base + ".dxf"))
            with open(base + ".dxf", newline="") as f:
                text = f.read()
            variants = {
                "lf": text.replace("\r\n", "\n"),
                "crlf": text.replace("\r\n", "\n").replace("\n", "\r\n"),
                "reordered": reorder_records(text.replace("\r\n", "\n")),
            }
            for name, content in variants.items():
                source = f"{base}_{name}.dxf"
                with open(source, "w", newline="") as f:
                    f.write(content)
                target = f"{base}_{name}_out.dxf"
                result = convert(quillon, source, target)
                what = f"{version} {name}"
                check(result.returncode == 0, f"{what}: exit {result.returncode}: {result.stderr}")
                if result.returncode != 0:
                    continue
                for kind in ("TEXT", "POINT", "DIMENSION") + (("MTEXT",) if version != "R12" else ()):
                    check(kind in result.stderr, f"{what}: skipped {kind} not named on stderr: {result.stderr}")
                if version != "R12":
                    check("dropped 1 entity" in result.stderr, f"{what}: the pattern hatch is not reported: "
                                                               f"{result.stderr}")
                out = ezdxf.readfile(target)
                check(out.audit().has_errors is False, f"{what}: ezdxf audit finds errors in the output")
                got = kept_signatures(out)
                check(got == expected, f"{what}: entities differ\n  expected {expected}\n  got      {got}")
                layers = {layer.dxf.name: layer.dxf.color for layer in out.layers}
                check(layers.get("Walls") == 3, f"{what}: layer Walls has colour {layers.get('Walls')}")
                check(layers.get("Doors") == 7, f"{what}: layer Doors has colour {layers.get('Doors')}")
                check(not any(e.dxf.layer == "Doors" for e in out.modelspace() if e.dxftype() == "LINE"),
                      f"{what}: unexpected entities")

            # Other formats through the same reader.
            for fmt, ext in (("svg", ".svg"), ("pdf", ".pdf"), ("dxf-r10", ".dxf")):
                target = f"{base}_any{ext}"
                result = convert(quillon, base + "_lf.dxf", target, "-f", fmt, "--size", "10,10,cm")
                check(result.returncode == 0 and os.path.getsize(target) > 0,
                      f"{version} to {fmt}: exit {result.returncode}: {result.stderr}")

        # Damaged input: truncated, not DXF, binary, empty; an unwritable target.
        good = os.path.join(tmp, "R2000_lf.dxf")
        with open(good) as f:
            text = f.read()
        cases = {
            "truncated.dxf": (text[: len(text) * 2 // 3], 1),
            "notdxf.dxf": ("hello, world\n", 1),
            "binary.dxf": ("AutoCAD Binary DXF\r\n\x1a\x00junk", 1),
            "empty.dxf": ("", 1),
        }
        for name, (content, status) in cases.items():
            source = os.path.join(tmp, name)
            with open(source, "w", newline="") as f:
                f.write(content)
            target = source + ".out.svg"
            result = convert(quillon, source, target)
            check(result.returncode == status, f"{name}: exit {result.returncode}, expected {status}: {result.stderr}")
            check(result.stderr.strip() != "", f"{name}: nothing said on stderr")
            if name != "truncated.dxf":
                check(not os.path.exists(target), f"{name}: an output file was left behind")
        check("stopped early" in convert(quillon, os.path.join(tmp, "truncated.dxf"),
                                         os.path.join(tmp, "t.svg")).stderr, "truncated.dxf: early stop not said")
        previous = os.path.join(tmp, "keep.svg")
        with open(previous, "w") as f:
            f.write("previous")
        result = convert(quillon, os.path.join(tmp, "empty.dxf"), previous)
        with open(previous) as f:
            check(f.read() == "previous", "a failed conversion changed the previous output file")
        result = convert(quillon, good, os.path.join(tmp, "no", "such", "dir.svg"))
        check(result.returncode == 1, f"missing target directory: exit {result.returncode}")
        result = subprocess.run([quillon, "convert", good], capture_output=True, text=True)
        check(result.returncode == 2, f"no -o: exit {result.returncode}")
        result = convert(quillon, good, os.path.join(tmp, "x.out"), "-f", "nonsense")
        check(result.returncode == 2, f"unknown format: exit {result.returncode}")

    if FAILURES:
        print(f"{len(FAILURES)} check(s) failed")
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
