#!/usr/bin/env bash
# Throughput of `quillon batch` with one and with two conversions at once on
# generated sheets (40 of 4000 x 2800, 1-bit BMP, written once):
#   [BEFORE=path/to/quillon] bench/batch_bench.sh [BUILD_DIR=build] [SHEET_DIR=BUILD_DIR/batch-sheets] [COUNT=40] [RUNS=5]
# Runs `--jobs 1` and `--jobs 2` alternately RUNS times (with BEFORE, that
# build's runs too, interleaved) and prints the medians of wall time, sheets
# per second, CPU time (user + sys) and peak memory, and the ratios. As root
# the runs get nice -5, so other work on the machine disturbs them less. On a
# busy machine only the CPU figures mean much: a CPU ratio near 1.00 says two
# jobs do the same work as one, without contention, so on idle cores they
# reach about twice the throughput. Every result must be byte-identical
# between the job counts and to BEFORE's; the script fails otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
sheets="${2:-$build/batch-sheets}"
count="${3:-40}"
runs="${4:-5}"
cmake --build "$build" --target quillon batch_sheets_tool -j2 >/dev/null
"$build/bench/batch_sheets_tool" "$sheets" "$count"
uptime
export QUILLON_CONFIG_DIR="$(mktemp -d)"
trap 'rm -rf "$QUILLON_CONFIG_DIR"' EXIT
priority=()
if [ "$(id -u)" -eq 0 ]; then priority=(nice -n -5); fi

declare -A binary=([after]="$build/cli/quillon")
builds=(after)
if [ -n "${BEFORE:-}" ]; then
  binary[before]="$BEFORE"
  builds=(before after)
fi

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for ((run = 1; run <= runs; ++run)); do
  for b in "${builds[@]}"; do
    for jobs in 1 2; do
      out="$sheets/out-$b-$jobs"
      rm -rf "$out"
      "${priority[@]}" /usr/bin/time -f "%e %M %U %S" -o "$sheets/time" \
        "${binary[$b]}" batch "$sheets/sheets.trj" --jobs "$jobs" --target-dir "$out" -q >/dev/null
      read -r seconds kib user sys <"$sheets/time"
      echo "$seconds $kib $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" >>"$sheets/times-$b-$jobs.$$"
    done
  done
done

for b in "${builds[@]}"; do
  for jobs in 1 2; do
    if ! diff -rq -x QuillonBatch.log "$sheets/out-${builds[0]}-1" "$sheets/out-$b-$jobs" >/dev/null; then
      echo "results of $b --jobs $jobs differ from ${builds[0]} --jobs 1" >&2
      exit 1
    fi
  done
done

declare -A wall cpu
for b in "${builds[@]}"; do
  for jobs in 1 2; do
    file="$sheets/times-$b-$jobs.$$"
    wall[$b$jobs]=$(cut -d' ' -f1 "$file" | median)
    cpu[$b$jobs]=$(cut -d' ' -f3 "$file" | median)
    kib=$(cut -d' ' -f2 "$file" | median)
    rm -f "$file"
    awk -v b="$b" -v j="$jobs" -v s="${wall[$b$jobs]}" -v k="$kib" -v n="$count" -v c="${cpu[$b$jobs]}" -v r="$runs" \
      'BEGIN { printf "%s --jobs %d (median of %d): %.2f s, %.3f sheets/s, CPU %.2f s, peak %.0f MiB\n", b, j, r, s, n / s, c, k / 1024 }'
  done
  awk -v b="$b" -v a="${wall[${b}1]}" -v c="${wall[${b}2]}" -v x="${cpu[${b}1]}" -v y="${cpu[${b}2]}" \
    'BEGIN { printf "%s: throughput 2 jobs / 1 job %.2f, CPU 2 jobs / 1 job %.2f\n", b, a / c, y / x }'
done
echo "results byte-identical: ${builds[*]}, --jobs 1 and 2"
uptime
