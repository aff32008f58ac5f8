#!/usr/bin/env bash
# corvane-batch --standard --json against the same definitions done with numpy
# (bench/standard_numpy.py, numpy.convolve for the mean line), on the 100000-point sample at
# cut-off 0.8, on the 100000-point single profile of bench_standard (dx 0.001) at cut-off 8 and
# on a 300 x 300 grid of texture with a lay (smoothed noise, made here), whose autocorrelation
# decays within the data so that Sal and Str are compared too, at cut-off 0.8; then the sample and
# the grid again through the filtering chain (S-filter, polynomial form, areal L-filter, robust
# mean line), where the robust passes of every profile must agree too; then the X3P of the sample,
# and the confocal field with non-measured points (samples/confocal_holes.x3p, 351 x 283 points
# 0.5 um apart, about 5 % of them holes) at cut-off 0.08 mm, plain and, in um, through the whole
# filtering chain, where every figure is taken over the measured points only:
# first the largest difference between their figures, then both programs timed side by side by
# hyperfine, the medians of RUNS runs each (default 5) and their ratio. A case whose figures do
# not match (a figure null on one side only, another reason, another count of points) is named
# and the others still run; the script then exits with status 1.
#   bench/standard_vs_numpy.sh [CORVANE_BATCH]
# Without an argument it builds the Release programs in build-bench/ (scripts/bench passes the
# corvane-batch it built). Needs python3-numpy and hyperfine: scripts/setup --bench.
set -euo pipefail
cd "$(dirname "$0")/.."

. bench/lib/release_batch.sh "${1:-}" bench_standard
bench_standard=$(dirname "$batch")/../bench/bench_standard

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp samples/rough_surface_100k.txt "$work/sample.txt"
cp samples/rough_surface_100k.x3p samples/confocal_holes.x3p "$work/"
"$bench_standard" --write-long-profile "$work/long_profile.txt"
$python - "$work/textured_grid.txt" <<'PY'
import sys
import numpy as np
n = 300
noise = np.random.default_rng(7).uniform(-1, 1, (n, n))
fy, fx = np.meshgrid(np.fft.fftfreq(n), np.fft.fftfreq(n), indexing="ij")
# Gaussian smoothing of 2 steps across the lay (x) and 6 along it (y).
kernel = np.exp(-2 * np.pi ** 2 * ((2 * fx) ** 2 + (6 * fy) ** 2))
z = 0.05 * np.real(np.fft.ifft2(np.fft.fft2(noise) * kernel)) / 0.01 + 1.5
with open(sys.argv[1], "w") as out:
    for j in range(n):
        for i in range(n):
            out.write(f"{i * 0.01:.4f},{j * 0.01:.4f},{z[j, i]:.6f}\n")
PY

failed=()
for case in "sample.txt 0.8" "long_profile.txt 8" "textured_grid.txt 0.8" \
  "sample.txt 0.8 --form 2 --lambda-s 0.25 --areal-cutoff 2.5" "sample.txt 2.5 --robust" \
  "textured_grid.txt 0.8 --form 6 --lambda-s 0.02 --areal-cutoff 0.5 --robust" \
  "rough_surface_100k.x3p 0.8" "confocal_holes.x3p 0.08" \
  "confocal_holes.x3p 80 --unit um --form 2 --lambda-s 2.5 --areal-cutoff 25 --robust"; do
  set -- $case
  file=$work/$1 cutoff=$2 name="$1 at cut-off $2${3:+ }${*:3}"
  options="--cutoff $cutoff ${*:3}"
  "$batch" --standard $options --json "$file" >"$work/batch.json"
  $python bench/standard_numpy.py $options "$file" >"$work/numpy.json"
  $python - "$work/batch.json" "$work/numpy.json" "$name" <<'PY' || failed+=("$name")
import json, math, sys
whole = json.load(open(sys.argv[1]))
batch = whole["standard"]
numpy_ = json.load(open(sys.argv[2]))
def check(same, what):
    if not same:
        raise SystemExit(f"{sys.argv[3]}: DIFFERS: {what}")
check(whole["points"] == numpy_["points"],
      f"measured points {whole['points']} and {numpy_['points']}")
if "x3p" in numpy_:
    check(whole["x3p"]["invalidPoints"] == numpy_["x3p"]["invalidPoints"],
          f"invalid points {whole['x3p']['invalidPoints']} and {numpy_['x3p']['invalidPoints']}")
worst, where = 0.0, "-"
def compare(a, b, name):
    global worst, where
    if a is None or b is None:
        check(a is b, f"{name}: {a} and {b}")
        return
    difference = abs(a - b) / max(abs(a), abs(b), 1e-300)
    if difference > worst:
        worst, where = difference, name
for name, value in batch["areal"].items():
    compare(value, numpy_["areal"][name], "areal " + name)
check((batch["grid"] is None) == (numpy_["grid"] is None), (batch["grid"], numpy_["grid"]))
if batch["grid"] is not None:
    check(all(abs(batch["grid"][k] - numpy_["grid"][k]) <= 1e-12 * abs(numpy_["grid"][k])
              for k in ("nx", "ny", "dx", "dy")), (batch["grid"], numpy_["grid"]))
    # The count of measured points, where corvane-batch gives it.
    check(batch["grid"].get("measured", numpy_["grid"]["measured"]) == numpy_["grid"]["measured"],
          (batch["grid"], numpy_["grid"]))
check(batch["arealReasons"] == numpy_["arealReasons"],
      (batch["arealReasons"], numpy_["arealReasons"]))
for name, value in batch["mean"].items():
    compare(value, numpy_["mean"][name], "mean " + name)
check(len(batch["profiles"]) == len(numpy_["profiles"]),
      f"{len(batch['profiles'])} and {len(numpy_['profiles'])} profiles")
for b, n in zip(batch["profiles"], numpy_["profiles"]):
    check(b["ok"] == n["ok"] and b["reason"] == n["reason"] and b["nr"] == n["nr"],
          f"profile {b['profile']}: {b['ok']}, {b['reason']}, nr {b['nr']} and "
          f"{n['ok']}, {n['reason']}, nr {n['nr']}")
    for name in ("Pa", "Pq", "Pt", "Ra", "Rq", "Rsk", "Rku", "Rp", "Rv", "Rz", "Rt",
                 "Rdq", "RSm", "Rk", "Rpk", "Rvk", "Mr1", "Mr2"):
        compare(b[name], n[name], f"profile {b['profile']} {name}")
settings = numpy_["settings"]
for key, value in settings.items():
    check(batch["settings"][key] == value, (key, batch["settings"][key], value))
passes = settings["robustPasses"]
measured = f"{whole['points']} measured points; " if "x3p" in numpy_ else ""
print(f"{sys.argv[3]}: {measured}{batch['mean']['profiles']} profiles evaluated; "
      f"Sal {batch['areal']['Sal']}, Str {batch['areal']['Str']}; "
      + (f"robust passes {min(passes)}..{max(passes)}, the same for every profile; " if passes else "")
      + f"largest relative difference to numpy {worst:.2g} ({where})")
PY
  hyperfine --warmup 1 --runs "${RUNS:-5}" --export-json "$work/times.json" \
    --command-name corvane-batch "$batch --standard $options --json $file" \
    --command-name numpy "$python bench/standard_numpy.py $options $file" >/dev/null
  $python - "$work/times.json" "$name" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
batch, numpy_ = results["corvane-batch"]["median"], results["numpy"]["median"]
print(f"{sys.argv[2]}: corvane-batch --standard median {batch * 1000:.1f} ms, "
      f"numpy median {numpy_ * 1000:.1f} ms, ratio {numpy_ / batch:.1f}")
PY
done
if [ ${#failed[@]} -gt 0 ]; then
  printf 'figures differ from numpy: %s\n' "${failed[@]}" >&2
  exit 1
fi
