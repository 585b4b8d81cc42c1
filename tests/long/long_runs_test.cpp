// Long runs through the whole frame loop (editor input, simulation, drawing)
// without a window, under the sanitizers of the test build: an hour of the
// start map with memory that stays flat, and a dense city packed with cars.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <fstream>
#include <string>

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

// Resident memory of this process in kB.
long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

long LiveHeapKb() {
  return __sanitizer_get_current_allocated_bytes
             ? static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024)
             : 0;
}

struct Memory {
  long residentKb = 0, heapKb = 0;
};

struct RunReport {
  Memory atCheckpoint, atEnd;
  int maxCars = 0;
};

// The game with its window, the pointer resting in the middle of the map and
// no key or button held, as someone watching the traffic.
struct HeadlessGame : test::FrameDriver {
  HeadlessGame() { p.SetPointer(512, 384); }

  // Runs frames at 60 per second of the clock.
  RunReport Run(int frames, int checkpointFrame) {
    RunReport report;
    for (int frame = 1; frame <= frames; ++frame) {
      p.SetNow(kStartMs + static_cast<uint32_t>(int64_t{frame} * 1000 / kFramesPerSecond));
      if (!game->Frame()) {
        ADD_FAILURE() << "the loop ended at frame " << frame;
        break;
      }
      report.maxCars = std::max(report.maxCars, w.CarCount());
      if (frame == checkpointFrame) report.atCheckpoint = {ResidentKb(), LiveHeapKb()};
    }
    report.atEnd = {ResidentKb(), LiveHeapKb()};
    return report;
  }
};

void ExpectWithin(long later, long earlier, const char* what) {
  EXPECT_LE(std::abs(later - earlier), static_cast<long>(kFlatTolerance * earlier))
      << what << ": " << earlier << " kB, then " << later << " kB";
}

TEST(LongRuns, StartMapForAnHourWithFlatMemory) {
  HeadlessGame g;
  ASSERT_EQ(LoadMap(g.w, g.p, g.p, g.game->simClock(), KV_SOURCE_DIR "/hightraffic"), LoadResult::Loaded);
  const RunReport r = g.Run(60 * kFramesPerMinute, 5 * kFramesPerMinute);
  EXPECT_GT(r.maxCars, 20);
  EXPECT_GT(g.w.Stats.Arrived + g.w.Stats.LeftGrid, 1000u);
  ExpectWithin(r.atEnd.residentKb, r.atCheckpoint.residentKb, "resident memory from minute 5 to 60");
  ExpectWithin(r.atEnd.heapKb, r.atCheckpoint.heapKb, "live heap from minute 5 to 60");
}

// The city of streets with lights at every crossing and hundreds of
// emitters, filled with thousands of cars: a simulated minute, which takes
// minutes in the sanitized debug build (an hour would take hours).
TEST(LongRuns, DenseCityForAMinute) {
  constexpr int kCars = 3000;
  HeadlessGame g;
  stress::BuildStressWorld(g.w, g.game->simClock());
  ASSERT_EQ(stress::FillWithCars(g.w, kCars, 7), kCars);
  const RunReport r = g.Run(kFramesPerMinute, kFramesPerMinute / 2);
  EXPECT_GE(r.maxCars, kCars);
  EXPECT_GT(g.w.Stats.Spawned, 500u);
}

}  // namespace
}  // namespace kv
