// The road network: tile shapes from the neighbours, lane codes, junction
// markers and lights in ControlMap, refusals, deleting, placing many roads at
// once, and placing emitters, lights and signs.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "random_network.h"
#include "support/builders.h"

namespace kv {
namespace {

using Codes = std::array<int, 4>;
using Cells = std::map<std::pair<int, int>, int>;

void Add(World& w, int x, int y, int type) { AddRoad(w, x, y, static_cast<RoadType>(type)); }

int TypeAt(const World& w, int x, int y) {  // 0 where there is no road
  for (const Road& r : w.RoadList)
    if (r.TileX == x && r.TileY == y) return static_cast<int>(r.Type);
  return 0;
}

Codes CodesAt(const World& w, int x, int y) {
  auto at = [&](int cx, int cy) { return static_cast<int>(w.MoveMap.at(cx, cy)); };
  return {at(2 * x, 2 * y), at(2 * x + 1, 2 * y), at(2 * x, 2 * y + 1), at(2 * x + 1, 2 * y + 1)};
}

Cells ControlCells(const World& w) {  // every non-zero ControlMap cell
  Cells cells;
  for (int y = 0; y <= 200; ++y)
    for (int x = 0; x <= 200; ++x)
      if (w.ControlMap.at(x, y) != 0) cells[{x, y}] = w.ControlMap.at(x, y);
  return cells;
}

template <class G>
auto AllCells(const G& g) {
  return std::vector(g.data(), g.data() + G::kSide * G::kSide);
}

TEST(Roads, ShapesFromNeighboursWithTheirLaneCodesSpritesAndPixels) {
  auto w = test::NewWorld();
  test::FakeSprites(*w);
  const struct {
    int x, y, placed, type;
    Codes codes;
  } cases[] = {
      {40, 40, 9, 9, {24, 48, 2, 68}},  // alone: as placed
      {44, 40, 8, 8, {4, 48, 26, 68}},    {48, 40, 10, 10, {24, 48, 26, 6}}, {52, 40, 11, 11, {24, 8, 26, 68}},
      {10, 10, 7, 7, {24, 48, 26, 68}},  // line ends: as placed
      {11, 10, 3, 1, {4, 4, 6, 6}},       {12, 10, 9, 9, {24, 48, 2, 68}},   {20, 20, 4, 4, {4, 5, 5, 8}},
      {20, 21, 11, 2, {2, 8, 2, 8}},      {20, 22, 1, 1, {4, 4, 6, 6}},      {30, 30, 1, 3, {5, 4, 2, 5}},
      {31, 30, 1, 4, {4, 5, 5, 8}},       {30, 31, 1, 5, {2, 5, 5, 6}},      {31, 31, 1, 6, {5, 8, 6, 5}},
  };
  for (const auto& c : cases) Add(*w, c.x, c.y, c.placed);
  for (const auto& c : cases) {
    EXPECT_EQ(TypeAt(*w, c.x, c.y), c.type) << c.x << "," << c.y;
    EXPECT_EQ(CodesAt(*w, c.x, c.y), c.codes) << c.x << "," << c.y;
  }
  for (const Road& r : w->RoadList) {
    EXPECT_EQ(r.Sprite, w->RoadSprites[Index(r.Type)]);
    EXPECT_EQ(std::pair(r.PixelX, r.PixelY), std::pair(32 * r.TileX, 32 * r.TileY));
  }
}

TEST(Roads, JunctionsMarkTheirApproachesUntilADiagonalJoins) {
  const int x = 60, y = 60;
  const std::pair<int, int> north{2 * x, 2 * y - 1}, east{2 * x + 2, 2 * y}, west{2 * x - 1, 2 * y + 1},
      south{2 * x + 1, 2 * y + 2};
  const struct {
    int missing, type;  // the arm left out, by its index in dx/dy
    std::vector<std::pair<int, int>> markers;
    int typeWithDiagonal;
  } cases[] = {{4, 7, {north, east, west, south}, 6},
               {0, 8, {west, south}, 4},
               {2, 9, {east, south}, 5},
               {1, 10, {north, east}, 6},
               {3, 11, {north, west}, 6}};
  const int dx[] = {0, 0, -1, 1}, dy[] = {-1, 1, 0, 0};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    auto w = test::NewWorld();
    Add(*w, x, y, 2);
    for (int i = 0; i < 4; ++i)
      if (i != c.missing) Add(*w, x + dx[i], y + dy[i], 1);
    EXPECT_EQ(TypeAt(*w, x, y), c.type);
    Cells expected;
    for (auto cell : c.markers) expected[cell] = c.type;
    EXPECT_EQ(ControlCells(*w), expected);
    Add(*w, x + 1, y + 1, 1);  // a diagonal
    EXPECT_EQ(TypeAt(*w, x, y), c.typeWithDiagonal);
    EXPECT_TRUE(ControlCells(*w).empty());
  }
}

TEST(Roads, BorderTilesKeepTheirPlacedTypeAndMarkNothingOutside) {
  auto w = test::NewWorld();
  for (int i = 40; i <= 42; ++i) Add(*w, i, 0, 3), Add(*w, i, 99, 3), Add(*w, 0, i, 4), Add(*w, 99, i, 4);
  for (auto [x, y, type] : {std::array{0, 50, 7}, {0, 49, 5}, {0, 51, 5}, {1, 50, 8}, {1, 49, 8}}) Add(*w, x, y, type);
  for (const Road& r : w->RoadList) {
    const int placed = r.TileX == 1 ? 8 : r.TileY == 50 ? 7 : r.TileY == 49 || r.TileY == 51 ? 5 : r.TileX % 99 ? 3 : 4;
    if (r.TileX != 1) {
      EXPECT_EQ(static_cast<int>(r.Type), placed) << r.TileX << "," << r.TileY;
    }
  }
  EXPECT_EQ(TypeAt(*w, 1, 50), 6);  // one step inside: re-shaped as usual
  EXPECT_EQ(TypeAt(*w, 1, 49), 4);
  EXPECT_EQ(ControlCells(*w), (Cells{{{0, 99}, 7}, {{2, 100}, 7}, {{1, 102}, 7}}));

  auto top = test::NewWorld();
  Add(*top, 20, 0, 7);
  EXPECT_EQ(ControlCells(*top), (Cells{{{42, 0}, 7}, {{39, 1}, 7}, {{41, 2}, 7}}));

  auto small = test::NewWorld();  // a smaller map moves the border with it
  small->TileMapWidth = 40;
  for (int x = 38; x <= 41; ++x) Add(*small, x, 10, 9);
  EXPECT_EQ(TypeAt(*small, 39, 10), 9);
  EXPECT_EQ(small->RoadCount(), 3) << "tiles beyond the map width are refused";
}

TEST(Roads, RefusedArgumentsChangeNothingAndAnOccupiedTileOnlyReshapes) {
  auto w = test::NewWorld();
  Add(*w, 10, 10, 1);
  Add(*w, 11, 10, 1);
  w->RoadList.Reset();  // a pass that stopped at the start position
  Add(*w, 12, 10, 1);
  EXPECT_EQ(std::next(w->RoadList.begin(), 2)->TileX, 12) << "new roads go to the end";
  // Stale state that any re-shape or rebuild would repair.
  std::next(w->RoadList.begin())->Type = RoadType::CurveNE;
  test::PutLight(*w, {3, 3}, LightState::Red, 1000, 0);
  w->ControlMap.at(3, 3) = 0;
  const auto codes = AllCells(w->MoveMap);
  for (auto [x, y, type] : {std::array{11, 10, 0}, {11, 10, 12}, {100, 5, 1}, {5, 100, 1}, {-1, 5, 1}, {5, -1, 1}})
    Add(*w, x, y, type);
  AddRoads(*w, {});
  AddRoads(*w, {{5, 5, RoadType::None}, {100, 5, RoadType::StraightWE}, {-1, 3, RoadType::StraightNS}});
  EXPECT_EQ(w->RoadCount(), 3);
  EXPECT_EQ(TypeAt(*w, 11, 10), 5);
  EXPECT_EQ(w->ControlMap.at(3, 3), 0);
  EXPECT_TRUE(AllCells(w->MoveMap) == codes);

  Add(*w, 11, 10, 7);  // taken: no second record, but the network is re-shaped
  EXPECT_EQ(w->RoadCount(), 3);
  EXPECT_EQ(TypeAt(*w, 11, 10), 1);
  EXPECT_EQ(w->ControlMap.at(3, 3), control::kStop);
}

TEST(Roads, LightsReplaceMarkersAndADeletedCrossingLeavesItsArmsAlone) {
  auto w = test::NewWorld();
  const std::pair<Cell, LightState> lights[] = {{{100, 99}, LightState::Red},        {{102, 100}, LightState::Yield},
                                                {{99, 101}, LightState::RightOfWay}, {{101, 102}, LightState::Green},
                                                {{100, 100}, LightState::Red},       {{12, 12}, LightState::Yield}};
  for (auto [cell, state] : lights) test::PutLight(*w, cell, state, 1000, 0);
  test::Crossing(*w, 50, 50);  // its markers lie under the first four
  const Cells expected{{{100, 99}, 1}, {{102, 100}, 2}, {{100, 100}, 1}, {{12, 12}, 2}};
  EXPECT_EQ(ControlCells(*w), expected);
  w->ControlMap.Fill(9);
  RebuildControlMap(*w);
  EXPECT_EQ(ControlCells(*w), expected);

  DeleteRoad(*w, 50, 50);
  EXPECT_FALSE(HasRoad(*w, 50, 50));
  EXPECT_EQ(w->TileMap.at(50, 50), 0);
  EXPECT_EQ(CodesAt(*w, 50, 50), (Codes{0, 0, 0, 0}));
  EXPECT_EQ(std::pair(TypeAt(*w, 51, 50), CodesAt(*w, 51, 50)), std::pair(1, Codes{4, 4, 6, 6}));  // not re-shaped
  EXPECT_EQ(w->RoadCount(), 4);
  EXPECT_EQ(ControlCells(*w), expected);  // lights stay, markers go

  w->ControlMap.at(12, 12) = 0;
  DeleteRoad(*w, 50, 50);  // nothing there: not even a rebuild
  DeleteRoad(*w, 300, -2);
  EXPECT_EQ(w->RoadCount(), 4);
  EXPECT_EQ(w->ControlMap.at(12, 12), 0);
}

// A world that may already hold roads, lights on some of their junction
// approaches, and a smaller map.
std::unique_ptr<World> StartingWorld(uint32_t seed) {
  auto w = test::NewWorld();
  test::FakeSprites(*w);
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  if (pick(0, 4) == 0) w->TileMapWidth = pick(30, 99);
  if (pick(0, 4) == 0) w->TileMapHeight = pick(30, 99);
  if (seed % 3 == 0) return w;
  AddRoads(*w, test::RandomNetwork(rng, {.walks = 3}));
  for (auto [cell, marker] : ControlCells(*w))
    if (pick(0, 1) == 0) test::PutLight(*w, {cell.first, cell.second}, static_cast<LightState>(pick(1, 4)), 1000, 0);
  return w;
}

TEST(Roads, ManyAtOnceEndExactlyAsAddingOneByOne) {
  std::set<RoadType> typesSeen;
  int markersReplacedByLights = 0;
  for (uint32_t seed = 1; seed <= 100; ++seed) {
    SCOPED_TRACE(seed);
    auto single = StartingWorld(seed), batch = StartingWorld(seed);
    std::mt19937 rng(seed * 7919);
    std::vector<RoadPlacement> roads = test::RandomNetwork(
        rng,
        {.walks = 2 + static_cast<int>(seed % 8), .invalidSpecs = 4, .regionSize = 12 + static_cast<int>(seed % 20)});
    for (size_t i = 0; i < roads.size(); i += 9)  // some tiles twice, with other types
      roads.push_back({roads[i].tileX, roads[i].tileY, static_cast<RoadType>(1 + Index(roads[i].type) % 11)});
    for (const RoadPlacement& r : roads) AddRoad(*single, r.tileX, r.tileY, r.type);
    AddRoads(*batch, roads);

    std::vector<std::tuple<int, int, int, int, SpriteHandle, RoadType>> records[2];
    for (int i = 0; i < 2; ++i)
      for (const Road& r : (i ? *batch : *single).RoadList)
        records[i].emplace_back(r.TileX, r.TileY, r.PixelX, r.PixelY, r.Sprite, r.Type);
    ASSERT_TRUE(records[0] == records[1]);
    ASSERT_TRUE(AllCells(batch->TileMap) == AllCells(single->TileMap));
    ASSERT_TRUE(AllCells(batch->MoveMap) == AllCells(single->MoveMap));
    ASSERT_TRUE(AllCells(batch->ControlMap) == AllCells(single->ControlMap));
    for (const Road& r : single->RoadList) typesSeen.insert(r.Type);
    for (const TrafficLight& l : single->TrafficLightList)
      markersReplacedByLights += single->ControlMap.at(l.CellX, l.CellY) < 7;
  }
  EXPECT_EQ(typesSeen.size(), 11u);  // every shape, and lights on approaches, were covered
  EXPECT_GT(markersReplacedByLights, 10);
}

TEST(Placing, EmitterOnARoadGetsItsSettingsSpriteAndRouteOrIsRefused) {
  // On tile (10, 7): lane cells 20..21 by 14..15; westbound row 14, eastbound row 15.
  const struct {
    Direction direction;
    size_t sprite;
    Cell start, target;
    int routeLength;
  } cases[] = {{Direction::Right, 1, {20, 15}, {24, 15}, 5},
               {Direction::Down, 2, {20, 14}, {16, 14}, 5},
               {Direction::Up, 3, {21, 14}, {16, 14}, 6},
               {Direction::Left, 4, {20, 14}, {17, 14}, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.direction));
    auto w = test::NewWorld();
    test::FakeSprites(*w);
    w->Tool = Tool::EmitterDown;
    AddEmitter(*w, 10, 7, c.direction, c.target.x, c.target.y);  // grass (bad directions: the map-file tests)
    test::RoadRow(*w, 7, 6, 14);
    EXPECT_TRUE(w->EmitterList.empty());
    EXPECT_EQ(w->Tool, Tool::EmitterDown);

    AddEmitter(*w, 10, 7, c.direction, c.target.x, c.target.y);
    EXPECT_EQ(w->Tool, Tool::None);
    w->Tool = Tool::EmitterLeft;
    AddEmitter(*w, 10, 7, Direction::Up, 0, 0);  // the tile is taken
    ASSERT_EQ(w->EmitterCount(), 1);
    EXPECT_EQ(w->Tool, Tool::EmitterLeft);
    const Emitter& e = *w->EmitterList.begin();
    EXPECT_EQ(std::pair(e.Direction, e.Sprite), std::pair(c.direction, w->EmitterSprites[c.sprite]));
    EXPECT_EQ((std::vector<int>{e.TileX, e.TileY, e.PixelX, e.PixelY, e.TargetX, e.TargetY, e.Selected, e.HasSpawned}),
              (std::vector<int>{10, 7, 320, 224, c.target.x, c.target.y, 0, 0}));
    EXPECT_EQ((std::vector<float>{float(e.Interval), float(e.IntervalTolerance), e.StartSpeed, e.StartSpeedTolerance,
                                  float(e.ColorRange), float(e.SingleColor)}),
              (std::vector<float>{kDefaultInterval, kDefaultIntervalTolerance, kDefaultStartSpeed,
                                  kDefaultStartSpeedTolerance, kDefaultColorRange, kDefaultSingleColor}));
    ASSERT_EQ(e.RouteLength, c.routeLength);  // searched at once, from the start cell
    EXPECT_EQ(Cell(e.RouteX[static_cast<size_t>(e.RouteLength)], e.RouteY[static_cast<size_t>(e.RouteLength)]),
              c.start);
  }
}

TEST(Placing, LightsGetTheirFieldsControlValueAndIntervalAndRestartAllPhases) {
  auto w = test::NewWorld();
  test::FakeSprites(*w);
  ManualClock clock{4321};
  for (int kind = 1; kind <= 4; ++kind) {
    w->TrafficLightList.Reset();  // appending must not depend on the list position
    AddTrafficLight(*w, clock, 10 * kind, 7, static_cast<LightState>(kind));
  }
  const int expectedControl[] = {0, control::kNone, control::kYield, control::kNone, control::kStop};
  int kind = 0;
  for (const TrafficLight& l : w->TrafficLightList) {
    ++kind;
    EXPECT_EQ((std::vector<int>{l.CellX, l.CellY, l.PixelX, l.PixelY, static_cast<int>(l.Kind),
                                static_cast<int>(l.State), l.LastSwitch, l.Interval}),
              (std::vector<int>{10 * kind, 7, 160 * kind, 112, kind, kind, 4321, kDefaultLightInterval}));
    EXPECT_EQ(l.Sprite, w->LightSprites[static_cast<size_t>(kind)]);
    EXPECT_EQ(w->ControlMap.at(10 * kind, 7), expectedControl[kind]) << kind;
  }
  clock.Advance(500);
  AddTrafficLight(*w, clock, 5, -1, LightState::Red);  // other refusals: the map-file tests
  AddTrafficLight(*w, clock, 40, 7, LightState::Green);  // taken: stays red
  EXPECT_EQ(w->LightCount(), 4);
  EXPECT_EQ(w->ControlMap.at(40, 7), control::kStop);
  for (const TrafficLight& l : w->TrafficLightList) EXPECT_EQ(l.LastSwitch, 4321) << "refusals restart nothing";

  w->LastLightInterval = 8000;  // as confirmed in a light's dialog
  clock.Set(0xFFFFFF00u);       // the stored time is the clock's 32-bit pattern
  AddTrafficLight(*w, clock, 3, 1, LightState::Red);
  EXPECT_EQ(w->TrafficLightList.begin()->Interval, kDefaultLightInterval);  // earlier lights keep theirs
  EXPECT_EQ(w->TrafficLightList.Last()->Interval, 8000);
  for (const TrafficLight& l : w->TrafficLightList) EXPECT_EQ(l.LastSwitch, static_cast<int32_t>(0xFFFFFF00u));
}

}  // namespace
}  // namespace kv
