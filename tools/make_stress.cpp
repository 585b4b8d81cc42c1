// Builds the stress map, a city of streets over the whole map with lights at
// every inner crossing and hundreds of emitters, and saves it:
//
//   make-stress OUTPUT
//
// koravel-sim run OUTPUT --fill 5000 then drives it with 5000 cars.
#include <cstdio>

#include "stress_map.h"
#include "mapfile/mapfile.h"
#include "platform/headless_platform.h"

namespace kv {
namespace {

int Main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-stress OUTPUT\n");
    return 1;
  }
  World w;
  HeadlessPlatform p(DrawMode::CountOnly);
  stress::BuildStressWorld(w, p);
  int withoutRoute = 0;
  for (const Emitter& e : w.EmitterList)
    if (e.RouteLength == 0) {
      std::fprintf(stderr, "make-stress: emitter on tile %d/%d has no route to %d/%d\n", e.TileX, e.TileY,
                   e.TargetX, e.TargetY);
      ++withoutRoute;
    }
  if (withoutRoute) return 2;
  if (SaveMap(w, p, argv[1]) != SaveResult::Saved) {
    std::fprintf(stderr, "make-stress: cannot save %s\n", argv[1]);
    return 2;
  }
  std::printf("%s: %d roads, %d emitters, %d lights and signs\n", argv[1], w.RoadCount, w.EmitterCount,
              w.LightCount);
  return 0;
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) { return kv::Main(argc, argv); }
