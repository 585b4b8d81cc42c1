#include <gtest/gtest.h>

#include "editor/placing.h"
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

TEST_F(PlacingTest, EmitterOnARoadGetsDefaultsSpriteAndStartCellAndClearsTheTool) {
  // On tile (10, 7): lane cells 20..21 by 14..15.
  const struct {
    int direction;
    SpriteHandle sprite;
    Cell start;
  } cases[] = {{6, 101, {20, 15}}, {2, 102, {20, 14}}, {8, 103, {21, 14}}, {4, 104, {20, 14}}};
  for (const auto& c : cases) {
    auto world = NewWorld();
    world->EmitterSprites = w->EmitterSprites;
    world->Tool = 12;
    PutRoadRecord(*world, 10, 7, 1);
    AddEmitter(*world, 10, 7, c.direction, 30, 9);
    ASSERT_EQ(world->EmitterList.size(), 1u) << c.direction;
    const Emitter& e = *world->EmitterList.begin();
    EXPECT_EQ(e.Sprite, c.sprite) << c.direction;
    EXPECT_EQ(EmitterStartCell(e), c.start) << c.direction;
    EXPECT_EQ((std::vector<int>{world->EmitterCount, world->Tool, e.TileX, e.TileY, e.PixelX, e.PixelY,
                                e.Direction, e.TargetX, e.TargetY, e.Interval, e.IntervalTolerance,
                                e.ColorRange, e.SingleColor, e.Selected, e.LastSpawn}),
              (std::vector<int>{1, 0, 10, 7, 320, 224, c.direction, 30, 9, 5000, 4000, 17, 0, 0, 0}));
    EXPECT_EQ(std::pair(e.StartSpeed, e.StartSpeedTolerance), std::pair(1.0f, 2.0f));
  }
}

TEST_F(PlacingTest, EmitterIsRefusedOnGrassOnATakenTileAndWithABadDirection) {
  w->Tool = 13;
  AddEmitter(*w, 3, 4, 2, 0, 0);  // grass
  PutRoadRecord(*w, 3, 4, 1);
  for (int bad : {0, 1, 3, 5, 7, 9, -6, 66}) AddEmitter(*w, 3, 4, bad, 0, 0);
  EXPECT_TRUE(w->EmitterList.empty());
  EXPECT_EQ(w->Tool, 13);
  AddEmitter(*w, 3, 4, 2, 0, 0);
  w->Tool = 15;
  AddEmitter(*w, 3, 4, 4, 7, 7);  // same tile, other direction
  ASSERT_EQ(w->EmitterList.size(), 1u);
  EXPECT_EQ(w->EmitterCount, 1);
  EXPECT_EQ(w->EmitterList.begin()->Direction, 2);
  EXPECT_EQ(w->Tool, 15);
}

TEST_F(PlacingTest, LightsGetTheirFieldsAndControlValueByKindAtTheEndOfTheList) {
  const int expectedControl[] = {0, 0, 2, 0, 1};
  p.SetNow(4321);
  w->TrafficLightList.Reset();  // appending must not depend on the list position
  for (int kind = 1; kind <= 4; ++kind) {
    AddTrafficLight(*w, p, 10 * kind, 7, kind);
    w->TrafficLightList.Reset();
  }
  int kind = 0;
  for (const TrafficLight& l : w->TrafficLightList) {
    ++kind;
    EXPECT_EQ((std::vector<int>{l.CellX, l.CellY, l.PixelX, l.PixelY, l.Kind, l.State, l.LastSwitch, l.Interval}),
              (std::vector<int>{10 * kind, 7, 160 * kind, 112, kind, kind, 4321, 15000}));
    EXPECT_EQ(l.Sprite, static_cast<RotSpriteHandle>(200 + kind));
    EXPECT_EQ(w->ControlMap.at(10 * kind, 7), expectedControl[kind]) << kind;
  }
  EXPECT_EQ(w->LightCount, 4);

  AddTrafficLight(*w, p, 201, 5, 4);
  AddTrafficLight(*w, p, 5, -1, 4);
  AddTrafficLight(*w, p, 40, 7, 3);  // taken: stays red
  AddTrafficLight(*w, p, 6, 6, 0);
  AddTrafficLight(*w, p, 7, 7, 5);
  EXPECT_EQ(w->LightCount, 4);
  EXPECT_EQ(w->TrafficLightList.size(), 4u);
  EXPECT_EQ(w->ControlMap.at(40, 7), 1);
  EXPECT_EQ(w->ControlMap.at(6, 6) + w->ControlMap.at(7, 7), 0);
}

TEST_F(PlacingTest, EveryPlacedLightTakesTheLastConfirmedIntervalAndRestartsAllPhases) {
  p.SetNow(1000);
  AddTrafficLight(*w, p, 1, 1, 3);
  AddTrafficLight(*w, p, 2, 1, 1);  // signs restart too
  w->LastLightInterval = 8000;
  p.AdvanceMs(12000);
  AddTrafficLight(*w, p, 3, 1, 4);
  EXPECT_EQ(w->TrafficLightList.begin()->Interval, 15000);  // earlier lights keep theirs
  EXPECT_EQ(w->TrafficLightList.Last()->Interval, 8000);
  for (const TrafficLight& l : w->TrafficLightList) EXPECT_EQ(l.LastSwitch, 13000);
  p.AdvanceMs(500);
  AddTrafficLight(*w, p, 3, 1, 3);  // refused: restarts nothing
  for (const TrafficLight& l : w->TrafficLightList) EXPECT_EQ(l.LastSwitch, 13000);
  p.SetNow(0xFFFFFF00u);  // the stored time is the clock's 32-bit pattern
  AddTrafficLight(*w, p, 4, 1, 3);
  EXPECT_EQ(w->TrafficLightList.begin()->LastSwitch, static_cast<int32_t>(0xFFFFFF00u));
}

}  // namespace
}  // namespace kv
