// Draws one frame from the world and presents it. Never changes the world.
#pragma once

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

// Draws back to front: grass, roads, emitters and targets, the overlay (route
// of the selected emitter, HUD, cursor box, control cells or lights for the
// sign and light tools), signs and lights, cars, toolbar, pointer and tool
// highlight; then presents. Sprites wholly off screen never reach the
// platform, so a frame costs the same however large the map is.
void DrawScene(const World& w, Platform& p);

}  // namespace kv
