// What every koravel-sim command shares: a map loaded into a fresh world on
// the headless platform, and the simulation's clock and random numbers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/headless/headless_platform.h"
#include "sim/random.h"
#include "world/world.h"

namespace kv::sim_tool {

// Exit status: 0 success, 1 usage error, 2 map unreadable or refused, or an
// output that could not be written.
constexpr int kExitUsage = 1;
constexpr int kExitFailed = 2;

struct RunOptions {
  std::string map;
  int64_t frames = 0;
  int64_t frameMs = 16;
  uint32_t startMs = 1000000;
  uint32_t seed = 1;
};

// The simulation's clock in frame k (1-based): T0 + k * MS, modulo 2^32.
inline uint32_t ClockAt(const RunOptions& o, int64_t k) {
  return static_cast<uint32_t>(o.startMs + static_cast<uint64_t>(k) * static_cast<uint64_t>(o.frameMs));
}

class Session {
 public:
  Session(const RunOptions& o, DrawMode mode);

  // Loads the map; false (the program's message on standard error) when it
  // is unreadable or refused.
  bool Load();
  // Frame k: sets the clock (ClockAt) and steps.
  void StepTo(int64_t k);

  const RunOptions& options() const { return o_; }
  World& world() { return *world_; }
  HeadlessPlatform& platform() { return platform_; }

 private:
  RunOptions o_;
  HeadlessPlatform platform_;
  std::unique_ptr<World> world_ = std::make_unique<World>();
  ManualClock clock_;
  SeededRandom random_;
};

// "koravel-sim: what" on standard error; kExitFailed.
int Failed(const std::string& what);
// That `path` could not be written, with the reason when `error` (errno) tells it.
int CannotWrite(const std::string& path, int error);

// Prints the platform's messages, or `fallback`, on standard error.
void ReportMessages(const HeadlessPlatform& p, const std::string& fallback);

}  // namespace kv::sim_tool
