#!/usr/bin/env bash
# bench_formats (Release) with 5 repetitions: for each 2048 x 2048 file it makes and each real
# file of tests/data/formats, the median time of its read and of the bare cost of its bytes, and
# their ratio (the goal: at most 2).
#   bench/formats_speed.sh [CORVANE_BATCH [BENCHMARK OPTIONS...]]
set -euo pipefail
cd "$(dirname "$0")/.."

# Like the other scripts of bench/, it takes the corvane-batch of a build folder (scripts/bench
# passes build-bench's) and runs the bench_formats of that folder.
batch=${1:-build-bench/src/corvane-batch}
bench=$(dirname "$batch")/../bench/bench_formats
[ -x "$bench" ] || { echo "build the benchmarks first: scripts/bench" >&2; exit 1; }
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=json "${@:2}" >/dev/null

python3 - "$out" <<'PY'
import json, sys
median = {b["run_name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]
          if b.get("aggregate_name") == "median"}
print(f"{'file':<30} {'read ms':>9} {'bare ms':>9} {'ratio':>6} {'points ms':>9} {'ratio':>6}")
for read, bare in (("BM_ReadFormat/", "BM_BareBytes/"), ("BM_ReadShared/", "BM_BareShared/")):
    for name, time in median.items():
        file = name[len(read):]
        if name.startswith(read) and bare + file in median:
            ratio = time / median[bare + file]
            points = median.get("BM_BarePoints/" + file)
            extra = f" {points:9.3f} {time / points:6.1f}" if points else ""
            print(f"{file:<30} {time:9.3f} {median[bare + file]:9.3f} {ratio:6.1f}" + extra)
PY
