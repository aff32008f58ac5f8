#!/usr/bin/env bash
# corvane-batch --json over 100 copies of the 100000-point sample, against the same work done by
# one process of Debian's python3 with numpy (bench/batch_numpy.py), timed side by side by
# hyperfine in one run: the medians of RUNS runs each (default 5) and their ratio. The goal is
# corvane-batch at least 10 times as fast.
#   bench/batch_vs_numpy.sh [CORVANE_BATCH]
# Without an argument it builds the Release corvane-batch in build-bench/ (scripts/bench passes
# the one it built). Needs python3-numpy and hyperfine: scripts/setup --bench.
set -euo pipefail
cd "$(dirname "$0")/.."

. bench/lib/release_batch.sh "${1:-}"
sample=samples/rough_surface_100k.txt

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for i in $(seq -w 1 100); do
  ln "$sample" "$work/scan$i.txt" 2>/dev/null || cp "$sample" "$work/scan$i.txt"
done

# Both must do the same work: the figures of the first file, side by side.
"$batch" --json "$work/scan001.txt" >"$work/batch.json"
$python bench/batch_numpy.py "$work/scan001.txt" >"$work/numpy.json"
$python - "$work/batch.json" "$work/numpy.json" <<'PY'
import json, sys
import numpy as np
batch, numpy_ = (json.load(open(path)) for path in sys.argv[1:3])
same = [k for k in ("points", "minX", "maxX", "minY", "maxY", "minZ", "maxZ", "meanZ",
                    "planePosition", "planeHeight", "meanDeviation", "raFigure")
        if np.float32(batch[k]) == np.float32(numpy_[k])]
print("numpy agrees with corvane-batch on:", ", ".join(same))
rn_b, rn_n = np.array(batch["profileRn"]), np.array(numpy_["profileRn"])
print(f"scan lines: {len(rn_b)} and {len(rn_n)}; Rn differs by at most {np.abs(rn_b - rn_n).max():.3g}"
      " (numpy sums the x steps with cumsum, the core one after the other: sampling lengths that"
      " end exactly at L can close one row apart)")
PY

hyperfine --warmup 1 --runs "${RUNS:-5}" --export-json "$work/times.json" \
  --command-name corvane-batch "$batch --json $work/*.txt" \
  --command-name numpy "$python bench/batch_numpy.py $work/*.txt"
$python - "$work/times.json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
batch, numpy_ = results["corvane-batch"]["median"], results["numpy"]["median"]
print(f"100 files of 100000 points: corvane-batch median {batch * 1000:.1f} ms, "
      f"numpy median {numpy_ * 1000:.1f} ms, ratio {numpy_ / batch:.1f} (goal: at least 10)")
PY
