// Draws one frame from the world and presents it. Never changes the world.
#pragma once

#include "platform/canvas.h"
#include "render/insight.h"
#include "world/world.h"

namespace kv {

// Draws back to front: grass, roads, emitters and targets, the overlay (route
// of the selected emitter, HUD, cursor box, control cells or lights for the
// sign and light tools), signs and lights, cars, toolbar, the pointer at
// (pointerX, pointerY) and the tool highlight; then presents. Sprites wholly
// off screen never reach the canvas, so a frame costs the same however large
// the map is. `tints`, when given, colour lane cells over the roads and under
// everything else, as the congestion overlay does.
void DrawScene(const World& w, Canvas& canvas, int pointerX, int pointerY, const CellTints* tints = nullptr);

}  // namespace kv
