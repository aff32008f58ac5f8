#!/usr/bin/env bash
# Makes docs/report-example.png, the report page the README shows: corvane-batch --report of the
# 100000-point sample, its page rendered by pdftoppm at 100 pixels per inch.
#   docs/make_report_example.sh [CORVANE_BATCH]   (default: build/src/corvane-batch)
set -euo pipefail
cd "$(dirname "$0")/.."
batch=${1:-build/src/corvane-batch}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$batch" --report "$work/report.pdf" samples/rough_surface_100k.txt >/dev/null
pdftoppm -r 100 -png -singlefile "$work/report.pdf" docs/report-example
echo "docs/report-example.png"
