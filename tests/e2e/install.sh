#!/usr/bin/env bash
# Installs the build into temporary prefixes and starts the installed program
# the way a desktop menu does: the desktop entry's Exec command in its Path
# directory, with that directory read-only.
#
#   install.sh BINARY_DIR SOURCE_DIR
#
# Screenshots go to BINARY_DIR/e2e-shots/.
set -euo pipefail

binary_dir=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
shots="$binary_dir/e2e-shots"

readonly kWindowTimeout=60   # seconds until the window must be up (ASan start-up is slow)
readonly kSettleSeconds=3    # frames drawn before the screenshot
readonly kExitTimeout=20     # seconds from Escape to the end of the process
readonly kGfxFiles=38
readonly kIconSizes="32 48 64 128 256"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The system GUI libraries keep caches until exit; leaks are checked elsewhere.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export GSETTINGS_BACKEND=memory

desktop_value() {  # FILE KEY
  sed -n "s/^$2=//p" "$1" | head -n 1
}

# A listing with modes, sizes and times plus checksums: any file created,
# removed or changed below DIR changes it.
snapshot() {
  (cd "$1" && find . -printf '%y %p %s %m %T@\n' | LC_ALL=C sort &&
    find . -type f -exec sha256sum {} + | LC_ALL=C sort)
}

# ---------------------------------------------------------------- under X
# Runs inside xvfb-run: the installed program from its desktop entry.
wait_for_window() {  # prints the window id of the program's main window
  timeout "$kWindowTimeout" xdotool search --sync --onlyvisible --name '^Koravel' | head -n 1
}

running=""
stop_running() {
  [ -z "$running" ] || kill -9 "$running" 2>/dev/null || true
}

under_x() {  # PREFIX SPACED_PREFIX
  local prefix=$1 spaced=$2
  trap stop_running EXIT
  # Through a real launcher, as a menu or a file manager (%f) starts it, from
  # an unrelated directory, with a prefix that needs quoting: the entry's Exec
  # and Path are honoured as written, and the map handed over is shown: an
  # empty one, so tile (3, 3), a road on the start map, is grass.
  local elsewhere window pid
  elsewhere="$(dirname "$prefix")/elsewhere"
  (cd "$elsewhere" && gio launch "$spaced/share/applications/koravel.desktop" "$elsewhere/empty map.kvl")
  window=$(wait_for_window) || true
  [ -n "$window" ] || fail "gio launch: no Koravel window within ${kWindowTimeout}s"
  pid=$(xdotool getwindowpid "$window")
  running=$pid
  [ "$(readlink "/proc/$pid/cwd")" = "$spaced/share/koravel" ] ||
    fail "gio launch: working directory $(readlink "/proc/$pid/cwd")"
  sleep "$kSettleSeconds"
  import -window root "$shots/installed.png"
  ! xdotool search --name '^Fehler!$' >/dev/null 2>&1 || fail "the map was not found or refused (message box shown)"
  local X Y WIDTH HEIGHT SCREEN WINDOW_ID lit rgb
  eval "$(xdotool getwindowgeometry --shell "$window" | sed 's/^WINDOW=/WINDOW_ID=/')"
  # The grass and toolbar are drawn, so Gfx/ was found.
  lit=$(convert "$shots/installed.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -colorspace gray -threshold 6% \
    -format '%[fx:mean]' info:)
  awk -v v="$lit" 'BEGIN { exit !(v > 0.5) }' || fail "the window is mostly black ($lit)"
  local at="$((X + 3 * 32 + 16)),$((Y + 3 * 32 + 3))"
  rgb=$(convert "$shots/installed.png" -format "%[fx:int(255*p{$at}.r)] %[fx:int(255*p{$at}.g)] %[fx:int(255*p{$at}.b)]" info:)
  read -r r g b <<<"$rgb"
  [ $((g - r)) -ge 25 ] && [ $((g - b)) -ge 25 ] || fail "the map given to the program is not shown (tile 3/3 is $rgb)"
  xdotool keydown Escape; sleep 0.2; xdotool keyup Escape
  for ((waited = 0; waited < kExitTimeout * 10; ++waited)); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  ! kill -0 "$pid" 2>/dev/null || fail "Escape did not end the program"
  running=""
  [ "$(ls -A "$elsewhere")" = "empty map.kvl" ] || fail "the program wrote into the launcher's directory"
  rm "$elsewhere/empty map.kvl"
  rmdir "$elsewhere"
}

if [ "${3:-}" = --under-x ]; then
  under_x "$4" "$5"
  exit 0
fi

# ---------------------------------------------------------------- install
for tool in cmake xvfb-run xdotool import convert identify gio desktop-file-validate xmllint update-mime-database groff; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

tmp=$(mktemp -d)
cleanup() {
  chmod -R u+w "$tmp" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
prefix="$tmp/usr"
spaced="$tmp/a prefix with \$pace"
mkdir -p "$shots"

cmake --install "$binary_dir" --prefix "$prefix" >"$tmp/install.log" ||
  { cat "$tmp/install.log"; fail "cmake --install"; }
cmake --install "$binary_dir" --prefix "$spaced" >/dev/null || fail "cmake --install into '$spaced'"

# Layout.
for program in koravel koravel-sim; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program missing"
done
extra=$(find "$prefix/bin" -mindepth 1 ! -name koravel ! -name koravel-sim)
[ -z "$extra" ] || fail "build tools were installed: $extra"
data="$prefix/share/koravel"
count=$(find "$data/Gfx" -maxdepth 1 -type f \( -name '*.png' -o -name '*.jpg' \) | wc -l)
[ "$count" -eq "$kGfxFiles" ] || fail "share/koravel/Gfx has $count images, not $kGfxFiles"
for f in "$source_dir"/Gfx/*; do
  cmp -s "$f" "$data/Gfx/$(basename "$f")" || fail "Gfx/$(basename "$f") differs from the source"
done
cmp -s "$source_dir/hightraffic" "$data/hightraffic" || fail "share/koravel/hightraffic missing or different"
unreadable=$(find "$prefix/share" ! -perm -o+r)
[ -z "$unreadable" ] || fail "not readable by every user: $unreadable"
# From any folder the installed programs find the start map and the images
# (../share/koravel beside them: this prefix is not the one built for).
(cd "$tmp" && "$spaced/bin/koravel-sim" render hightraffic "$tmp/anywhere.png" >/dev/null) ||
  fail "koravel-sim render hightraffic does not find its data from another folder"
rm "$tmp/anywhere.png"

for size in $kIconSizes; do
  for icon in "$prefix/share/icons/hicolor/${size}x$size/apps/koravel.png" \
    "$prefix/share/icons/hicolor/${size}x$size/mimetypes/application-x-koravel-map.png"; do
    [ -f "$icon" ] || fail "icon $icon missing"
    [ "$(identify -format '%wx%h' "$icon")" = "${size}x$size" ] || fail "icon $icon has the wrong size"
  done
done

# The map file type: valid, and registered once the database is updated.
mime="$prefix/share/mime"
xmllint --noout "$mime/packages/koravel.xml" || fail "the MIME package is not valid XML"
update-mime-database "$mime" 2>/dev/null || fail "update-mime-database"
[ -f "$mime/application/x-koravel-map.xml" ] || fail "application/x-koravel-map is not registered"
grep -q '^[0-9]*:application/x-koravel-map:\*\.kvl$' "$mime/globs2" || fail "*.kvl is not a Koravel map"

# Manual pages that render without a warning, and the completion.
for page in man6/koravel.6 man1/koravel-sim.1; do
  warnings=$(groff -ww -man -Tutf8 -z "$prefix/share/man/$page" 2>&1)
  [ -f "$prefix/share/man/$page" ] && [ -z "$warnings" ] || fail "manual page $page: ${warnings:-missing}"
done
completion="$prefix/share/bash-completion/completions/koravel-sim"
words=$(bash -c 'source "$1" && complete -p koravel-sim >/dev/null &&
  COMP_WORDS=(koravel-sim r) COMP_CWORD=1 && _koravel_sim && echo "${COMPREPLY[*]}"' _ "$completion") ||
  fail "the completion file does not load"
[ "$words" = "run render" ] || fail "completing 'koravel-sim r' gives '$words'"

# Desktop entry: absolute paths into this prefix (the launch below shows them
# quoted where the prefix needs it).
entry="$prefix/share/applications/koravel.desktop"
[ -f "$entry" ] || fail "share/applications/koravel.desktop missing"
[ "$(desktop_value "$entry" Exec)" = "$prefix/bin/koravel %f" ] || fail "Exec is '$(desktop_value "$entry" Exec)'"
[ "$(desktop_value "$entry" MimeType)" = "application/x-koravel-map;" ] || fail "MimeType is not the map type"
[ "$(desktop_value "$entry" Path)" = "$data" ] || fail "Path is '$(desktop_value "$entry" Path)'"
[ "$(desktop_value "$entry" Icon)" = koravel ] || fail "Icon is not koravel"
spaced_entry="$spaced/share/applications/koravel.desktop"
desktop-file-validate "$entry" "$spaced_entry" || fail "desktop-file-validate"

# Read-only data directories. Root ignores the permission bits, so the
# snapshot comparison is what proves that nothing was written.
chmod -R a-w "$data" "$spaced/share/koravel"
before=$(snapshot "$data"; snapshot "$spaced/share/koravel")

mkdir "$tmp/elsewhere"
# Signature, 100 x 100 tiles, view 0,0, no roads, emitters or lights.
printf '\x01\x03\x05\x07\x09\x0b\x0d\x0f\x11\x13\x64\x00\x64\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
  >"$tmp/elsewhere/empty map.kvl"
timeout 240 xvfb-run -a bash "${BASH_SOURCE[0]}" "$binary_dir" "$source_dir" --under-x "$prefix" "$spaced" ||
  fail "the installed program did not start, draw and end as expected"

after=$(snapshot "$data"; snapshot "$spaced/share/koravel")
if [ "$before" != "$after" ]; then
  diff <(echo "$before") <(echo "$after") >&2 || true
  fail "the program changed its read-only data directory"
fi
echo "install: layout, desktop entry, icons and the installed program are fine"
