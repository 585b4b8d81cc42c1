// Placing emitters, traffic lights and signs.
#pragma once

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

void AddEmitter(World& w, int tileX, int tileY, int direction, int targetX, int targetY);
void AddTrafficLight(World& w, Platform& p, int cellX, int cellY, int kind);

}  // namespace kv
