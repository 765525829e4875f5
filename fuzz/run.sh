#!/usr/bin/env bash
# usage: fuzz/run.sh [RUNS] [FUZZER]
# Builds the fuzz targets with clang + libFuzzer (Debian package libclang-rt-14-dev) and runs
# FUZZER (default SpiceStreamFuzz) for RUNS inputs (default 20000), seeded with the netlists
# and model libraries of the corpus ($NVSUPPORT_CORPUS_DIR, else ../shared/corpus beside the
# project) when present. New inputs go to a temporary folder that is removed afterwards; an
# input that crashes is kept as crash-* in the current folder. Exit status 0: nothing crashed.
# Environment: BUILD_DIR (default build-fuzz in the project), JOBS (default 2), MAX_LEN
# (default 16384 bytes per input).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-20000}
fuzzer=${2:-SpiceStreamFuzz}
build=${BUILD_DIR:-$root/build-fuzz}
corpus=${NVSUPPORT_CORPUS_DIR:-$root/../shared/corpus}

cmake -S "$here" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target "$fuzzer"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds=()
for d in "$corpus/netlists" "$corpus/models"; do
    if [ -d "$d" ]; then seeds+=("$d"); fi
done
"$build/$fuzzer" -runs="$runs" -max_len="${MAX_LEN:-16384}" -timeout=20 -print_final_stats=1 \
    "$work" "${seeds[@]}"
