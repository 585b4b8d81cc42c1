// The modal configuration dialogs of an emitter and of a traffic light.
#pragma once

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

// `emitter` / `light` is the current record of its list; the delete button
// removes that current record.
void ConfigureEmitter(World& w, Platform& p, Emitter& emitter);
void ConfigureTrafficLight(World& w, Platform& p, TrafficLight& light);

}  // namespace kv
