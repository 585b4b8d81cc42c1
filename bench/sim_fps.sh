#!/bin/bash
# Frames per second of koravel-sim on the stress map with 5000 cars, timing
# the whole process (loading included). Runs it several times and prints the
# median.
#
#   bench/sim_fps.sh BUILD_DIR [FRAMES] [RUNS]
set -euo pipefail

build=${1:?usage: sim_fps.sh BUILD_DIR [FRAMES] [RUNS]}
frames=${2:-3600}
runs=${3:-5}
cars=5000
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/make-stress" "$work/stress.kvl" > /dev/null
rates=()
for ((i = 1; i <= runs; ++i)); do
  start=$(date +%s.%N)
  "$build/koravel-sim" run "$work/stress.kvl" --fill "$cars" --frames "$frames" > "$work/out.json"
  end=$(date +%s.%N)
  rate=$(awk -v f="$frames" -v a="$start" -v b="$end" 'BEGIN { print f / (b - a) }')
  rates+=("$rate")
  printf 'run %d: %.0f frames per second, %s\n' "$i" "$rate" "$(cat "$work/out.json")"
done
median=$(printf '%s\n' "${rates[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
printf 'koravel-sim run, stress map, %d cars filled, %d frames: median %.0f frames per second\n' \
  "$cars" "$frames" "$median"
