#!/usr/bin/env bash
# Starts the real quillon-app on a raster under a virtual X display, lets it
# grab its main window, and checks the picture shows the raster's ink.
#   xvfb_screenshot.sh APP CHECKER RASTER OUTDIR
set -euo pipefail
app=$1 checker=$2 raster=$3 out=$4
mkdir -p "$out"
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
shot="$out/main_window.png"
rm -f "$shot" "$shot.txt"
QUILLON_CONFIG_DIR="$config" xvfb-run -a -s "-screen 0 1400x950x24" \
  timeout 60 "$app" --screenshot "$shot" "$raster"
test -s "$shot" || { echo "no screenshot written" >&2; exit 1; }
"$checker" "$shot" "$raster"
echo "screenshot: $shot"
