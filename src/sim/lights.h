#pragma once

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

void UpdateLights(World& w, Platform& p);

}  // namespace kv
