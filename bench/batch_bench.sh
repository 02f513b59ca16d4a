#!/usr/bin/env bash
# Throughput of `quillon batch` with one and with two conversions at once on
# generated sheets (40 of 4000 x 2800, 1-bit BMP, written once):
#   [BEFORE=path/to/quillon] [REPEAT=5] [LONG_RUNS=3] \
#     bench/batch_bench.sh [BUILD_DIR=build] [SHEET_DIR=BUILD_DIR/batch-sheets] [COUNT=40] [RUNS=9]
# Two sets: the COUNT sheets once (the headline), RUNS times; and the same
# sheets REPEAT times over in one job file (a run long enough that its start
# and its last sheet weigh little), LONG_RUNS times (REPEAT=1 leaves it out).
# Within a run `--jobs 1` and `--jobs 2` (and with BEFORE that build's runs)
# follow each other, so each pair meets the same load; the ratios are taken
# pair by pair. bench/batch_timeline.py prints medians with their range: wall
# time, sheets per second, CPU time (user + sys), the conversions' own CPU
# time, peak memory, and the serial parts from each row's timeline (start of
# the process, core time left idle, the last sheet alone, the end). As root
# the runs get nice -5, so other work on the machine disturbs them less. On a
# busy machine only the CPU figures and the idle core time mean much: a CPU
# ratio near 1.00 says two jobs do the same work as one, without contention,
# so on idle cores they reach about twice the throughput less the serial
# parts. Every result must be byte-identical between the job counts and to
# BEFORE's; the script fails otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
sheets="${2:-$build/batch-sheets}"
count="${3:-40}"
runs="${4:-9}"
repeat="${REPEAT:-5}"
long_runs="${LONG_RUNS:-3}"
cmake --build "$build" --target quillon batch_sheets_tool -j2 >/dev/null
"$build/bench/batch_sheets_tool" "$sheets" "$count" 4000 2800 "$repeat"
uptime
export QUILLON_CONFIG_DIR="$(mktemp -d)"
work="$(mktemp -d)"
trap 'rm -rf "$QUILLON_CONFIG_DIR" "$work"' EXIT
priority=()
if [ "$(id -u)" -eq 0 ]; then priority=(nice -n -5); fi

declare -A binary=([after]="$build/cli/quillon")
builds=(after)
if [ -n "${BEFORE:-}" ]; then
  binary[before]="$BEFORE"
  builds=(before after)
fi

sets=("sheets:$runs")
if [ "$repeat" -gt 1 ]; then sets+=("sheets-x$repeat:$long_runs"); fi

for entry in "${sets[@]}"; do
  set_name="${entry%%:*}"
  for ((run = 1; run <= ${entry##*:}; ++run)); do
    for b in "${builds[@]}"; do
      for jobs in 1 2; do
        out="$sheets/out-$set_name-$b-$jobs"
        rm -rf "$out"
        record="$work/$set_name-$b-$jobs-$run.log"
        launch=$EPOCHREALTIME
        QUILLON_STAGE_TIMES=1 "${priority[@]}" /usr/bin/time -f "%e %M %U %S" -o "$work/time" \
          "${binary[$b]}" batch "$sheets/$set_name.trj" --jobs "$jobs" --target-dir "$out" -q \
          >/dev/null 2>"$work/rows"
        echo "$launch $EPOCHREALTIME" >"$record"
        cat "$work/time" "$work/rows" >>"$record"
      done
    done
  done
  for b in "${builds[@]}"; do
    for jobs in 1 2; do
      if ! diff -rq -x QuillonBatch.log "$sheets/out-$set_name-${builds[0]}-1" "$sheets/out-$set_name-$b-$jobs" \
        >/dev/null; then
        echo "$set_name: results of $b --jobs $jobs differ from ${builds[0]} --jobs 1" >&2
        exit 1
      fi
    done
  done
done

python3 bench/batch_timeline.py "$work"/*.log
echo "results byte-identical: ${builds[*]}, --jobs 1 and 2"
uptime
