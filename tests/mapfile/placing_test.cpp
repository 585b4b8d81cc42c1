#include <gtest/gtest.h>

#include "editor/placing.h"
#include "editor/roads.h"
#include "mapfile/map_fixtures.h"
#include "platform/headless_platform.h"

namespace kv {
namespace {

using namespace testing_maps;

class PlacingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 4; ++i) {
      w->EmitterSprites[i] = static_cast<SpriteHandle>(100 + i);
      w->LightSprites[i] = static_cast<RotSpriteHandle>(200 + i);
    }
  }
  std::unique_ptr<World> w = NewWorld();
  HeadlessPlatform p{DrawMode::CountOnly};
};

TEST_F(PlacingTest, EmitterOnARoadGetsDefaultsAndClearsTheTool) {
  PutRoadRecord(*w, 3, 4, 1);
  w->Tool = 12;
  AddEmitter(*w, 3, 4, 6, 30, 9);

  ASSERT_EQ(w->EmitterList.size(), 1u);
  EXPECT_EQ(w->EmitterCount, 1);
  EXPECT_EQ(w->Tool, 0);
  const Emitter& e = *w->EmitterList.begin();
  EXPECT_EQ(e.TileX, 3);
  EXPECT_EQ(e.TileY, 4);
  EXPECT_EQ(e.PixelX, 96);
  EXPECT_EQ(e.PixelY, 128);
  EXPECT_EQ(e.Direction, 6);
  EXPECT_EQ(e.TargetX, 30);
  EXPECT_EQ(e.TargetY, 9);
  EXPECT_EQ(e.Interval, 5000);
  EXPECT_EQ(e.IntervalTolerance, 4000);
  EXPECT_EQ(e.StartSpeed, 1.0f);
  EXPECT_EQ(e.StartSpeedTolerance, 2.0f);
  EXPECT_EQ(e.ColorRange, 17);
  EXPECT_EQ(e.SingleColor, 0);
  EXPECT_EQ(e.Selected, 0);
  EXPECT_EQ(e.LastSpawn, 0);
}

TEST_F(PlacingTest, EmitterIsRefusedOnGrassOnAnOccupiedTileAndWithABadDirection) {
  w->Tool = 13;
  AddEmitter(*w, 3, 4, 2, 0, 0);  // grass
  EXPECT_EQ(w->EmitterCount, 0);
  EXPECT_EQ(w->Tool, 13);

  PutRoadRecord(*w, 3, 4, 1);
  for (int bad : {0, 1, 3, 5, 7, 9, -6, 66}) AddEmitter(*w, 3, 4, bad, 0, 0);
  EXPECT_TRUE(w->EmitterList.empty());
  EXPECT_EQ(w->EmitterCount, 0);
  EXPECT_EQ(w->Tool, 13);

  AddEmitter(*w, 3, 4, 2, 0, 0);
  w->Tool = 15;
  AddEmitter(*w, 3, 4, 4, 7, 7);  // same tile, other direction
  ASSERT_EQ(w->EmitterList.size(), 1u);
  EXPECT_EQ(w->EmitterCount, 1);
  EXPECT_EQ(w->EmitterList.begin()->Direction, 2);
  EXPECT_EQ(w->Tool, 15);
}

TEST_F(PlacingTest, EmitterSpriteAndStartCellFollowTheDirection) {
  struct Case {
    int direction;
    SpriteHandle sprite;
    Cell start;
  };
  // On tile (10, 7): lane cells 20..21 by 14..15.
  const Case cases[] = {{6, 101, {20, 15}}, {2, 102, {20, 14}}, {8, 103, {21, 14}}, {4, 104, {20, 14}}};
  for (const Case& c : cases) {
    auto world = NewWorld();
    world->EmitterSprites = w->EmitterSprites;
    PutRoadRecord(*world, 10, 7, 1);
    AddEmitter(*world, 10, 7, c.direction, 0, 0);
    ASSERT_EQ(world->EmitterList.size(), 1u) << c.direction;
    const Emitter& e = *world->EmitterList.begin();
    EXPECT_EQ(e.Sprite, c.sprite) << c.direction;
    EXPECT_EQ(EmitterStartCell(e), c.start) << c.direction;
  }
}

TEST_F(PlacingTest, NewRecordsGoToTheEndWhereverTheListPositionIs) {
  for (int x = 1; x <= 3; ++x) PutRoadRecord(*w, x, 1, 1);
  AddEmitter(*w, 1, 1, 6, 0, 0);
  AddEmitter(*w, 2, 1, 6, 0, 0);
  w->EmitterList.Reset();  // position before the first record
  AddEmitter(*w, 3, 1, 6, 0, 0);
  std::vector<int> xs;
  for (const Emitter& e : w->EmitterList) xs.push_back(e.TileX);
  EXPECT_EQ(xs, (std::vector<int>{1, 2, 3}));

  AddTrafficLight(*w, p, 1, 1, 1);
  AddTrafficLight(*w, p, 2, 2, 2);
  w->TrafficLightList.Reset();
  AddTrafficLight(*w, p, 3, 3, 3);
  std::vector<int> cells;
  for (const TrafficLight& l : w->TrafficLightList) cells.push_back(l.CellX);
  EXPECT_EQ(cells, (std::vector<int>{1, 2, 3}));
}

TEST_F(PlacingTest, LightFieldsAndControlValueByKind) {
  const int expectedControl[] = {0, 0, 2, 0, 1};
  p.SetNow(4321);
  for (int kind = 1; kind <= 4; ++kind) {
    AddTrafficLight(*w, p, 10 * kind, 7, kind);
    const TrafficLight& l = *w->TrafficLightList.Last();
    EXPECT_EQ(l.CellX, 10 * kind);
    EXPECT_EQ(l.CellY, 7);
    EXPECT_EQ(l.PixelX, 160 * kind);
    EXPECT_EQ(l.PixelY, 112);
    EXPECT_EQ(l.Kind, kind);
    EXPECT_EQ(l.State, kind);
    EXPECT_EQ(l.Sprite, static_cast<RotSpriteHandle>(200 + kind));
    EXPECT_EQ(l.LastSwitch, 4321);
    EXPECT_EQ(w->ControlMap.at(10 * kind, 7), expectedControl[kind]) << kind;
  }
  EXPECT_EQ(w->LightCount, 4);
}

TEST_F(PlacingTest, LightIsRefusedOutsideTheGridOnAnOccupiedCellAndWithABadKind) {
  AddTrafficLight(*w, p, 200, 200, 4);
  AddTrafficLight(*w, p, 0, 0, 2);  // on grass is fine
  EXPECT_EQ(w->LightCount, 2);

  AddTrafficLight(*w, p, 201, 5, 4);
  AddTrafficLight(*w, p, 5, -1, 4);
  AddTrafficLight(*w, p, 200, 200, 3);  // occupied: stays red
  AddTrafficLight(*w, p, 6, 6, 0);
  AddTrafficLight(*w, p, 7, 7, 5);
  AddTrafficLight(*w, p, 8, 8, -4);
  EXPECT_EQ(w->LightCount, 2);
  EXPECT_EQ(w->TrafficLightList.size(), 2u);
  EXPECT_EQ(w->TrafficLightList.Last()->State, 2);
  EXPECT_EQ(w->ControlMap.at(200, 200), 1);
  EXPECT_EQ(w->ControlMap.at(6, 6), 0);
  EXPECT_EQ(w->ControlMap.at(7, 7), 0);
}

TEST_F(PlacingTest, LightIntervalComesFromTheLastConfirmedInterval) {
  AddTrafficLight(*w, p, 1, 1, 3);
  EXPECT_EQ(w->TrafficLightList.Last()->Interval, 15000);
  w->LastLightInterval = 8000;
  AddTrafficLight(*w, p, 2, 1, 3);
  EXPECT_EQ(w->TrafficLightList.Last()->Interval, 8000);
  EXPECT_EQ(w->TrafficLightList.begin()->Interval, 15000);  // earlier lights keep theirs
}

TEST_F(PlacingTest, EveryPlacedLightRestartsThePhaseOfAllLights) {
  p.SetNow(1000);
  AddTrafficLight(*w, p, 1, 1, 3);
  AddTrafficLight(*w, p, 2, 1, 1);  // signs restart too
  p.AdvanceMs(12000);
  AddTrafficLight(*w, p, 3, 1, 4);
  for (const TrafficLight& l : w->TrafficLightList) EXPECT_EQ(l.LastSwitch, 13000);

  // A refused light restarts nothing.
  p.AdvanceMs(500);
  AddTrafficLight(*w, p, 3, 1, 3);
  for (const TrafficLight& l : w->TrafficLightList) EXPECT_EQ(l.LastSwitch, 13000);

  // The clock wraps: the stored time is its 32-bit pattern.
  p.SetNow(0xFFFFFF00u);
  AddTrafficLight(*w, p, 4, 1, 3);
  EXPECT_EQ(w->TrafficLightList.begin()->LastSwitch, static_cast<int32_t>(0xFFFFFF00u));
}

// Needs the road network and the route search.
TEST_F(PlacingTest, EmitterFindsItsRouteAtOnce) {
  for (int x = 10; x <= 14; ++x) AddRoad(*w, x, 7, 1);
  // Eastbound lane: lower cells, row 15; from (20, 15) to (27, 15).
  AddEmitter(*w, 10, 7, 6, 27, 15);
  ASSERT_EQ(w->EmitterList.size(), 1u);
  const Emitter& e = *w->EmitterList.begin();
  ASSERT_EQ(e.RouteLength, 8);
  EXPECT_EQ(e.RouteX[1], 27);
  EXPECT_EQ(e.RouteY[1], 15);
  EXPECT_EQ(e.RouteX[8], 20);
  EXPECT_EQ(e.RouteY[8], 15);

  // Against the lane directions there is none.
  AddEmitter(*w, 14, 7, 4, 29, 15);
  EXPECT_EQ(w->EmitterList.Last()->RouteLength, 0);
}

}  // namespace
}  // namespace kv
