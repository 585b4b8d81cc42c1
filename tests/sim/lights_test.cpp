#include "sim/sim_world.h"

namespace kv::test {
namespace {

using LightCycle = SimWorld;

TEST_F(LightCycle, OppositeLightsSwitchTogetherEveryPhasePlusAtMostOneFrameAndSignsStay) {
  TrafficLight& green = Light({30, 40}, 3, 15000);
  TrafficLight& red = Light({32, 40}, 4, 15000);
  Light({34, 40}, 1, 100);
  Light({36, 40}, 2, 100);
  uint32_t lastSwitch = p.NowMs();
  int switches = 0;
  for (int frame = 0; frame < 5000; ++frame, p.AdvanceMs(kFrameMs)) {
    int32_t before = green.State;
    UpdateLights(w, p);
    ASSERT_EQ(green.State + red.State, 7);
    for (const TrafficLight& l : w.TrafficLightList) {
      ASSERT_EQ(w.ControlMap.get(l.CellX, l.CellY), ControlValueOfState(l.State));
      ASSERT_EQ(l.State, l.Kind > 2 ? l.State : l.Kind);
    }
    if (green.State == before) continue;
    EXPECT_EQ(red.Sprite, w.LightSprites[red.State]);
    EXPECT_GT(p.NowMs() - lastSwitch, 15000u);
    EXPECT_LE(p.NowMs() - lastSwitch, 15000u + kFrameMs);
    lastSwitch = p.NowMs();
    ++switches;
  }
  EXPECT_EQ(switches, 5);
}

TEST_F(LightCycle, APhaseEndsStrictlyAfterItsIntervalCountedFromTheSwitchFrameAcrossTheClockWrap) {
  p.SetNow(0xFFFFFF00u);
  TrafficLight& light = Light({10, 10}, 3, 1000);
  p.AdvanceMs(1000);  // 744 after the wrap
  UpdateLights(w, p);
  EXPECT_EQ(light.State, 3);
  p.AdvanceMs(1);
  UpdateLights(w, p);
  EXPECT_EQ(light.State, 4);
  EXPECT_EQ(light.LastSwitch, 745);
  EXPECT_EQ(w.ControlMap.get(10, 10), 1);
}

}  // namespace
}  // namespace kv::test
