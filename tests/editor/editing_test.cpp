// Editing the map with the mouse and BackSpace, frame by frame.
#include <gtest/gtest.h>

#include <memory>

#include "editor/placing.h"
#include "editor/roads.h"
#include "support/frame_driver.h"

namespace kv {
namespace {

using namespace kv::testing;

class Editing : public ::testing::Test {
 protected:
  FrameDriver d;
  World& w = d.w;
  HeadlessPlatform& p = d.p;

  void RoadRow(int y, int x0, int x1) {
    for (int x = x0; x <= x1; ++x) AddRoad(w, x, y, 1);
  }
  std::shared_ptr<Emitter> EmitterAt(int tx, int ty) {
    AddEmitter(w, tx, ty, 6, 0, 0);
    w.EmitterList.Last();
    return w.EmitterList.CurrentShared();
  }
  void Crossing(int x, int y) {
    for (auto [dx, dy] : {std::pair{0, -1}, {-1, 0}, {1, 0}, {0, 1}, {0, 0}}) AddRoad(w, x + dx, y + dy, 1);
  }
};

TEST_F(Editing, ToolbarChoosesToolsAndPlacesNothing) {
  for (int tool = 1; tool <= 19; ++tool) {
    d.ChooseTool(tool);
    EXPECT_EQ(w.Tool, tool);
  }
  // Button edges count; the gap between buttons and the row below do not.
  for (auto [x, y, tool] : {std::tuple{55, 718, 2}, {122, 750, 3}, {123, 730, 3}, {100, 751, 3}, {100, 705, 3}}) {
    d.PointAt(x, y);
    d.Click();
    EXPECT_EQ(w.Tool, tool) << x << "," << y;
  }
  EXPECT_EQ(w.RoadCount + w.EmitterCount + w.LightCount, 0);
  d.PointAt(100, 704);  // the map area ends here
  d.Click();
  EXPECT_EQ(w.TileMap.at(3, 22), 1);
}

TEST_F(Editing, DraggingPlacesRoadsAndLightsOncePerTileOrCell) {
  d.ChooseTool(2);
  p.SetButton(kLeftButton, true);
  for (int x = 5 * 32; x < 13 * 32; x += 12) {
    d.PointAt(x, 330);
    d.Frame();
  }
  p.SetButton(kLeftButton, false);
  d.PointAtTile(14, 10);
  d.Frame(2);
  EXPECT_EQ(w.RoadCount, 8);
  EXPECT_EQ(w.TileMap.at(12, 10) + w.TileMap.at(14, 10), 1);

  d.ChooseTool(18);
  p.SetButton(kLeftButton, true);
  for (int cx : {40, 41, 42, 41, 40}) {
    d.PointAtCell(cx, 40);
    d.Frame();
  }
  EXPECT_EQ(w.LightCount, 3);
}

TEST_F(Editing, EmitterIsPlacedOnceThenSelectedThenTargeted) {
  w.ViewX = -64;  // as a loaded map may set it
  w.ViewY = -32;
  RoadRow(10, 4, 14);
  d.ChooseTool(12);
  d.PointAtTile(5, 10);
  d.Click();
  d.PointAtTile(6, 10);
  d.Click();
  ASSERT_EQ(w.EmitterCount, 1);
  EXPECT_EQ(w.Tool, 0);
  w.EmitterList.Last();
  std::shared_ptr<Emitter> e = w.EmitterList.CurrentShared();
  EXPECT_EQ(e->Selected, 0);
  AddParkedCar(w, e, 600.0f, 600.0f);

  d.PointAtTile(5, 10, 32, 32);  // the far corner of its box
  d.Click();
  EXPECT_EQ(e->Selected, 1);
  w.Tool = 1;  // on grass it stays selected and that frame's editing is skipped
  d.PointAtTile(8, 14);
  d.Click();
  EXPECT_EQ(e->Selected, 1);
  EXPECT_EQ(w.RoadCount, 11);

  d.PointAtTile(12, 10, 20, 20);
  p.SetButton(kLeftButton, true);
  d.Frame();
  EXPECT_EQ(e->Selected, 0);
  EXPECT_EQ(std::pair(e->TargetX, e->TargetY), std::pair(25, 21));
  EXPECT_EQ(e->RouteLength, 16);  // (10, 21) to (25, 21) along the eastbound lane
  EXPECT_EQ(w.CarCount, 0);       // its old cars are gone
  EXPECT_TRUE(w.CarList.empty());
}

TEST_F(Editing, DoubleClickOpensEveryDialogUnderThePointerInListOrder) {
  RoadRow(10, 4, 14);
  EmitterAt(5, 10);
  auto second = EmitterAt(6, 10);  // the boxes share x = 192
  AddTrafficLight(w, p, 12, 20, 3);
  AddTrafficLight(w, p, 11, 20, 1);  // a sign: no dialog
  AddTrafficLight(w, p, 12, 21, 4);
  p.QueueDialog({PressButton("Emitter löschen")});
  p.QueueDialog({Slide(0, 9000), PressButton("OK")});
  p.QueueDialog({PressButton("Ampel löschen")});
  p.QueueDialog({Type("8000"), PressButton("OK")});
  d.PointAt(192, 336);
  d.Click(kLeftButton, 2);
  std::vector<std::string> titles;
  for (const HeadlessWindow& win : p.Windows()) titles.push_back(win.title);
  EXPECT_EQ(titles, (std::vector<std::string>{"Koravel v0.1a by Brenmark", "Emitter konfigurieren",
                                              "Emitter konfigurieren", "Ampel konfigurieren", "Ampel konfigurieren"}));
  ASSERT_EQ(w.EmitterCount, 1);
  EXPECT_EQ(&*w.EmitterList.begin(), second.get());
  EXPECT_EQ(second->Interval, 9000);
  EXPECT_EQ(second->Selected, 1);  // selected by the presses, kept across the dialog
  EXPECT_EQ(w.LightCount, 2);
  EXPECT_EQ(std::next(w.TrafficLightList.begin())->Interval, 8000);
  EXPECT_FALSE(p.MouseReleased());
}

TEST_F(Editing, RightButtonDeletesCarsEmittersAndLightsUnderThePointer) {
  w.ViewX = -64;
  w.ViewY = -32;
  RoadRow(10, 4, 8);
  auto e = EmitterAt(5, 10), other = EmitterAt(7, 10);
  AddParkedCar(w, e, 400.5f, 200.5f);  // box from (336, 168) on the screen: halves to even
  Car& kept = AddParkedCar(w, e, 600.0f, 200.0f);
  other->Selected = 1;
  w.Tool = 3;
  d.PointAt(336, 168);
  d.Click(kRightButton);
  EXPECT_EQ((std::vector<int>{w.Tool, other->Selected, w.CarCount, w.EmitterCount}), (std::vector<int>{0, 0, 1, 2}));
  d.PointAtTile(5, 10);  // the emitter goes, its cars stay
  d.Click(kRightButton);
  EXPECT_EQ(w.EmitterCount, 1);
  EXPECT_EQ(w.CarCount, 1);
  EXPECT_EQ(kept.Emitter, e);

  Crossing(20, 20);
  AddTrafficLight(w, p, 40, 39, 4);  // red, on the approach from the north
  d.PointAtCell(40, 39);
  d.Click(kRightButton);
  EXPECT_TRUE(w.TrafficLightList.empty());
  EXPECT_EQ(w.LightCount, 0);
  EXPECT_EQ(w.ControlMap.at(40, 39), 7);  // the marker is back
}

TEST_F(Editing, BackSpaceMiddleAndLeftButtonOverWhatLiesUnderThePointer) {
  RoadRow(10, 4, 14);
  EmitterAt(6, 10);
  p.SetKey(Scan::BackSpace, true);
  const int expected[] = {10, 10, 9};
  int i = 0;
  for (auto [tx, ty] : {std::pair{6, 10}, {8, 14}, {7, 10}}) {  // road with the emitter, grass, road
    d.PointAtTile(tx, ty);
    d.Frame();
    EXPECT_EQ(w.RoadCount, expected[i++]);
  }
  p.SetKey(Scan::BackSpace, false);
  EXPECT_EQ(w.TileMap.at(6, 10), 0);
  EXPECT_TRUE(w.EmitterList.empty());
  EXPECT_EQ(w.EmitterCount, 0);

  AddTrafficLight(w, p, 30, 30, 3);
  AddTrafficLight(w, p, 31, 30, 2);
  TrafficLight& light = *w.TrafficLightList.begin();
  TrafficLight& sign = *std::next(w.TrafficLightList.begin());
  const int32_t placed = light.LastSwitch;
  d.PointAtCell(30, 30, 16, 8);  // on the edge shared with the sign
  p.SetButton(kMiddleButton, true);
  d.Frame();
  EXPECT_EQ(light.LastSwitch, placed - 15000);
  EXPECT_EQ(sign.LastSwitch, placed);
  std::vector<int> states{light.State};
  for (int frame = 0; frame < 4; ++frame) {
    if (frame == 2) p.SetButton(kMiddleButton, false);
    d.Frame();
    states.push_back(light.State);
  }
  EXPECT_EQ(states, (std::vector<int>{3, 4, 3, 4, 4}));  // the last held frame still switches once
  EXPECT_EQ(sign.State, 2);

  Car& car = AddParkedCar(w, std::make_shared<Emitter>(), 100.5f, 300.5f);  // box 100..116, 300..316
  d.PointAt(117, 316);
  d.Click();
  EXPECT_EQ(car.State, Held);
  d.PointAt(100, 300);
  p.SetButton(kLeftButton, true);
  d.Frame();
  EXPECT_EQ(car.State, Braking);
  EXPECT_EQ(car.BrakeDistance, 160.0f);
}

}  // namespace
}  // namespace kv
