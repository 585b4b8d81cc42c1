// Traffic lights: green and red phases of equal length.
#pragma once

#include "platform/clock.h"
#include "world/world.h"

namespace kv {

// Switches every light whose phase has run out; signs never change.
void UpdateLights(World& w, const Clock& clock);

}  // namespace kv
