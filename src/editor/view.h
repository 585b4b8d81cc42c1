// What the user sees of the map: the cursor tile and cell under the pointer,
// scrolling (screen edges and arrow keys) within the view's bounds, zooming,
// Home, and the minimap's clicks.
#pragma once

#include "platform/clock.h"
#include "platform/input.h"
#include "world/world.h"

namespace kv {

// Scroll checks lie more than this many milliseconds apart.
constexpr uint32_t kScrollIntervalMs = 40;

// Sets the cursor tile and cell from the pointer, then, at most once per
// scroll interval of the wall clock, moves the view one step per axis towards
// a screen edge the pointer rests at or an arrow key held: 32 screen pixels,
// a tile at 100 %. A step that would carry the map's edge past the middle of
// the map area is not taken, so the map never leaves the window; from a view
// outside the bounds (a map file may hold one) steps towards the map are.
void UpdateView(World& w, Input& input, const Clock& wallClock);

// Keys and the left button as held in the last frame: zooming and the
// minimap act once per press, and only a press on the minimap drags on it.
struct ViewKeys {
  bool ZoomIn = false, ZoomOut = false, Minimap = false, Stats = false, Heat = false, Left = false;
};

// The wheel zooms about the pointer (the world point under it stays there),
// Ctrl with + or - (main keyboard or keypad) about the middle of the map
// area, Ctrl+0 back to 100 %; Home centres the map; M shows and hides the
// minimap, F2 the statistics panel, H the congestion map; the left button
// pressed on the minimap moves the view there for as long as it is held. Views that these set lie within the bounds.
void HandleViewInput(World& w, Input& input, ViewKeys& held);

// The view offsets at which the map's edges reach the middle of the map area
// at the current zoom and screen size, kept within the map file's 16-bit
// fields.
struct ViewBounds {
  int32_t loX, hiX, loY, hiY;
};
ViewBounds BoundsOf(const World& w);

// True while the minimap has the pointer, or a drag begun on it goes on: the
// map under it is not edited.
bool MinimapHasPointer(const World& w, int x, int y);

}  // namespace kv
