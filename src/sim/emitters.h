// Emitters: spawning cars on their start cells.
#pragma once

#include "platform/clock.h"
#include "sim/random.h"
#include "world/world.h"

namespace kv {

// One spawn check per emitter that has a route and a target.
void UpdateEmitters(World& w, const Clock& clock, Random& random);
// Puts a new car on the emitter's start cell unless a car stands there; the
// car is appended to CarList.
void SpawnCar(World& w, Random& random, Emitter& emitter);

}  // namespace kv
