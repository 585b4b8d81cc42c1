#!/usr/bin/env bash
# The real program on a virtual X server, for what only the real window shows:
# drawing, relative pointer motion, GTK dialogs and the file chooser, the ways
# to end it (signals too, from any state), its data found from any folder, the
# window repainted under a message box, and the refusal to start without a
# display.
# Usage: start_and_quit.sh BINARY_DIR SOURCE_DIR
set -u

BIN_DIR=$(cd "${1:?binary dir}" && pwd)
SRC_DIR=$(cd "${2:?source dir}" && pwd)
TITLE="Koravel v0.1a by Brenmark"
DIALOG="^Emitter konfigurieren\$"

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
  [ -f "$LOG" ] && tail -n 40 "$LOG"
  exit 1
}

# Polls for a window by name (xdotool's own --sync dies when a window
# vanishes mid-search); prints the first match.
wait_window() {
  local w
  for _ in $(seq $(($2 * 10))); do
    w=$(xdotool search --name "$1" 2>/dev/null | head -n 1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

window_gone() {
  for _ in $(seq $(($2 * 10))); do
    [ -z "$(xdotool search --name "$1" 2>/dev/null)" ] && return 0
    sleep 0.1
  done
  return 1
}

# The exit status once the program has ended (not through $(...): a subshell
# cannot wait for our child).
expect_exit() {
  local rc=running
  for _ in $(seq 300); do
    if ! kill -0 "$PID" 2>/dev/null; then
      wait "$PID"
      rc=$?
      PID=""
      break
    fi
    sleep 0.1
  done
  [ "$rc" = "$1" ] || fail "$2: exit status $rc"
  echo "ok: $2"
}

# Starts the program in directory $1 (with the arguments after it) and waits
# for its window.
start_program() {
  local dir=$1
  shift
  (cd "$dir" && exec "$BIN_DIR/koravel" "$@") >"$LOG" 2>&1 &
  PID=$!
  WID=$(wait_window "^$TITLE\$" 60) || fail "the main window did not appear (in $1)"
  eval "$(xdotool getwindowgeometry --shell "$WID")"
  [ "$WIDTH" = 1024 ] && [ "$HEIGHT" = 768 ] || fail "client area is ${WIDTH}x${HEIGHT}, not 1024x768"
  WX=$X
  WY=$Y
  sleep 1.5  # a few frames
}

hold_key() { xdotool keydown "$1"; sleep 0.1; xdotool keyup "$1"; }  # long enough for any frame rate

# Sends signal $1 and expects the program gone within a second ($2 says when).
end_by_signal() {
  local start
  start=$(date +%s%N)
  disown "$PID"  # its end by a signal is expected: no job notice
  kill "-$1" "$PID"
  for _ in $(seq 100); do kill -0 "$PID" 2>/dev/null || break; sleep 0.01; done
  local ms=$((($(date +%s%N) - start) / 1000000))
  ! kill -0 "$PID" 2>/dev/null && [ "$ms" -le 1000 ] || fail "SIG$1 did not end the program within a second ($2)"
  PID=""
  echo "ok: SIG$1 ends the program in $ms ms ($2)"
}

shot() { import -window root "$1"; }

# Differing pixels of two screenshots in the 128 x 128 square of the window
# around (200, 200), where the scenario builds.
changed() {
  local geometry="128x128+$((WX + 136))+$((WY + 136))"
  convert "$1" -crop "$geometry" +repage "$WORK/a.png"
  convert "$2" -crop "$geometry" +repage "$WORK/b.png"
  compare -metric AE "$WORK/a.png" "$WORK/b.png" null: 2>&1 | awk '{ printf "%d\n", $1 }'
}

# Moves the program's pointer by DX DY (relative motion only: the program
# captures the mouse); clicks quickly, released long before the next frame.
move_by() { xdotool mousemove_relative -- "$1" "$2"; sleep 0.3; }
click() { xdotool click 1; sleep 0.3; }
click_by() { move_by "$1" "$2"; click; }

# Two releases 200 ms apart: a double click even when a loaded machine
# stretches frames to 100 ms. Sets DID to the dialog's window.
open_dialog() {
  for _ in 1 2 3; do
    xdotool mousedown 1; sleep 0.05; xdotool mouseup 1; sleep 0.15
    xdotool mousedown 1; sleep 0.05; xdotool mouseup 1
    if DID=$(wait_window "$DIALOG" 5); then
      sleep 1
      eval "$(xdotool getwindowgeometry --shell "$DID")"
      return 0
    fi
  done
  fail "a double click did not open the emitter dialog"
}

# Saves through the requester, typing $1 (Return), and waits for it to close
# unless $2 says it must still be open, asking to overwrite.
save_as() {
  hold_key s
  wait_window "Speichern" 20 >/dev/null || fail "the save requester did not appear"
  sleep 1
  xdotool key ctrl+a
  xdotool type --delay 20 "$1"; sleep 0.5; xdotool key Return
  [ -n "${2:-}" ] && return 0
  if ! window_gone "Speichern" 5; then
    xdotool key Return  # the completion popup may have taken the first one
    window_gone "Speichern" 10 || fail "the save requester did not close"
  fi
}
# A window's close box: what a window manager sends, WM_DELETE_WINDOW.
cat >"$WORK/close.c" <<'EOF'
#include <X11/Xlib.h>
#include <stdlib.h>
int main(int argc, char** argv) {
  Display* d = argc > 1 ? XOpenDisplay(NULL) : NULL;
  if (!d) return 2;
  XEvent e = {0};
  e.xclient.type = ClientMessage;
  e.xclient.window = (Window)strtoul(argv[1], NULL, 0);
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
  XCloseDisplay(d);
  return 0;
}
EOF
cc -o "$WORK/close" "$WORK/close.c" -lX11 || fail "cannot build the close-request helper"

# --- 1. A larger window: the toolbar at its bottom, the wheel, the minimap ---
start_program "$BIN_DIR"
xdotool windowmove "$WID" 0 0 windowsize "$WID" 1280 1000
sleep 1.5
shot "$WORK/large.png"
[ "$(convert "$WORK/large.png" -crop 700x50+0+945 +repage -format %k info:)" -gt 16 ] ||
  fail "the toolbar is not at the bottom of the larger window"
xdotool mousemove_relative -- -256 -214 click 4; sleep 0.5  # zooms in over the streets
hold_key m
shot "$SHOTS/zoomed.png"
[ "$(changed "$WORK/large.png" "$SHOTS/zoomed.png")" -gt 5000 ] || fail "the wheel did not zoom"
ground=$(convert "$SHOTS/zoomed.png" -format '%[pixel:p{1188,860}]' info:)
[ "$ground" = "srgb(40,88,40)" ] || fail "no minimap in the larger window's corner ($ground)"
hold_key Escape
expect_exit 0 "a larger window lays itself out anew; the wheel zooms; M shows the minimap"

# --- 2. Editing an empty map: a still scene whatever the shipped map holds --
EMPTY_DIR="$WORK/empty"
mkdir -p "$EMPTY_DIR"
ln -s "$BIN_DIR/Gfx" "$EMPTY_DIR/Gfx"
# Signature, 100 x 100 tiles, view 0,0, no roads, emitters or lights.
printf '\x01\x03\x05\x07\x09\x0b\x0d\x0f\x11\x13\x64\x00\x64\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
  >"$EMPTY_DIR/hightraffic"
start_program "$EMPTY_DIR"
# From the centre (512,384): the road tool (36,734), roads at (200,200) and
# (232,200), the emitter tool (421,734), an emitter on the first road; each
# screenshot with the pointer at (200,200), where its cursor box is.
click_by -476 350
move_by 164 -534
shot "$WORK/empty.png"
click
click_by 32 0
move_by -32 0
shot "$WORK/roads.png"
[ "$(changed "$WORK/empty.png" "$WORK/roads.png")" -gt 0 ] || fail "no road was placed"
click_by 221 534
click_by -221 -534
shot "$WORK/emitter.png"
[ "$(changed "$WORK/roads.png" "$WORK/emitter.png")" -gt 0 ] || fail "no emitter was placed"
echo "ok: relative motion and quick clicks place roads and an emitter"

# The dialog's window closed as a window manager would: cancelled.
open_dialog
shot "$SHOTS/dialog.png"
"$WORK/close" "$DID" || fail "cannot send the close request"
window_gone "$DIALOG" 10 || fail "closing the dialog's window did not end it"
sleep 0.5
# "Abbrechen" (280,335 100 x 30), clicked with the desktop's pointer.
open_dialog
xdotool mousemove $((X + 330)) $((Y + 350)) click 1
window_gone "$DIALOG" 10 || fail "Abbrechen did not end the dialog"
sleep 0.5
echo "ok: the dialog ends by its close request and by Abbrechen"

# The selected emitter gets the eastbound lane of the second road as its
# target (248,216 is cell 15/13), then is confirmed with "OK" (15,335 100 x 30).
click_by 48 16
xdotool mousemove_relative -- -48 -16; sleep 0.3
open_dialog
xdotool mousemove $((X + 65)) $((Y + 350)) click 1
window_gone "$DIALOG" 10 || fail "OK did not end the dialog"
sleep 0.5
echo "ok: OK ends the dialog"

# S: the file chooser, answered with a typed path; the map lands there.
rm -f "$SHOTS/saved.kvl"
save_as "$SHOTS/saved.kvl"
for _ in $(seq 50); do [ -s "$SHOTS/saved.kvl" ] && break; sleep 0.1; done
cmp -s -n 10 "$SHOTS/saved.kvl" "$EMPTY_DIR/hightraffic" || fail "no map with its signature was saved"
# Two roads, then one emitter: tile 6/6, target cell 15/13, direction 6.
emitter=$(od -An -tx1 -j32 -N12 "$SHOTS/saved.kvl" | tr -d ' \n')
[ "$emitter" = "0100060006000f000d000600" ] ||
  fail "the saved emitter record is '$emitter', not one emitter on 6/6 with target 15/13 going right"
echo "ok: the file chooser saves the map with the emitter and its target"

# The key went up while the requester had the keyboard: it must not count as
# still held, or the requester would come back.
sleep 1.5
[ -z "$(xdotool search --name "Speichern" 2>/dev/null)" ] || fail "the save requester came back"
"$WORK/close" "$WID" || fail "cannot send the close request"
expect_exit 0 "the main window's close request ends it"

# --- 3. Data from anywhere, signals, the window under a message box ---------
NOWHERE="$WORK/nowhere"
mkdir -p "$NOWHERE"
printf 'not a map' >"$WORK/bad.kvl"
start_program "$NOWHERE"
[ -z "$(xdotool search --name '^Fehler!$' 2>/dev/null)" ] || fail "started elsewhere, the start map was not found"
shot "$SHOTS/from-anywhere.png"
colours=$(convert "$SHOTS/from-anywhere.png" -crop "1024x64+$WX+$((WY + 704))" +repage -format %k info:)
[ "$colours" -gt 16 ] || fail "started elsewhere, the toolbar shows $colours colours: no images"
echo "ok: started in an empty folder, the program finds its images and start map"
end_by_signal HUP "frame loop"

start_program "$NOWHERE" "$WORK/bad.kvl"
wait_window '^Fehler!$' 30 >/dev/null || fail "no message box for a bad start map"
end_by_signal TERM "start-up message box open"

# Where the closed requester was, outside the message box that follows it,
# the (still) map is back.
start_program "$NOWHERE" "$EMPTY_DIR/hightraffic"
shot "$WORK/before.png"
hold_key o
CHOOSER=$(wait_window "ffnen" 20) || fail "the open requester did not appear"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$CHOOSER")"
chooser="${WIDTH}x${HEIGHT}+${X}+${Y}"
xdotool type --delay 20 "$WORK/bad.kvl"; sleep 0.5; xdotool key Return
BOX=$(wait_window '^Fehler!$' 10) || { xdotool key Return; BOX=$(wait_window '^Fehler!$' 10); } ||
  fail "no message box for the bad map"
sleep 1
shot "$SHOTS/repainted.png"
eval "$(xdotool getwindowgeometry --shell "$BOX")"
for f in "$WORK/before.png" "$SHOTS/repainted.png"; do
  convert "$f" -fill black -draw "rectangle $X,$Y $((X + WIDTH)),$((Y + HEIGHT))" -crop "$chooser" +repage \
    "$WORK/$(basename "$f" .png)-cut.png"
done
stale=$(compare -metric AE "$WORK/before-cut.png" "$WORK/repainted-cut.png" null: 2>&1 | awk '{ printf "%d\n", $1 }')
[ "$stale" -lt 50 ] || fail "$stale pixels of the closed requester are left on the window"
echo "ok: the window is repainted under the message box"
end_by_signal INT "message box after a requester"

# A copy of the program far from its data (unless an installed copy is found)
# says so in a message box and ends with status 1 once it is answered.
mkdir -p "$WORK/bin"
cp "$BIN_DIR/koravel" "$WORK/bin/"
(cd "$NOWHERE" && exec "$WORK/bin/koravel") >"$LOG" 2>&1 &
PID=$!
if wait_window '^Fehler!$' 60 >/dev/null; then
  xdotool key Return
  expect_exit 1 "without Gfx/ the program says so"
  grep -qF "$WORK/bin/" "$LOG" || fail "standard error does not say where it looked for Gfx/"
fi

# --- 4. Undo, redo, the quit question and the save requester's names -------
start_program "$NOWHERE" "$EMPTY_DIR/hightraffic"
click_by -476 350  # the road tool, then a road at (200,200)
move_by 164 -534
shot "$WORK/none.png"
click
shot "$WORK/road.png"
[ "$(changed "$WORK/none.png" "$WORK/road.png")" -gt 0 ] || fail "no road was placed"
xdotool key ctrl+z; sleep 0.5
shot "$WORK/undone.png"
[ "$(changed "$WORK/none.png" "$WORK/undone.png")" = 0 ] || fail "Ctrl+Z did not take the road away"
xdotool key ctrl+y; sleep 0.5
shot "$WORK/redone.png"
[ "$(changed "$WORK/road.png" "$WORK/redone.png")" = 0 ] || fail "Ctrl+Y did not bring the road back"
echo "ok: Ctrl+Z takes the road off the screen, Ctrl+Y brings it back"

QUESTION="^Karte ge"
hold_key Escape
wait_window "$QUESTION" 10 >/dev/null || fail "Escape after an edit did not ask"
shot "$SHOTS/question.png"
xdotool key alt+a
window_gone "$QUESTION" 10 || fail "Abbrechen did not close the question"
sleep 0.5
kill -0 "$PID" 2>/dev/null || fail "Abbrechen ended the program"
echo "ok: Escape after an edit asks, and Abbrechen goes back to the map"

save_as "$WORK/town"
for _ in $(seq 50); do [ -s "$WORK/town.kvl" ] && break; sleep 0.1; done
[ "$(stat -c %s "$WORK/town.kvl" 2>/dev/null)" = 30 ] && [ ! -e "$WORK/town" ] ||
  fail "saving as 'town' did not write town.kvl with the road"
xdotool key ctrl+z; sleep 0.5
save_as "$WORK/town" asks
sleep 2
# Without a window manager the toolkit's question gets no focus: find it, an
# unnamed window of dialog size, and answer Return (replace).
confirm=""
for w in $(xdotool search --onlyvisible --name '^$' 2>/dev/null); do
  eval "$(xdotool getwindowgeometry --shell "$w")"
  [ "$WIDTH" -gt 100 ] && [ "$WIDTH" -lt 900 ] && [ "$HEIGHT" -gt 60 ] && confirm=$w
done
[ -n "$confirm" ] && [ "$(stat -c %s "$WORK/town.kvl")" = 30 ] || fail "saving over town.kvl did not ask"
xdotool windowfocus --sync "$confirm"; xdotool key Return
window_gone "Speichern" 10 || fail "the save requester did not close after replacing"
for _ in $(seq 50); do [ "$(stat -c %s "$WORK/town.kvl")" = 24 ] && break; sleep 0.1; done
[ "$(stat -c %s "$WORK/town.kvl")" = 24 ] || fail "town.kvl was not replaced by the empty map"
echo "ok: a name without extension saves as .kvl, and saving over a file asks"

xdotool key ctrl+y; sleep 0.5
hold_key Escape
wait_window "$QUESTION" 10 >/dev/null || fail "Escape after redoing did not ask"
xdotool key alt+v
expect_exit_zero "Verwerfen ends the program"

# --- 5. No display ----------------------------------------------------------
(cd "$BIN_DIR" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER \
  timeout -k 2 20 ./koravel) >"$WORK/out.txt" 2>"$WORK/err.txt"
rc=$?
[ "$rc" = 1 ] || fail "without a display the exit status is $rc"
grep -q "no display available" "$WORK/err.txt" || fail "no message on standard error without a display"
echo "ok: refuses to start without a display"

echo "PASS"
