// One traffic step, the only way the simulation advances: the program,
// koravel-sim, the tests and the benchmarks all go through it.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "sim/random.h"
#include "world/world.h"

namespace kv {

constexpr int kStepsPerSecond = 60;

// The simulation's own clock: it starts at a reading and moves on by 1/60 s
// with each step, so 60 steps are a simulated second whatever the rate at
// which frames are drawn.
class SimClock : public Clock {
 public:
  explicit SimClock(uint32_t start = 0) : start_(start) {}
  uint32_t NowMs() const override {
    return start_ + static_cast<uint32_t>(steps_ * 1000 / kStepsPerSecond);
  }
  void Advance() { ++steps_; }
  uint64_t Steps() const { return steps_; }

 private:
  uint32_t start_;
  uint64_t steps_ = 0;
};

// Advances the traffic by one step at the clock's reading: the lights, then
// the emitters, then the cars; then counts the step in w.Stats.Frame and
// observes it (sim/observe.h).
void Step(World& w, const Clock& clock, Random& random);

}  // namespace kv
