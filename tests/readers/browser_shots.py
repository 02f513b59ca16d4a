#!/usr/bin/env python3
"""Screenshots of SVG files in headless Chromium.

Usage: browser_shots.py FILE PNG [FILE PNG ...]

Each file is served over HTTP from a local server, as a browser meets it on
the web: .svg as image/svg+xml, .svgz with the gzip content encoding. The
window has the document's own size (its width and height attributes, CSS
pixels). Exit status 0 when every screenshot was written.
"""

import functools
import gzip
import http.server
import os
import re
import subprocess
import sys
import tempfile
import threading


class Handler(http.server.SimpleHTTPRequestHandler):
    def guess_type(self, path):
        return "image/svg+xml"

    def end_headers(self):
        if self.path.endswith(".svgz"):
            self.send_header("Content-Encoding", "gzip")
        super().end_headers()

    def log_message(self, *args):
        pass


CSS_PIXELS = {"": 1.0, "px": 1.0, "in": 96.0, "cm": 96.0 / 2.54, "mm": 9.6 / 2.54}


def document_size(path):
    data = open(path, "rb").read()
    if path.endswith(".svgz"):
        data = gzip.decompress(data)
    head = data[:2000].decode("utf-8", "replace")
    size = []
    for name in ("width", "height"):
        m = re.search(r'<svg[^>]*\s%s="([0-9.]+)([a-z]*)"' % name, head)
        size.append(round(float(m.group(1)) * CSS_PIXELS[m.group(2)]) if m else 800)
    return size


def main(args):
    if len(args) % 2 or not args:
        print(__doc__, file=sys.stderr)
        return 2
    pairs = list(zip(args[0::2], args[1::2]))
    folder = os.path.dirname(os.path.abspath(pairs[0][0]))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    failed = 0
    with tempfile.TemporaryDirectory() as profile:
        for source, png in pairs:
            width, height = document_size(source)
            url = "http://127.0.0.1:%d/%s" % (server.server_address[1], os.path.relpath(os.path.abspath(source), folder))
            run = subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                                  "--user-data-dir=" + profile, "--default-background-color=ffffffff",
                                  "--window-size=%d,%d" % (width, height), "--screenshot=" + os.path.abspath(png), url],
                                 capture_output=True, text=True, timeout=120)
            if run.returncode != 0 or not os.path.exists(png):
                print("%s: chromium failed (%d): %s" % (source, run.returncode, run.stderr[-2000:]), file=sys.stderr)
                failed += 1
    server.shutdown()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
