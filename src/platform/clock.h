// The time role: a 32-bit millisecond clock that wraps after about 49.7
// days. The platform's is the wall clock; the simulation runs on a clock of
// its own with the same face.
#pragma once

#include <cstdint>

namespace kv {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t NowMs() const = 0;
};

// A clock that reads whatever it was last set to.
class ManualClock : public Clock {
 public:
  explicit ManualClock(uint32_t now = 0) : now_(now) {}
  uint32_t NowMs() const override { return now_; }
  void Set(uint32_t now) { now_ = now; }
  void Advance(uint32_t ms) { now_ += ms; }

 private:
  uint32_t now_;
};

// Milliseconds from `since` to `now` on the wrapping clock: the unsigned
// difference, right at any uptime and across the wrap.
constexpr uint32_t ElapsedMs(uint32_t now, uint32_t since) { return now - since; }

}  // namespace kv
