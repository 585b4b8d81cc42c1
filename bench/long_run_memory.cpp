// Resident memory over a long run: the stress city with 5000 cars filled in
// and its emitters spawning, 100 000 frames. Once the traffic has settled the
// memory must stay flat: at the end within 10 % of what it was after 10 000
// frames. Prints the resident size at checkpoints; exit status 1 when it grew
// more than that.
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <memory>

#include "platform/clock.h"
#include "sim/random.h"
#include "sim/step.h"
#include "stress_map.h"

namespace {

constexpr uint32_t kStartMs = 1000000;
constexpr uint32_t kFrameMs = 16;
constexpr int kCars = 5000;
constexpr uint32_t kSeed = 1;
constexpr int kSettledFrame = 10000;
constexpr int kLastFrame = 100000;
constexpr int kCheckpointEvery = 10000;
constexpr double kAllowedGrowth = 0.10;

// Resident set size in KiB, from /proc/self/statm; 0 when unreadable.
long ResidentKiB() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  long size = 0, resident = 0;
  const int read = std::fscanf(f, "%ld %ld", &size, &resident);
  std::fclose(f);
  return read == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

}  // namespace

int main() {
  kv::ManualClock clock(kStartMs);
  kv::SeededRandom random(kSeed);
  auto w = std::make_unique<kv::World>();
  kv::stress::BuildStressWorld(*w, clock);
  kv::stress::FillWithCars(*w, kCars, kSeed);
  std::printf("start: %d cars, %ld KiB resident\n", w->CarCount(), ResidentKiB());

  long settled = 0;
  for (int k = 1; k <= kLastFrame; ++k) {
    clock.Set(kStartMs + static_cast<uint32_t>(k) * kFrameMs);
    kv::Step(*w, clock, random);
    if (k % kCheckpointEvery == 0) {
      const long kib = ResidentKiB();
      if (k == kSettledFrame) settled = kib;
      std::printf("frame %6d: %5d cars, %" PRIu64 " spawned, %" PRIu64 " arrived, %ld KiB resident\n", k,
                  w->CarCount(), w->Stats.Spawned, w->Stats.Arrived, kib);
      std::fflush(stdout);
    }
  }
  const long last = ResidentKiB();
  const double growth = settled > 0 ? static_cast<double>(last - settled) / static_cast<double>(settled) : 1.0;
  std::printf("growth from frame %d to %d: %+.2f %% (allowed %.0f %%)\n", kSettledFrame, kLastFrame, growth * 100.0,
              kAllowedGrowth * 100.0);
  return growth <= kAllowedGrowth ? 0 : 1;
}
