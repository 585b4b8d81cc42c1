#!/usr/bin/env bash
# Fuzzes map loading and the PNG and JPEG decoding briefly (fuzz/run.sh);
# skipped only where clang is missing.
set -euo pipefail
binary_dir=$1
source_dir=$2
if ! command -v clang >/dev/null || ! command -v clang++ >/dev/null; then
  echo "SKIP: clang is not installed, the fuzzers cannot be built"
  exit 0
fi
exec bash "$source_dir/fuzz/run.sh" "$binary_dir/fuzz-build"
