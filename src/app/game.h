// Start-up and the frame loop, over any platform.
#pragma once

#include "app/world.h"
#include "editor/input.h"
#include "platform/platform.h"

namespace kv {

inline constexpr const char* kWindowTitle = "Koravel v0.1a by Brenmark";
inline constexpr const char* kStartMap = "hightraffic";

class Game {
 public:
  explicit Game(Platform& p) : p_(p) {}

  // Creates the window and screen; false when that failed (no display).
  bool OpenWindow();
  // Loads the sprite table from Gfx.
  void LoadSprites();
  // Window, sprites and the start map.
  bool Start();
  // One pass of the frame loop; false when the loop must end.
  bool Frame();
  // Runs frames until the end.
  void Run();

  World& world() { return w_; }
  MouseButtonTracker& mouse() { return mouse_; }

 private:
  Platform& p_;
  World w_;
  MouseButtonTracker mouse_;
  WindowHandle window_ = 0;
};

}  // namespace kv
