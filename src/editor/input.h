// Mouse and keyboard editing of the map.
#pragma once

#include <cstdint>

#include "editor/history.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/windows.h"
#include "world/world.h"

namespace kv {

// Held state and last release time per mouse button (1 left, 2 right,
// 3 middle), and the double-click flags of the current frame.
struct MouseButtonTracker {
  bool Held[4] = {};
  uint32_t LastRelease[4] = {};
  bool Released[4] = {};  // a release was seen: the first one is never a double click
  bool DoubleClick[4] = {};
  bool Pressed[4] = {};  // went down in this frame
};

// What the editor acts through: the user's input, the dialogs, the
// simulation's clock, at whose reading new lights start their phase, and the
// history: an edit opens a step (the caller ends it when the user lets go),
// and each dialog's changes are a step of their own.
struct EditorIo {
  Input& input;
  Windows& windows;
  const Clock& simClock;
  EditHistory* history = nullptr;
  // The wall clock, for how long a hint shows; none, no hints.
  const Clock* wallClock = nullptr;
};

// Hints for a click with a tool that placed nothing.
inline constexpr char kEmitterRefusedHint[] = "Emitters go on a road tile without an emitter";
inline constexpr char kLightRefusedHint[] = "A cell takes one light or sign";

// Double clicks are two releases less than 400 ms apart on the wall clock.
void UpdateMouseButtons(MouseButtonTracker& mouse, Input& input, const Clock& wallClock);
int MouseOver(Input& input, int x, int y, int width, int height);
// Edits only what the user sees: with the pointer below the map area the left
// button only chooses tools, the right one clears the tool and the selection,
// and nothing is deleted, switched or braked there; while a tool is chosen
// the left button neither selects nor targets emitters. A press with an
// emitter, light or sign tool that places nothing says why (World::Hint).
void HandleEditorInput(World& w, EditorIo& io, MouseButtonTracker& mouse);

}  // namespace kv
