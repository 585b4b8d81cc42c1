// One MoveCars pass, indexed against the plain pass that compares every pair
// of cars: 5000 and 200 cars in the stress city, 200 on the start map. Both
// run the same frames from the same start, so they do exactly the same work
// besides the search for nearby cars. Only MoveCars is timed; the lights of
// each frame switch with the clock stopped. The emitters do not spawn, so the
// number of cars stays near the one filled in.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "mapfile/mapfile.h"
#include "platform/headless/headless_platform.h"
#include "ratio_reporter.h"
#include "sim/cars.h"
#include "sim/lights.h"
#include "stress_map.h"

namespace {

constexpr uint32_t kStartMs = 1000000;
constexpr uint32_t kFrameMs = 16;
constexpr uint32_t kFillSeed = 7;
constexpr int kRepetitions = 3;

enum class Map { City, Start };

void BenchPass(benchmark::State& state, kv::FollowScan scan, Map map, int cars) {
  kv::HeadlessPlatform p(kv::DrawMode::CountOnly);
  kv::ManualClock clock(kStartMs);
  auto w = std::make_unique<kv::World>();
  if (map == Map::City) {
    kv::stress::BuildStressWorld(*w, clock);
  } else if (kv::LoadMap(*w, p, p, clock, KV_SOURCE_DIR "/hightraffic") != kv::LoadResult::Loaded) {
    state.SkipWithError("cannot load the start map");
    return;
  }
  if (kv::stress::FillWithCars(*w, cars, kFillSeed) != cars) {
    state.SkipWithError("the city has no room for the cars");
    return;
  }
  uint32_t frame = 0;
  for (auto _ : state) {
    state.PauseTiming();
    clock.Set(kStartMs + ++frame * kFrameMs);
    w->Stats.Frame = frame;
    kv::UpdateLights(*w, clock);
    state.ResumeTiming();
    kv::MoveCars(*w, clock, scan);
  }
  state.counters["cars_at_end"] = static_cast<double>(w->CarCount());
}

void Register(const std::string& name, kv::FollowScan scan, Map map, int cars, int frames) {
  benchmark::RegisterBenchmark(name.c_str(), BenchPass, scan, map, cars)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(frames)
      ->Repetitions(kRepetitions);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  struct Case {
    const char* name;
    Map map;
    int cars, frames;
  };
  const Case cases[] = {{"City5000", Map::City, 5000, 50},
                        {"City200", Map::City, 200, 500},
                        {"Start200", Map::Start, 200, 500}};
  for (const Case& c : cases) {
    Register(std::string("BM_MoveCars") + c.name, kv::FollowScan::Near, c.map, c.cars, c.frames);
    Register(std::string("BM_PlainMoveCars") + c.name, kv::FollowScan::Plain, c.map, c.cars, c.frames);
  }
  kv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const Case& c : cases) {
    const double fast = reporter.SecondsPerIteration(std::string("BM_MoveCars") + c.name);
    const double plain = reporter.SecondsPerIteration(std::string("BM_PlainMoveCars") + c.name);
    if (fast > 0 && plain > 0)
      std::printf("%s: indexed %.3f ms per frame, plain %.3f ms, %.1f times faster\n", c.name, fast * 1e3,
                  plain * 1e3, plain / fast);
  }
  return 0;
}
