# Sourced by the benchmark scripts: sets `batch` to the corvane-batch given as the script's first
# argument, or builds the Release programs in build-bench/ (with the targets named after it) and
# takes that one; and `python` to Debian's python3, where python3-numpy installs numpy, without
# the OpenBLAS tuning variables some machines set (they slow a current numpy down).
#   . bench/lib/release_batch.sh "${1:-}" [TARGET...]
batch=${1:-}
if [ -z "$batch" ]; then
  scripts/setup --bench
  cmake -S . -B build-bench -G Ninja -DCORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=Release \
    -DCORVANE_BENCH=ON -DBUILD_TESTING=OFF >/dev/null
  cmake --build build-bench --target corvane-batch "${@:2}"
  batch=build-bench/src/corvane-batch
fi
batch=$(realpath "$batch")
python="env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3"
