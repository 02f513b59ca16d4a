#!/bin/sh
# Outline tracing against potrace on the same generated sheet, as whole
# processes: quillon trace --defaults --method outline to DXF, and potrace -b dxf
# on the sheet written as PBM. Prints wall time and peak resident size of each
# run (GNU time). Build first: cmake --build BUILD --target outline_tool quillon
#
#   bench/outline_bench.sh BUILD_DIR [RUNS] [WIDTH HEIGHT]
set -eu
build=${1:?usage: outline_bench.sh BUILD_DIR [RUNS] [WIDTH HEIGHT]}
runs=${2:-3}
width=${3:-14000}
height=${4:-9900}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/outline_tool" "$work" "$width" "$height"
measure() {
  name=$1
  shift
  /usr/bin/time -f "$name %e s wall, %M KiB peak" "$@" >/dev/null 2>"$work/time.txt" || true
  tail -n 1 "$work/time.txt"
}
i=0
while [ "$i" -lt "$runs" ]; do
  measure quillon "$build/cli/quillon" trace "$work/sheet.bmp" --defaults --method outline -q -o "$work/q.dxf"
  measure potrace potrace -b dxf "$work/sheet.pbm" -o "$work/p.dxf"
  i=$((i + 1))
done
