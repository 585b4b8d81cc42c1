#!/usr/bin/env bash
# Builds the fuzzers with clang in their own build directory, runs each over
# its seed corpus and then for a short bounded time. Exits non-zero when the
# build fails or a fuzzer finds a crash; the crashing input is kept in
# BUILD_DIR/fuzz-artifacts/.
#
#   fuzz/run.sh [build-dir [target...]]
#
# Targets: load_map_fuzzer png_fuzzer jpeg_fuzzer (all by default).
# KORAVEL_FUZZ_SECONDS (default 20) bounds the run of each target.
# KORAVEL_FUZZ_WORK names a directory that keeps the grown corpora (one
# subdirectory per target, reused by the next run); by default they are
# grown in a scratch directory and dropped.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(dirname "$here")
build_dir=${1:-$source_dir/build-fuzz}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(load_map_fuzzer png_fuzzer jpeg_fuzzer)
seconds=${KORAVEL_FUZZ_SECONDS:-20}

# Seeds, longest input and dictionary of each target.
declare -A seeds=([load_map_fuzzer]=load_map [png_fuzzer]=png [jpeg_fuzzer]=jpeg)
declare -A max_len=([load_map_fuzzer]=4096 [png_fuzzer]=16384 [jpeg_fuzzer]=16384)
declare -A dict=([png_fuzzer]=$here/png.dict [jpeg_fuzzer]=$here/jpeg.dict)

CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORAVEL_FUZZ=ON -DKORAVEL_SANITIZE=ON \
  -DKORAVEL_TESTS=OFF -DKORAVEL_BENCH=OFF >/dev/null
cmake --build "$build_dir" --target "${targets[@]}" -j2

artifacts=$build_dir/fuzz-artifacts
mkdir -p "$artifacts"
# New inputs go to copies: the committed seeds stay as they are.
if [ -n "${KORAVEL_FUZZ_WORK:-}" ]; then
  work=$KORAVEL_FUZZ_WORK
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

for target in "${targets[@]}"; do
  corpus=$here/corpus/${seeds[$target]:?unknown target $target}
  fuzzer=$build_dir/fuzz/$target
  options=(-max_len="${max_len[$target]}" -timeout=25 -rss_limit_mb=2048 -malloc_limit_mb=256
           -artifact_prefix="$artifacts/$target-")
  [ -n "${dict[$target]:-}" ] && options+=(-dict="${dict[$target]}")

  echo "== $target: seed corpus"
  "$fuzzer" "${options[@]}" "$corpus"/*

  echo "== $target: bounded run (${seconds}s)"
  mkdir -p "$work/$target"
  cp "$corpus"/* "$work/$target/"
  "$fuzzer" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 "$work/$target"
done
echo "== no crash"
