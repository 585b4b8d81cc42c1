// Cost of drawing one frame of a full map: 100 x 100 roads, 2000 cars, a few
// emitters, lights and signs, on the counting headless platform (everything
// but the pixels). Also reports heap allocations per frame.
//
// Zoomed out, all of a map is drawn: the start map with 2000 cars at 25 %
// against 100 %, counted and rasterised in software, must stay within four
// times the frame time of 100 %.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "mapfile/mapfile.h"
#include "platform/headless/headless_platform.h"
#include "ratio_reporter.h"
#include "render/scene.h"
#include "render/sprites.h"

namespace {

std::atomic<uint64_t> gAllocations{0};

}  // namespace

// Kept out of line so the compiler does not pair the inlined malloc with
// the library's delete.
__attribute__((noinline)) void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace kv;

void FillWorld(World& w, Tool tool) {
  std::mt19937 rng(42);
  for (int ty = 0; ty < 100; ++ty)
    for (int tx = 0; tx < 100; ++tx) {
      w.RoadList.Last();
      Road& r = w.RoadList.Add();
      r.TileX = tx;
      r.TileY = ty;
      r.PixelX = kTileSize * tx;
      r.PixelY = kTileSize * ty;
      r.Type = static_cast<RoadType>(1 + rng() % 11);
      r.Sprite = w.RoadSprites[Index(r.Type)];
      w.TileMap.set(tx, ty, 1);
    }
  for (int i = 0; i < 2000; ++i) {
    w.CarList.Last();
    Car& c = w.CarList.Add();
    c.PosX = static_cast<float>(rng() % 320000) / 100.0f;
    c.PosY = static_cast<float>(rng() % 320000) / 100.0f;
    c.Angle = static_cast<int>(rng() % 4) * 90;
    c.Color = 1 + static_cast<int>(rng() % 17);
    c.Sprite = w.CarSprites[static_cast<size_t>(c.Color)];
  }
  for (int i = 0; i < 20; ++i) {
    w.EmitterList.Last();
    Emitter& e = w.EmitterList.Add();
    e.TileX = static_cast<int>(rng() % 100);
    e.TileY = static_cast<int>(rng() % 100);
    e.PixelX = kTileSize * e.TileX;
    e.PixelY = kTileSize * e.TileY;
    e.Sprite = w.EmitterSprites[1];
    e.TargetX = static_cast<int>(rng() % 200);
    e.TargetY = static_cast<int>(rng() % 200);
    e.Selected = i == 0;
    e.RouteLength = 400;
    for (int k = 1; k <= 400; ++k) {
      e.RouteX[k] = static_cast<int16_t>(50 + k / 4);
      e.RouteY[k] = static_cast<int16_t>(60 + k % 50);
    }
  }
  for (int i = 0; i < 300; ++i) {
    w.TrafficLightList.Last();
    TrafficLight& l = w.TrafficLightList.Add();
    l.CellX = static_cast<int>(rng() % 200);
    l.CellY = static_cast<int>(rng() % 200);
    l.PixelX = kCellSize * l.CellX;
    l.PixelY = kCellSize * l.CellY;
    l.State = l.Kind = static_cast<LightState>(1 + rng() % 4);
    l.Sprite = w.LightSprites[Index(l.State)];
    w.ControlMap.set(l.CellX, l.CellY, ControlValueOf(l.State) + 1);
  }
  w.ViewX = -1100;
  w.ViewY = -1200;
  w.Tool = tool;
}

void BM_DrawScene(benchmark::State& state) {
  HeadlessPlatform p(DrawMode::CountOnly);
  auto world = std::make_unique<World>();
  World& w = *world;
  // Sprites from the program's graphics, loaded as the program does.
  if (::chdir(KV_SOURCE_DIR) != 0) state.SkipWithError("no source dir");
  LoadSprites(w, p);
  FillWorld(w, ToolNumber(static_cast<int>(state.range(0))));

  DrawScene(w, p, 400, 300);  // warm up
  const uint64_t calls0 = p.DrawCalls();
  const uint64_t allocs0 = gAllocations.load();
  for (auto _ : state) DrawScene(w, p, 400, 300);
  const double frames = static_cast<double>(state.iterations());
  state.counters["allocs/frame"] = static_cast<double>(gAllocations.load() - allocs0) / frames;
  state.counters["draws/frame"] = static_cast<double>(p.DrawCalls() - calls0) / frames;
}
BENCHMARK(BM_DrawScene)->Arg(0)->Arg(16)->Arg(19)->Unit(benchmark::kMicrosecond);

// The start map with 2000 cars strewn over the whole map, as the program
// draws it at the zoom, the view on the map's middle.
void DrawStartMap(benchmark::State& state, DrawMode mode, int zoom) {
  HeadlessPlatform p(mode);
  ManualClock clock(1000000);
  auto world = std::make_unique<World>();
  World& w = *world;
  if (::chdir(KV_SOURCE_DIR) != 0) state.SkipWithError("no source dir");
  LoadSprites(w, p);
  if (LoadMap(w, p, p, clock, "hightraffic") != LoadResult::Loaded) state.SkipWithError("no start map");
  std::mt19937 rng(42);
  for (int i = 0; i < 2000; ++i) {
    w.CarList.Last();
    Car& c = w.CarList.Add();
    c.PosX = static_cast<float>(rng() % 320000) / 100.0f;
    c.PosY = static_cast<float>(rng() % 320000) / 100.0f;
    c.CellX = static_cast<int>(c.PosX) / kCellSize, c.CellY = static_cast<int>(c.PosY) / kCellSize;
    c.Angle = static_cast<int>(rng() % 4) * 90;
    c.Sprite = w.CarSprites[1 + rng() % 17];
  }
  w.ZoomPercent = zoom;
  w.ViewX = 512 * 100 / zoom - 1600, w.ViewY = 352 * 100 / zoom - 1600;
  for (auto _ : state) DrawScene(w, p, 400, 300);
}

const char* const kZoomCases[][2] = {{"BM_DrawStartMapCounted/100", "BM_DrawStartMapCounted/25"},
                                     {"BM_DrawStartMapRasterised/100", "BM_DrawStartMapRasterised/25"}};

void RegisterStartMap() {
  for (int zoom : {100, 25}) {
    benchmark::RegisterBenchmark(("BM_DrawStartMapCounted/" + std::to_string(zoom)).c_str(), DrawStartMap,
                                 DrawMode::CountOnly, zoom)
        ->Unit(benchmark::kMicrosecond)
        ->Repetitions(3);
    benchmark::RegisterBenchmark(("BM_DrawStartMapRasterised/" + std::to_string(zoom)).c_str(), DrawStartMap,
                                 DrawMode::Rasterise, zoom)
        ->Unit(benchmark::kMicrosecond)
        ->Repetitions(3);
  }
}

constexpr double kFrameBudgetUs = 1000.0;
constexpr double kZoomedOutBudget = 4.0;  // times the frame at 100 %

// Prints each frame time against the budget after the usual table.
class BudgetReporter : public bench::RatioReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    RatioReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && run.iterations > 0)
        lines_.push_back(run.benchmark_name() + ": " +
                         std::to_string(run.cpu_accumulated_time * 1e6 /
                                        static_cast<double>(run.iterations)) +
                         " us per frame");
  }
  void Finalize() override {
    RatioReporter::Finalize();
    for (const std::string& line : lines_)
      if (line.rfind("BM_DrawScene", 0) == 0) std::printf("%s (budget %.0f us)\n", line.c_str(), kFrameBudgetUs);
    for (const auto& names : kZoomCases) {
      const double full = SecondsPerIteration(names[0]), out = SecondsPerIteration(names[1]);
      if (full > 0.0 && out > 0.0)
        std::printf("%s: %.0f us per frame, %.2f times %s (budget %.0f times)\n", names[1], out * 1e6, out / full,
                    names[0], kZoomedOutBudget);
    }
  }

 private:
  std::vector<std::string> lines_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RegisterStartMap();
  BudgetReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
