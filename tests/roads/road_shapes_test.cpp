#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "editor/roads.h"

namespace kv {
namespace {

using Codes = std::array<int, 4>;
using Cells = std::map<std::pair<int, int>, int>;

std::unique_ptr<World> MakeWorld() {
  auto w = std::make_unique<World>();
  for (int t = 1; t <= 11; ++t) w->RoadSprites[static_cast<size_t>(t)] = 100 + t;
  return w;
}

// Type of the road on a tile; 0 when there is none.
int TypeAt(const World& w, int x, int y) {
  for (const Road& r : w.RoadList)
    if (r.TileX == x && r.TileY == y) return r.Type;
  return 0;
}

Codes CodesAt(const World& w, int x, int y) {
  return {w.MoveMap.at(2 * x, 2 * y), w.MoveMap.at(2 * x + 1, 2 * y), w.MoveMap.at(2 * x, 2 * y + 1),
          w.MoveMap.at(2 * x + 1, 2 * y + 1)};
}

// Every non-zero ControlMap cell.
Cells ControlCells(const World& w) {
  Cells cells;
  for (int y = 0; y <= 200; ++y)
    for (int x = 0; x <= 200; ++x)
      if (w.ControlMap.at(x, y) != 0) cells[{x, y}] = w.ControlMap.at(x, y);
  return cells;
}

// A crossing at (50, 50) with one tile on each side.
void AddPlus(World& w) {
  for (auto [x, y] : std::vector<std::pair<int, int>>{{50, 49}, {49, 50}, {50, 50}, {51, 50}, {50, 51}})
    AddRoad(w, x, y, 1);
}

void AddLight(World& w, int cellX, int cellY, int state) {
  w.TrafficLightList.Last();
  TrafficLight& l = w.TrafficLightList.Add();
  l.CellX = cellX, l.CellY = cellY, l.Kind = l.State = state;
}

TEST(RoadShapes, SingleTilesLinesAndLoopsWithTheirLaneCodes) {
  auto w = MakeWorld();
  AddRoad(*w, 40, 40, 9);  // alone: keeps the chosen type
  for (auto [x, y, type] : {std::array{10, 10, 7}, {11, 10, 3}, {12, 10, 9}, {20, 20, 4}, {20, 21, 11},
                            {20, 22, 1}, {30, 30, 1}, {31, 30, 1}, {30, 31, 1}, {31, 31, 1}})
    AddRoad(*w, x, y, type);
  const struct {
    int x, y, type;
    Codes codes;
  } expected[] = {
      {40, 40, 9, {24, 48, 2, 68}}, {10, 10, 7, {24, 48, 26, 68}},  // line ends keep theirs
      {11, 10, 1, {4, 4, 6, 6}},    {12, 10, 9, {24, 48, 2, 68}},
      {20, 21, 2, {2, 8, 2, 8}},    {20, 20, 4, {4, 5, 5, 8}},
      {30, 30, 3, {5, 4, 2, 5}},    {31, 30, 4, {4, 5, 5, 8}},
      {30, 31, 5, {2, 5, 5, 6}},    {31, 31, 6, {5, 8, 6, 5}},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(TypeAt(*w, e.x, e.y), e.type) << e.x << "," << e.y;
    EXPECT_EQ(CodesAt(*w, e.x, e.y), e.codes) << e.x << "," << e.y;
  }
  EXPECT_EQ(w->RoadCount, 11);
  for (const Road& r : w->RoadList) {
    EXPECT_EQ(r.Sprite, static_cast<SpriteHandle>(100 + r.Type));
    EXPECT_EQ(std::pair(r.PixelX, r.PixelY), std::pair(32 * r.TileX, 32 * r.TileY));
  }
}

TEST(RoadShapes, JunctionsMarkTheirApproachesUntilADiagonalJoins) {
  const int x = 60, y = 60;
  const struct {
    int missingDx, missingDy;  // the arm left out
    int type;
    std::vector<std::pair<int, int>> markers;
    int typeWithDiagonal;
  } cases[] = {
      {9, 9, 7, {{2 * x, 2 * y - 1}, {2 * x + 2, 2 * y}, {2 * x - 1, 2 * y + 1}, {2 * x + 1, 2 * y + 2}}, 6},
      {0, -1, 8, {{2 * x - 1, 2 * y + 1}, {2 * x + 1, 2 * y + 2}}, 4},
      {-1, 0, 9, {{2 * x + 2, 2 * y}, {2 * x + 1, 2 * y + 2}}, 5},
      {0, 1, 10, {{2 * x, 2 * y - 1}, {2 * x + 2, 2 * y}}, 6},
      {1, 0, 11, {{2 * x, 2 * y - 1}, {2 * x - 1, 2 * y + 1}}, 6},
  };
  const int dx[] = {0, 0, -1, 1}, dy[] = {-1, 1, 0, 0};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    auto w = MakeWorld();
    AddRoad(*w, x, y, 2);
    for (int i = 0; i < 4; ++i)
      if (dx[i] != c.missingDx || dy[i] != c.missingDy) AddRoad(*w, x + dx[i], y + dy[i], 1);
    EXPECT_EQ(TypeAt(*w, x, y), c.type);
    Cells expected;
    for (auto cell : c.markers) expected[cell] = c.type;
    EXPECT_EQ(ControlCells(*w), expected);
    AddRoad(*w, x + 1, y + 1, 1);  // a diagonal
    EXPECT_EQ(TypeAt(*w, x, y), c.typeWithDiagonal);
    EXPECT_TRUE(ControlCells(*w).empty());
  }
}

TEST(RoadShapes, BorderTilesKeepTheirPlacedTypeAndMarkNothingOutside) {
  auto w = MakeWorld();
  for (int i = 40; i <= 42; ++i) {  // lines along every border
    AddRoad(*w, i, 0, 3);
    AddRoad(*w, i, 99, 3);
    AddRoad(*w, 0, i, 4);
    AddRoad(*w, 99, i, 4);
  }
  for (auto [x, y, type] : {std::array{0, 50, 7}, {0, 49, 5}, {0, 51, 5}, {1, 50, 8}, {1, 49, 8}})
    AddRoad(*w, x, y, type);
  for (const Road& r : w->RoadList) {
    if (r.TileX == 1) continue;
    const int placed = r.TileY == 50                                   ? 7
                       : r.TileX == 0 && (r.TileY == 49 || r.TileY == 51) ? 5
                       : r.TileY == 0 || r.TileY == 99                    ? 3
                                                                          : 4;
    EXPECT_EQ(r.Type, placed) << r.TileX << "," << r.TileY;
  }
  EXPECT_EQ(TypeAt(*w, 1, 50), 6);  // one step inside: re-shaped as usual
  EXPECT_EQ(TypeAt(*w, 1, 49), 4);
  EXPECT_EQ(ControlCells(*w), (Cells{{{0, 99}, 7}, {{2, 100}, 7}, {{1, 102}, 7}}));

  auto top = MakeWorld();
  AddRoad(*top, 20, 0, 7);
  EXPECT_EQ(ControlCells(*top), (Cells{{{42, 0}, 7}, {{39, 1}, 7}, {{41, 2}, 7}}));

  auto small = MakeWorld();  // a smaller map moves the border with it
  small->TileMapWidth = 40;
  for (int x = 38; x <= 41; ++x) AddRoad(*small, x, 10, 9);
  EXPECT_EQ(TypeAt(*small, 39, 10), 9);
  EXPECT_EQ(small->RoadCount, 3) << "tiles beyond the map width are refused";
}

TEST(RoadShapes, RefusedArgumentsChangeNothingAndAnOccupiedTileOnlyReshapes) {
  auto w = MakeWorld();
  AddRoad(*w, 10, 10, 1);
  AddRoad(*w, 11, 10, 1);
  w->RoadList.Reset();  // a pass that stopped at the start position
  AddRoad(*w, 12, 10, 1);
  std::vector<int> xs;
  for (const Road& r : w->RoadList) xs.push_back(r.TileX);
  EXPECT_EQ(xs, (std::vector<int>{10, 11, 12})) << "new roads go to the end";
  // Stale state that any re-shape or rebuild would repair.
  std::next(w->RoadList.begin())->Type = 5;
  AddLight(*w, 3, 3, 4);
  const std::vector<int32_t> codes(w->MoveMap.data(), w->MoveMap.data() + 201 * 201);
  for (auto [x, y, type] : {std::array{11, 10, 0}, {11, 10, 12}, {100, 5, 1}, {5, 100, 1}, {-1, 5, 1}, {5, -1, 1}})
    AddRoad(*w, x, y, type);
  AddRoads(*w, {});
  AddRoads(*w, {{5, 5, 0}, {100, 5, 1}, {-1, 3, 2}, {4, 4, 12}});
  EXPECT_EQ(w->RoadList.size(), 3u);
  EXPECT_EQ(TypeAt(*w, 11, 10), 5);
  EXPECT_EQ(w->ControlMap.at(3, 3), 0);
  EXPECT_EQ(std::vector<int32_t>(w->MoveMap.data(), w->MoveMap.data() + 201 * 201), codes);

  AddRoads(*w, {{11, 10, 7}});  // as AddRoad(11, 10, 7) would
  EXPECT_EQ(w->RoadCount, 3);
  EXPECT_EQ(w->RoadList.size(), 3u);
  EXPECT_EQ(TypeAt(*w, 11, 10), 1);
  EXPECT_EQ(w->ControlMap.at(3, 3), 1);
}

TEST(RoadControlMap, LightsOverwriteMarkersAndADeletedCrossingLeavesItsArmsAlone) {
  auto w = MakeWorld();
  AddLight(*w, 100, 99, 4);   // red, on the northern approach
  AddLight(*w, 102, 100, 2);  // yield sign
  AddLight(*w, 99, 101, 1);   // right of way
  AddLight(*w, 101, 102, 3);  // green
  AddLight(*w, 100, 100, 4);  // on the crossing itself
  AddLight(*w, 12, 12, 2);
  AddPlus(*w);
  Cells expected{{{100, 99}, 1}, {{102, 100}, 2}, {{100, 100}, 1}, {{12, 12}, 2}};
  EXPECT_EQ(ControlCells(*w), expected);
  w->ControlMap.Fill(9);
  RebuildControlMap(*w);
  EXPECT_EQ(ControlCells(*w), expected);

  std::map<std::pair<int, int>, std::pair<int, Codes>> before;
  for (const Road& r : w->RoadList) before[{r.TileX, r.TileY}] = {r.Type, CodesAt(*w, r.TileX, r.TileY)};
  DeleteRoad(*w, 50, 50);
  EXPECT_EQ(w->RoadCount, 4);
  EXPECT_EQ(w->RoadList.size(), 4u);
  EXPECT_EQ(w->TileMap.at(50, 50), 0);
  EXPECT_EQ(CodesAt(*w, 50, 50), (Codes{0, 0, 0, 0}));
  for (const Road& r : w->RoadList)
    EXPECT_EQ((std::pair{r.Type, CodesAt(*w, r.TileX, r.TileY)}), before[std::pair(r.TileX, r.TileY)]);
  expected.erase({101, 102});
  EXPECT_EQ(ControlCells(*w), expected);  // lights stay, markers go

  AddLight(*w, 7, 7, 2);
  DeleteRoad(*w, 50, 50);  // nothing there: not even a rebuild
  DeleteRoad(*w, 300, -2);
  EXPECT_EQ(w->RoadCount, 4);
  EXPECT_EQ(w->ControlMap.at(7, 7), 0);
}

}  // namespace
}  // namespace kv
