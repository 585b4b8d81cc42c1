#pragma once

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

void UpdateEmitters(World& w, Platform& p);
void SpawnCar(World& w, Platform& p, Emitter& emitter);

}  // namespace kv
