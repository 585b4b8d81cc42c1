// Traffic lights: green and red phases of equal length.
#pragma once

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

// Switches every light whose phase has run out; signs never change.
void UpdateLights(World& w, Platform& p);

}  // namespace kv
