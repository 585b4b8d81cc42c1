// The sprite tables, loaded from the images in Gfx.
#pragma once

#include <string>

#include "platform/canvas.h"
#include "world/world.h"

namespace kv {

// Loads every image the drawing uses from Gfx/ in `folder` (the working
// directory when "", else ending in '/'); an image that fails to load leaves
// its entry 0, which is simply not drawn.
void LoadSprites(World& w, Canvas& canvas, const std::string& folder = "");

}  // namespace kv
