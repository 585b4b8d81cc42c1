#!/usr/bin/env bash
# Prints the share of test code: non-blank lines of everything under tests/
# against those of tests/ + src/ + tools/ (C++ sources and headers). Fuzz
# targets and benchmarks count on neither side. Exits 1 above 35 %.
#   tools/test_share.sh [REPOSITORY]
set -euo pipefail
cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}"
count() { xargs -r cat 2>/dev/null | grep -cvE '^\s*$' || true; }
tests=$(git ls-files -co --exclude-standard -- tests | count)
code=$(git ls-files -co --exclude-standard -- src tools | grep -E '\.(cpp|cc|h|hpp)$' | count)
share=$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.1f", 100 * t / (t + c) }')
echo "tests: $tests lines, src + tools: $code lines, tests are $share % of all code (at most 35 %)"
awk -v s="$share" 'BEGIN { exit (s > 35) }'
