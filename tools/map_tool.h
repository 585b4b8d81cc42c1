// What the map-building tools share: refuse a map with an emitter that has no
// route, then save it and say what it holds.
#pragma once

#include <cstdio>

#include "mapfile/format.h"
#include "platform/files.h"
#include "world/world.h"

namespace kv {

// Exit status for the tool: 0 saved, 2 an emitter without a route or a failed save.
inline int SaveBuiltMap(const World& w, const char* tool, const char* path) {
  int withoutRoute = 0;
  for (const Emitter& e : w.EmitterList)
    if (e.RouteLength == 0) {
      std::fprintf(stderr, "%s: emitter on tile %d/%d has no route to %d/%d\n", tool, e.TileX, e.TileY,
                   e.TargetX, e.TargetY);
      ++withoutRoute;
    }
  if (withoutRoute) return 2;
  const std::optional<Bytes> bytes = SerializeMap(w);
  if (!bytes || !HostFiles().WriteFile(path, *bytes)) {
    std::fprintf(stderr, "%s: cannot save %s\n", tool, path);
    return 2;
  }
  std::printf("%s: %d roads, %d emitters, %d lights and signs\n", path, w.RoadCount(), w.EmitterCount(),
              w.LightCount());
  return 0;
}

}  // namespace kv
