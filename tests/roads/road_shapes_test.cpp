#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "editor/roads.h"

namespace kv {
namespace {

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

std::array<int, 4> CodesAt(const World& w, int x, int y) {
  return {w.MoveMap.at(2 * x, 2 * y), w.MoveMap.at(2 * x + 1, 2 * y),
          w.MoveMap.at(2 * x, 2 * y + 1), w.MoveMap.at(2 * x + 1, 2 * y + 1)};
}

// Every non-zero ControlMap cell.
std::map<std::pair<int, int>, int> ControlCells(const World& w) {
  std::map<std::pair<int, int>, int> cells;
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
  l.CellX = cellX;
  l.CellY = cellY;
  l.Kind = state;
  l.State = state;
}

TEST(RoadShapes, SingleTilesAndStraightLines) {
  auto w = MakeWorld();
  AddRoad(*w, 40, 40, 9);
  EXPECT_EQ(TypeAt(*w, 40, 40), 9) << "an isolated tile keeps the chosen type";
  EXPECT_EQ(CodesAt(*w, 40, 40), (std::array<int, 4>{24, 48, 2, 68}));

  AddRoad(*w, 10, 10, 7);
  AddRoad(*w, 11, 10, 3);
  AddRoad(*w, 12, 10, 9);
  EXPECT_EQ(TypeAt(*w, 10, 10), 7);
  EXPECT_EQ(TypeAt(*w, 11, 10), 1);
  EXPECT_EQ(TypeAt(*w, 12, 10), 9);
  EXPECT_EQ(CodesAt(*w, 11, 10), (std::array<int, 4>{4, 4, 6, 6}));

  AddRoad(*w, 20, 20, 4);
  AddRoad(*w, 20, 21, 11);
  AddRoad(*w, 20, 22, 1);
  EXPECT_EQ(TypeAt(*w, 20, 20), 4);
  EXPECT_EQ(TypeAt(*w, 20, 21), 2);
  EXPECT_EQ(TypeAt(*w, 20, 22), 1);
  EXPECT_EQ(CodesAt(*w, 20, 21), (std::array<int, 4>{2, 8, 2, 8}));
  EXPECT_EQ(w->RoadCount, 7);

  // The sprite follows the type.
  for (const Road& r : w->RoadList) {
    EXPECT_EQ(r.Sprite, static_cast<SpriteHandle>(100 + r.Type));
    EXPECT_EQ(r.PixelX, 32 * r.TileX);
    EXPECT_EQ(r.PixelY, 32 * r.TileY);
  }
}

TEST(RoadShapes, BlockOfFourBecomesALoop) {
  auto w = MakeWorld();
  AddRoad(*w, 30, 30, 1);
  AddRoad(*w, 31, 30, 1);
  AddRoad(*w, 30, 31, 1);
  AddRoad(*w, 31, 31, 1);
  EXPECT_EQ(TypeAt(*w, 30, 30), 3);
  EXPECT_EQ(TypeAt(*w, 31, 30), 4);
  EXPECT_EQ(TypeAt(*w, 30, 31), 5);
  EXPECT_EQ(TypeAt(*w, 31, 31), 6);
  EXPECT_EQ(CodesAt(*w, 30, 30), (std::array<int, 4>{5, 4, 2, 5}));
  EXPECT_EQ(CodesAt(*w, 31, 30), (std::array<int, 4>{4, 5, 5, 8}));
  EXPECT_EQ(CodesAt(*w, 30, 31), (std::array<int, 4>{2, 5, 5, 6}));
  EXPECT_EQ(CodesAt(*w, 31, 31), (std::array<int, 4>{5, 8, 6, 5}));
  EXPECT_TRUE(ControlCells(*w).empty());
}

TEST(RoadShapes, CrossingAndItsMarkersVanishWithADiagonal) {
  auto w = MakeWorld();
  AddPlus(*w);
  EXPECT_EQ(TypeAt(*w, 50, 50), 7);
  EXPECT_EQ(CodesAt(*w, 50, 50), (std::array<int, 4>{24, 48, 26, 68}));
  const std::map<std::pair<int, int>, int> markers{
      {{100, 99}, 7}, {{102, 100}, 7}, {{99, 101}, 7}, {{101, 102}, 7}};
  EXPECT_EQ(ControlCells(*w), markers);

  AddRoad(*w, 51, 51, 1);
  EXPECT_EQ(TypeAt(*w, 50, 50), 6);
  EXPECT_TRUE(ControlCells(*w).empty());
}

TEST(RoadShapes, TJunctionsWithAndWithoutDiagonals) {
  struct Case {
    int missingDx, missingDy;  // the arm left out
    int type;
    std::vector<std::pair<int, int>> markers;
    int typeWithDiagonal;
  };
  const int x = 60, y = 60;
  const std::vector<Case> cases{
      {0, -1, 8, {{2 * x - 1, 2 * y + 1}, {2 * x + 1, 2 * y + 2}}, 4},
      {-1, 0, 9, {{2 * x + 2, 2 * y}, {2 * x + 1, 2 * y + 2}}, 5},
      {0, 1, 10, {{2 * x, 2 * y - 1}, {2 * x + 2, 2 * y}}, 6},
      {1, 0, 11, {{2 * x, 2 * y - 1}, {2 * x - 1, 2 * y + 1}}, 6},
  };
  const int dx[] = {0, 0, -1, 1}, dy[] = {-1, 1, 0, 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    auto w = MakeWorld();
    AddRoad(*w, x, y, 2);
    for (int i = 0; i < 4; ++i)
      if (dx[i] != c.missingDx || dy[i] != c.missingDy) AddRoad(*w, x + dx[i], y + dy[i], 1);
    EXPECT_EQ(TypeAt(*w, x, y), c.type);
    std::map<std::pair<int, int>, int> expected;
    for (auto cell : c.markers) expected[cell] = c.type;
    EXPECT_EQ(ControlCells(*w), expected);

    AddRoad(*w, x + 1, y + 1, 1);  // a diagonal
    EXPECT_EQ(TypeAt(*w, x, y), c.typeWithDiagonal);
    EXPECT_TRUE(ControlCells(*w).empty());
  }
}

TEST(RoadShapes, BorderTilesKeepTheirPlacedType) {
  auto w = MakeWorld();
  // Lines along every border row and column, and a full cross through (0, 50).
  for (int i = 40; i <= 42; ++i) {
    AddRoad(*w, i, 0, 3);
    AddRoad(*w, i, 99, 3);
    AddRoad(*w, 0, i, 4);
    AddRoad(*w, 99, i, 4);
  }
  AddRoad(*w, 0, 50, 7);
  AddRoad(*w, 0, 49, 5);
  AddRoad(*w, 0, 51, 5);
  AddRoad(*w, 1, 50, 8);
  AddRoad(*w, 1, 49, 8);
  for (const Road& r : w->RoadList) {
    if (r.TileX == 1) continue;
    SCOPED_TRACE(::testing::Message() << r.TileX << "," << r.TileY);
    const int placed = r.TileY == 50 ? 7 : (r.TileX == 0 && (r.TileY == 49 || r.TileY == 51)) ? 5
                       : (r.TileY == 0 || r.TileY == 99)                              ? 3
                                                                                      : 4;
    EXPECT_EQ(r.Type, placed);
  }
  // One step inside, tiles are re-shaped as usual.
  EXPECT_EQ(TypeAt(*w, 1, 50), 6);
  EXPECT_EQ(TypeAt(*w, 1, 49), 4);
  // The hand-placed crossing at column 0 marks north, east and south only.
  const std::map<std::pair<int, int>, int> markers{{{0, 99}, 7}, {{2, 100}, 7}, {{1, 102}, 7}};
  EXPECT_EQ(ControlCells(*w), markers);

  // A crossing on the top row has no northern marker.
  auto top = MakeWorld();
  AddRoad(*top, 20, 0, 7);
  EXPECT_EQ(ControlCells(*top), (std::map<std::pair<int, int>, int>{
                                    {{42, 0}, 7}, {{39, 1}, 7}, {{41, 2}, 7}}));

  // A smaller map moves the border with it.
  auto small = MakeWorld();
  small->TileMapWidth = 40;
  AddRoad(*small, 38, 10, 9);
  AddRoad(*small, 39, 10, 9);
  AddRoad(*small, 40, 10, 9);
  EXPECT_EQ(TypeAt(*small, 39, 10), 9);
  AddRoad(*small, 41, 10, 9);
  EXPECT_EQ(small->RoadCount, 3) << "tiles beyond the map width are refused";
}

TEST(RoadShapes, RefusedArgumentsChangeNothing) {
  auto w = MakeWorld();
  AddRoad(*w, 10, 10, 1);
  AddRoad(*w, 11, 10, 1);
  AddRoad(*w, 12, 10, 1);
  // Stale state that any re-shape or rebuild would repair.
  Road* middle = nullptr;
  for (Road& r : w->RoadList)
    if (r.TileX == 11) middle = &r;
  middle->Type = 5;
  AddLight(*w, 3, 3, 4);
  const auto tiles = std::vector<int32_t>(w->TileMap.data(), w->TileMap.data() + 101 * 101);
  const auto codes = std::vector<int32_t>(w->MoveMap.data(), w->MoveMap.data() + 201 * 201);

  const std::vector<std::array<int, 3>> refused{{11, 10, 0}, {11, 10, 12}, {100, 5, 1}, {5, 100, 1},
                                                {-1, 5, 1},  {5, -1, 1},   {30, 30, -4}};
  for (auto [x, y, type] : refused) {
    AddRoad(*w, x, y, type);
    AddRoads(*w, {{x, y, type}});
  }
  AddRoads(*w, {});
  EXPECT_EQ(w->RoadCount, 3);
  EXPECT_EQ(w->RoadList.size(), 3u);
  EXPECT_EQ(middle->Type, 5);
  EXPECT_EQ(w->ControlMap.at(3, 3), 0);
  EXPECT_EQ(std::vector<int32_t>(w->TileMap.data(), w->TileMap.data() + 101 * 101), tiles);
  EXPECT_EQ(std::vector<int32_t>(w->MoveMap.data(), w->MoveMap.data() + 201 * 201), codes);

  // A second road on an occupied tile adds nothing but still re-shapes and rebuilds.
  AddRoad(*w, 11, 10, 7);
  EXPECT_EQ(w->RoadCount, 3);
  EXPECT_EQ(w->RoadList.size(), 3u);
  EXPECT_EQ(middle->Type, 1);
  EXPECT_EQ(TypeAt(*w, 12, 10), 1) << "an end tile matches no rule";
  EXPECT_EQ(w->ControlMap.at(3, 3), 1);
}

TEST(RoadShapes, NewRoadsGoToTheEndOfTheList) {
  auto w = MakeWorld();
  AddRoad(*w, 5, 5, 1);
  AddRoad(*w, 7, 5, 1);
  w->RoadList.Reset();  // a pass that stopped at the start position
  AddRoad(*w, 9, 5, 1);
  w->RoadList.Reset();
  w->RoadList.Next();
  AddRoads(*w, {{11, 5, 1}, {13, 5, 1}});
  std::vector<int> xs;
  for (const Road& r : w->RoadList) xs.push_back(r.TileX);
  EXPECT_EQ(xs, (std::vector<int>{5, 7, 9, 11, 13}));
  EXPECT_EQ(w->TileMap.at(13, 5), 1);
}

TEST(RoadControlMap, LightsAndSignsOverwriteApproachMarkers) {
  auto w = MakeWorld();
  // Crossing centre (50, 50); approaches N (100, 99), E (102, 100), W (99, 101), S (101, 102).
  AddLight(*w, 100, 99, 4);  // red light
  AddLight(*w, 102, 100, 2);  // yield sign
  AddLight(*w, 99, 101, 1);  // right of way
  AddLight(*w, 101, 102, 3);  // green light
  AddLight(*w, 10, 10, 4);
  AddLight(*w, 12, 12, 2);
  AddPlus(*w);
  const std::map<std::pair<int, int>, int> expected{
      {{100, 99}, 1}, {{102, 100}, 2}, {{10, 10}, 1}, {{12, 12}, 2}};
  EXPECT_EQ(ControlCells(*w), expected);

  // The rebuild alone reproduces it after the grid was disturbed.
  w->ControlMap.Fill(9);
  RebuildControlMap(*w);
  EXPECT_EQ(ControlCells(*w), expected);
}

TEST(RoadDelete, RemovesTheTileButLeavesItsNeighboursAlone) {
  auto w = MakeWorld();
  AddPlus(*w);
  AddLight(*w, 100, 100, 4);  // on the crossing itself
  std::map<std::pair<int, int>, std::pair<int, std::array<int, 4>>> before;
  for (const Road& r : w->RoadList) before[{r.TileX, r.TileY}] = {r.Type, CodesAt(*w, r.TileX, r.TileY)};

  DeleteRoad(*w, 50, 50);
  EXPECT_EQ(w->RoadCount, 4);
  EXPECT_EQ(w->RoadList.size(), 4u);
  EXPECT_EQ(w->TileMap.at(50, 50), 0);
  EXPECT_EQ(CodesAt(*w, 50, 50), (std::array<int, 4>{0, 0, 0, 0}));
  for (const Road& r : w->RoadList) {
    const auto& old = before[std::make_pair(r.TileX, r.TileY)];
    EXPECT_EQ(r.Type, old.first);
    EXPECT_EQ(CodesAt(*w, r.TileX, r.TileY), old.second);
  }
  // Markers gone; the light on the removed tile stays and keeps its value.
  EXPECT_EQ(ControlCells(*w), (std::map<std::pair<int, int>, int>{{{100, 100}, 1}}));

  // Nothing there: no change, and no rebuild either.
  AddLight(*w, 7, 7, 2);
  DeleteRoad(*w, 50, 50);
  DeleteRoad(*w, 300, -2);
  EXPECT_EQ(w->RoadCount, 4);
  EXPECT_EQ(w->ControlMap.at(7, 7), 0);

  // The next AddRoad re-shapes the former arms: each has one neighbour left or none.
  AddRoad(*w, 50, 48, 1);
  EXPECT_EQ(TypeAt(*w, 50, 49), (before[std::make_pair(50, 49)].first));
  EXPECT_EQ(w->ControlMap.at(7, 7), 2);
}

}  // namespace
}  // namespace kv
