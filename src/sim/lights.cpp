#include "sim/lights.h"

namespace kv {

namespace {

constexpr int32_t kGreen = 3;
constexpr int32_t kRed = 4;

}  // namespace

void UpdateLights(World& w, Platform& p) {
  w.TrafficLightList.Reset();
  while (TrafficLight* light = w.TrafficLightList.Next()) {
    if (light->State != kGreen && light->State != kRed) continue;
    const uint32_t now = p.NowMs();
    if (ElapsedMs(now, light->LastSwitch) <= light->Interval) continue;
    // From the clock of this frame, so a phase lasts Interval plus up to a frame.
    light->LastSwitch = static_cast<int32_t>(now);
    light->State = light->State == kGreen ? kRed : kGreen;
    w.ControlMap.set(light->CellX, light->CellY, ControlValueOfState(light->State));
    light->Sprite = w.LightSprites[static_cast<size_t>(light->State)];
  }
}

}  // namespace kv
