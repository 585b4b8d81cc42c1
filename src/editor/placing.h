// Placing emitters, traffic lights and signs.
#pragma once

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

// Puts an emitter with default settings at the end of EmitterList, clears the
// Tool and searches its route at once. Refused without a change: a direction
// other than 2, 4, 6, 8, a tile that already has an emitter or has no road.
void AddEmitter(World& w, int tileX, int tileY, int direction, int targetX, int targetY);

// Puts a sign (kind 1, 2) or a light (3 green, 4 red) at the end of
// TrafficLightList, writes its ControlMap value and restarts the phase of
// every light. Refused without a change: a cell outside 0..200, a kind
// outside 1..4, a cell that already has one.
void AddTrafficLight(World& w, Platform& p, int cellX, int cellY, int kind);

}  // namespace kv
