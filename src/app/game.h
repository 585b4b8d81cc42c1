// Start-up and the frame loop, over any platform.
#pragma once

#include <cstdint>
#include <string>

#include "app/pacer.h"
#include "editor/input.h"
#include "editor/view.h"
#include "platform/platform.h"
#include "sim/random.h"
#include "sim/step.h"
#include "world/world.h"

namespace kv {

inline constexpr const char* kWindowTitle = "Koravel v0.1a by Brenmark";
inline constexpr const char* kStartMap = "hightraffic";

class Game {
 public:
  // `seed` seeds the simulation's random numbers.
  Game(Platform& p, uint32_t seed);

  // Creates the window and screen; false when that failed (no display).
  bool OpenWindow();
  // Window, sprites from Gfx/ in `imagesFolder` ("" or ending in '/') and a
  // map: the start map, or the one given.
  bool Start(const std::string& map = kStartMap, const std::string& imagesFolder = "");
  // One pass of the frame loop; false when the loop must end.
  bool Frame();
  // Runs frames until the end.
  void Run();

  World& world() { return w_; }
  MouseButtonTracker& mouse() { return mouse_; }
  const SimClock& simClock() const { return simClock_; }

 private:
  Platform& p_;
  World w_;
  MouseButtonTracker mouse_;
  ViewKeys viewKeys_;
  SimClock simClock_;
  SeededRandom random_;
  StepPacer pacer_;
  WindowHandle window_ = 0;
};

}  // namespace kv
