#!/usr/bin/env bash
# Throughput of `quillon batch` with one and with two conversions at once on
# generated sheets (40 of 4000 x 2800, 1-bit BMP, written once):
#   bench/batch_bench.sh [BUILD_DIR=build] [SHEET_DIR=BUILD_DIR/batch-sheets] [COUNT=40]
# Prints wall time, sheets per second, CPU time (user + sys) and peak memory of
# each run, and the ratios. On a busy machine only the CPU figures mean much:
# a CPU ratio near 1.00 says two jobs do the same work as one, without
# contention, so on idle cores they reach about twice the throughput.
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
declare -A wall cpu
for jobs in 1 2; do
  out="$sheets/out-$jobs"
  rm -rf "$out"
  /usr/bin/time -f "%e %M %U %S" -o "$sheets/time-$jobs" \
    "$build/cli/quillon" batch "$sheets/sheets.trj" --jobs "$jobs" --target-dir "$out" -q >/dev/null
  read -r seconds kib user sys <"$sheets/time-$jobs"
  wall[$jobs]=$seconds
  cpu[$jobs]=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
  awk -v j="$jobs" -v s="$seconds" -v k="$kib" -v n="$count" -v c="${cpu[$jobs]}" \
    'BEGIN { printf "--jobs %d: %.2f s, %.3f sheets/s, CPU %.2f s, peak %.0f MiB\n", j, s, n / s, c, k / 1024 }'
done
awk -v a="${wall[1]}" -v b="${wall[2]}" 'BEGIN { printf "throughput 2 jobs / 1 job: %.2f\n", a / b }'
awk -v a="${cpu[1]}" -v b="${cpu[2]}" 'BEGIN { printf "CPU 2 jobs / 1 job: %.2f\n", b / a }'
uptime
