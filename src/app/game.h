// Start-up and the frame loop, over any platform.
#pragma once

#include <array>
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
inline constexpr const char* kMapPattern = "Koravel-Karten (*.kvl)|*.kvl|Alle Dateien|*";
inline constexpr const char* kQuitCaption = "Karte geändert";
inline constexpr const char* kQuitText = "Die Karte wurde geändert. Vor dem Beenden speichern?";
// The quit question's buttons, by their index.
constexpr int kQuitSave = 0, kQuitDiscard = 1, kQuitCancel = 2;
// Traffic steps per 1/60 s of real time: doubled by + and halved by -.
constexpr int kMinSpeed = 1, kMaxSpeed = 16;
// How long a hint about a refused click stays, in wall-clock ms.
constexpr uint32_t kHintMs = 2000;

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
  EditHistory& history() { return history_; }

 private:
  // The map keys: S, O, D, and Ctrl with Z or Y.
  void ServeMapKeys();
  // Time: Space, the period, + and -, each once per press.
  void ServeTimeKeys();
  // True on the frame a key goes down.
  bool Pressed(int scanCode);
  void TrafficStep();
  // True when the program may end: nothing to lose, or the user chose so.
  bool MayQuit(bool ask);
  // The save requester and SaveMap; true when the map was saved.
  bool SaveAs();

  Platform& p_;
  World w_;
  MouseButtonTracker mouse_;
  ViewKeys viewKeys_;
  EditHistory history_;
  SimClock simClock_;
  SeededRandom random_;
  StepPacer pacer_;
  WindowHandle window_ = 0;
  // Keys held in the last frame (for Pressed): undo, redo, the quit question
  // and the time keys act once per press.
  std::array<bool, 256> held_{};
};

}  // namespace kv
