#!/usr/bin/env bash
# The real program where the outside world comes in: started from a folder
# without its data, ended by signals while a message box or requester holds
# it, and its window repainted while a message box is open.
# Usage: data_and_signals.sh BINARY_DIR SOURCE_DIR
set -u

BIN_DIR=$(cd "${1:?binary dir}" && pwd)
SRC_DIR=$(cd "${2:?source dir}" && pwd)
TITLE="^Koravel v0.1a by Brenmark\$"
ERROR_BOX="^Fehler!\$"
readonly kSignalSeconds=1  # how soon a signal must end the program

if [ -z "${KV_E2E_INSIDE:-}" ]; then
  for tool in xvfb-run xdotool import convert compare; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
  done
  export KV_E2E_INSIDE=1 GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
  export LSAN_OPTIONS="suppressions=$SRC_DIR/tests/e2e/system_libs.supp:print_suppressions=0"
  unset SDL_VIDEODRIVER WAYLAND_DISPLAY
  exec timeout -k 5 280 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$BIN_DIR" "$SRC_DIR"
fi

SHOTS="$BIN_DIR/e2e-shots"
WORK=$(mktemp -d)
mkdir -p "$SHOTS"
PID=""
LOG="$WORK/koravel.log"

cleanup() {
  if [ -n "$PID" ] && kill -0 "$PID" 2>/dev/null; then kill -KILL "$PID" 2>/dev/null; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  [ -f "$LOG" ] && tail -n 40 "$LOG"
  exit 1
}

wait_window() {  # NAME SECONDS: prints the first match
  local w
  for _ in $(seq $(($2 * 10))); do
    w=$(xdotool search --name "$1" 2>/dev/null | head -n 1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

# Starts PROGRAM in DIR with ARGS; sets PID.
launch() {
  local dir=$1 program=$2
  shift 2
  (cd "$dir" && exec "$program" "$@") >"$LOG" 2>&1 &
  PID=$!
}

# Sends SIGNAL and waits for the end; sets STATUS and ELAPSED (ms).
end_by_signal() {
  local start=$(date +%s%N)
  kill "-$1" "$PID"
  for _ in $(seq 100); do
    kill -0 "$PID" 2>/dev/null || break
    sleep 0.01
  done
  ELAPSED=$((($(date +%s%N) - start) / 1000000))
  kill -0 "$PID" 2>/dev/null && fail "$1 did not end the program within a second ($2)"
  wait "$PID"
  STATUS=$?
  PID=""
  [ "$ELAPSED" -le $((kSignalSeconds * 1000)) ] || fail "$1 took ${ELAPSED} ms ($2)"
  echo "ok: $1 ends the program in ${ELAPSED} ms ($2)"
}

geometry() {  # WINDOW: sets X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
}

EMPTY="$WORK/empty folder"
mkdir -p "$EMPTY"
BAD="$WORK/bad.kvl"
printf 'not a map' >"$BAD"
# Signature, 100 x 100 tiles, view 0,0, no roads, emitters or lights: nothing moves.
PLAIN="$WORK/plain.kvl"
printf '\x01\x03\x05\x07\x09\x0b\x0d\x0f\x11\x13\x64\x00\x64\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$PLAIN"

# --- 1. From a folder without Gfx/ or the start map: found beside the program
launch "$EMPTY" "$BIN_DIR/koravel"
WID=$(wait_window "$TITLE" 60) || fail "the main window did not appear"
sleep 2
[ -z "$(xdotool search --name "$ERROR_BOX" 2>/dev/null)" ] || fail "the start map was not found (message box)"
import -window root "$SHOTS/from-anywhere.png"
geometry "$WID"
# The toolbar, the bottom 64 rows: its buttons are drawn from Gfx/.
colours=$(convert "$SHOTS/from-anywhere.png" -crop "1024x64+$X+$((Y + 704))" +repage -format %k info:)
[ "$colours" -gt 16 ] || fail "the toolbar shows $colours colours: the images were not found"
echo "ok: started from an empty folder, the program finds its images and start map"
end_by_signal HUP "frame loop"
[ "$STATUS" = $((128 + 1)) ] || fail "after SIGHUP the exit status is $STATUS"

# --- 2. SIGTERM while the start-up message box is open ---------------------
launch "$EMPTY" "$BIN_DIR/koravel" "$BAD"
wait_window "$ERROR_BOX" 60 >/dev/null || fail "no message box for a bad start map"
sleep 0.5
end_by_signal TERM "start-up message box open"
TERM_MS=$ELAPSED

# --- 3. The window under a closed requester is repainted while the message
#        box that follows it is open; SIGINT ends it there ------------------
launch "$EMPTY" "$BIN_DIR/koravel" "$PLAIN"
WID=$(wait_window "$TITLE" 60) || fail "the main window did not appear"
sleep 2
import -window root "$WORK/before.png"
xdotool keydown o; sleep 0.1; xdotool keyup o
CHOOSER=$(wait_window "ffnen" 20) || fail "the open requester did not appear"
sleep 1
geometry "$CHOOSER"
chooser="${WIDTH}x${HEIGHT}+${X}+${Y}"
xdotool type --delay 20 "$BAD"; sleep 0.5; xdotool key Return
BOX=$(wait_window "$ERROR_BOX" 20) || { xdotool key Return; BOX=$(wait_window "$ERROR_BOX" 10); } ||
  fail "no message box for the bad map"
sleep 1
import -window root "$SHOTS/repainted.png"
geometry "$BOX"
# Where the requester was, outside the message box, the map is back as it was.
for shot in "$WORK/before.png" "$SHOTS/repainted.png"; do
  convert "$shot" -fill black -draw "rectangle $X,$Y $((X + WIDTH)),$((Y + HEIGHT))" -crop "$chooser" +repage \
    "$shot.cut.png"
done
stale=$(compare -metric AE "$WORK/before.png.cut.png" "$SHOTS/repainted.png.cut.png" null: 2>&1 | awk '{ printf "%d\n", $1 }')
[ "$stale" -lt 50 ] || fail "$stale pixels of the closed requester are left on the window"
echo "ok: the window is repainted under the message box"
end_by_signal INT "message box after a requester"

# --- 4. Without its images anywhere: said, and a non-zero exit --------------
mkdir -p "$WORK/bin"
cp "$BIN_DIR/koravel" "$WORK/bin/koravel"
launch "$EMPTY" "$WORK/bin/koravel"
if ! wait_window "$ERROR_BOX" 60 >/dev/null; then
  [ -n "$(xdotool search --name "$TITLE" 2>/dev/null)" ] || fail "no message box when Gfx/ is missing"
  echo "skip: an installed copy of the images was found"
  echo "SIGTERM with the start-up message box open: ${TERM_MS} ms"
  echo "PASS"
  exit 0
fi
import -window root "$SHOTS/no-images.png"
xdotool key Return
for _ in $(seq 100); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
wait "$PID"
STATUS=$?
PID=""
[ "$STATUS" = 1 ] || fail "without Gfx/ the exit status is $STATUS"
grep -q "Gfx/ was not found" "$LOG" && grep -qF "$WORK/bin/" "$LOG" ||
  fail "standard error does not say what is missing and where it looked"
echo "ok: without Gfx/ the program says where it looked and exits with 1"

echo "SIGTERM with the start-up message box open: ${TERM_MS} ms"
echo "PASS"
