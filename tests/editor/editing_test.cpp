// Editing the map through the whole frame loop, as a user at the screen:
// tools, dragging, emitters and their targets, double clicks, the right and
// middle buttons, BackSpace, and braking a car.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <tuple>

#include "editor/view.h"
#include "render/insight.h"
#include "sim/cars.h"
#include "support/builders.h"

namespace kv {
namespace {

class Editing : public ::testing::Test {
 protected:
  test::FrameDriver d;
  World& w = d.w;
  HeadlessPlatform& p = d.p;

  // A car standing still (held without end) at a world position.
  Car& CarAt(std::shared_ptr<Emitter> e, float x, float y) {
    Car& car = test::ParkedCar(w, {static_cast<int>(x) / kCellSize, static_cast<int>(y) / kCellSize});
    car.PosX = x, car.PosY = y, car.Emitter = std::move(e);
    return car;
  }
};

TEST_F(Editing, ToolbarChoosesToolsAndPlacesNothing) {
  for (int n = 1; n <= kToolCount; ++n) {
    d.ChooseTool(ToolNumber(n));
    EXPECT_EQ(w.Tool, ToolNumber(n));
  }
  // Button edges count; the gap between buttons and the row below do not.
  for (auto [x, y, n] : {std::tuple{55, 718, 2}, {122, 750, 3}, {123, 730, 3}, {100, 751, 3}, {100, 705, 3}}) {
    d.PointAt(x, y);
    d.Click();
    EXPECT_EQ(w.Tool, ToolNumber(n)) << x << "," << y;
  }
  EXPECT_TRUE(w.RoadList.empty() && w.EmitterList.empty() && w.TrafficLightList.empty());
  // The name shown over a button is that of the tool a click there chooses.
  for (auto [x, y, n] : {std::tuple{55, 718, 2}, {122, 750, 3}, {90, 718, 3}, {88, 718, 0}, {700, 730, 0},
                         {100, 751, 0}, {100, 717, 0}, {665, 718, 19}, {100, 717 - 33, 0}})
    EXPECT_EQ(ScreenLayout(w).ToolAt(x, y), ToolNumber(n)) << x << "," << y;
  std::set<std::string> names;
  for (int n = 1; n <= kToolCount; ++n) names.insert(ToolName(ToolNumber(n)));
  EXPECT_EQ(names.size(), static_cast<size_t>(kToolCount));
  EXPECT_EQ(names.count(""), 0u);
  d.PointAt(100, 704);  // the map area ends here
  d.Click();
  EXPECT_EQ(w.TileMap.at(3, 22), 1);
}

TEST_F(Editing, DraggingPlacesRoadsAndLightsOncePerTileOrCell) {
  d.ChooseTool(RoadTool(RoadType::TeeNoNorth));
  p.SetButton(kLeftButton, true);
  for (int x = 5 * 32; x < 13 * 32; x += 12) {
    d.PointAt(x, 330);
    d.Frame();
  }
  p.SetButton(kLeftButton, false);
  d.PointAtTile(14, 10);
  d.Frame(2);
  EXPECT_EQ(w.RoadCount(), 8);
  EXPECT_EQ(w.TileMap.at(12, 10) + w.TileMap.at(14, 10), 1);
  EXPECT_EQ(w.RoadList.begin()->Type, RoadType::TeeNoNorth);  // a line end keeps the tool's type

  d.ChooseTool(Tool::GreenLight);
  p.SetButton(kLeftButton, true);
  for (int cx : {40, 41, 42, 41, 40}) {
    d.PointAtCell(cx, 40);
    d.Frame();
  }
  EXPECT_EQ(w.LightCount(), 3);
  EXPECT_EQ(w.TrafficLightList.begin()->Kind, LightState::Green);
}

TEST_F(Editing, EmitterIsPlacedOnceThenSelectedThenTargeted) {
  w.ViewX = -64, w.ViewY = -32;  // as a loaded map may set it
  test::RoadRow(w, 10, 4, 14);
  d.ChooseTool(Tool::EmitterRight);
  d.PointAtTile(5, 10);
  d.Click();
  d.PointAtTile(6, 10);
  d.Click();
  ASSERT_EQ(w.EmitterCount(), 1);
  EXPECT_EQ(w.Tool, Tool::None);
  w.EmitterList.Last();
  std::shared_ptr<Emitter> e = w.EmitterList.CurrentShared();
  EXPECT_EQ(e->Direction, Direction::Right);
  EXPECT_EQ(e->Selected, 0);
  CarAt(e, 600.0f, 600.0f);

  d.PointAtTile(5, 10, 32, 32);  // the far corner of its box
  d.Click();
  EXPECT_EQ(e->Selected, 1);
  d.PointAtTile(8, 14);  // on grass it stays selected
  d.Click();
  EXPECT_EQ(e->Selected, 1);
  EXPECT_EQ(w.RoadCount(), 11);

  d.PointAtTile(12, 10, 20, 20);
  p.SetButton(kLeftButton, true);
  d.Frame();
  EXPECT_EQ(e->Selected, 0);
  EXPECT_EQ(std::pair(e->TargetX, e->TargetY), std::pair(25, 21));
  EXPECT_EQ(e->RouteLength, 16);  // (10, 21) to (25, 21) along the eastbound lane
  EXPECT_TRUE(w.CarList.empty()) << "its old cars are gone";
}

TEST_F(Editing, DoubleClickOpensEveryDialogUnderThePointerInListOrder) {
  test::RoadRow(w, 10, 4, 14);
  test::PlaceEmitter(w, 5, 10);
  auto second = test::PlaceEmitter(w, 6, 10);  // the boxes share x = 192
  AddTrafficLight(w, p, 12, 20, LightState::Green);
  AddTrafficLight(w, p, 11, 20, LightState::RightOfWay);  // a sign: no dialog
  AddTrafficLight(w, p, 12, 21, LightState::Red);
  p.QueueDialog({test::PressButton("Emitter löschen")});
  p.QueueDialog({test::Slide(0, 9000), test::PressButton("OK")});
  p.QueueDialog({test::PressButton("Ampel löschen")});
  p.QueueDialog({test::Type("8000"), test::PressButton("OK")});
  d.PointAt(192, 336);
  d.Click(kLeftButton, 2);
  EXPECT_EQ(p.Windows().size(), 5u);
  ASSERT_EQ(w.EmitterCount(), 1);
  EXPECT_EQ(&*w.EmitterList.begin(), second.get());
  EXPECT_EQ(second->Interval, 9000);
  EXPECT_EQ(second->Selected, 1);  // selected by the presses, kept across the dialog
  ASSERT_EQ(w.LightCount(), 2);
  EXPECT_EQ(std::next(w.TrafficLightList.begin())->Interval, 8000);
  EXPECT_FALSE(p.MouseReleased());
}

TEST_F(Editing, RightButtonDeletesCarsEmittersAndLightsUnderThePointer) {
  w.ViewX = -64, w.ViewY = -32;
  test::RoadRow(w, 10, 4, 8);
  auto e = test::PlaceEmitter(w, 5, 10), other = test::PlaceEmitter(w, 7, 10);
  CarAt(e, 400.5f, 200.5f);  // box from (336, 168) on the screen: halves to even
  Car& kept = CarAt(e, 600.0f, 200.0f);
  other->Selected = 1;
  w.Tool = RoadTool(RoadType::CurveES);
  d.PointAt(336, 168);
  d.Click(kRightButton);
  EXPECT_EQ(w.Tool, Tool::None);
  EXPECT_EQ(other->Selected, 0);
  EXPECT_EQ(std::pair(w.CarCount(), w.EmitterCount()), std::pair(1, 2));
  d.PointAtTile(5, 10);  // the emitter goes, its cars stay
  d.Click(kRightButton);
  EXPECT_EQ(std::pair(w.CarCount(), w.EmitterCount()), std::pair(1, 1));
  EXPECT_EQ(kept.Emitter, e);

  test::Crossing(w, 20, 20);
  AddTrafficLight(w, p, 40, 39, LightState::Red);  // on the approach from the north
  d.PointAtCell(40, 39);
  d.Click(kRightButton);
  EXPECT_TRUE(w.TrafficLightList.empty());
  EXPECT_EQ(w.ControlMap.at(40, 39), static_cast<int>(RoadType::Crossing)) << "the marker is back";
}

TEST_F(Editing, BackSpaceMiddleAndLeftButtonOverWhatLiesUnderThePointer) {
  test::RoadRow(w, 10, 4, 14);
  test::PlaceEmitter(w, 6, 10);
  p.SetKey(Scan::BackSpace, true);
  const int expected[] = {10, 10, 9};
  int i = 0;
  for (auto [tx, ty] : {std::pair{6, 10}, {8, 14}, {7, 10}}) {  // road with the emitter, grass, road
    d.PointAtTile(tx, ty);
    d.Frame();
    EXPECT_EQ(w.RoadCount(), expected[i++]);
  }
  p.SetKey(Scan::BackSpace, false);
  EXPECT_EQ(w.TileMap.at(6, 10), 0);
  EXPECT_TRUE(w.EmitterList.empty());

  AddTrafficLight(w, p, 30, 30, LightState::Green);
  AddTrafficLight(w, p, 31, 30, LightState::Yield);
  TrafficLight& light = *w.TrafficLightList.begin();
  TrafficLight& sign = *std::next(w.TrafficLightList.begin());
  const int32_t placed = light.LastSwitch;
  p.SetButton(kMiddleButton, true);
  d.PointAtCell(30, 30, 8, 17);  // just below the light's box
  d.Frame();
  EXPECT_EQ(light.LastSwitch, placed);
  d.PointAtCell(30, 30, 16, 8);  // on the edge shared with the sign
  d.Frame();
  EXPECT_EQ(light.LastSwitch, placed - kDefaultLightInterval);
  EXPECT_EQ(sign.LastSwitch, placed);
  std::vector<LightState> states{light.State};
  for (int frame = 0; frame < 4; ++frame) {
    if (frame == 2) p.SetButton(kMiddleButton, false);
    d.Frame();
    states.push_back(light.State);
  }
  using L = LightState;  // the last held frame still switches once
  EXPECT_EQ(states, (std::vector<L>{L::Green, L::Red, L::Green, L::Red, L::Red}));
  EXPECT_EQ(sign.State, L::Yield);

  Car& car = CarAt(std::make_shared<Emitter>(), 100.5f, 300.5f);  // box 100..116, 300..316
  d.PointAt(117, 316);
  d.Click();
  EXPECT_EQ(car.State, CarState::Held);
  d.PointAt(100, 300);
  p.SetButton(kLeftButton, true);
  d.Frame();
  EXPECT_EQ(car.State, CarState::Braking);
  EXPECT_EQ(car.BrakeDistance, kUserBrakeCells * 16.0f);
}

// Zoomed out and in, the pointer acts on what is drawn under it: the tile or
// cell for placing, the boxes of emitters, lights and cars at their size.
TEST_F(Editing, AtEachZoomEveryActionHitsWhatIsUnderThePointer) {
  for (int zoom : {25, 50, 200}) {
    SCOPED_TRACE(zoom);
    ClearMap(w);
    w.ZoomPercent = zoom, w.ViewX = -160, w.ViewY = -96;
    d.ChooseTool(RoadTool(RoadType::StraightWE));
    p.SetButton(kLeftButton, true);
    for (int x = 10 * 32; x < 15 * 32; x += 6) {
      d.PointAtWorld(x, 8 * 32 + 20);
      d.Frame();
    }
    p.SetButton(kLeftButton, false);
    EXPECT_EQ(w.RoadCount(), 5);
    EXPECT_EQ(w.TileMap.at(10, 8) + w.TileMap.at(14, 8), 2);

    d.ChooseTool(Tool::EmitterRight);
    d.PointAtTile(10, 8);
    d.Click();
    ASSERT_EQ(w.EmitterCount(), 1);
    Emitter& e = *w.EmitterList.begin();
    d.PointAtTile(10, 8, 31, 31);
    d.Click();
    EXPECT_EQ(e.Selected, 1);
    d.PointAtCell(27, 17);
    d.Click();
    EXPECT_EQ(std::tuple(e.Selected, e.TargetX, e.TargetY), std::tuple(0, 27, 17));

    d.ChooseTool(Tool::GreenLight);
    d.PointAtCell(24, 17, 15, 15);
    d.Click();
    ASSERT_EQ(w.LightCount(), 1);
    TrafficLight& light = *w.TrafficLightList.begin();
    EXPECT_EQ(std::pair(light.CellX, light.CellY), std::pair(24, 17));
    const int32_t switched = light.LastSwitch;
    d.Click(kMiddleButton);
    EXPECT_NE(light.LastSwitch, switched);

    w.Tool = Tool::None;
    Car& car = CarAt(std::make_shared<Emitter>(), 400.0f, 264.0f);
    const Viewport view(w);
    const int left = static_cast<int>(view.ScreenX(400)), top = static_cast<int>(view.ScreenY(264));
    const int size = static_cast<int>(view.Length(16));
    for (auto [x, y, state] : {std::tuple{left + size + 1, top, CarState::Held}, {left + size, top + size, CarState::Braking}}) {
      d.PointAt(x, y);
      p.SetButton(kLeftButton, true);
      d.Frame();
      EXPECT_EQ(car.State, state) << x << "," << y;
      p.SetButton(kLeftButton, false);
      d.Frame();
    }
  }
}

// The minimap moves the view to where it is clicked or dragged, and nothing
// under it is edited, also when a drag begun on it leaves it.
TEST_F(Editing, MinimapMovesTheViewAndPlacesNothing) {
  d.ChooseTool(RoadTool(RoadType::StraightWE));
  d.PointAt(883, 579);  // where the minimap will be: the middle of its map
  d.Click();
  EXPECT_EQ(w.RoadCount(), 1);
  ClearMap(w);
  d.Tap(Scan::M);
  d.Click();
  EXPECT_EQ(std::pair(w.ViewX, w.ViewY), std::pair(-1088, -1248)) << "world (1608, 1608) in the middle";
  p.SetButton(kLeftButton, true);
  d.PointAt(783, 479);  // its top left corner
  d.Frame();
  EXPECT_EQ(std::pair(w.ViewX, w.ViewY), std::pair(512, 352));
  d.PointAt(700, 500);  // dragged off it onto the map: held to its left edge, row 21
  d.Frame(3);
  p.SetButton(kLeftButton, false);
  d.Frame();
  EXPECT_TRUE(w.RoadList.empty());
  EXPECT_EQ(std::pair(w.ViewX, w.ViewY), std::pair(512, 0));
  d.Click();
  EXPECT_EQ(w.RoadCount(), 1) << "a click on the map places again";
  d.Tap(Scan::M);
  d.PointAt(883, 579);
  d.Click();
  EXPECT_EQ(w.RoadCount(), 2) << "hidden, it covers nothing";
}

// In a larger window the toolbar sits at its bottom and the map area reaches
// down to it (row 936 of 1000); no window is smaller than the minimum.
TEST_F(Editing, TheLayoutFollowsTheWindowsSize) {
  p.SetScreenSize(1600, 1000);
  d.Frame();
  d.ChooseTool(Tool::GreenLight);
  for (auto [y, lights] : {std::pair{937, 0}, {936, 1}}) {
    d.PointAt(1500, y);
    d.Click();
    EXPECT_EQ(w.LightCount(), lights) << y;
  }
  p.SetScreenSize(300, 200);
  d.Frame();
  EXPECT_EQ(std::pair(w.ScreenWidth, w.ScreenHeight), std::pair(kMinScreenWidth, kMinScreenHeight));
}

// The toolbar hides the tiles behind it: there the left button only chooses
// tools and the right one only clears them and the selection. While a tool is
// chosen the left button neither selects nor targets emitters.
TEST_F(Editing, NothingBehindTheToolbarIsEditedAndAChosenToolNeverTargets) {
  test::RoadRow(w, 10, 4, 14);
  test::RoadRow(w, 22, 0, 14);  // behind the toolbar but for its top row of pixels
  auto e = test::PlaceEmitter(w, 5, 10, Direction::Right, 27, 21);
  test::PlaceEmitter(w, 2, 22);
  AddTrafficLight(w, p, 4, 45, LightState::Red);  // behind the second button
  const Car& car = CarAt(e, 600.0f, 600.0f);
  d.PointAtTile(5, 10);
  d.Click();
  d.ChooseTool(RoadTool(RoadType::StraightNS));  // over a road: no target
  p.SetButton(kLeftButton, true);                // drawn through the selected emitter's tile
  for (int ty : {9, 10, 11}) d.PointAtTile(5, ty), d.Frame();
  p.SetButton(kLeftButton, false);
  d.Frame();
  EXPECT_EQ(std::tuple(e->Selected, e->TargetX, e->TargetY, w.RoadCount()), std::tuple(1, 27, 21, 28));
  EXPECT_TRUE(test::Contains(w, car));
  d.PointAt(71, 734);  // over the hidden emitter, light and road
  d.Click(kLeftButton, 2);
  d.Click(kRightButton);
  d.Tap(Scan::BackSpace);
  p.SetButton(kMiddleButton, true), d.Frame(), p.SetButton(kMiddleButton, false), d.Frame();
  EXPECT_EQ(std::tuple(w.Tool, e->Selected, w.EmitterCount(), w.LightCount(), w.RoadCount()),
            std::tuple(Tool::None, 0, 2, 1, 28));
  EXPECT_EQ(w.TrafficLightList.begin()->State, LightState::Red);
  EXPECT_EQ(p.Windows().size(), 1u) << "no dialog";
  d.PointAt(71, 704);  // the map area's last row
  d.Tap(Scan::BackSpace);
  EXPECT_EQ(std::pair(w.EmitterCount(), w.RoadCount()), std::pair(1, 27));

  d.ChooseTool(Tool::EmitterDown);  // a new emitter is still selected by the click that places it
  d.PointAtTile(9, 10);
  p.SetButton(kLeftButton, true), d.Frame(2), p.SetButton(kLeftButton, false), d.Frame();
  d.PointAtCell(27, 21);
  d.Click();
  EXPECT_EQ(std::pair(w.EmitterList.Last()->TargetX, w.EmitterList.Last()->TargetY), std::pair(27, 21));
}

TEST_F(Editing, DoubleClickIsTwoReleasesLessThan400msApartPerButtonOnTheWrappingClock) {
  // Presses `button` shortly before `ms`, releases it in a frame at `ms`.
  auto releaseAt = [&](uint32_t ms, int button = kLeftButton) {
    p.SetButton(button, true);
    d.FrameAt(ms - 50);
    p.SetButton(button, false);
    d.FrameAt(ms);
    return d.game->mouse().DoubleClick[button];
  };
  const uint32_t t = 2'000'000;
  EXPECT_FALSE(releaseAt(t));
  EXPECT_TRUE(releaseAt(t + 399));
  d.FrameAt(t + 420);  // set in the frame of the release only
  EXPECT_FALSE(d.game->mouse().DoubleClick[kLeftButton]);
  EXPECT_FALSE(releaseAt(t + 799));
  EXPECT_TRUE(releaseAt(t + 1099));  // three releases 300 ms apart
  EXPECT_TRUE(releaseAt(t + 1399));

  EXPECT_FALSE(releaseAt(t + 1900, kRightButton));
  EXPECT_FALSE(releaseAt(t + 2250));  // 350 ms after the right release only
  EXPECT_TRUE(releaseAt(t + 2280, kRightButton));

  // Just below and above 2^31, where a signed reading changes sign, and across the wrap.
  for (uint32_t edge : {0x80000000u, 0u}) {
    SCOPED_TRACE(edge);
    EXPECT_FALSE(releaseAt(edge - 1000));
    EXPECT_FALSE(releaseAt(edge - 50, kRightButton));
    EXPECT_FALSE(releaseAt(edge + 100));  // 1100 ms later, over the edge
    EXPECT_TRUE(releaseAt(edge + 349, kRightButton));  // 399 ms later, over the edge
    EXPECT_TRUE(releaseAt(edge + 499));
    EXPECT_FALSE(releaseAt(edge + 899));  // 400 ms later
  }
}

// A click with a tool that places nothing says why, for two seconds; a click
// that places something, or a drag over what the tool just placed, does not.
TEST_F(Editing, ARefusedPlacementSaysWhyForTwoSeconds) {
  test::RoadRow(w, 5, 2, 6);
  const struct {
    Tool tool;
    int x, y;  // a tile, or for lights a cell
    const char* hint;
  } clicks[] = {{Tool::EmitterRight, 9, 9, kEmitterRefusedHint},
                {Tool::EmitterDown, 3, 5, nullptr},
                {Tool::EmitterUp, 3, 5, kEmitterRefusedHint},
                {ToolNumber(2), 3, 5, nullptr},
                {Tool::YieldSign, 8, 10, nullptr},
                {Tool::RedLight, 8, 10, kLightRefusedHint}};
  for (const auto& c : clicks) {
    d.ChooseTool(c.tool);
    IsLightState(LightKindOf(c.tool)) ? d.PointAtCell(c.x, c.y) : d.PointAtTile(c.x, c.y);
    d.Frame(130);  // any earlier hint is gone
    ASSERT_EQ(w.Hint, nullptr);
    d.Click();
    EXPECT_EQ(w.Hint, c.hint) << NumberOf(c.tool);
  }
  d.Frame(85);
  EXPECT_EQ(w.Hint, kLightRefusedHint);
  d.Frame(5);
  EXPECT_EQ(w.Hint, nullptr);
  p.SetButton(kLeftButton, true);  // a drag that starts on a free cell
  d.PointAtCell(9, 10);
  d.Frame(5);
  EXPECT_EQ(w.TrafficLightList.size(), 2u);
  EXPECT_EQ(w.Hint, nullptr);
}

}  // namespace
}  // namespace kv
