// What observing the traffic costs a step: four worlds step the same traffic
// in lockstep (the traffic does not depend on the switches), one with no
// observation, one with the live figures and the heat, one with the gridlock
// detection, one with both; each step is timed on the thread's CPU clock.
// On the stress city with 5000 cars filled in, measured after the first
// gridlock has formed, and on the start map.
//
//   bench_observe [FRAMES [WARM_UP]]   (frames timed per map, default 300; frames
//                                       of the city before, default 10500)
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "mapfile/mapfile.h"
#include "platform/headless/headless_platform.h"
#include "sim/step.h"
#include "stress_map.h"

namespace {

constexpr uint32_t kStartMs = 1000000;
constexpr uint32_t kFrameMs = 16;
constexpr uint32_t kSeed = 1;

struct Variant {
  const char* name;
  bool statistics, gridlocks;
};
constexpr Variant kVariants[] = {
    {"off", false, false}, {"statistics", true, false}, {"gridlocks", false, true}, {"both", true, true}};
constexpr size_t kVariantCount = std::size(kVariants);

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Side {
  std::unique_ptr<kv::World> world = std::make_unique<kv::World>();
  kv::ManualClock clock{kStartMs};
  kv::SeededRandom random{kSeed};
  double seconds = 0.0;
};

// Loads the map into every side, warms up with every observation on (so the
// gridlock detection has its history), then times `frames` steps.
bool Measure(const char* name, bool city, int cars, int warmUp, int frames) {
  std::vector<Side> sides(kVariantCount);
  for (Side& s : sides) {
    kv::HeadlessPlatform p(kv::DrawMode::CountOnly);
    if (city)
      kv::stress::BuildStressWorld(*s.world, s.clock);
    else if (kv::LoadMap(*s.world, p, p, s.clock, KV_SOURCE_DIR "/hightraffic") != kv::LoadResult::Loaded)
      return false;
    if (cars > 0 && kv::stress::FillWithCars(*s.world, cars, kSeed) != cars) return false;
  }
  for (int k = 1; k <= warmUp + frames; ++k) {
    for (size_t v = 0; v < kVariantCount; ++v) {
      Side& s = sides[v];
      if (k == warmUp + 1) s.world->Observe = {kVariants[v].statistics, kVariants[v].gridlocks};
      s.clock.Set(kStartMs + static_cast<uint32_t>(k) * kFrameMs);
      const double start = CpuSeconds();
      kv::Step(*s.world, s.clock, s.random);
      if (k > warmUp) s.seconds += CpuSeconds() - start;
    }
  }
  const kv::World& w = *sides.back().world;
  std::printf("%s: %d cars, %zu standing, %zu gridlocks (%zu cars in them), %d frames timed\n", name, w.CarCount(),
              static_cast<size_t>(w.Live.Standing), w.Gridlocks.Current.size(),
              w.Gridlocks.Current.empty() ? size_t{0} : w.Gridlocks.Current.front().Cars.size(), frames);
  for (size_t v = 0; v < kVariantCount; ++v)
    std::printf("  %-10s %.4f ms per step, %+.1f %% against no observation\n", kVariants[v].name,
                sides[v].seconds / frames * 1e3, (sides[v].seconds / sides[0].seconds - 1.0) * 100.0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
  if (frames <= 0) return 1;
  // The city forms its first gridlock near frame 10 000.
  const int warmUp = argc > 2 ? std::atoi(argv[2]) : 10500;
  const bool ok =
      Measure("stress city", true, 5000, warmUp, frames) && Measure("start map", false, 0, 3600, 10 * frames);
  return ok ? 0 : 1;
}
