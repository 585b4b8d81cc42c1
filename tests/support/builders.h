// What every test builds its scenarios from: fresh worlds, roads, emitters
// with routes, cars, lights, a stepping simulation, and a user at the screen
// (scripted pointer, buttons, keys and dialogs driving the whole program).
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/game.h"
#include "network/placing.h"
#include "network/roads.h"
#include "platform/clock.h"
#include "platform/draw/image_decode.h"
#include "platform/headless/headless_platform.h"
#include "render/viewport.h"
#include "sim/random.h"
#include "sim/step.h"
#include "support/temp_files.h"
#include "world/world.h"

namespace kv::test {

// A world is too large for the stack of a sanitized test.
inline std::unique_ptr<World> NewWorld() { return std::make_unique<World>(); }

// Sprite handles that tell the tables apart without loading images.
inline void FakeSprites(World& w) {
  for (size_t i = 0; i < w.CarSprites.size(); ++i) w.CarSprites[i] = 1000 + static_cast<uint32_t>(i);
  for (size_t i = 0; i < w.LightSprites.size(); ++i) w.LightSprites[i] = 2000 + static_cast<uint32_t>(i);
  for (size_t i = 0; i < w.RoadSprites.size(); ++i) w.RoadSprites[i] = 3000 + static_cast<uint32_t>(i);
  for (size_t i = 0; i < w.EmitterSprites.size(); ++i) w.EmitterSprites[i] = 4000 + static_cast<uint32_t>(i);
}

// --- Roads, through the network's own operations ---

inline void RoadRow(World& w, int y, int x0, int x1) {
  for (int x = x0; x <= x1; ++x) AddRoad(w, x, y, RoadType::StraightWE);
}
inline void RoadColumn(World& w, int x, int y0, int y1) {
  for (int y = y0; y <= y1; ++y) AddRoad(w, x, y, RoadType::StraightNS);
}
// A road tile with a neighbour on every side: the centre becomes a crossing.
inline void Crossing(World& w, int x, int y) {
  for (auto [dx, dy] : {std::pair{0, -1}, {-1, 0}, {1, 0}, {0, 1}, {0, 0}})
    AddRoad(w, x + dx, y + dy, RoadType::StraightWE);
}
// The emitter just placed, shared as its cars share it.
inline std::shared_ptr<Emitter> PlaceEmitter(World& w, int tx, int ty, Direction d = Direction::Right,
                                             int targetX = 0, int targetY = 0) {
  AddEmitter(w, tx, ty, d, targetX, targetY);
  w.EmitterList.Last();
  return w.EmitterList.CurrentShared();
}

// Four roads meet at an unmarked crossing on tile (10, 10); an emitter at each
// far end sends its cars across, their first ones all at once.
inline void FourWayCrossing(World& w) {
  RoadRow(w, 10, 3, 17);
  RoadColumn(w, 10, 3, 9);
  RoadColumn(w, 10, 11, 17);
  AddEmitter(w, 3, 10, Direction::Right, 35, 21);
  AddEmitter(w, 17, 10, Direction::Left, 6, 20);
  AddEmitter(w, 10, 3, Direction::Down, 20, 35);
  AddEmitter(w, 10, 17, Direction::Up, 21, 6);
}

// --- Records written directly, for scenarios the editor could not build ---

// Cells along straight segments between the corners, both ends included.
inline std::vector<Cell> Path(std::initializer_list<Cell> corners) {
  std::vector<Cell> cells{*corners.begin()};
  for (Cell c : corners)
    for (Cell at = cells.back(); !(at == c); cells.push_back(at)) {
      at.x += (c.x > at.x) - (c.x < at.x);
      at.y += (c.y > at.y) - (c.y < at.y);
    }
  return cells;
}

// An emitter at the end of EmitterList whose route runs along `path`; it
// spawned last at `lastSpawn` and spawns nothing until a test lowers its
// Interval or clears HasSpawned.
inline Emitter& RouteEmitter(World& w, const std::vector<Cell>& path, Direction d = Direction::Right,
                             uint32_t lastSpawn = 100000) {
  w.EmitterList.Last();
  Emitter& e = w.EmitterList.Add();
  e.TileX = e.TileY = 10, e.Direction = d;
  e.Interval = 1 << 30, e.HasSpawned = true, e.LastSpawn = static_cast<int32_t>(lastSpawn);
  e.StartSpeed = 1.0f, e.ColorRange = 17;
  e.RouteLength = static_cast<int32_t>(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    e.RouteX[path.size() - i] = static_cast<int16_t>(path[i].x);
    e.RouteY[path.size() - i] = static_cast<int16_t>(path[i].y);
  }
  e.TargetX = path.back().x, e.TargetY = path.back().y;
  return e;
}

inline Car& PutCar(World& w, Cell cell, int angle, float speed) {
  w.CarList.Last();
  Car& car = w.CarList.Add();
  car.CellX = cell.x, car.CellY = cell.y;
  car.PosX = 16.0f * static_cast<float>(cell.x), car.PosY = 16.0f * static_cast<float>(cell.y);
  car.Angle = angle, car.Speed = speed, car.MaxSpeed = 99.0f, car.Acceleration = 0.02f;
  car.Sprite = w.CarSprites[1];
  car.Serial = w.NextCarSerial++;
  return car;
}

// A car on path[at] of the emitter's route, heading for path[at + 1].
inline Car& CarOnRoute(World& w, Emitter& e, const std::vector<Cell>& path, size_t at, float speed) {
  const Cell a = path[at], b = path[at + 1];
  Car& car = PutCar(w, a, b.x > a.x ? 0 : b.y > a.y ? 90 : b.x < a.x ? 180 : 270, speed);
  car.Emitter = e.shared_from_this();
  car.RouteIndex = e.RouteLength - static_cast<int32_t>(at + 1);
  return car;
}

// A car that never moves by itself: held without an end.
inline Car& ParkedCar(World& w, Cell cell, int angle = 45) {
  Car& car = PutCar(w, cell, angle, 0.0f);
  car.State = CarState::Held;
  return car;
}

inline TrafficLight& PutLight(World& w, Cell cell, LightState state, int32_t interval, uint32_t now) {
  w.TrafficLightList.Last();
  TrafficLight& l = w.TrafficLightList.Add();
  l.CellX = cell.x, l.CellY = cell.y, l.PixelX = 16 * cell.x, l.PixelY = 16 * cell.y;
  l.Kind = l.State = state, l.Interval = interval;
  l.LastSwitch = static_cast<int32_t>(now);
  l.Sprite = w.LightSprites[Index(state)];
  w.ControlMap.set(cell.x, cell.y, ControlValueOf(state));
  return l;
}

// A square image painted by paint(x, y), written as a PNG into `dir` and
// loaded onto the canvas: pixels that do not depend on the shipped graphics.
template <class Target, class Paint>
SpriteHandle PaintedSprite(Target& c, const kvtest::TempDir& dir, int size, bool rotatable, Paint paint,
                           uint8_t alpha = 255) {
  std::vector<uint8_t> rgba;
  for (int k = 0; k < size * size; ++k) {
    const Color at = paint(k % size, k / size);
    rgba.insert(rgba.end(), {uint8_t(ColorRed(at)), uint8_t(ColorGreen(at)), uint8_t(ColorBlue(at)), alpha});
  }
  const std::string path = dir.File(std::to_string(dir.List().size()) + ".png");
  EXPECT_TRUE(WritePng(path, size, size, rgba.data(), true));
  return c.LoadSpriteImage(path, rotatable);
}

inline bool Contains(const World& w, const Car& car) {
  for (const Car& c : w.CarList)
    if (&c == &car) return true;
  return false;
}

// A world that steps on a clock of the test's own, 16 ms per step.
struct Traffic {
  static constexpr uint32_t kStepMs = 16;
  std::unique_ptr<World> world = NewWorld();
  World& w = *world;
  ManualClock clock{100000};
  SeededRandom random;

  explicit Traffic(uint32_t seed = 7) : random(seed) { FakeSprites(w); }
  void Frame(int count = 1) {
    for (int i = 0; i < count; ++i) {
      Step(w, clock, random);
      clock.Advance(kStepMs);
    }
  }
};

// --- A user at the screen ---

// The whole program on a headless platform, one frame at a time, as a user
// at the screen drives it. Frames come at 60 Hz, so each takes one step.
class FrameDriver {
 public:
  // Far from 0, so that the first release of a button is no double click.
  static constexpr uint32_t kStartMs = 1'000'000;
  // Left after Click, so that the next click is a single one again.
  static constexpr uint32_t kClickPauseMs = 500;

  explicit FrameDriver(uint32_t seed = 1) : game(NewGame(p, seed)), w(game->world()) {
    EXPECT_TRUE(game->OpenWindow());
  }

  HeadlessPlatform p{DrawMode::CountOnly};
  std::unique_ptr<Game> game;
  World& w;

  // Advances the wall clock by one 60 Hz frame (17, 17, 16 ms) and runs a frame.
  void Frame(int count = 1) {
    for (int i = 0; i < count; ++i) {
      p.AdvanceMs(frameMs_[phase_++ % 3]);
      game->Frame();
    }
  }
  void FrameAt(uint32_t ms) {
    p.SetNow(ms);
    game->Frame();
  }

  // Screen positions, through the current view and zoom.
  void PointAt(int x, int y) { p.SetPointer(x, y); }
  void PointAtWorld(int64_t x, int64_t y) {
    const Viewport view(w);
    PointAt(static_cast<int>(view.ScreenX(x)), static_cast<int>(view.ScreenY(y)));
  }
  void PointAtTile(int tx, int ty, int dx = 8, int dy = 8) { PointAtWorld(tx * kTileSize + dx, ty * kTileSize + dy); }
  void PointAtCell(int cx, int cy, int dx = 4, int dy = 4) { PointAtWorld(cx * kCellSize + dx, cy * kCellSize + dy); }

  // One frame pressed, one released, then a pause; `times` 2 is a double click.
  void Click(int button = kLeftButton, int times = 1) {
    for (int i = 0; i < times; ++i) {
      p.SetButton(button, true);
      Frame();
      p.SetButton(button, false);
      Frame();
    }
    p.AdvanceMs(kClickPauseMs);
  }
  // Clicks the toolbar button of `tool`.
  void ChooseTool(Tool tool) {
    PointAt(35 * NumberOf(tool) - 15 + 16, w.ScreenHeight - 50 + 16);
    Click();
  }
  // Holds a key for one frame.
  void Tap(int scanCode) {
    p.SetKey(scanCode, true);
    Frame();
    p.SetKey(scanCode, false);
  }

 private:
  static std::unique_ptr<Game> NewGame(HeadlessPlatform& p, uint32_t seed) {
    p.SetNow(kStartMs);  // the simulation's clock starts at the wall clock's reading
    return std::make_unique<Game>(p, seed);
  }
  static constexpr uint32_t frameMs_[3] = {17, 17, 16};
  int phase_ = 0;
};

// Dialog steps of a scripted user.
inline DialogStep PressButton(const std::string& text) {
  return [=](HeadlessPlatform& p, HeadlessWindow& win) { p.ClickButton(win, text); };
}
inline DialogStep Slide(int slider, int value) {  // 0-based among the sliders
  return [=](HeadlessPlatform& p, HeadlessWindow& win) { p.MoveSlider(win, slider, value); };
}
inline DialogStep Type(const std::string& text) {  // into the first text field
  return [=](HeadlessPlatform& p, HeadlessWindow& win) { p.TypeText(win, 0, text); };
}
inline DialogStep Look(HeadlessWindow& seen) {  // copies the window as it is now
  return [&seen](HeadlessPlatform&, HeadlessWindow& win) { seen = win; };
}

}  // namespace kv::test
