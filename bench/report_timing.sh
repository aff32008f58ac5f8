#!/usr/bin/env bash
# corvane-batch --report timed as a user runs it, whole processes from start to exit, by
# hyperfine (medians of RUNS runs, default 5): the report of the 100000-point sample; a report of
# 20 copies of it on every core, as the batch runs its files, and the same on one core (taskset)
# for comparison; then the size of the PDFs per page.
#   bench/report_timing.sh [CORVANE_BATCH]
# Without an argument it builds the Release program in build-bench/ (scripts/bench passes the
# corvane-batch it built). Needs hyperfine: scripts/setup --bench.
set -euo pipefail
cd "$(dirname "$0")/.."

. bench/lib/release_batch.sh "${1:-}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for i in $(seq -w 1 20); do cp samples/rough_surface_100k.txt "$work/part$i.txt"; done

hyperfine --warmup 1 --runs "${RUNS:-5}" --export-json "$work/times.json" \
  --command-name "1 file" "$batch --report $work/one.pdf $work/part01.txt" \
  --command-name "20 files" "$batch --report $work/twenty.pdf $work/part*.txt" \
  --command-name "20 files, one core" "taskset -c 0 $batch --report $work/single.pdf $work/part*.txt" \
  >/dev/null
$python - "$work/times.json" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(f"{r['command']}: median {r['median'] * 1000:.0f} ms "
          f"(min {r['min'] * 1000:.0f}, max {r['max'] * 1000:.0f})")
PY
for pdf in one twenty; do
  pages=$(pdfinfo "$work/$pdf.pdf" | awk '/^Pages:/ {print $2}')
  bytes=$(stat -c %s "$work/$pdf.pdf")
  echo "$pdf.pdf: $pages pages, $bytes bytes, $((bytes / pages)) bytes a page"
done
