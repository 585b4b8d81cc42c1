// Cursor tile and cell under the pointer, and edge scrolling.
#pragma once

#include "platform/clock.h"
#include "platform/input.h"
#include "world/world.h"

namespace kv {

// Scroll checks lie more than this many milliseconds apart.
constexpr uint32_t kScrollIntervalMs = 40;

// Sets the cursor tile and cell from the pointer, then, at most once per
// scroll interval of the wall clock, moves the view one tile per axis
// towards a screen edge the pointer rests at. The view is not bounded, so
// the cursor values may leave the grids.
void UpdateView(World& w, Input& input, const Clock& wallClock);

}  // namespace kv
