// What the map-building tools share: refuse a map with an emitter that has no
// route, then save it and say what it holds.
#pragma once

#include <cstdio>

#include "app/world.h"
#include "mapfile/mapfile.h"
#include "platform/platform.h"

namespace kv {

// Exit status for the tool: 0 saved, 2 an emitter without a route or a failed save.
inline int SaveBuiltMap(World& w, Platform& p, const char* tool, const char* path) {
  int withoutRoute = 0;
  for (const Emitter& e : w.EmitterList)
    if (e.RouteLength == 0) {
      std::fprintf(stderr, "%s: emitter on tile %d/%d has no route to %d/%d\n", tool, e.TileX, e.TileY,
                   e.TargetX, e.TargetY);
      ++withoutRoute;
    }
  if (withoutRoute) return 2;
  if (SaveMap(w, p, path) != SaveResult::Saved) {
    std::fprintf(stderr, "%s: cannot save %s\n", tool, path);
    return 2;
  }
  std::printf("%s: %d roads, %d emitters, %d lights and signs\n", path, w.RoadCount, w.EmitterCount,
              w.LightCount);
  return 0;
}

}  // namespace kv
