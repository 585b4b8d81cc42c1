// Runs frames of the program on a headless platform with scripted pointer,
// buttons and keys, as a user at the screen would.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/game.h"
#include "platform/headless_platform.h"

namespace kv::testing {

class FrameDriver {
 public:
  // Far from 0, so that the first release of a button is no double click.
  static constexpr uint32_t kStartMs = 1'000'000;
  static constexpr uint32_t kFrameMs = 16;
  // Left after Click, so that the next click is a single one again.
  static constexpr uint32_t kClickPauseMs = 500;

  FrameDriver();

  HeadlessPlatform p{DrawMode::CountOnly};
  Game game{p};
  World& w = game.world();

  // Advances the clock by one frame's time (or sets it) and runs a frame.
  void Frame(int count = 1);
  void FrameAt(uint32_t ms);

  // Screen positions, through the current view.
  void PointAt(int x, int y) { p.SetPointer(x, y); }
  void PointAtTile(int tx, int ty, int dx = 8, int dy = 8);
  void PointAtCell(int cx, int cy, int dx = 4, int dy = 4);

  // One frame pressed, one released, then a pause; `times` 2 is a double click.
  void Click(int button = kLeftButton, int times = 1);
  // Clicks the toolbar button of `tool` (1..19).
  void ChooseTool(int tool);
};

// Dialog steps of a scripted user.
DialogStep PressButton(const std::string& text);
DialogStep Slide(int slider, int value);  // 0-based among the sliders
DialogStep Type(const std::string& text);  // into the first text field
DialogStep Look(HeadlessWindow& seen);     // copies the window as it is now

// A car standing still on its own (held without end) at a world position.
Car& AddParkedCar(World& w, std::shared_ptr<Emitter> emitter, float posX, float posY);

}  // namespace kv::testing
