// Loading a map full of roads: one batch with a single re-shape against a
// re-shape and ControlMap rebuild after every road.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "network/roads.h"
#include "ratio_reporter.h"

namespace {

constexpr int kTiles = 100;
constexpr double kBatchLimitMs = 20.0;

std::vector<kv::RoadPlacement> FullMap() {
  std::vector<kv::RoadPlacement> roads;
  for (int y = 0; y < kTiles; ++y)
    for (int x = 0; x < kTiles; ++x) roads.push_back({x, y, static_cast<kv::RoadType>(1 + (x + 3 * y) % 11)});
  return roads;
}

void BM_AddRoadsFullMap(benchmark::State& state) {
  const std::vector<kv::RoadPlacement> roads = FullMap();
  for (auto _ : state) {
    state.PauseTiming();
    auto w = std::make_unique<kv::World>();
    state.ResumeTiming();
    kv::AddRoads(*w, roads);
    benchmark::DoNotOptimize(w->RoadCount());
    state.PauseTiming();
    w.reset();
    state.ResumeTiming();
  }
}

void BM_AddRoadOneByOneFullMap(benchmark::State& state) {
  const std::vector<kv::RoadPlacement> roads = FullMap();
  for (auto _ : state) {
    state.PauseTiming();
    auto w = std::make_unique<kv::World>();
    state.ResumeTiming();
    for (const kv::RoadPlacement& r : roads) kv::AddRoad(*w, r.tileX, r.tileY, r.type);
    benchmark::DoNotOptimize(w->RoadCount());
    state.PauseTiming();
    w.reset();
    state.ResumeTiming();
  }
}

BENCHMARK(BM_AddRoadsFullMap)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_AddRoadOneByOneFullMap)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  kv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double batch = reporter.SecondsPerIteration("BM_AddRoadsFullMap");
  const double single = reporter.SecondsPerIteration("BM_AddRoadOneByOneFullMap");
  if (batch > 0)
    std::printf("AddRoads, %d x %d roads: %.2f ms (limit %.0f ms)\n", kTiles, kTiles, batch * 1e3,
                kBatchLimitMs);
  if (batch > 0 && single > 0) std::printf("one-by-one AddRoad / AddRoads: %.0f times\n", single / batch);
  benchmark::Shutdown();
  return 0;
}
