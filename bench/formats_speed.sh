#!/usr/bin/env bash
# bench_formats (Release) with 5 repetitions: for each 2048 x 2048 file it makes and each real
# file of tests/data/formats, the median time of its read and of the bare cost of its bytes, and
# their ratio (the goal: at most 2).
#   bench/formats_speed.sh [BENCH_FORMATS [BENCHMARK OPTIONS...]]
# Without an argument it builds bench_formats in build-bench/.
set -euo pipefail
cd "$(dirname "$0")/.."

bench=${1:-}
if [ -z "$bench" ]; then
  cmake -S . -B build-bench -G Ninja -DCORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=Release \
    -DCORVANE_BENCH=ON -DBUILD_TESTING=OFF >/dev/null
  cmake --build build-bench --target bench_formats
  bench=build-bench/bench/bench_formats
fi
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
