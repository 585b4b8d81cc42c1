// Emitters: spawning cars on their start cells.
#pragma once

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

// One spawn check per emitter that has a route and a target.
void UpdateEmitters(World& w, Platform& p);
// Puts a new car on the emitter's start cell unless a car stands there; the
// car is appended to CarList.
void SpawnCar(World& w, Platform& p, Emitter& emitter);

}  // namespace kv
