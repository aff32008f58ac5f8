#!/usr/bin/env bash
# The peak resident memory of Corvane Analysis with the 2048 x 2048 grid of bench_large open and
# every tab shown, in bytes a point (bench_analysis_window --peak-memory, a process of its own).
#   bench/analysis_peak_memory.sh [CORVANE_BATCH]   (the argument scripts/bench passes; unused)
set -euo pipefail
cd "$(dirname "$0")/.."
program=build-bench/bench/bench_analysis_window
[ -x "$program" ] || { echo "build the benchmarks first: scripts/bench" >&2; exit 1; }
grid=$("$program" --write-grid 2048)
QT_QPA_PLATFORM=offscreen "$program" --peak-memory "$grid"
