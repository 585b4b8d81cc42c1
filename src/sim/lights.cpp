#include "sim/lights.h"

namespace kv {

void UpdateLights(World& w, const Clock& clock) {
  w.TrafficLightList.Reset();
  while (TrafficLight* light = w.TrafficLightList.Next()) {
    if (!IsTrafficLight(light->State)) continue;
    const uint32_t now = clock.NowMs();
    if (int64_t{ElapsedMs(now, static_cast<uint32_t>(light->LastSwitch))} <= light->Interval) continue;
    // From the clock of this step, so a phase lasts Interval plus up to a step.
    light->LastSwitch = static_cast<int32_t>(now);
    light->State = light->State == LightState::Green ? LightState::Red : LightState::Green;
    w.ControlMap.set(light->CellX, light->CellY, ControlValueOf(light->State));
    light->Sprite = w.LightSprites[Index(light->State)];
  }
}

}  // namespace kv
