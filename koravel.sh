#!/usr/bin/env bash
# Set-up, build, run and test Koravel on Debian 12.
#
#   ./koravel.sh run    install what is missing, build a release build, start the program
#   ./koravel.sh test   install what is missing, build with the sanitizers, run every test
#
# Build directories: build/ (release) and build-test/ (tests).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"

build_packages=(build-essential cmake pkg-config libsdl2-dev libsdl2-ttf-dev libgtk-3-dev
  libpng-dev libjpeg-dev libfontconfig-dev fonts-dejavu-core libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev)
test_packages=(xvfb xauth xdotool imagemagick clang libclang-rt-14-dev desktop-file-utils
  shared-mime-info libxml2-utils groff-base time)

install_missing() {
  local missing=()
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

case "${1:-}" in
  run)
    install_missing "${build_packages[@]}"
    cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release -DKORAVEL_TESTS=OFF -DKORAVEL_BENCH=OFF
    cmake --build "$here/build" -j"$jobs" --target koravel koravel_data
    # The program finds Gfx/ and hightraffic in its working directory.
    cd "$here/build"
    exec ./koravel
    ;;
  test)
    install_missing "${build_packages[@]}" "${test_packages[@]}"
    cmake -S "$here" -B "$here/build-test" -DCMAKE_BUILD_TYPE=Debug -DKORAVEL_SANITIZE=ON
    cmake --build "$here/build-test" -j"$jobs"
    export GSETTINGS_BACKEND=memory
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
    export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
    ctest --test-dir "$here/build-test" -j"$jobs" --output-on-failure --timeout 600
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 1
    ;;
esac
