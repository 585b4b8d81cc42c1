#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "editor/roads.h"
#include "sim/route.h"

namespace kv {
namespace {

using Points = std::vector<std::pair<int, int>>;

// The route as stored: index 1 (target) to index n (start).
Points RouteOf(const Emitter& e, int n) {
  Points p;
  for (int i = 1; i <= n; ++i) p.emplace_back(e.RouteX[static_cast<size_t>(i)], e.RouteY[static_cast<size_t>(i)]);
  return p;
}

// An emitter whose route arrays hold a recognisable pattern.
std::unique_ptr<Emitter> EmitterWithPattern() {
  auto e = std::make_unique<Emitter>();
  for (int i = 1; i < kRouteCapacity; ++i)
    e->RouteX[static_cast<size_t>(i)] = static_cast<int16_t>(-i), e->RouteY[static_cast<size_t>(i)] = static_cast<int16_t>(i);
  return e;
}

bool KeepsPattern(const Emitter& e) {
  if (e.RouteX[0] != 0 || e.RouteY[0] != 0) return false;
  for (int i = 1; i < kRouteCapacity; ++i)
    if (e.RouteX[static_cast<size_t>(i)] != -i || e.RouteY[static_cast<size_t>(i)] != i) return false;
  return true;
}

// Each step of a route goes to a 4-neighbour whose code admits the move.
void ExpectDrivable(const World& w, const Points& route) {
  for (size_t i = route.size() - 1; i > 0; --i) {
    const int dx = route[i - 1].first - route[i].first, dy = route[i - 1].second - route[i].second;
    ASSERT_EQ(std::abs(dx) + std::abs(dy), 1) << "step " << i;
    const int dir = dx == 1 ? 6 : dx == -1 ? 4 : dy == 1 ? 2 : 8;
    EXPECT_TRUE(AdmitsDirection(w.MoveMap.at(route[i - 1].first, route[i - 1].second), dir)) << "step " << i;
  }
}

TEST(Route, AlongALaneUpToTheBorderAndNeverAgainstIt) {
  auto w = std::make_unique<World>();
  for (int x = 0; x <= 14; ++x) AddRoad(*w, x, 10, 1);  // westbound row 20, eastbound row 21
  for (int x = 20; x <= 24; ++x) AddRoad(*w, x, 0, 1);  // along the top border: westbound on row 0
  auto e = EmitterWithPattern();
  ASSERT_EQ(FindRoute(*w, 22, 21, 23, 21, *e), 2);  // neighbouring cells
  EXPECT_EQ(RouteOf(*e, 2), (Points{{23, 21}, {22, 21}}));
  EXPECT_EQ(e->RouteX[0], 0);
  EXPECT_EQ(e->RouteX[3], -3) << "nothing written beyond the route";
  ASSERT_EQ(FindRoute(*w, 8, 20, 0, 20, *e), 9);  // may end on the border column
  EXPECT_EQ(RouteOf(*e, 9).front(), (std::pair<int, int>{0, 20}));
  ExpectDrivable(*w, RouteOf(*e, 9));

  e = EmitterWithPattern();
  const std::array<int, 4> none[] = {
      {22, 21, 22, 21},   // start is the target
      {22, 21, 22, 30},   // target on code 0
      {22, 30, 22, 21},   // start on code 0
      {-1, 21, 22, 21},   // outside the grid
      {22, 21, 201, 21},  //
      {26, 21, 22, 21},   // only against the lane direction
      {22, 21, 22, 20},   // across to the other lane
      {46, 0, 42, 0},     // a start on the border row is never expanded
      {22, 21, 46, 0},    // another road altogether
  };
  for (auto [sx, sy, tx, ty] : none)
    EXPECT_EQ(FindRoute(*w, sx, sy, tx, ty, *e), 0) << sx << "," << sy << " -> " << tx << "," << ty;
  EXPECT_TRUE(KeepsPattern(*e));
  EXPECT_EQ(FindRoute(*w, 42, 1, 46, 1, *e), 5);  // one row of cells further in
}

TEST(Route, ClosesHorizontalDistanceFirst) {
  auto w = std::make_unique<World>();
  for (int y = 40; y <= 60; ++y)
    for (int x = 40; x <= 60; ++x) w->MoveMap.at(x, y) = 5;
  auto e = EmitterWithPattern();
  ASSERT_EQ(FindRoute(*w, 50, 50, 55, 53, *e), 9);
  EXPECT_EQ(RouteOf(*e, 9), (Points{{55, 53}, {55, 52}, {55, 51}, {55, 50}, {54, 50},
                                    {53, 50}, {52, 50}, {51, 50}, {50, 50}}));
  ASSERT_EQ(FindRoute(*w, 50, 50, 48, 47, *e), 6);
  EXPECT_EQ(RouteOf(*e, 6), (Points{{48, 47}, {48, 48}, {48, 49}, {48, 50}, {49, 50}, {50, 50}}));
}

// Every arm of every junction type reaches every other arm, keeping right.
TEST(Route, EveryTurnThroughEveryJunction) {
  struct Arm {
    int dx, dy, inX, inY, outX, outY;  // lane cells driving in and out, within the end tile
  };
  const Arm arms[] = {{0, -1, 0, 1, 1, 0}, {1, 0, 0, 0, 1, 1}, {0, 1, 1, 0, 0, 1}, {-1, 0, 0, 1, 0, 0}};
  const std::pair<int, int> junctions[] = {{7, 0b1111}, {8, 0b1110}, {9, 0b0111}, {10, 0b1011}, {11, 0b1101}};
  const int cx = 50, cy = 50, reach = 3;
  for (auto [type, armBits] : junctions) {
    SCOPED_TRACE(type);
    auto w = std::make_unique<World>();
    AddRoad(*w, cx, cy, 1);
    for (int a = 0; a < 4; ++a)
      for (int k = 1; k <= reach && (armBits >> a & 1); ++k)
        AddRoad(*w, cx + k * arms[a].dx, cy + k * arms[a].dy, arms[a].dx != 0 ? 1 : 2);
    ASSERT_EQ(w->RoadList.begin()->Type, type);
    for (int from = 0; from < 4; ++from)
      for (int to = 0; to < 4; ++to) {
        if (from == to || !(armBits >> from & 1) || !(armBits >> to & 1)) continue;
        const Arm &f = arms[from], &t = arms[to];
        const int sx = 2 * (cx + reach * f.dx) + f.inX, sy = 2 * (cy + reach * f.dy) + f.inY;
        const int tx = 2 * (cx + reach * t.dx) + t.outX, ty = 2 * (cy + reach * t.dy) + t.outY;
        auto e = std::make_unique<Emitter>();
        const int n = FindRoute(*w, sx, sy, tx, ty, *e);
        EXPECT_GT(n, 0) << from << " -> " << to;
        if (n > 0) ExpectDrivable(*w, RouteOf(*e, n));
      }
  }
}

TEST(Route, NeverLongerThanTheEmitterHolds) {
  // A serpentine of long rows, linked alternately at their east and west ends.
  auto w = std::make_unique<World>();
  std::vector<RoadPlacement> roads;
  for (int row = 0; row < 7; ++row) {
    const int y = 2 + 2 * row;
    for (int x = 2; x <= 97; ++x) roads.push_back({x, y, 1});
    if (row < 6) roads.push_back({row % 2 == 0 ? 97 : 2, y + 1, 2});
  }
  AddRoads(*w, roads);
  const int sx = 4, sy = 5;  // eastbound, at the dead end of the first row

  // The whole chain, longer than 999 points, as the search reads it back.
  auto e = EmitterWithPattern();
  EXPECT_EQ(FindRoute(*w, sx, sy, 2 * 97 + 1, 2 * 14 + 1, *e), 0);
  EXPECT_TRUE(KeepsPattern(*e));
  const std::vector<PathNode> chain = w->PathList;
  ASSERT_GT(chain.size(), 1000u);

  // Targets along that chain give routes of exactly 999 and 1000 points.
  const PathNode& fits = chain[chain.size() - 999];
  const PathNode& tooLong = chain[chain.size() - 1000];
  ASSERT_EQ(FindRoute(*w, sx, sy, fits.X, fits.Y, *e), 999);
  const Points route = RouteOf(*e, 999);
  ExpectDrivable(*w, route);
  EXPECT_EQ(route.back(), (std::pair<int, int>{sx, sy}));
  EXPECT_EQ(FindRoute(*w, sx, sy, tooLong.X, tooLong.Y, *e), 0);
  EXPECT_EQ(RouteOf(*e, 999), route) << "a failed search leaves the last route in place";
  EXPECT_EQ(e->RouteX[0], 0);
}

}  // namespace
}  // namespace kv
