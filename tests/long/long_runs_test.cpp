// Long runs through the whole frame loop (editor input, simulation, drawing)
// without a window, under the sanitizers of the test build: an hour of the
// start map with memory that stays flat, and a dense city packed with cars.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "mapfile/mapfile.h"
#include "stress_map.h"
#include "support/builders.h"

// AddressSanitizer holds freed memory back in a quarantine (256 MB by
// default) so that a use after free is caught; that memory shows as
// resident and would hide a flat program behind a growing process. A small
// quarantine still catches a use of anything freed in the last few seconds
// of traffic. (Options from the environment still apply on top.)
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=2"; }
// The sanitizer's count of live heap bytes; absent without the sanitizer.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace kv {
namespace {

constexpr int kFramesPerSecond = 60;
constexpr int kFramesPerMinute = 60 * kFramesPerSecond;
constexpr double kFlatTolerance = 0.10;

// Resident memory of this process and the sanitizer's live heap, in kB.
std::pair<long, long> MemoryKb() {
  std::ifstream status("/proc/self/status");
  long resident = -1;
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) resident = std::stol(line.substr(6));
  const size_t heap = __sanitizer_get_current_allocated_bytes ? __sanitizer_get_current_allocated_bytes() : 0;
  return {resident, static_cast<long>(heap / 1024)};
}

// The game with its window, the pointer resting in the middle of the map and
// no key or button held, as someone watching the traffic.
struct HeadlessGame : test::FrameDriver {
  HeadlessGame() { p.SetPointer(512, 384); }
  int maxCars = 0;
  std::vector<uint64_t> arrivedByMinute;
  std::pair<long, long> atCheckpoint, atEnd;

  // Runs frames at 60 per second of the clock.
  void Run(int frames, int checkpointFrame) {
    for (int frame = 1; frame <= frames; ++frame) {
      p.SetNow(kStartMs + static_cast<uint32_t>(int64_t{frame} * 1000 / kFramesPerSecond));
      if (!game->Frame()) {
        ADD_FAILURE() << "the loop ended at frame " << frame;
        return;
      }
      maxCars = std::max(maxCars, w.CarCount());
      if (frame % kFramesPerMinute == 0) arrivedByMinute.push_back(w.Stats.Arrived);
      if (frame == checkpointFrame) atCheckpoint = MemoryKb();
    }
    atEnd = MemoryKb();
  }
};

TEST(LongRuns, StartMapForAnHourWithFlatMemory) {
  HeadlessGame g;
  ASSERT_EQ(LoadMap(g.w, g.p, g.p, g.game->simClock(), KV_SOURCE_DIR "/hightraffic"), LoadResult::Loaded);
  g.Run(60 * kFramesPerMinute, 5 * kFramesPerMinute);
  EXPECT_GT(g.maxCars, 20);
  EXPECT_EQ(g.w.Stats.LeftGrid, 0u);
  EXPECT_GT(g.w.Stats.Arrived, 1000u);
  for (size_t m = 2; m < g.arrivedByMinute.size(); ++m)  // no gridlock, ever
    EXPECT_GT(g.arrivedByMinute[m], g.arrivedByMinute[m - 1]) << "no car arrived in minute " << m + 1;
  for (auto [before, after, what] : {std::tuple{g.atCheckpoint.first, g.atEnd.first, "resident memory"},
                                     {g.atCheckpoint.second, g.atEnd.second, "live heap"}})
    EXPECT_LE(std::abs(after - before), static_cast<long>(kFlatTolerance * before))
        << what << " from minute 5 to 60: " << before << " kB, then " << after << " kB";
}

// The city of streets with lights at every crossing and hundreds of
// emitters, filled with thousands of cars: a simulated minute, which takes
// minutes in the sanitized debug build (an hour would take hours).
TEST(LongRuns, DenseCityForAMinute) {
  constexpr int kCars = 3000;
  HeadlessGame g;
  stress::BuildStressWorld(g.w, g.game->simClock());
  ASSERT_EQ(stress::FillWithCars(g.w, kCars, 7), kCars);
  g.Run(kFramesPerMinute, kFramesPerMinute / 2);
  EXPECT_GE(g.maxCars, kCars);
  EXPECT_GT(g.w.Stats.Spawned, 500u);
}

}  // namespace
}  // namespace kv
