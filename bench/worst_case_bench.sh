#!/usr/bin/env bash
# Whole-process time and peak memory of `quillon trace --defaults` to DXF on
# the hard inputs: the generated A0 sheet as a noisy grey scan (blur 1 px,
# noise 12 levels, automatic threshold), a dense A0 sheet, pure salt-and-pepper
# noise at 5 % and 20 %, the clean A0 sheet, and the clean sheet at 600 dpi
# (28000 x 19800). potrace traces the same 1-bit pixels once per input; with
# BEFORE=path/to/older/quillon that binary runs too and its DXF is compared
# byte for byte with this build's.
#   bench/worst_case_bench.sh [BUILD_DIR=build] [DIR=BUILD_DIR/worst-case] [REPEAT=3] [INPUTS...]
# Inputs are written once (about 400 MB); INPUTS picks some of: grey dense
# salt5 salt20 clean clean600. Prints the median wall time, CPU time and peak
# memory per input and binary, and the load before and after.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
dir="${2:-$build/worst-case}"
repeat="${3:-3}"
shift $(($# < 3 ? $# : 3))
inputs=("$@")
[ ${#inputs[@]} -eq 0 ] && inputs=(grey dense salt5 salt20 clean clean600)
cmake --build "$build" --target quillon sheet_tool dense_sheet_tool scan_sheet_tool -j2 >/dev/null
mkdir -p "$dir"
tools="$build/bench"
make_input() {
  local name=$1 file="$dir/$1.bmp"
  [ -f "$file" ] && return
  case $name in
    grey) "$tools/scan_sheet_tool" grey 14000 9900 "$file" ;;
    dense) "$tools/dense_sheet_tool" 14000 9900 5 "$file" ;;
    salt5) "$tools/scan_sheet_tool" salt 14000 9900 5 "$file" ;;
    salt20) "$tools/scan_sheet_tool" salt 14000 9900 20 "$file" ;;
    clean) "$tools/sheet_tool" 14000 9900 "$file" ;;
    clean600) "$tools/sheet_tool" 28000 19800 "$file" ;;
    *) echo "unknown input $name" >&2; exit 2 ;;
  esac
}
export QUILLON_CONFIG_DIR="$(mktemp -d)"
trap 'rm -rf "$QUILLON_CONFIG_DIR"' EXIT
# median of the runs: "wall cpu peakKiB"
measure() {
  local label=$1; shift
  local runs=()
  for ((i = 0; i < repeat; i++)); do
    /usr/bin/time -f "%e %U %S %M" -o "$dir/.time" "$@" >/dev/null 2>&1 || { echo "$label: failed" >&2; return; }
    runs+=("$(awk '{ printf "%.2f %.2f %d", $1, $2 + $3, $4 }' "$dir/.time")")
  done
  printf '%s\n' "${runs[@]}" | sort -n | awk -v l="$label" -v n="$repeat" \
    'NR == int((n + 1) / 2) { printf "  %-22s wall %7.2f s  cpu %7.2f s  peak %6.0f MiB\n", l, $1, $2, $3 / 1024 }'
}
echo "load: $(uptime)"
for name in "${inputs[@]}"; do
  make_input "$name"
  src="$dir/$name.bmp"
  echo "$name ($(stat -c %s "$src") bytes)"
  measure "quillon" "$build/cli/quillon" trace "$src" -o "$dir/$name.dxf" --defaults -q
  if [ -n "${BEFORE:-}" ]; then
    measure "quillon (before)" "$BEFORE" trace "$src" -o "$dir/$name.before.dxf" --defaults -q
    cmp -s "$dir/$name.dxf" "$dir/$name.before.dxf" && echo "  DXF identical" || echo "  DXF DIFFERS"
  fi
  if command -v potrace >/dev/null; then
    # potrace gets the 1-bit pixels quillon traced (the grey scan thresholded as quillon does).
    one="$dir/$name.1bit.bmp"
    [ -f "$one" ] || "$build/cli/quillon" raster "$src" -o "$one" --threshold auto -q
    save=$repeat; repeat=1
    measure "potrace (1 run)" potrace -b dxf "$one" -o "$dir/$name.potrace.dxf"
    repeat=$save
  fi
done
echo "load: $(uptime)"
