#!/usr/bin/env bash
# Throughput of `quillon batch` with one and with two conversions at once on
# generated sheets (40 of 4000 x 2800, 1-bit BMP, written once):
#   bench/batch_bench.sh [BUILD_DIR=build] [SHEET_DIR=BUILD_DIR/batch-sheets] [COUNT=40]
# Prints wall time, sheets per second and peak memory of each run, and the ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
sheets="${2:-$build/batch-sheets}"
count="${3:-40}"
cmake --build "$build" --target quillon batch_sheets_tool -j2 >/dev/null
"$build/bench/batch_sheets_tool" "$sheets" "$count"
uptime
export QUILLON_CONFIG_DIR="$(mktemp -d)"
trap 'rm -rf "$QUILLON_CONFIG_DIR"' EXIT
declare -A wall
for jobs in 1 2; do
  out="$sheets/out-$jobs"
  rm -rf "$out"
  /usr/bin/time -f "%e %M" -o "$sheets/time-$jobs" \
    "$build/cli/quillon" batch "$sheets/sheets.trj" --jobs "$jobs" --target-dir "$out" -q >/dev/null
  read -r seconds kib <"$sheets/time-$jobs"
  wall[$jobs]=$seconds
  awk -v j="$jobs" -v s="$seconds" -v k="$kib" -v n="$count" \
    'BEGIN { printf "--jobs %d: %.2f s, %.3f sheets/s, peak %.0f MiB\n", j, s, n / s, k / 1024 }'
done
awk -v a="${wall[1]}" -v b="${wall[2]}" 'BEGIN { printf "throughput 2 jobs / 1 job: %.2f\n", a / b }'
uptime
