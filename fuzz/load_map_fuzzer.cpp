// Feeds arbitrary bytes to the map format as a map file, lets the map run for
// a while and writes it again: nothing a file holds may crash the program or
// leave the world inconsistent, and what the program writes it reads back as
// the same map.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "mapfile/format.h"
#include "platform/clock.h"
#include "sim/random.h"
#include "sim/step.h"

namespace {

// Long steps and a clock far from 0 so that emitters spawn at once and again,
// and lights switch, within the few hundred steps.
constexpr int kSteps = 300;
constexpr uint32_t kStepMs = 50;
constexpr uint32_t kStartMs = 20000;

void Check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const kv::ParsedMap parsed = kv::ParseMap({data, size});
  auto w = std::make_unique<kv::World>();
  kv::ManualClock clock(kStartMs);
  kv::SeededRandom random(1);
  if (parsed.ok()) kv::PlaceMap(*w, parsed.map, clock);
  Check(w->TileMapWidth >= 0 && w->TileMapWidth <= 100);
  Check(w->TileMapHeight >= 0 && w->TileMapHeight <= 100);

  for (int step = 0; step < kSteps; ++step) {
    clock.Advance(kStepMs);
    kv::Step(*w, clock, random);
  }
  for (const kv::Road& r : w->RoadList) Check(w->TileMap.get(r.TileX, r.TileY) == 1);

  const std::optional<kv::Bytes> written = kv::SerializeMap(*w);
  Check(written.has_value());
  const kv::ParsedMap reread = kv::ParseMap(*written);
  Check(reread.ok());
  auto again = std::make_unique<kv::World>();
  kv::PlaceMap(*again, reread.map, clock);
  Check(kv::SerializeMap(*again) == written);
  return 0;
}
