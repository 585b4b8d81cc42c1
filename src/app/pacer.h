// Turns real time into traffic steps: 60 per second of wall-clock time, so
// that traffic runs at the same pace whatever the display's refresh rate.
#pragma once

#include <cstdint>

namespace kv {

class StepPacer {
 public:
  // A slow machine slows down rather than stutters: steps beyond this many
  // in one drawn frame are dropped.
  static constexpr int kMaxStepsPerFrame = 4;

  // Counts time from this wall-clock reading on.
  void Restart(uint32_t nowMs) {
    last_ = nowMs;
    owed_ = 0;
  }
  // The number of steps due at this wall-clock reading.
  int Due(uint32_t nowMs);

 private:
  // Time owed to the simulation in 1/60000 s, so that a step costs exactly
  // 1000 and a millisecond 60. It may run a little below zero: a frame that
  // comes a moment early still takes its step, so a display at 60 Hz gets
  // exactly one step per frame however its frames jitter.
  static constexpr int64_t kStepCost = 1000;
  static constexpr int64_t kPerMs = 60;
  static constexpr int64_t kEarly = kStepCost / 4;

  uint32_t last_ = 0;
  int64_t owed_ = 0;
};

}  // namespace kv
