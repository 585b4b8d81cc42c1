// Draws one frame from the world and presents it. Never changes the world.
#pragma once

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

void DrawScene(const World& w, Platform& p);

}  // namespace kv
