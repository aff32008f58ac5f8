#!/usr/bin/env bash
# Peak resident memory of corvane-batch (GNU time's "Maximum resident set size"): on a 2 GB point
# file of NUL bytes (sparse, so it takes no room on the disk), on a 50 MB file of blank lines
# before one point, and on 100 files of 100000 points analysed on all cores. The reader holds one
# block of 1 MiB and every thread one point table of 2.4 MB, so none of these may grow with the
# size of the files. Then --standard on a grid of 2048 x 2048 points, as text and as X3P, whose
# peak is given per point too (the goal: at most 64 bytes a point).
#   bench/batch_peak_memory.sh [CORVANE_BATCH]
# Without an argument it builds the Release corvane-batch in build-bench/. Needs GNU time:
# scripts/setup --bench.
set -euo pipefail
cd "$(dirname "$0")/.."

. bench/lib/release_batch.sh "${1:-}" bench_large

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
truncate -s 2G "$work/nul-bytes.txt"
{ head -c 52428800 /dev/zero | tr '\0' '\n'; echo "7,8,9"; } >"$work/blank-lines.txt"
for i in $(seq -w 1 100); do ln samples/rough_surface_100k.txt "$work/scan$i.txt"; done

peak() {  # label, then the command
  local label=$1
  shift
  /usr/bin/time -f "%M %e" -o "$work/time" "$@" >/dev/null 2>&1 || true
  # A command that fails gets a line of its own before the figures.
  read -r kilobytes seconds < <(tail -n 1 "$work/time")
  awk -v label="$label" -v kb="$kilobytes" -v s="$seconds" \
    'BEGIN { printf "%-48s peak RSS %6.1f MB  (%s s)\n", label, kb / 1024, s }'
}
peak "2 GB of NUL bytes (refused in its first block)" "$batch" --json "$work/nul-bytes.txt"
peak "50 MB of blank lines, then one point" "$batch" --json "$work/blank-lines.txt"
peak "one file of 100000 points" "$batch" --json "$work/scan001.txt"
peak "100 files of 100000 points, $(nproc) threads" "$batch" --json "$work"/scan*.txt

# The large grid, written by bench_large and converted by corvane-batch itself.
"$(dirname "$batch")/../bench/bench_large" --write-grid "$work/grid.txt"
"$batch" --to-x3p "$work" "$work/grid.txt" >/dev/null
perPoint() {  # label, then the command
  local label=$1
  shift
  /usr/bin/time -f "%M %e" -o "$work/time" "$@" >/dev/null 2>&1 || true
  read -r kilobytes seconds < <(tail -n 1 "$work/time")
  awk -v label="$label" -v kb="$kilobytes" -v s="$seconds" -v n=4194304 \
    'BEGIN { printf "%-48s peak RSS %6.1f MB  %5.1f bytes a point  (%s s)\n", label, kb / 1024, kb * 1024 / n, s }'
}
perPoint "--standard, 4194304 points as text" "$batch" --standard --json "$work/grid.txt"
perPoint "--standard, 4194304 points as X3P" "$batch" --standard --json "$work/grid.x3p"
