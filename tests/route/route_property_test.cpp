// The fast search against the plain one: same result, same route, and the
// same working lists and ClosedMap left in the world.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "editor/roads.h"
#include "sim/route.h"
#include "support/random_network.h"
#include "support/reference_route.h"

namespace kv {
namespace {

using Nodes = std::vector<std::tuple<int, int, int, int, int, int>>;
using Outcome = std::tuple<int, std::vector<int16_t>, std::vector<int16_t>, Nodes, Nodes, Nodes, std::vector<int32_t>>;

Nodes Fields(const std::vector<PathNode>& nodes) {
  Nodes out;
  for (const PathNode& n : nodes) out.emplace_back(n.Parent, n.X, n.Y, n.F, n.G, n.H);
  return out;
}

struct Totals {
  int searches = 0, found = 0, improved = 0;
};

// Runs both searches from the same emitter contents and requires the same outcome.
void ExpectSameSearch(World& w, int sx, int sy, int tx, int ty, Totals& totals) {
  Outcome outcomes[2];
  reference::PlainSearchStats stats;
  for (int fast = 0; fast < 2; ++fast) {
    auto e = std::make_unique<Emitter>();
    for (int i = 1; i < kRouteCapacity; ++i) e->RouteX[static_cast<size_t>(i)] = static_cast<int16_t>(7 * i);
    const int n = fast ? FindRoute(w, sx, sy, tx, ty, *e) : reference::PlainFindRoute(w, sx, sy, tx, ty, *e, &stats);
    outcomes[fast] = {n, {e->RouteX.begin(), e->RouteX.end()}, {e->RouteY.begin(), e->RouteY.end()},
                      Fields(w.OpenList), Fields(w.ClosedList), Fields(w.PathList),
                      {w.ClosedMap.data(), w.ClosedMap.data() + 201 * 201}};
  }
  ASSERT_TRUE(outcomes[1] == outcomes[0]) << sx << "," << sy << " -> " << tx << "," << ty;
  ++totals.searches;
  totals.found += std::get<0>(outcomes[0]) > 0;
  totals.improved += stats.improvedNodes;
}

TEST(RouteProperty, SameAsThePlainSearchOnRoadNetworks) {
  Totals totals;
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    auto w = std::make_unique<World>();
    testing::NetworkOptions o;
    o.walks = 4 + static_cast<int>(seed % 12);
    o.maxWalkLength = 40;
    o.regionSize = 16 + static_cast<int>(seed % 30);
    AddRoads(*w, testing::RandomNetwork(rng, o));
    std::vector<std::pair<int, int>> cells;
    for (int y = 0; y <= 200; ++y)
      for (int x = 0; x <= 200; ++x)
        if (w->MoveMap.at(x, y) != 0) cells.emplace_back(x, y);
    std::uniform_int_distribution<size_t> any(0, cells.size() - 1);
    for (int i = 0; i < 25; ++i) {
      auto [sx, sy] = cells[any(rng)];
      auto [tx, ty] = cells[any(rng)];
      if (i % 10 == 9) tx = static_cast<int>(rng() % 201);  // maybe off the road
      ExpectSameSearch(*w, sx, sy, tx, ty, totals);
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_GT(totals.found, totals.searches / 10);
}

// Random direction codes, invalid ones included, over regions that touch the
// border: every rule of the search gets exercised, early closing of improved
// nodes included.
TEST(RouteProperty, SameAsThePlainSearchOnRandomCodes) {
  const int codes[] = {0, 2, 4, 6, 8, 5, 5, 5, 24, 26, 48, 68, 3, 22, 86};
  Totals totals;
  for (uint32_t seed = 1; seed <= 50; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto w = std::make_unique<World>();
    const int size = pick(5, 60);
    const int x0 = pick(0, 3) == 0 ? 0 : pick(0, 200 - size), y0 = pick(0, 3) == 0 ? 201 - size : pick(0, 200 - size);
    const int density = pick(1, 6);
    for (int y = y0; y < y0 + size && y <= 200; ++y)
      for (int x = x0; x < x0 + size && x <= 200; ++x) w->MoveMap.at(x, y) = pick(0, 9) < density ? 5 : codes[pick(0, 14)];
    for (int i = 0; i < 20; ++i) {
      const int sx = x0 + pick(0, size - 1), sy = y0 + pick(0, size - 1);
      const int tx = x0 + pick(0, size - 1), ty = y0 + pick(0, size - 1);
      ExpectSameSearch(*w, sx, std::min(sy, 200), tx, std::min(ty, 200), totals);
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_GT(totals.found, totals.searches / 5);
  EXPECT_GT(totals.improved, 20);
}

}  // namespace
}  // namespace kv
