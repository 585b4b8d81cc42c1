// The shipped start map: every emitter has its route, and ten minutes of
// traffic keep flowing without a gridlock.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mapfile/mapfile.h"
#include "platform/headless_platform.h"
#include "sim/cars.h"
#include "sim/emitters.h"
#include "sim/lights.h"

namespace kv {
namespace {

TEST(StartMap, EveryEmitterHasARouteAndTrafficKeepsFlowing) {
  World w;
  HeadlessPlatform p(DrawMode::CountOnly, 1);
  const uint32_t start = 1000000;
  p.SetNow(start);
  ASSERT_EQ(LoadMap(w, p, std::string(KV_SOURCE_DIR) + "/hightraffic"), LoadResult::Loaded);
  ASSERT_GE(w.EmitterCount, 8);
  for (const Emitter& e : w.EmitterList) {
    EXPECT_GT(e.RouteLength, 1) << "emitter on tile " << e.TileX << "/" << e.TileY;
    EXPECT_NE(e.TargetX + e.TargetY, 0);
  }
  // The stored view shows the network on the opening screen.
  ASSERT_FALSE(w.RoadList.empty());
  for (const Road& r : w.RoadList) {
    EXPECT_GE(r.PixelX + w.ViewX, 0);
    EXPECT_LE(r.PixelX + w.ViewX + kTileSize, w.ScreenWidth);
    EXPECT_GE(r.PixelY + w.ViewY, 0);
    EXPECT_LE(r.PixelY + w.ViewY + kTileSize, w.ScreenHeight - 64);
  }

  constexpr int kFramesPerMinute = 60 * 60;
  constexpr int kMinutes = 10;
  int fewestCars = 1 << 30;
  std::vector<uint64_t> arrivedByMinute(kMinutes + 1, 0);
  for (int k = 1; k <= kMinutes * kFramesPerMinute; ++k) {
    p.SetNow(start + static_cast<uint32_t>(k * 1000 / 60));
    w.Stats.Frame = static_cast<uint64_t>(k);
    UpdateLights(w, p);
    UpdateEmitters(w, p);
    MoveCars(w, p);
    if (k > 2 * kFramesPerMinute) fewestCars = std::min(fewestCars, w.CarCount);
    if (k % kFramesPerMinute == 0) arrivedByMinute[k / kFramesPerMinute] = w.Stats.Arrived;
  }
  EXPECT_GE(fewestCars, 40);
  for (int m = kMinutes - 4; m <= kMinutes; ++m)
    EXPECT_GT(arrivedByMinute[m], arrivedByMinute[m - 1]) << "no car arrived in minute " << m;
  EXPECT_EQ(w.Stats.LeftGrid, 0u);
}

}  // namespace
}  // namespace kv
