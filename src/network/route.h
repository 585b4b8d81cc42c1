// Route search over the lane cells, stored in the emitter.
#pragma once

#include "world/world.h"

namespace kv {

// Number of route points written to emitter.RouteX/RouteY (index 1 = target,
// index n = start); 0 when there is no route, and the arrays then keep what
// they held. A route that would not fit (more than 999 points) counts as none.
int FindRoute(const World& w, int startX, int startY, int targetX, int targetY, Emitter& emitter);

}  // namespace kv
