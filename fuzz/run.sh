#!/usr/bin/env bash
# Builds the map-loading fuzzer with clang in its own build directory, runs it
# once over the seed corpus and then for a short bounded time. Exits non-zero
# when the build fails or the fuzzer finds a crash.
#
#   fuzz/run.sh [build-dir]      KORAVEL_FUZZ_SECONDS (default 30) bounds the run.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(dirname "$here")
build_dir=${1:-$source_dir/build-fuzz}
seconds=${KORAVEL_FUZZ_SECONDS:-30}
seeds=$here/corpus/load_map

CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORAVEL_FUZZ=ON -DKORAVEL_SANITIZE=ON \
  -DKORAVEL_TESTS=OFF -DKORAVEL_BENCH=OFF >/dev/null
cmake --build "$build_dir" --target load_map_fuzzer -j2
fuzzer=$build_dir/fuzz/load_map_fuzzer

# New inputs go to a scratch copy: the committed seeds stay as they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
cp "$seeds"/* "$work/corpus/"

echo "== seed corpus"
"$fuzzer" -artifact_prefix="$work/" "$seeds"/*

echo "== bounded run (${seconds}s)"
"$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=25 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus"
echo "== no crash"
