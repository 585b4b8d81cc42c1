// The overview of the whole map above the toolbar (key M).
#pragma once

#include "platform/canvas.h"
#include "world/world.h"

namespace kv {

// Draws the minimap where the layout puts it: the ground of the 100 x 100
// map, roads and emitters as tile marks, lights and cars as cell marks, the
// part of the map the window shows as a rectangle, and a frame.
void DrawMinimap(const World& w, Canvas& canvas);

}  // namespace kv
