#!/usr/bin/env bash
# The real program on a virtual X server: start-up, drawing, pointer and
# clicks, the map keys with their file requesters and message box, and every
# way of ending it (Escape held or tapped, SIGTERM, the window's close
# request), plus the refusal to start without a display.
# Usage: start_and_quit.sh BINARY_DIR SOURCE_DIR
set -u

BIN_DIR=$(cd "${1:?binary dir}" && pwd)
SRC_DIR=$(cd "${2:?source dir}" && pwd)
TITLE="Koravel v0.1a by Brenmark"

# Re-run inside a private X server (xvfb-run gives 1280 x 1024 x 24).
if [ -z "${KV_E2E_INSIDE:-}" ]; then
  for tool in xvfb-run xdotool import convert compare cc; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
  done
  # dconf and the accessibility bus are absent here; without these GTK
  # complains and, through the bus, leaves allocations the leak checker sees.
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
  if [ -f "$LOG" ]; then
    echo "--- program output ---"
    tail -n 40 "$LOG"
  fi
  exit 1
}

# First window whose name matches, waiting up to $2 seconds. Searching by
# polling: xdotool's own --sync dies when a window vanishes mid-search.
wait_window() {
  local name=$1 seconds=$2 w
  for _ in $(seq $((seconds * 10))); do
    w=$(xdotool search --name "$name" 2>/dev/null | head -n 1)
    if [ -n "$w" ]; then echo "$w"; return 0; fi
    sleep 0.1
  done
  return 1
}

window_gone() {
  local name=$1 seconds=$2
  for _ in $(seq $((seconds * 10))); do
    [ -z "$(xdotool search --name "$name" 2>/dev/null)" ] && return 0
    sleep 0.1
  done
  return 1
}

# Sets RC to the exit code of $PID once it has ended within $1 seconds, or
# to "running". (Not through $(...): a subshell cannot wait for our child.)
wait_exit() {
  local seconds=$1
  RC=running
  for _ in $(seq $((seconds * 10))); do
    if ! kill -0 "$PID" 2>/dev/null; then
      wait "$PID"
      RC=$?
      PID=""
      return 0
    fi
    sleep 0.1
  done
}

# Starts the program in directory $1 and waits for its window.
start_program() {
  (cd "$1" && exec "$BIN_DIR/koravel") >"$LOG" 2>&1 &
  PID=$!
  WID=""
  for _ in $(seq 600); do
    WID=$(xdotool search --name "^$TITLE\$" 2>/dev/null | head -n 1)
    [ -n "$WID" ] && break
    kill -0 "$PID" 2>/dev/null || fail "the program ended before its window appeared (in $1)"
    sleep 0.1
  done
  [ -n "$WID" ] || fail "the main window did not appear (in $1)"
  eval "$(xdotool getwindowgeometry --shell "$WID")"
  [ "$WIDTH" = 1024 ] && [ "$HEIGHT" = 768 ] || fail "client area is ${WIDTH}x${HEIGHT}, not 1024x768"
  WX=$X
  WY=$Y
  sleep 1.5  # a few frames
}

# Held long enough for any frame rate; a key tapped faster is covered below.
hold_key() {
  xdotool keydown "$1"
  sleep 0.1
  xdotool keyup "$1"
}

shot() { import -window root "$1"; }

# Differing pixels of two screenshots inside a window-relative rectangle.
pixels_differ() {
  local a=$1 b=$2 w=$3 h=$4 x=$5 y=$6
  local geometry="${w}x${h}+$((WX + x))+$((WY + y))"
  convert "$a" -crop "$geometry" +repage "$WORK/a.png"
  convert "$b" -crop "$geometry" +repage "$WORK/b.png"
  compare -metric AE "$WORK/a.png" "$WORK/b.png" null: 2>&1 | awk '{ printf "%d\n", $1 }'
}

expect_exit_zero() {
  local what=$1
  wait_exit 30
  [ "$RC" = running ] && fail "$what: the program did not end"
  [ "$RC" = 0 ] || fail "$what: exit code $RC"
  echo "ok: $what"
}

# Answers the open file requester that is showing with a typed path.
answer_requester() {
  local name=$1 path=$2
  wait_window "$name" 20 >/dev/null || fail "requester '$name' did not appear"
  sleep 1
  [ "$name" = "Speichern" ] && xdotool key ctrl+a
  xdotool type --delay 20 "$path"
  sleep 0.5
  xdotool key Return
  if ! window_gone "$name" 5; then
    xdotool key Return  # the completion popup may have taken the first one
    window_gone "$name" 10 || fail "requester '$name' did not close"
  fi
}

# Working directories of our own: the images of the build and either an
# empty start map (a still scene whatever the shipped start map holds) or none.
EMPTY_DIR="$WORK/empty"
NOMAP_DIR="$WORK/nomap"
mkdir -p "$EMPTY_DIR" "$NOMAP_DIR"
ln -s "$BIN_DIR/Gfx" "$EMPTY_DIR/Gfx"
ln -s "$BIN_DIR/Gfx" "$NOMAP_DIR/Gfx"
# Signature, 100 x 100 tiles, view 0,0, no roads, emitters or lights.
printf '\x01\x03\x05\x07\x09\x0b\x0d\x0f\x11\x13\x64\x00\x64\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
  >"$EMPTY_DIR/hightraffic"

# A window's close box: what a window manager sends, WM_DELETE_WINDOW.
cat >"$WORK/close.c" <<'EOF'
#include <X11/Xlib.h>
#include <stdlib.h>
int main(int argc, char** argv) {
  if (argc < 2) return 2;
  Display* d = XOpenDisplay(NULL);
  if (!d) return 2;
  Window w = (Window)strtoul(argv[1], NULL, 0);
  XEvent e = {0};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
  XCloseDisplay(d);
  return 0;
}
EOF
cc -o "$WORK/close" "$WORK/close.c" -lX11 || fail "cannot build the close-request helper"

# --- 1. Start-up with the shipped start map ---------------------------------
start_program "$BIN_DIR"
shot "$SHOTS/start.png"
colours=$(convert "$SHOTS/start.png" -crop "1024x768+$WX+$WY" +repage -format %k info:)
[ "$colours" -gt 16 ] || fail "the window shows $colours colours: nothing was drawn"
hold_key Escape
expect_exit_zero "start-up and Escape held"

# --- 2. Pointer, clicks and the map keys on an empty map --------------------
start_program "$EMPTY_DIR"
shot "$WORK/empty.png"
# The program's pointer starts in the middle: nothing scrolls by itself.
sleep 1
shot "$WORK/still.png"
[ "$(pixels_differ "$WORK/empty.png" "$WORK/still.png" 1024 768 0 0)" = 0 ] ||
  fail "the screen changed without any input"
echo "ok: an empty map gives a steady screen"

# Relative motion moves the program's pointer: to the first road tool (from
# the centre 512,384 to 36,734), a quick click selects it, then onto the map
# (200,200), where a quick click lays a road tile. Both clicks are released
# long before the next frame.
xdotool mousemove_relative -- -476 350
sleep 0.3
xdotool click 1
sleep 0.3
xdotool mousemove_relative -- 164 -534
sleep 0.5
shot "$WORK/before_road.png"
xdotool click 1
sleep 0.5
shot "$SHOTS/road.png"
changed=$(pixels_differ "$WORK/before_road.png" "$SHOTS/road.png" 128 128 136 136)
[ "$changed" -gt 0 ] || fail "a quick click with the road tool changed nothing under the pointer"
echo "ok: relative motion and quick clicks reach the editor"

# S: the save requester opens in the working directory; the typed path comes
# back and the map is written there.
rm -f "$SHOTS/saved.kvl" "$SHOTS/missing.kvl"
hold_key s
answer_requester "Speichern" "$SHOTS/saved.kvl"
for _ in $(seq 50); do [ -s "$SHOTS/saved.kvl" ] && break; sleep 0.1; done
[ -s "$SHOTS/saved.kvl" ] || fail "no map was saved at the chosen path"
cmp -s -n 10 "$SHOTS/saved.kvl" "$EMPTY_DIR/hightraffic" || fail "the saved map has no map signature"
[ "$(stat -c %s "$SHOTS/saved.kvl")" -gt "$(stat -c %s "$EMPTY_DIR/hightraffic")" ] ||
  fail "the saved map does not hold the new road"
# The key went up while the requester had the keyboard: it must not count as
# still held, or the requester would come back.
sleep 1.5
[ -z "$(xdotool search --name "Speichern" 2>/dev/null)" ] || fail "the save requester came back"
echo "ok: S saves through the file requester"

# D clears the map: the keyboard is back with the main window.
hold_key d
sleep 0.5
shot "$WORK/cleared.png"
[ "$(pixels_differ "$WORK/before_road.png" "$WORK/cleared.png" 128 128 136 136)" = 0 ] ||
  fail "D did not clear the map after the requester"
echo "ok: D clears the map"

# O with a file that does not exist: the message box, answered with Return.
hold_key o
answer_requester "ffnen" "$SHOTS/missing.kvl"
wait_window "^Fehler!\$" 20 >/dev/null || fail "no message box for a missing map"
sleep 0.5
shot "$SHOTS/message.png"
xdotool key Return
window_gone "^Fehler!\$" 10 || fail "the message box did not close"
echo "ok: O with a missing file shows the message box"

# O with the saved map brings the road back exactly.
hold_key o
answer_requester "ffnen" "$SHOTS/saved.kvl"
sleep 1
shot "$WORK/loaded.png"
[ "$(pixels_differ "$SHOTS/road.png" "$WORK/loaded.png" 128 128 136 136)" = 0 ] ||
  fail "the opened map does not look like the saved one"
echo "ok: O opens the saved map"

xdotool key Escape  # pressed and released between two frames
expect_exit_zero "Escape tapped"

# --- 3. A configuration dialog ----------------------------------------------
# Road tool, road at (200,200); emitter tool (421,734), emitter on that road.
start_program "$EMPTY_DIR"
xdotool mousemove_relative -- -476 350
sleep 0.3
xdotool click 1
sleep 0.3
xdotool mousemove_relative -- 164 -534
sleep 0.3
xdotool click 1
sleep 0.5
shot "$WORK/road_only.png"
xdotool mousemove_relative -- 221 534
sleep 0.3
xdotool click 1
sleep 0.3
xdotool mousemove_relative -- -221 -534
sleep 0.3
xdotool click 1
sleep 0.5
shot "$WORK/emitter.png"
[ "$(pixels_differ "$WORK/road_only.png" "$WORK/emitter.png" 128 128 136 136)" -gt 0 ] ||
  fail "no emitter was placed"

# Two releases 200 ms apart: a double click even when a loaded machine
# stretches frames to 100 ms, which would merge quicker clicks into one.
double_click() {
  xdotool mousedown 1
  sleep 0.05
  xdotool mouseup 1
  sleep 0.15
  xdotool mousedown 1
  sleep 0.05
  xdotool mouseup 1
}

open_dialog() {
  for _ in 1 2 3; do
    double_click
    if DID=$(wait_window "^Emitter konfigurieren\$" 5); then
      sleep 1
      return 0
    fi
  done
  fail "a double click did not open the emitter dialog"
}

# A window manager may close the tool window although it has no close box:
# that answers "Abbrechen".
open_dialog
shot "$SHOTS/dialog.png"
eval "$(xdotool getwindowgeometry --shell "$DID")"
[ "$X,$Y,$WIDTH,$HEIGHT" = "500,500,400,400" ] ||
  fail "the dialog's client area is ${WIDTH}x${HEIGHT} at $X,$Y, not 400x400 at 500,500"
"$WORK/close" "$DID" || fail "cannot send the close request"
window_gone "^Emitter konfigurieren\$" 10 || fail "closing the dialog's window did not cancel it"
sleep 0.5
echo "ok: the emitter dialog opens at its place and size; closing its window cancels it"

# The button "Emitter löschen" (130,335 135 x 30), clicked with the desktop pointer.
open_dialog
eval "$(xdotool getwindowgeometry --shell "$DID")"
xdotool mousemove $((X + 197)) $((Y + 350)) click 1
window_gone "^Emitter konfigurieren\$" 10 || fail "the delete button did not close the dialog"
sleep 0.5
shot "$WORK/deleted.png"
[ "$(pixels_differ "$WORK/road_only.png" "$WORK/deleted.png" 128 128 136 136)" = 0 ] ||
  fail "the emitter is still there after deleting it in its dialog"
echo "ok: the dialog's buttons reach the program"

# An emitter with a target, confirmed in its dialog, saved through the chooser.
# The pointer is back at (200,200). Second road on (232,200), emitter on the
# first road, a click on it, a click on the eastbound lane of the second road.
xdotool mousemove_relative -- -164 534; sleep 0.3; xdotool click 1; sleep 0.3
xdotool mousemove_relative -- 196 -534; sleep 0.3; xdotool click 1; sleep 0.3
xdotool mousemove_relative -- 189 534; sleep 0.3; xdotool click 1; sleep 0.3
xdotool mousemove_relative -- -221 -534; sleep 0.3; xdotool click 1; sleep 0.5
xdotool click 1; sleep 0.5
xdotool mousemove_relative -- 48 16; sleep 0.3; xdotool click 1; sleep 0.5
xdotool mousemove_relative -- -48 -16; sleep 0.3
open_dialog
eval "$(xdotool getwindowgeometry --shell "$DID")"
xdotool mousemove $((X + 65)) $((Y + 350)) click 1  # "OK" (15,335 100 x 30)
window_gone "^Emitter konfigurieren\$" 10 || fail "OK did not close the dialog"
sleep 0.5
rm -f "$SHOTS/target.kvl"
hold_key s
answer_requester "Speichern" "$SHOTS/target.kvl"
for _ in $(seq 50); do [ -s "$SHOTS/target.kvl" ] && break; sleep 0.1; done
# Two roads, then one emitter: tile 6/6, target cell 15/13, direction 6.
emitter=$(od -An -tx1 -j32 -N12 "$SHOTS/target.kvl" | tr -d ' \n')
[ "$emitter" = "0100060006000f000d000600" ] ||
  fail "the saved emitter record is '$emitter', not one emitter on 6/6 with target 15/13 going right"
echo "ok: an emitter gets its target, is confirmed in its dialog and saved"

hold_key Escape
expect_exit_zero "Escape after the dialog"

# --- 4. A message box at start-up, and other ways to end --------------------
# Without a start map the program says so before its first frame.
start_program "$NOMAP_DIR"
wait_window "^Fehler!\$" 20 >/dev/null || fail "no message box for the missing start map"
sleep 0.5
xdotool key Return
window_gone "^Fehler!\$" 10 || fail "the start-up message box did not close"
sleep 0.5
kill -TERM "$PID"
expect_exit_zero "message at start-up, then SIGTERM"

# The main window's close box.
start_program "$EMPTY_DIR"
"$WORK/close" "$WID" || fail "cannot send the close request"
expect_exit_zero "window close request"

# --- 5. No display ----------------------------------------------------------
(cd "$BIN_DIR" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER \
  timeout -k 2 20 ./koravel) >"$WORK/out.txt" 2>"$WORK/err.txt"
rc=$?
[ "$rc" != 0 ] && [ "$rc" != 124 ] || fail "without a display the exit code is $rc"
grep -q "no display available" "$WORK/err.txt" || fail "no message on standard error without a display"
echo "ok: refuses to start without a display"

echo "PASS"
