// Route search across a large city of streets with missing pieces, from its
// west side to its east side, against the plain-list search it must agree with.
// On roads every open node's F lies within 21 of the smallest, so even here
// the open list holds only a few hundred nodes; that bounds what the faster
// selection can gain.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "network/roads.h"
#include "network/route.h"
#include "ratio_reporter.h"
#include "support/reference_route.h"

namespace {

using kv::World;

constexpr int kStreetSpacing = 2;
constexpr int kTrips = 8;
constexpr int kRepetitions = 5;
constexpr size_t kMinClosed = 8000;  // lane cells a trip's search closes at least

struct Trip {
  int sx, sy, tx, ty;
};

struct City {
  std::unique_ptr<World> world = std::make_unique<World>();
  std::vector<Trip> trips;
};

// Streets on every other row and column of tiles; about a tenth of the street
// pieces between two crossings are left out, so routes have to wind.
City BuildCity() {
  City city;
  std::mt19937 rng(2024);
  std::bernoulli_distribution gap(0.1);
  std::vector<kv::RoadPlacement> roads;
  for (int a = 1; a <= 97; a += kStreetSpacing)
    for (int b = 1; b + kStreetSpacing <= 97; b += kStreetSpacing) {
      const bool skipRow = gap(rng), skipColumn = gap(rng);
      for (int k = 0; k <= kStreetSpacing; ++k) {
        if (!skipRow || k == 0 || k == kStreetSpacing) roads.push_back({b + k, a, kv::RoadType::StraightWE});
        if (!skipColumn || k == 0 || k == kStreetSpacing) roads.push_back({a, b + k, kv::RoadType::StraightNS});
      }
    }
  kv::AddRoads(*city.world, roads);

  // Trips across the whole width that have a route and whose search covers a
  // good part of the city.
  std::vector<std::pair<int, int>> early, late;
  for (int y = 40; y < 160; ++y)
    for (int x = 1; x < 200; ++x) {
      if (city.world->MoveMap.at(x, y) == kv::LaneCode::None) continue;
      if (x < 12) early.emplace_back(x, y);
      if (x > 188) late.emplace_back(x, y);
    }
  auto emitter = std::make_unique<kv::Emitter>();
  std::uniform_int_distribution<size_t> pickEarly(0, early.size() - 1), pickLate(0, late.size() - 1);
  for (int attempt = 0; attempt < 10000 && static_cast<int>(city.trips.size()) < kTrips; ++attempt) {
    const auto [sx, sy] = early[pickEarly(rng)];
    const auto [tx, ty] = late[pickLate(rng)];
    kv::reference::PlainSearch search;
    if (search.Find(*city.world, sx, sy, tx, ty, *emitter) > 0 && search.closed.size() >= kMinClosed)
      city.trips.push_back({sx, sy, tx, ty});
  }
  return city;
}

void BenchFindRoute(benchmark::State& state, City& city) {
  auto emitter = std::make_unique<kv::Emitter>();
  size_t i = 0;
  for (auto _ : state) {
    const Trip& t = city.trips[i++ % city.trips.size()];
    benchmark::DoNotOptimize(kv::FindRoute(*city.world, t.sx, t.sy, t.tx, t.ty, *emitter));
  }
}

void BenchPlainFindRoute(benchmark::State& state, City& city) {
  auto emitter = std::make_unique<kv::Emitter>();
  size_t i = 0;
  for (auto _ : state) {
    const Trip& t = city.trips[i++ % city.trips.size()];
    benchmark::DoNotOptimize(kv::reference::PlainFindRoute(*city.world, t.sx, t.sy, t.tx, t.ty, *emitter));
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  City city = BuildCity();
  if (city.trips.size() < kTrips) {
    std::fprintf(stderr, "the city has too few trips with a route\n");
    return 1;
  }
  // Both searches must agree on every trip before their speed means anything.
  for (const Trip& t : city.trips) {
    auto a = std::make_unique<kv::Emitter>(), b = std::make_unique<kv::Emitter>();
    const int fast = kv::FindRoute(*city.world, t.sx, t.sy, t.tx, t.ty, *a);
    const int plain = kv::reference::PlainFindRoute(*city.world, t.sx, t.sy, t.tx, t.ty, *b);
    if (fast != plain || a->RouteX != b->RouteX || a->RouteY != b->RouteY) {
      std::fprintf(stderr, "routes differ for %d,%d -> %d,%d\n", t.sx, t.sy, t.tx, t.ty);
      return 1;
    }
  }
  benchmark::RegisterBenchmark("BM_FindRoute", BenchFindRoute, std::ref(city))
      ->Unit(benchmark::kMicrosecond)
      ->Repetitions(kRepetitions);
  benchmark::RegisterBenchmark("BM_PlainFindRoute", BenchPlainFindRoute, std::ref(city))
      ->Unit(benchmark::kMicrosecond)
      ->Repetitions(kRepetitions);
  kv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double fast = reporter.SecondsPerIteration("BM_FindRoute");
  const double plain = reporter.SecondsPerIteration("BM_PlainFindRoute");
  if (fast > 0 && plain > 0)
    std::printf("plain-list search / FindRoute: %.1f times (required: at least 20)\n", plain / fast);
  benchmark::Shutdown();
  return 0;
}
