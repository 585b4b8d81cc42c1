// Mouse and keyboard editing of the map.
#pragma once

#include <cstdint>

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

// Held state and last release time per mouse button (1 left, 2 right,
// 3 middle), and the double-click flags of the current frame.
struct MouseButtonTracker {
  bool Held[4] = {};
  int32_t LastRelease[4] = {};
  bool DoubleClick[4] = {};
};

void UpdateMouseButtons(MouseButtonTracker& mouse, Platform& p);
int MouseOver(Platform& p, int x, int y, int width, int height);
void HandleEditorInput(World& w, Platform& p, MouseButtonTracker& mouse);

}  // namespace kv
