// Builds the stress map, a city of streets over the whole map with lights at
// every inner crossing and hundreds of emitters, and saves it:
//
//   make-stress OUTPUT
//
// koravel-sim run OUTPUT --fill 5000 then drives it with 5000 cars.
#include <cstdio>
#include <memory>

#include "stress_map.h"
#include "map_tool.h"
#include "platform/clock.h"

namespace kv {
namespace {

int Main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-stress OUTPUT\n");
    return 1;
  }
  auto w = std::make_unique<World>();
  stress::BuildStressWorld(*w, ManualClock());
  return SaveBuiltMap(*w, "make-stress", argv[1]);
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) { return kv::Main(argc, argv); }
