// Placing emitters, traffic lights and signs.
#pragma once

#include "platform/clock.h"
#include "world/world.h"

namespace kv {

// Settings a new emitter gets.
constexpr int32_t kDefaultInterval = 5000;
constexpr int32_t kDefaultIntervalTolerance = 4000;
constexpr float kDefaultStartSpeed = 1.0f;
constexpr float kDefaultStartSpeedTolerance = 2.0f;
constexpr int32_t kDefaultColorRange = 17;
constexpr int32_t kDefaultSingleColor = 0;
// Phase length of a new light while no length was confirmed in a dialog.
constexpr int32_t kDefaultLightInterval = 15000;

// What the dialogs let the user set, and so all a map file may bring.
constexpr int32_t kMinInterval = 500, kMaxInterval = 60000;
constexpr int32_t kMaxIntervalTolerance = 10000;
constexpr int32_t kMinSpeedHundredths = 10, kMaxSpeedHundredths = 600;  // 0.10 to 6.00
constexpr int32_t kCarColors = 17;
constexpr int32_t kMinLightInterval = 1000, kMaxLightInterval = 30000;

// An emitter's settings, as its dialog edits them.
struct EmitterSettings {
  int32_t Interval = kDefaultInterval;
  int32_t IntervalTolerance = kDefaultIntervalTolerance;
  float StartSpeed = kDefaultStartSpeed;
  float StartSpeedTolerance = kDefaultStartSpeedTolerance;
  int32_t ColorRange = kDefaultColorRange;
  int32_t SingleColor = kDefaultSingleColor;
  bool operator==(const EmitterSettings&) const = default;
};

EmitterSettings SettingsOf(const Emitter& e);
void ApplySettings(Emitter& e, const EmitterSettings& s);
// True when every value lies in the range its dialog offers.
bool IsValidSettings(const EmitterSettings& s);
bool IsValidLightInterval(int32_t interval);

// Whether the tile holds an emitter, the cell a light or sign.
bool HasEmitter(const World& w, int tileX, int tileY);
bool HasLight(const World& w, int cellX, int cellY);

// Puts an emitter with default settings at the end of EmitterList, clears the
// Tool and searches its route at once. Refused without a change: a direction
// other than 2, 4, 6, 8, a tile that already has an emitter or has no road.
void AddEmitter(World& w, int tileX, int tileY, Direction direction, int targetX, int targetY);

// Puts a sign or a light at the end of TrafficLightList, writes its
// ControlMap value and restarts the phase of every light at the clock's
// reading. Refused without a change: a cell outside 0..200, a kind outside
// 1..4, a cell that already has one.
void AddTrafficLight(World& w, const Clock& clock, int cellX, int cellY, LightState kind);

// Searches the emitter's route from its start cell to its target anew.
void FindEmitterRoute(const World& w, Emitter& e);

}  // namespace kv
