// The emitter and light dialogs, answered by scripted users.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/dialogs.h"
#include "editor/placing.h"
#include "editor/roads.h"
#include "support/frame_driver.h"

namespace kv {
namespace {

using namespace kv::testing;
using K = HeadlessControl::Kind;

// Remembers the text every field was created with.
class DialogPlatform : public HeadlessPlatform {
 public:
  DialogPlatform() : HeadlessPlatform(DrawMode::CountOnly) {}
  ControlHandle AddTextField(WindowHandle win, int x, int y, int w, int h, const std::string& text) override {
    createdFieldTexts.push_back(text);
    return HeadlessPlatform::AddTextField(win, x, y, w, h, text);
  }
  std::vector<std::string> createdFieldTexts;
};

std::string Control(K kind, const std::string& text, int x, int y, int w, int h, int min = 0, int max = 0,
                    int value = 0) {
  return std::to_string(static_cast<int>(kind)) + " '" + text + "' " + std::to_string(x) + "," + std::to_string(y) +
         " " + std::to_string(w) + "x" + std::to_string(h) + " " + std::to_string(min) + ".." +
         std::to_string(max) + "=" + std::to_string(value);
}

struct Row {
  std::string label;
  int labelWidth, min, max, position;
  std::string field;
};

// The three buttons, then per row a label, a slider and its field.
void ExpectLayout(const HeadlessWindow& win, const std::string& title, const std::string& deleteText,
                  const std::vector<Row>& rows) {
  EXPECT_EQ(win.title, title);
  EXPECT_EQ((std::vector<int>{win.x, win.y, win.width, win.height}), (std::vector<int>{500, 500, 400, 400}));
  EXPECT_EQ(win.style, WindowStyle::ToolStyle);
  std::vector<std::string> seen, expected{Control(K::Button, "Abbrechen", 280, 335, 100, 30),
                                          Control(K::Button, deleteText, 130, 335, 135, 30),
                                          Control(K::Button, "OK", 15, 335, 100, 30)};
  for (const HeadlessControl& c : win.controls)
    seen.push_back(Control(c.kind, c.text, c.x, c.y, c.width, c.height, c.min, c.max, c.value));
  for (size_t r = 0; r < rows.size(); ++r) {
    const int y = 15 + 40 * static_cast<int>(r);
    expected.push_back(Control(K::Label, rows[r].label, 15, y, rows[r].labelWidth, 15));
    expected.push_back(Control(K::Slider, "", 15, y + 15, 280, 20, rows[r].min, rows[r].max, rows[r].position));
    expected.push_back(Control(K::TextField, rows[r].field, 300, y + 15, 75, 20));
  }
  EXPECT_EQ(seen, expected);
}

class Dialogs : public ::testing::Test {
 protected:
  DialogPlatform p;
  World w;
  HeadlessWindow seen;

  Emitter& NewEmitter(int tx) {
    AddRoad(w, tx, 5, 1);
    AddEmitter(w, tx, 5, 6, 0, 0);
    return *w.EmitterList.Last();
  }
  TrafficLight& NewLight(int cx, int cy, int kind) {
    AddTrafficLight(w, p, cx, cy, kind);
    return *w.TrafficLightList.Last();
  }
  void Run(Emitter& e, std::vector<DialogStep> steps) {
    p.QueueDialog(std::move(steps));
    w.EmitterList.MakeCurrent(e);
    ConfigureEmitter(w, p, e);
  }
  void Run(TrafficLight& light, std::vector<DialogStep> steps) {
    p.QueueDialog(std::move(steps));
    w.TrafficLightList.MakeCurrent(light);
    ConfigureTrafficLight(w, p, light);
  }
};

TEST_F(Dialogs, EmitterDialogShowsTheRecordAndOkStoresTheSliders) {
  Emitter& e = NewEmitter(5);
  bool released = false;
  Run(e, {Look(seen), [&](HeadlessPlatform&, HeadlessWindow&) { released = p.MouseReleased(); },
          Slide(2, 150), PressButton("OK")});
  ExpectLayout(seen, "Emitter konfigurieren", "Emitter löschen",
               {{"Intervall:", 280, 500, 60000, 5000, "5000"},
                {"Tolerance (random, additional):", 280, 0, 10000, 4000, "4000"},
                {"Start speed:", 280, 10, 600, 100, "1.000000"},
                {"Start speed tolerance (random, additional):", 280, 10, 600, 200, "2.000000"},
                {"Color range (from 1 to xx):", 280, 1, 17, 17, "17"},
                {"Single Color (null = color range):", 150, 0, 17, 0, "0"}});
  EXPECT_EQ(p.createdFieldTexts, std::vector<std::string>(6, "NULL"));
  EXPECT_TRUE(released);
  EXPECT_FALSE(p.MouseReleased());
  EXPECT_TRUE(p.Windows().back().destroyed);
  EXPECT_EQ(e.StartSpeed, 1.5f);
  EXPECT_EQ((std::vector<float>{float(e.Interval), e.StartSpeedTolerance}), (std::vector<float>{5000, 2.0f}));

  Run(e, {Slide(0, 60000), Slide(1, -500), Slide(3, 37), Slide(4, 3), Slide(5, 9), Look(seen), PressButton("OK")});
  EXPECT_EQ((std::vector<std::string>{seen.controls[5].text, seen.controls[8].text, seen.controls[14].text}),
            (std::vector<std::string>{"60000", "0", "0.370000"}));
  EXPECT_EQ((std::vector<int>{e.Interval, e.IntervalTolerance, e.ColorRange, e.SingleColor}),
            (std::vector<int>{60000, 0, 3, 9}));
  EXPECT_EQ(e.StartSpeedTolerance, 0.37f);
}

TEST_F(Dialogs, EmitterSlidersRoundHalvesToEvenAndCancelStoresNothing) {
  Emitter& e = NewEmitter(5);
  e.StartSpeed = 0.125f;
  e.StartSpeedTolerance = 0.375f;
  e.Interval = 100;
  Run(e, {Look(seen), PressButton("OK")});
  EXPECT_EQ((std::vector<int>{seen.controls[10].value, seen.controls[13].value}), (std::vector<int>{12, 38}));
  EXPECT_EQ((std::vector<std::string>{seen.controls[11].text, seen.controls[5].text}),
            (std::vector<std::string>{"0.125000", "100"}));
  EXPECT_EQ((std::vector<float>{e.StartSpeed, e.StartSpeedTolerance, float(e.Interval)}),
            (std::vector<float>{0.12f, 0.38f, 500}));
  // A close request of the main window meanwhile is lost.
  Run(e, {Slide(0, 800), [](HeadlessPlatform& hp, HeadlessWindow&) { hp.RequestClose(); }, PressButton("Abbrechen")});
  EXPECT_EQ(e.Interval, 500);
  EXPECT_EQ(p.PollWindowEvent(), WindowEvent::NoEvent);
}

TEST_F(Dialogs, DeleteRemovesTheGivenRecordAndALightItsJunctionMarkerComesBack) {
  Emitter& keep = NewEmitter(5);
  Emitter& doomed = NewEmitter(6);
  w.EmitterList.MakeCurrent(doomed);
  AddParkedCar(w, w.EmitterList.CurrentShared(), 300, 300);
  p.QueueDialog({PressButton("Emitter löschen")});
  w.EmitterList.MakeCurrent(keep);  // another record is current
  ConfigureEmitter(w, p, doomed);
  ASSERT_EQ(w.EmitterList.size(), 1u);
  EXPECT_EQ(w.EmitterCount, 1);
  EXPECT_EQ(&*w.EmitterList.begin(), &keep);
  EXPECT_EQ(w.CarCount, 1);  // its car keeps its share of the record

  for (auto [dx, dy] : {std::pair{0, -1}, {-1, 0}, {1, 0}, {0, 1}, {0, 0}}) AddRoad(w, 10 + dx, 10 + dy, 1);
  TrafficLight& light = NewLight(20, 19, 4);  // on the approach from the north
  TrafficLight& other = NewLight(30, 30, 3);
  p.QueueDialog({PressButton("Ampel löschen")});
  w.TrafficLightList.MakeCurrent(other);
  ConfigureTrafficLight(w, p, light);
  ASSERT_EQ(w.TrafficLightList.size(), 1u);
  EXPECT_EQ(w.LightCount, 1);
  EXPECT_EQ(&*w.TrafficLightList.begin(), &other);
  EXPECT_EQ(w.ControlMap.at(20, 19), 7);
}

TEST_F(Dialogs, LightDialogFieldAndSliderFollowEachOtherAndOkStoresTheInterval) {
  TrafficLight& light = NewLight(10, 10, 3);
  TrafficLight& red = NewLight(14, 10, 4);
  HeadlessWindow afterFive, afterSlide, afterHuge;
  Run(light, {Look(seen), Type("5"), Look(afterFive), Slide(0, 12000), Look(afterSlide), Type("4294987296"),
              Look(afterHuge), PressButton("Abbrechen")});
  ExpectLayout(seen, "Ampel konfigurieren", "Ampel löschen", {{"Intervall:", 280, 1000, 30000, 15000, "15000"}});
  EXPECT_EQ(p.createdFieldTexts, std::vector<std::string>{"NULL"});
  EXPECT_EQ(std::pair(afterFive.controls[4].value, afterFive.controls[5].text), std::pair(1000, std::string("5")));
  EXPECT_EQ(afterSlide.controls[5].text, "12000");
  EXPECT_EQ(afterHuge.controls[4].value, 20000);  // taken as 32 bits
  EXPECT_EQ(light.Interval, 15000);

  p.SetNow(777777);
  Run(light, {Type("20000"), PressButton("OK")});
  EXPECT_EQ((std::vector<int>{light.Interval, w.LastLightInterval, red.Interval}),
            (std::vector<int>{20000, 20000, 15000}));
  EXPECT_EQ(std::pair(light.LastSwitch, red.LastSwitch), std::pair(777777, 777777));
}

}  // namespace
}  // namespace kv
