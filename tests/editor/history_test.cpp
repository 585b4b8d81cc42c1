// Undo and redo through the whole program, frame by frame: each kind of step,
// undo past D and O, the redo list, the depth limit, and whether the map
// differs from what was last saved or opened.
#include "editor/history.h"

#include <gtest/gtest.h>

#include <functional>

#include "mapfile/format.h"
#include "support/builders.h"
#include "support/temp_files.h"

namespace kv {
namespace {

using test::FrameDriver;

// The map as the user edits it, grids and routes included, with the record
// of each emitter.
struct MapState {
  Bytes file;
  std::vector<int64_t> grids;
  std::vector<const Emitter*> emitters;
  bool operator==(const MapState&) const = default;
};

MapState StateOf(const World& w) {
  MapState s{*SerializeMap(w), {}, {}};
  for (int y = 0; y <= kCellGridMax; ++y)
    for (int x = 0; x <= kCellGridMax; ++x)
      s.grids.push_back(w.TileMap.get(x, y) + 10 * static_cast<int>(w.MoveMap.at(x, y)) + 1000 * w.ControlMap.at(x, y));
  for (const Emitter& e : w.EmitterList) {
    s.emitters.push_back(&e);
    for (int i = 1; i <= e.RouteLength; ++i) s.grids.push_back(e.RouteX[i] * 1000 + e.RouteY[i]);
  }
  return s;
}

// A row of roads with an emitter sending its cars east, a light and a sign.
void BuildTown(World& w, const Clock& clock) {
  w.LastLightInterval = 30000;  // no light switches during a case
  test::RoadRow(w, 10, 4, 14);
  AddEmitter(w, 5, 10, Direction::Right, 25, 21);
  AddTrafficLight(w, clock, 22, 21, LightState::Green);
  AddTrafficLight(w, clock, 24, 21, LightState::Yield);
}

void Chord(FrameDriver& d, std::initializer_list<int> keys) {
  for (int k : keys) d.p.SetKey(k, true);
  d.Frame();
  for (int k : keys) d.p.SetKey(k, false);
  d.Frame();
}
void Undo(FrameDriver& d) { Chord(d, {Scan::LeftCtrl, Scan::Z}); }
void Redo(FrameDriver& d) { Chord(d, {Scan::RightCtrl, Scan::Y}); }

void Drag(FrameDriver& d, int button, std::initializer_list<Cell> cells) {
  d.p.SetButton(button, true);
  for (Cell c : cells) d.PointAtCell(c.x, c.y), d.Frame();
  d.p.SetButton(button, false);
  d.Frame();
}

const DialogStep OK = test::PressButton("OK");
void DoubleClick(FrameDriver& d, Cell cell, std::vector<DialogStep> script) {
  d.p.QueueDialog(std::move(script));
  d.PointAtCell(cell.x, cell.y);
  d.Click(kLeftButton, 2);
}

TEST(History, EachKindOfStepIsUndoneAndRedoneWhole) {
  kvtest::TempDir dir;
  {
    auto other = test::NewWorld();
    test::RoadColumn(*other, 3, 3, 6);
    AddEmitter(*other, 3, 3, Direction::Down, 6, 12);
    kvtest::WriteBytes(dir.File("other.kvl"), *SerializeMap(*other));
  }
  struct Case {
    const char* name;
    std::function<void(FrameDriver&)> act;
    bool undoRemovesCars;  // the one car per emitter put on the map after the step
  };
  using D = FrameDriver&;
  const Case cases[] = {
      {"road drawn in one drag, re-shaping the row",
       [](D d) { d.ChooseTool(RoadTool(RoadType::StraightNS)), Drag(d, kLeftButton, {{18, 22}, {18, 24}, {18, 26}}); },
       false},
      {"emitter placed", [](D d) { d.ChooseTool(Tool::EmitterDown), d.PointAtTile(12, 10), d.Click(); }, false},
      {"lights dragged", [](D d) { d.ChooseTool(Tool::RedLight), Drag(d, kLeftButton, {{26, 21}, {27, 21}}); }, false},
      {"new target, whose undo removes the emitter's cars",
       [](D d) { d.PointAtTile(5, 10), d.Click(), d.PointAtCell(27, 21), d.Click(); }, true},
      {"emitter dialog confirmed", [](D d) { DoubleClick(d, {10, 20}, {test::Slide(0, 9000), OK}); }, false},
      {"light dialog confirmed", [](D d) { DoubleClick(d, {22, 21}, {test::Type("8000"), OK}); }, false},
      {"light deleted in its dialog", [](D d) { DoubleClick(d, {22, 21}, {test::PressButton("Ampel löschen")}); }, false},
      {"held BackSpace, over the emitter's tile and the next",
       [](D d) {
         d.p.SetKey(Scan::BackSpace, true);
         for (int tx : {5, 6}) d.PointAtTile(tx, 10), d.Frame();
         d.p.SetKey(Scan::BackSpace, false), d.Frame();
       },
       false},
      {"held right button, over the emitter and the light", [](D d) { Drag(d, kRightButton, {{10, 20}, {22, 21}}); },
       false},
      {"D", [](D d) { d.Tap(Scan::D), d.Frame(); }, true},
      {"O", [&](D d) { d.p.QueueRequesterAnswer(dir.File("other.kvl")), d.Tap(Scan::O), d.Frame(); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameDriver d;
    BuildTown(d.w, d.p);
    d.Frame();
    const MapState before = StateOf(d.w);
    c.act(d);
    d.w.CarList.Clear();  // one parked car per emitter, and no more spawning for a while
    for (Emitter& e : d.w.EmitterList) {
      test::ParkedCar(d.w, EmitterStartCell(e)).Emitter = e.shared_from_this();
      e.HasSpawned = true, e.LastSpawn = static_cast<int32_t>(d.game->simClock().NowMs());
    }
    const int cars = d.w.CarCount();
    const MapState after = StateOf(d.w);
    ASSERT_NE(after, before);
    EXPECT_EQ(d.game->history().UndoSteps(), 1u);
    Undo(d);
    EXPECT_TRUE(StateOf(d.w) == before);
    EXPECT_EQ(d.w.CarCount(), c.undoRemovesCars ? 0 : cars);
    (&c - cases) % 2 ? Redo(d) : Chord(d, {Scan::LeftCtrl, Scan::LeftShift, Scan::Z});
    EXPECT_TRUE(StateOf(d.w) == after);
  }
}

TEST(History, UndoGoesBackPastDAndOAndKnowsTheSavedMap) {
  kvtest::TempDir dir;
  FrameDriver d;
  const EditHistory& h = d.game->history();
  d.ChooseTool(RoadTool(RoadType::StraightWE));
  Drag(d, kLeftButton, {{10, 20}, {14, 20}});
  EXPECT_TRUE(h.Modified());
  d.p.QueueRequesterAnswer(dir.File("saved"));
  d.Tap(Scan::S);
  EXPECT_FALSE(h.Modified());
  const MapState saved = StateOf(d.w);
  d.ChooseTool(Tool::EmitterRight), d.PointAtTile(5, 10), d.Click();
  const MapState edited = StateOf(d.w);
  EXPECT_TRUE(h.Modified());
  Undo(d);
  EXPECT_FALSE(h.Modified()) << "back at what was saved";
  Redo(d);
  d.Tap(Scan::D);
  d.p.QueueRequesterAnswer(dir.File("saved.kvl"));
  d.Tap(Scan::O);
  EXPECT_FALSE(h.Modified()) << "just opened";
  EXPECT_EQ(d.w.EmitterCount(), 0);
  Undo(d), Undo(d);
  EXPECT_TRUE(StateOf(d.w) == edited);
  EXPECT_TRUE(h.Modified());
  Undo(d);
  EXPECT_TRUE(StateOf(d.w) == saved);
  d.ChooseTool(Tool::GreenLight), d.PointAtCell(40, 40), d.Click();  // drops what could be redone
  Redo(d);
  EXPECT_EQ(std::pair(d.w.LightCount(), d.w.EmitterCount()), std::pair(1, 0));
  EXPECT_EQ(h.RedoSteps(), 0u);
}

// The oldest steps go beyond the depth; a saved state they took along is gone for good.
TEST(History, KeepsTheNewestHundredSteps) {
  for (int savedAfter : {0, 5}) {
    SCOPED_TRACE(savedAfter);
    auto w = test::NewWorld();
    EditHistory h;
    h.Reset();
    for (int i = 1; i <= 105; ++i) {
      h.Begin(*w);
      AddRoad(*w, i % 100, i / 100, RoadType::StraightWE);
      h.End(*w);
      if (i == savedAfter) h.MarkSaved();
    }
    int undone = 0;
    while (h.Undo(*w)) ++undone;
    EXPECT_EQ(undone, 100);
    EXPECT_EQ(w->RoadCount(), 5);
    EXPECT_EQ(h.Modified(), savedAfter == 0);
    EXPECT_LT(h.Bytes(), EditHistory::kMaxBytes);
  }
}

}  // namespace
}  // namespace kv
