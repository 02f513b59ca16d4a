#!/usr/bin/env python3
"""Blocks, curves, object coordinate systems and binary DXF, made by ezdxf
and read with `quillon convert`.

test_dxf_reader_blocks_ezdxf.py QUILLON SOURCE_DIR

Each case is a small drawing written by ezdxf. quillon converts it to DXF;
the geometry it wrote is compared with ezdxf's own expansion and flattening
of the source (disassemble.recursive_decompose and path flattening): every
point of either side must lie within the flattening tolerance (0.1 drawing
units) of the other side's lines. Layer and colour rules of block entities
are checked by name, and hostile files (a block that inserts itself, 10 000
nested blocks, a 100 000 x 100 000 array) must end quickly with a message.

Exit status 0 when every check passed, 1 otherwise; without ezdxf the test is
skipped (status 0).
"""
import math
import os
import resource
import subprocess
import sys
import tempfile
import time

from python_modules import import_or_reexec

TOLERANCE = 0.1
# ezdxf's reference is flattened this finely; its own error adds to ours.
REFERENCE_STEP = 0.002


def import_modules():
    modules = import_or_reexec("ezdxf", "numpy")
    return tuple(modules) if modules else (None, None)


FAILURES = []


def check(condition, text):
    if not condition:
        FAILURES.append(text)
        print("FAIL:", text)


def convert(quillon, source, target, *extra):
    return subprocess.run([quillon, "convert", source, "-o", target, *extra], capture_output=True, text=True,
                          timeout=300)


# --- geometry ---------------------------------------------------------------------------

def polylines_of(ezdxf, entities):
    """Each entity as lists of (x, y) points, flattened finely."""
    from ezdxf import path
    out = []
    for e in entities:
        kind = e.dxftype()
        try:
            if kind == "HATCH":
                paths = list(path.from_hatch(e))
            elif kind in ("SOLID", "3DFACE"):
                corners = list(e.wcs_vertices()) if kind == "SOLID" else [e.dxf.get(f"vtx{i}") for i in range(4)]
                if len(corners) == 4:  # DXF lists the corners as 1, 2, 4, 3 (a face as 1, 2, 3, 4)
                    corners = corners[:2] + [corners[3], corners[2]] if kind == "SOLID" else corners
                out.append([(p[0], p[1]) for p in corners + corners[:1]])
                continue
            elif kind in ("CIRCLE", "ARC", "ELLIPSE", "SPLINE"):
                # The curve itself (a path would hold Bezier approximations
                # of circles and ellipses, which are off by more than the
                # tolerance on large radii).
                out.append([(v.x, v.y) for v in e.flattening(REFERENCE_STEP)])
                continue
            else:
                paths = [path.make_path(e)]
        except TypeError:
            continue
        for p in paths:
            if len(p) == 0 and p.start == p.end:
                continue
            points = [(v.x, v.y) for v in p.flattening(REFERENCE_STEP)]
            if kind == "HATCH" and points and points[0] != points[-1]:
                points.append(points[0])
            out.append(points)
    return out


def segments(numpy, polylines):
    a, b = [], []
    for pl in polylines:
        if len(pl) == 1:
            a.append(pl[0])
            b.append(pl[0])
        for p, q in zip(pl, pl[1:]):
            a.append(p)
            b.append(q)
    return numpy.array(a, dtype=float).reshape(-1, 2), numpy.array(b, dtype=float).reshape(-1, 2)


def farthest(numpy, points, polylines):
    """The largest distance of a point from the nearest segment of polylines."""
    if len(points) == 0:
        return 0.0
    a, b = segments(numpy, polylines)
    if len(a) == 0:
        return math.inf
    worst = 0.0
    d = b - a
    length2 = (d * d).sum(axis=1)
    length2[length2 == 0] = 1e-300
    for chunk in range(0, len(points), 256):
        p = numpy.array(points[chunk:chunk + 256], dtype=float)[:, None, :]
        t = (((p - a[None]) * d[None]).sum(axis=2) / length2[None]).clip(0.0, 1.0)
        nearest = a[None] + t[..., None] * d[None]
        dist = numpy.sqrt(((p - nearest) ** 2).sum(axis=2)).min(axis=1)
        worst = max(worst, float(dist.max()))
    return worst


def dense(polylines, step=0.05):
    """Points along the polylines, at most `step` apart (so that a missing
    piece between two vertices is noticed)."""
    out = []
    for pl in polylines:
        out.append(pl[0])
        for (x0, y0), (x1, y1) in zip(pl, pl[1:]):
            n = max(1, int(math.hypot(x1 - x0, y1 - y0) / step))
            out.extend((x0 + (x1 - x0) * k / n, y0 + (y1 - y0) * k / n) for k in range(1, n + 1))
    return out


def compare(ezdxf, numpy, what, source, target):
    from ezdxf import disassemble
    ref_doc = ezdxf.readfile(source)
    reference = polylines_of(ezdxf, disassemble.recursive_decompose(ref_doc.modelspace()))
    got = polylines_of(ezdxf, ezdxf.readfile(target).modelspace())
    slack = TOLERANCE + 2 * REFERENCE_STEP + 1e-6
    missing = farthest(numpy, dense(reference), got)
    extra = farthest(numpy, dense(got), reference)
    check(missing <= slack, f"{what}: the source's geometry lies {missing:.4f} from what was read")
    check(extra <= slack, f"{what}: what was read lies {extra:.4f} from the source's geometry")
    return len(reference), len(got)


# --- cases ----------------------------------------------------------------------------------

def block_document(ezdxf, version="R2000"):
    doc = ezdxf.new(version)
    msp = doc.modelspace()
    doc.layers.add("Ins", color=1)
    doc.layers.add("Ins2", color=4)
    doc.layers.add("Own", color=6)
    doc.layers.add("Outer", color=2)
    b = doc.blocks.new("B", base_point=(1, 1))
    b.add_line((0, 0), (4, 0), dxfattribs={"layer": "0", "color": 0})        # ByBlock on "0"
    b.add_circle((2, 2), 1.5, dxfattribs={"layer": "Own"})                   # its own layer
    b.add_arc((0, 3), 2, 10, 160, dxfattribs={"layer": "0", "color": 3})
    if version != "R12":
        b.add_lwpolyline([(0, 0, 0.5), (3, 1, 0), (5, 4, -0.3)], format="xyb", dxfattribs={"color": 0})
    else:
        b.add_polyline2d([(0, 0), (3, 1), (5, 4)], dxfattribs={"color": 0})
    msp.add_blockref("B", (10, 0), dxfattribs={"layer": "Ins", "color": 1})
    msp.add_blockref("B", (30, 5), dxfattribs={"layer": "Ins2", "xscale": 2, "yscale": 2, "rotation": 30})
    msp.add_blockref("B", (0, 30), dxfattribs={"layer": "Ins", "xscale": 2.5, "yscale": 0.5, "rotation": 15})
    msp.add_blockref("B", (-20, 0), dxfattribs={"layer": "Ins", "xscale": -1, "yscale": 1})
    array = msp.add_blockref("B", (50, 50), dxfattribs={"layer": "Ins", "rotation": 10})
    array.grid(size=(2, 3), spacing=(8, 9))  # 2 rows, 3 columns
    n = doc.blocks.new("N")
    n.add_blockref("B", (0, 0), dxfattribs={"layer": "0", "color": 0})
    n.add_blockref("B", (12, 0), dxfattribs={"layer": "0", "rotation": 90, "xscale": 0.5, "yscale": 0.5})
    msp.add_blockref("N", (0, -40), dxfattribs={"layer": "Outer", "color": 5})
    msp.add_blockref("N", (40, -40), dxfattribs={"layer": "Outer", "rotation": 45, "xscale": 1.5, "yscale": 1.5})
    return doc


def check_block_rules(ezdxf, what, target):
    """Layer "0" entities go to the insert's layer, ByBlock colours come from
    the insert; entities of other layers stay there."""
    out = ezdxf.readfile(target).modelspace()
    by = {}
    for e in out:
        by.setdefault((e.dxftype(), e.dxf.layer), []).append(e.dxf.color if e.dxf.hasattr("color") else 256)
    lines = by.get(("LINE", "Ins"), [])
    # The first insert on Ins has colour 1, the others ByLayer.
    check(sorted(lines) == [1] + [256] * 8, f"{what}: lines of layer 0 on Ins with the insert's colour: {lines}")
    check(by.get(("LINE", "Ins2")) == [256], f"{what}: a ByBlock line in a ByLayer insert: {by.get(('LINE', 'Ins2'))}")
    outer = by.get(("LINE", "Outer"), [])
    # Two N inserts with two B each: the first N has colour 5, passed down
    # through a ByBlock insert to its first B; the rest are ByLayer.
    check(len(outer) == 4 and outer.count(5) == 1, f"{what}: nested layer/colour rule: {outer}")
    own = [k for k in by if k[1] == "Own"]
    check(own and all(k[0] in ("CIRCLE", "LWPOLYLINE", "POLYLINE") for k in own), f"{what}: circles on Own: {own}")
    check(("LINE", "0") not in by, f"{what}: a block's layer-0 line stayed on 0")


def curve_document(ezdxf):
    doc = ezdxf.new("R2000")
    msp = doc.modelspace()
    msp.add_spline(fit_points=[(0, 0), (3, 5), (6, -2), (10, 4), (14, 0)])
    msp.add_spline(fit_points=[(0, 10), (4, 14), (9, 12), (12, 16)]).dxf.start_tangent = (1, 1, 0)
    s = msp.add_spline(fit_points=[(20, 0), (24, 6), (30, 2)])
    s.dxf.start_tangent = (0, 1, 0)
    s.dxf.end_tangent = (1, -1, 0)
    msp.add_open_spline([(0, 20), (5, 30), (10, 18), (15, 28), (20, 20)], degree=3)
    msp.add_open_spline([(0, 40), (5, 50), (10, 38), (15, 48)], degree=2)
    msp.add_rational_spline([(30, 20), (35, 30), (40, 20), (45, 30), (50, 20)], weights=[1, 5, 0.5, 3, 1], degree=3)
    msp.add_rational_spline([(30, 40), (35, 50), (40, 40)], weights=[1, 0.3, 1], degree=2)
    msp.add_ellipse((0, -20), major_axis=(8, 0), ratio=0.5)
    msp.add_ellipse((20, -20), major_axis=(5, 5), ratio=0.3, start_param=0.5, end_param=2.5)
    msp.add_ellipse((40, -20), major_axis=(6, -2), ratio=0.6, start_param=math.radians(300),
                    end_param=math.radians(60))  # across 0
    msp.add_ellipse((60, -20), major_axis=(6, 0), ratio=0.5, start_param=1.0, end_param=4.0,
                    dxfattribs={"extrusion": (0, 0, -1)})
    # A big ellipse: the tolerance, not a fixed count, decides the chords.
    msp.add_ellipse((0, -400), major_axis=(300, 0), ratio=0.4)
    return doc


def ocs_document(ezdxf):
    doc = ezdxf.new("R2000")
    msp = doc.modelspace()
    for n, extrusion in enumerate([(0, 0, -1), (1, 1, 1), (0.3, -0.2, 0.9), (1, 0, 0.0001)]):
        x = 40 * n
        attribs = {"extrusion": extrusion}
        msp.add_circle((x, 0, 2), 3, dxfattribs=attribs)
        msp.add_arc((x + 10, 5, 0), 4, 20, 250, dxfattribs=attribs)
        pl = msp.add_lwpolyline([(x, 20, 0.4), (x + 5, 22, 0), (x + 8, 28, -1), (x + 2, 30, 0)], format="xyb",
                                dxfattribs=attribs)
        pl.dxf.elevation = 1.5
        pl.closed = True
        msp.add_polyline2d([(x, 40), (x + 6, 44), (x + 3, 50)], dxfattribs=attribs)
        msp.add_solid([(x, 60), (x + 4, 60), (x, 64), (x + 4, 64)], dxfattribs=attribs)
        blockref = msp.add_blockref("C", (x, 80, 0), dxfattribs={"extrusion": extrusion, "rotation": 20})
        del blockref
    c = doc.blocks.new("C")
    c.add_circle((0, 0), 2)
    c.add_line((0, 0), (3, 1))
    return doc


def hatch_document(ezdxf):
    doc = ezdxf.new("R2000")
    msp = doc.modelspace()
    h = msp.add_hatch(color=2)
    path = h.paths.add_edge_path()
    path.add_line((0, 0), (10, 0))
    path.add_ellipse((10, 5), major_axis=(0, -5), ratio=0.4, start_angle=0, end_angle=180, ccw=True)
    path.add_line((10, 10), (0, 10))
    path.add_spline(fit_points=[(0, 10), (-3, 7), (-1, 3), (0, 0)])
    h2 = msp.add_hatch(color=3)
    path = h2.paths.add_edge_path()
    path.add_line((20, 0), (30, 0))
    path.add_spline(control_points=[(30, 0), (34, 3), (34, 7), (30, 10)], knot_values=[0, 0, 0, 0, 1, 1, 1, 1],
                    degree=3)
    path.add_line((30, 10), (20, 10))
    path.add_ellipse((20, 5), major_axis=(0, 5), ratio=0.5, start_angle=0, end_angle=180, ccw=False)
    h3 = msp.add_hatch(color=4)
    h3.paths.add_polyline_path([(40, 0, 0), (50, 0, 0.6), (50, 10, 0), (40, 10, -0.4)], is_closed=True)
    h3.dxf.extrusion = (0, 0, -1)
    return doc


def hostile_documents(ezdxf):
    docs = {}
    doc = ezdxf.new("R2000")
    self_block = doc.blocks.new("SELF")
    self_block.add_line((0, 0), (1, 0))
    self_block.add_blockref("SELF", (2, 0))
    doc.modelspace().add_blockref("SELF", (0, 0))
    docs["self"] = doc

    doc = ezdxf.new("R2000")
    for i in range(10000):
        block = doc.blocks.new(f"C{i}")
        block.add_line((0, 0), (1, 0))
        if i + 1 < 10000:
            block.add_blockref(f"C{i + 1}", (1, 1))
    doc.modelspace().add_blockref("C0", (0, 0))
    docs["chain"] = doc

    doc = ezdxf.new("R2000")
    block = doc.blocks.new("CELL")
    block.add_line((0, 0), (1, 1))
    ref = doc.modelspace().add_blockref("CELL", (0, 0))
    ref.dxf.row_count = 32767
    ref.dxf.column_count = 32767
    ref.dxf.row_spacing = 2
    ref.dxf.column_spacing = 2
    docs["array"] = doc
    return docs


def write_huge_array(path):
    """A 100 000 x 100 000 array (beyond the 16-bit counts ezdxf writes)."""
    with open(path, "w") as f:
        f.write("0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n8\n0\n2\nCELL\n70\n0\n10\n0\n20\n0\n"
                "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n0\nENDBLK\n0\nENDSEC\n"
                "0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\n0\n2\nCELL\n10\n0\n20\n0\n"
                "70\n100000\n71\n100000\n44\n2\n45\n2\n0\nENDSEC\n0\nEOF\n")


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    quillon = sys.argv[1]
    ezdxf, numpy = import_modules()
    if ezdxf is None:
        print("ezdxf or numpy is not installed: skipped")
        return 0
    with tempfile.TemporaryDirectory() as tmp:
        def run_case(name, doc, fmt="asc", rules=None):
            source = os.path.join(tmp, name + ".dxf")
            doc.saveas(source, fmt=fmt)
            target = os.path.join(tmp, name + "_out.dxf")
            result = convert(quillon, source, target)
            check(result.returncode == 0, f"{name}: exit {result.returncode}: {result.stderr}")
            if result.returncode != 0:
                return result
            compare(ezdxf, numpy, name, source, target)
            if rules:
                rules(ezdxf, name, target)
            return result

        result = run_case("blocks", block_document(ezdxf), rules=check_block_rules)
        check("INSERT: 9 expanded" in result.stderr, f"blocks: the INSERT count is not reported: {result.stderr}")
        run_case("blocks_r12", block_document(ezdxf, "R12"), rules=check_block_rules)
        run_case("blocks_bin_r12", block_document(ezdxf, "R12"), fmt="bin", rules=check_block_rules)
        run_case("blocks_bin_2000", block_document(ezdxf), fmt="bin", rules=check_block_rules)
        result = run_case("curves", curve_document(ezdxf))
        check("SPLINE: 7 flattened" in result.stderr and "ELLIPSE: 5 flattened" in result.stderr,
              f"curves: the flattening is not reported: {result.stderr}")
        run_case("curves_bin", curve_document(ezdxf), fmt="bin")
        run_case("ocs", ocs_document(ezdxf))
        run_case("hatch", hatch_document(ezdxf))

        # Hostile files end quickly, with a message, memory bounded.
        for name, doc in hostile_documents(ezdxf).items():
            source = os.path.join(tmp, name + ".dxf")
            doc.saveas(source)
            started = time.monotonic()
            result = convert(quillon, source, os.path.join(tmp, name + "_out.dxf"))
            took = time.monotonic() - started
            check(result.returncode == 0, f"{name}: exit {result.returncode}: {result.stderr}")
            check(took < 120, f"{name}: took {took:.0f} s")
            print(f"{name}: {took:.1f} s; {result.stderr.strip().splitlines()[-1:] if result.stderr else ''}")
            expected = {"self": "inserts itself", "chain": "nested deeper", "array": "limit"}[name]
            check(expected in result.stderr, f"{name}: no message about it: {result.stderr}")
        huge = os.path.join(tmp, "huge.dxf")
        write_huge_array(huge)
        result = convert(quillon, huge, os.path.join(tmp, "huge_out.svg"))
        check(result.returncode == 0 and "limit" in result.stderr, f"huge array: {result.returncode} {result.stderr}")
        peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        print(f"peak memory of the conversions: {peak_kib // 1024} MiB")
        check(peak_kib < 1536 * 1024, f"a conversion peaked at {peak_kib // 1024} MiB")

    if FAILURES:
        print(f"{len(FAILURES)} check(s) failed")
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
