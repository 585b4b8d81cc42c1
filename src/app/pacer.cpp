#include "app/pacer.h"

#include "platform/clock.h"

namespace kv {

int StepPacer::Due(uint32_t nowMs) {
  owed_ += int64_t{ElapsedMs(nowMs, last_)} * kPerMs;
  last_ = nowMs;
  int steps = 0;
  while (owed_ >= kStepCost - kEarly && steps < kMaxStepsPerFrame) {
    owed_ -= kStepCost;
    ++steps;
  }
  if (owed_ > kStepCost) owed_ = 0;  // what could not be caught up is let go
  return steps;
}

}  // namespace kv
