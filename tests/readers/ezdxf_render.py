#!/usr/bin/env python3
"""ezdxf's audit and drawing add-on on DXF files.

Usage: ezdxf_render.py FILE.dxf [FILE.dxf ...]

Each file must load, and ezdxf's audit must find no error and nothing to
fix; the model space is then drawn by the drawing add-on (matplotlib) on
white to FILE.dxf.png. Exit status 0 when all pass, 1 when one fails, 77
when ezdxf or matplotlib is not installed.
"""

import sys

try:
    import ezdxf
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from ezdxf.addons.drawing import Frontend, RenderContext
    from ezdxf.addons.drawing.properties import LayoutProperties
    from ezdxf.addons.drawing.matplotlib import MatplotlibBackend
except ImportError:
    sys.exit(77)


def render(path):
    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    problems = ["audit error: %s" % e.message for e in auditor.errors]
    problems += ["audit fix: %s" % f.message for f in auditor.fixes]
    msp = doc.modelspace()
    context = RenderContext(doc)
    layout = LayoutProperties.from_layout(msp)
    layout.set_colors(bg="#FFFFFF")
    figure = plt.figure(figsize=(8, 6), dpi=100)
    axes = figure.add_axes([0, 0, 1, 1])
    Frontend(context, MatplotlibBackend(axes)).draw_layout(msp, finalize=True, layout_properties=layout)
    figure.savefig(path + ".png", facecolor="#FFFFFF", dpi=100)
    plt.close(figure)
    return problems


def main(paths):
    failed = False
    for path in paths:
        try:
            problems = render(path)
        except Exception as error:  # any reader failure is the file's fault here
            problems = ["%s: %s" % (type(error).__name__, error)]
        for problem in problems:
            print("%s: %s" % (path, problem), file=sys.stderr)
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
