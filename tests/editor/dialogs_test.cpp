// The emitter and light dialogs, answered by scripted users.
#include "editor/dialogs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/builders.h"

namespace kv {
namespace {

using K = HeadlessControl::Kind;

class Dialogs : public ::testing::Test {
 protected:
  HeadlessPlatform p{DrawMode::CountOnly};
  std::unique_ptr<World> world = test::NewWorld();
  World& w = *world;
  ManualClock simClock{777777};  // the wall clock reads otherwise
  HeadlessWindow seen;

  Emitter& NewEmitter(int tx) {
    AddRoad(w, tx, 5, RoadType::StraightWE);
    return *test::PlaceEmitter(w, tx, 5);
  }
  TrafficLight& NewLight(int cx, int cy, LightState kind) {
    AddTrafficLight(w, p, cx, cy, kind);
    return *w.TrafficLightList.Last();
  }
  void Run(Emitter& e, std::vector<DialogStep> steps) {
    p.QueueDialog(std::move(steps));
    ConfigureEmitter(w, p, p, e);
  }
  void Run(TrafficLight& light, std::vector<DialogStep> steps) {
    p.QueueDialog(std::move(steps));
    ConfigureTrafficLight(w, p, p, simClock, light);
  }
  static std::string Field(HeadlessWindow& win, int i) {
    return HeadlessPlatform::FindControl(win, K::TextField, i)->text;
  }
  static int Slider(HeadlessWindow& win, int i) { return HeadlessPlatform::FindControl(win, K::Slider, i)->value; }
};

TEST_F(Dialogs, EmitterDialogShowsTheRecordAndOkStoresTheSliders) {
  Emitter& e = NewEmitter(5);
  e.Interval = 100, e.StartSpeed = 0.125f, e.StartSpeedTolerance = 0.375f;  // sliders round halves to even
  e.IntervalTolerance = 777, e.ColorRange = 5, e.SingleColor = 3;
  bool released = false;
  Run(e, {test::Look(seen), [&](HeadlessPlatform&, HeadlessWindow&) { released = p.MouseReleased(); },
          test::Slide(2, 150), test::PressButton("OK")});
  EXPECT_EQ((std::vector<int>{Slider(seen, 0), Slider(seen, 1), Slider(seen, 2), Slider(seen, 3), Slider(seen, 4),
                              Slider(seen, 5)}),
            (std::vector<int>{500, e.IntervalTolerance, 12, 38, e.ColorRange, e.SingleColor}));
  EXPECT_EQ((std::vector<std::string>{Field(seen, 0), Field(seen, 2), Field(seen, 3)}),
            (std::vector<std::string>{"100", "0.125000", "0.375000"}))
      << "fields show the record as it is";
  EXPECT_TRUE(released) << "the mouse goes to the desktop while the dialog is open";
  EXPECT_FALSE(p.MouseReleased());
  EXPECT_TRUE(p.Windows().back().destroyed);
  EXPECT_EQ((std::vector<float>{float(e.Interval), e.StartSpeed, e.StartSpeedTolerance}),
            (std::vector<float>{500, 1.5f, 0.38f}));

  Run(e, {test::Slide(0, 60000), test::Slide(1, 1234), test::Slide(2, 1000), test::Slide(3, 37), test::Slide(4, 1),
          test::Slide(5, 9), test::Look(seen), test::PressButton("OK")});
  EXPECT_EQ((std::vector<std::string>{Field(seen, 0), Field(seen, 1), Field(seen, 2), Field(seen, 3), Field(seen, 5)}),
            (std::vector<std::string>{"60000", "1234", "6.000000", "0.370000", "9"}));
  EXPECT_EQ((std::vector<int>{e.Interval, e.IntervalTolerance, e.ColorRange, e.SingleColor}),
            (std::vector<int>{60000, 1234, 1, 9}));
  EXPECT_EQ(e.StartSpeedTolerance, 0.37f);
  EXPECT_EQ(e.StartSpeed, 6.0f);  // the slider's end

  Run(e, {test::Slide(0, 800), test::PressButton("Abbrechen")});  // cancel stores nothing
  EXPECT_EQ(e.Interval, 60000);
}

TEST_F(Dialogs, DeleteRemovesTheGivenRecordAndALightsJunctionMarkerComesBack) {
  Emitter& keep = NewEmitter(5);
  Emitter& doomed = NewEmitter(6);
  Car& car = test::ParkedCar(w, {12, 11});
  car.Emitter = doomed.shared_from_this();
  w.EmitterList.MakeCurrent(keep);  // another record is current
  Run(doomed, {test::PressButton("Emitter löschen")});
  ASSERT_EQ(w.EmitterCount(), 1);
  EXPECT_EQ(&*w.EmitterList.begin(), &keep);
  EXPECT_EQ(w.CarCount(), 1);  // its car keeps its share of the record
  EXPECT_EQ(car.Emitter->TileX, 6);

  test::Crossing(w, 10, 10);
  TrafficLight& light = NewLight(20, 19, LightState::Red);  // on the approach from the north
  TrafficLight& other = NewLight(30, 30, LightState::Green);
  w.TrafficLightList.MakeCurrent(other);
  Run(light, {test::PressButton("Ampel löschen")});
  ASSERT_EQ(w.LightCount(), 1);
  EXPECT_EQ(&*w.TrafficLightList.begin(), &other);
  EXPECT_EQ(w.ControlMap.at(20, 19), static_cast<int>(RoadType::Crossing));
}

TEST_F(Dialogs, LightDialogFieldAndSliderFollowEachOtherAndOkRestartsEveryPhase) {
  TrafficLight& light = NewLight(10, 10, LightState::Green);
  TrafficLight& red = NewLight(14, 10, LightState::Red);
  HeadlessWindow afterFive, afterSlide, afterHuge;
  Run(light, {test::Look(seen), test::Type("5"), test::Look(afterFive), test::Slide(0, 12000), test::Look(afterSlide),
              test::Type("4294987296"), test::Look(afterHuge), test::PressButton("Abbrechen")});
  EXPECT_EQ(std::pair(Slider(seen, 0), Field(seen, 0)),
            std::pair(kDefaultLightInterval, std::to_string(kDefaultLightInterval)));
  EXPECT_EQ(std::pair(Slider(afterFive, 0), Field(afterFive, 0)), std::pair(1000, std::string("5")));  // clamped
  EXPECT_EQ(Field(afterSlide, 0), "12000");
  EXPECT_EQ(Slider(afterHuge, 0), 20000);  // taken as 32 bits
  EXPECT_EQ(light.Interval, kDefaultLightInterval);

  Run(light, {test::Type("20000"), test::PressButton("OK")});
  EXPECT_EQ((std::vector<int>{light.Interval, w.LastLightInterval, red.Interval}),
            (std::vector<int>{20000, 20000, kDefaultLightInterval}));
  EXPECT_EQ(std::pair(light.LastSwitch, red.LastSwitch), std::pair(777777, 777777)) << "at the simulation's clock";
  EXPECT_FALSE(p.MouseReleased());
}

}  // namespace
}  // namespace kv
