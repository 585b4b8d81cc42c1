// Cursor tile and cell under the pointer, and edge scrolling.
#pragma once

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

void UpdateView(World& w, Platform& p);

}  // namespace kv
