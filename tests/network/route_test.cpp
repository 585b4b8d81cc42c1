// The route search against the plain-list search: the same result and the
// same emitter arrays, so every route is as drivable as the plain one's.
#include "network/route.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "random_network.h"
#include "support/builders.h"
#include "support/reference_route.h"

namespace kv {
namespace {

using Points = std::vector<std::pair<int, int>>;

Points RouteOf(const Emitter& e, int n) {  // index 1 (target) to index n (start)
  Points p;
  for (size_t i = 1; i <= static_cast<size_t>(n); ++i) p.emplace_back(e.RouteX[i], e.RouteY[i]);
  return p;
}

// An emitter whose route arrays hold a pattern that a search must not touch
// beyond the route it writes, nor at all when it finds none.
std::unique_ptr<Emitter> EmitterWithPattern() {
  auto e = std::make_unique<Emitter>();
  for (size_t i = 1; i < kRouteCapacity; ++i)
    e->RouteX[i] = static_cast<int16_t>(-i), e->RouteY[i] = static_cast<int16_t>(i);
  return e;
}

struct Totals {
  int searches = 0, found = 0, improved = 0;
};

// Both searches from the same emitter contents; gives the route length.
int ExpectSameAsPlain(const World& w, int sx, int sy, int tx, int ty, Totals* totals = nullptr) {
  auto fast = EmitterWithPattern(), plain = EmitterWithPattern();
  reference::PlainSearch search;
  const int n = FindRoute(w, sx, sy, tx, ty, *fast);
  EXPECT_EQ(n, search.Find(w, sx, sy, tx, ty, *plain)) << sx << "," << sy << " -> " << tx << "," << ty;
  EXPECT_TRUE(fast->RouteX == plain->RouteX && fast->RouteY == plain->RouteY)
      << sx << "," << sy << " -> " << tx << "," << ty;
  if (totals) totals->searches += 1, totals->found += n > 0, totals->improved += search.improvedNodes;
  return n;
}

TEST(Route, AlongALaneUpToTheBorderAndNeverAgainstIt) {
  auto w = test::NewWorld();
  test::RoadRow(*w, 10, 0, 14);  // westbound row 20, eastbound row 21
  test::RoadRow(*w, 0, 20, 24);  // along the top border: westbound on row 0
  const struct {
    int sx, sy, tx, ty, length;
  } cases[] = {
      {22, 21, 23, 21, 2}, {8, 20, 0, 20, 9},     // to the border column
      {42, 1, 46, 1, 5},                          // one row in from the border
      {22, 21, 22, 21, 0},                        // start is the target
      {22, 21, 22, 30, 0}, {22, 30, 22, 21, 0},   // target, start on grass
      {-1, 21, 22, 21, 0}, {22, 21, 201, 21, 0},  // outside the grid
      {26, 21, 22, 21, 0},                        // only against the lane
      {22, 21, 22, 20, 0},                        // across to the other lane
      {46, 0, 42, 0, 0},                          // a start on the border row is never expanded
      {22, 21, 46, 0, 0},                         // another road altogether
  };
  for (const auto& c : cases) EXPECT_EQ(ExpectSameAsPlain(*w, c.sx, c.sy, c.tx, c.ty), c.length);
}

// A cheaper way to an open node closes it without expanding it, as in the
// plain search; in this maze that cuts the target off.
TEST(Route, ANodeReachedMoreCheaplyIsClosedUnexpanded) {
  const char* maze[] = {"..#....", ".#.#.##", ".......", "...##..", ".#....."};
  auto w = test::NewWorld();
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      if (maze[y][x] == '.') w->MoveMap.at(50 + x, 50 + y) = LaneCode::Any;
  EXPECT_EQ(ExpectSameAsPlain(*w, 52, 54, 55, 50), 0);
}

TEST(Route, NeverLongerThanTheEmitterHolds) {
  // A serpentine of long rows, linked alternately at their east and west ends.
  auto w = test::NewWorld();
  std::vector<RoadPlacement> roads;
  for (int y = 2; y <= 14; y += 2) {
    for (int x = 2; x <= 97; ++x) roads.push_back({x, y, RoadType::StraightWE});
    if (y < 14) roads.push_back({y % 4 == 2 ? 97 : 2, y + 1, RoadType::StraightNS});
  }
  AddRoads(*w, roads);
  const int sx = 4, sy = 5;  // eastbound, at the dead end of the first row

  // The whole chain, longer than 999 points, as the plain search reads it back.
  reference::PlainSearch plain;
  auto e = EmitterWithPattern();
  EXPECT_EQ(plain.Find(*w, sx, sy, 2 * 97 + 1, 2 * 14 + 1, *e), 0);
  Points chain;
  for (int i = static_cast<int>(plain.closed.size()) - 1; i >= 0; i = plain.closed[static_cast<size_t>(i)].parent)
    chain.emplace_back(plain.closed[static_cast<size_t>(i)].x, plain.closed[static_cast<size_t>(i)].y);
  ASSERT_GT(chain.size(), 1000u);
  EXPECT_EQ(ExpectSameAsPlain(*w, sx, sy, 2 * 97 + 1, 2 * 14 + 1), 0);

  // Targets along that chain give routes of exactly 999 and 1000 points.
  const auto fits = chain[chain.size() - 999], tooLong = chain[chain.size() - 1000];
  EXPECT_EQ(ExpectSameAsPlain(*w, sx, sy, fits.first, fits.second), 999);
  ASSERT_EQ(FindRoute(*w, sx, sy, fits.first, fits.second, *e), 999);
  const Points route = RouteOf(*e, 999);
  EXPECT_EQ(FindRoute(*w, sx, sy, tooLong.first, tooLong.second, *e), 0);
  EXPECT_EQ(RouteOf(*e, 999), route) << "a failed search leaves the last route in place";
}

// Road networks, and random lane codes (invalid ones included) over regions
// that touch the border, so that every rule of the search gets exercised,
// early closing of improved nodes included.
TEST(Route, SameAsThePlainSearchOnRandomNetworksAndCodes) {
  const int codes[] = {0, 2, 4, 6, 8, 5, 5, 5, 24, 26, 48, 68, 3, 22, 86};
  Totals totals;
  for (uint32_t seed = 1; seed <= 90; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto w = test::NewWorld();
    int x0 = 0, y0 = 0, size = 201;
    if (seed <= 40) {
      AddRoads(*w, test::RandomNetwork(rng, {.walks = 4 + static_cast<int>(seed % 12),
                                             .maxWalkLength = 40,
                                             .regionSize = 16 + static_cast<int>(seed % 30)}));
    } else {
      size = pick(5, 60);
      x0 = pick(0, 3) == 0 ? 0 : pick(0, 200 - size), y0 = pick(0, 3) == 0 ? 201 - size : pick(0, 200 - size);
      const int density = pick(1, 6);
      for (int y = y0; y < y0 + size && y <= 200; ++y)
        for (int x = x0; x < x0 + size && x <= 200; ++x)
          w->MoveMap.at(x, y) = static_cast<LaneCode>(pick(0, 9) < density ? 5 : codes[pick(0, 14)]);
    }
    std::vector<std::pair<int, int>> cells;  // start and target on lane cells, mostly
    for (int y = y0; y < y0 + size && y <= 200; ++y)
      for (int x = x0; x < x0 + size && x <= 200; ++x)
        if (w->MoveMap.at(x, y) != LaneCode::None) cells.emplace_back(x, y);
    for (int i = 0; i < 20 && !cells.empty(); ++i) {
      auto [sx, sy] = cells[static_cast<size_t>(pick(0, static_cast<int>(cells.size()) - 1))];
      auto [tx, ty] = cells[static_cast<size_t>(pick(0, static_cast<int>(cells.size()) - 1))];
      if (i % 10 == 9) tx = pick(0, 200);  // maybe off the road
      ExpectSameAsPlain(*w, sx, sy, tx, ty, &totals);
      if (HasFailure()) return;
    }
  }
  EXPECT_GT(totals.found, totals.searches / 5);
  EXPECT_GT(totals.improved, 20);
}

}  // namespace
}  // namespace kv
