// The modal configuration dialogs of an emitter and of a traffic light.
#pragma once

#include "platform/clock.h"
#include "platform/input.h"
#include "platform/windows.h"
#include "world/world.h"

namespace kv {

// `emitter` / `light` is the record to edit; the delete button removes
// exactly that record. The mouse goes to the desktop while a dialog is open.
void ConfigureEmitter(World& w, Windows& ui, Input& input, Emitter& emitter);
// OK restarts every light's phase at the simulation clock's reading.
void ConfigureTrafficLight(World& w, Windows& ui, Input& input, const Clock& simClock, TrafficLight& light);

}  // namespace kv
