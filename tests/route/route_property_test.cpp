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

using NodeFields = std::vector<std::tuple<int, int, int, int, int, int>>;

NodeFields Fields(const std::vector<PathNode>& nodes) {
  NodeFields out;
  for (const PathNode& n : nodes) out.emplace_back(n.Parent, n.X, n.Y, n.F, n.G, n.H);
  return out;
}

struct SearchOutcome {
  int result = 0;
  std::vector<int16_t> routeX, routeY;
  NodeFields open, closed, path;
  std::vector<int32_t> closedMap;
};

SearchOutcome Outcome(const World& w, const Emitter& e, int result) {
  SearchOutcome o;
  o.result = result;
  o.routeX.assign(e.RouteX.begin(), e.RouteX.end());
  o.routeY.assign(e.RouteY.begin(), e.RouteY.end());
  o.open = Fields(w.OpenList);
  o.closed = Fields(w.ClosedList);
  o.path = Fields(w.PathList);
  o.closedMap.assign(w.ClosedMap.data(), w.ClosedMap.data() + 201 * 201);
  return o;
}

struct Totals {
  int searches = 0, found = 0, improved = 0, tooLong = 0;
};

// Runs both searches on the same world from the same emitter contents and
// requires identical results, routes and working lists.
void ExpectSameSearch(World& w, int sx, int sy, int tx, int ty, Totals& totals) {
  auto plainEmitter = std::make_unique<Emitter>();
  auto fastEmitter = std::make_unique<Emitter>();
  for (int i = 1; i < kRouteCapacity; ++i) {
    plainEmitter->RouteX[static_cast<size_t>(i)] = fastEmitter->RouteX[static_cast<size_t>(i)] = static_cast<int16_t>(7 * i);
  }
  reference::PlainSearchStats stats;
  const int plain = reference::PlainFindRoute(w, sx, sy, tx, ty, *plainEmitter, &stats);
  const SearchOutcome expected = Outcome(w, *plainEmitter, plain);
  const int fast = FindRoute(w, sx, sy, tx, ty, *fastEmitter);
  const SearchOutcome actual = Outcome(w, *fastEmitter, fast);

  SCOPED_TRACE(::testing::Message() << sx << "," << sy << " -> " << tx << "," << ty);
  ASSERT_EQ(actual.result, expected.result);
  ASSERT_EQ(actual.routeX, expected.routeX);
  ASSERT_EQ(actual.routeY, expected.routeY);
  ASSERT_EQ(actual.closed, expected.closed);
  ASSERT_EQ(actual.open, expected.open);
  ASSERT_EQ(actual.path, expected.path);
  ASSERT_EQ(actual.closedMap, expected.closedMap);
  ++totals.searches;
  totals.found += plain > 0;
  totals.improved += stats.improvedNodes;
  totals.tooLong += plain == 0 && w.PathList.size() > 999;
}

std::vector<std::pair<int, int>> LaneCells(const World& w) {
  std::vector<std::pair<int, int>> cells;
  for (int y = 0; y <= 200; ++y)
    for (int x = 0; x <= 200; ++x)
      if (w.MoveMap.at(x, y) != 0) cells.emplace_back(x, y);
  return cells;
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
    const auto cells = LaneCells(*w);
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

// Random direction codes, including invalid ones, over regions that touch the
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
      for (int x = x0; x < x0 + size && x <= 200; ++x)
        w->MoveMap.at(x, y) = pick(0, 9) < density ? 5 : codes[pick(0, 14)];
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
