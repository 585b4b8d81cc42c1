// MoveCars looks for the cars to keep distance to through an index of
// nearby cars; the plain pass compares every pair. Both must leave every car
// in exactly the same state after every frame, on real maps and on cars in
// odd states (off the map, NaN, fast, any angle).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "mapfile/mapfile.h"
#include "platform/headless_platform.h"
#include "sim/cars.h"
#include "sim/emitters.h"
#include "sim/lights.h"
#include "support/reference_cars.h"
#include "stress_map.h"

namespace kv {
namespace {

constexpr uint32_t kStartMs = 1000000;
constexpr uint32_t kFrameMs = 16;

struct Side {
  explicit Side(uint32_t seed) : p(DrawMode::CountOnly, seed) { p.SetNow(kStartMs); }
  World w;
  HeadlessPlatform p;
};

// The first difference between the two car lists, or "" when they agree.
std::string Difference(const World& a, const World& b) {
  std::ostringstream out;
  if (a.CarCount != b.CarCount || a.CarList.size() != b.CarList.size())
    return "car count " + std::to_string(a.CarCount) + " vs " + std::to_string(b.CarCount);
  auto bits = [](float f) { return std::bit_cast<uint32_t>(f); };
  size_t i = 0;
  for (auto x = a.CarList.begin(), y = b.CarList.begin(); x != a.CarList.end(); ++x, ++y, ++i) {
    const Car& c = *x;
    const Car& d = *y;
    const bool same = c.Serial == d.Serial && c.CellX == d.CellX && c.CellY == d.CellY &&
                      bits(c.PosX) == bits(d.PosX) && bits(c.PosY) == bits(d.PosY) &&
                      bits(c.Speed) == bits(d.Speed) && bits(c.BrakeDistance) == bits(d.BrakeDistance) &&
                      c.State == d.State && c.HoldTime == d.HoldTime && c.HoldStart == d.HoldStart &&
                      c.Angle == d.Angle && c.RouteIndex == d.RouteIndex;
    if (!same) {
      out << "car " << i << " (serial " << c.Serial << "): pos " << c.PosX << "," << c.PosY << " vs "
          << d.PosX << "," << d.PosY << ", speed " << c.Speed << " vs " << d.Speed << ", angle " << c.Angle
          << " vs " << d.Angle << ", state " << c.State << " vs " << d.State;
      return out.str();
    }
  }
  if (a.Stats.Arrived != b.Stats.Arrived || a.Stats.LeftGrid != b.Stats.LeftGrid) return "removal counts";
  constexpr size_t kCells = (CellGrid::kMax + 1) * (CellGrid::kMax + 1);
  if (std::memcmp(a.CarMap.data(), b.CarMap.data(), kCells * sizeof(int32_t)) != 0) return "CarMap";
  return "";
}

// Runs both sides frame by frame and stops at the first frame they differ.
void RunTwins(Side& fast, Side& plain, int frames, uint64_t& carFrames) {
  ASSERT_EQ(Difference(fast.w, plain.w), "");
  for (int k = 1; k <= frames; ++k) {
    for (Side* s : {&fast, &plain}) {
      s->p.SetNow(kStartMs + static_cast<uint32_t>(k) * kFrameMs);
      s->w.Stats.Frame = static_cast<uint64_t>(k);
      UpdateLights(s->w, s->p);
      UpdateEmitters(s->w, s->p);
    }
    MoveCars(fast.w, fast.p);
    reference::MoveCars(plain.w, plain.p);
    carFrames += fast.w.CarList.size();
    const std::string diff = Difference(fast.w, plain.w);
    ASSERT_EQ(diff, "") << "frame " << k;
  }
}

void LoadStartMap(Side& s) {
  ASSERT_EQ(LoadMap(s.w, s.p, std::string(KV_SOURCE_DIR) + "/hightraffic"), LoadResult::Loaded);
}

TEST(IndexedCarPass, MatchesThePlainPassOnTheStartMap) {
  for (uint32_t seed : {1u, 2u}) {
    SCOPED_TRACE(seed);
    Side fast(seed), plain(seed);
    LoadStartMap(fast);
    LoadStartMap(plain);
    uint64_t carFrames = 0;
    RunTwins(fast, plain, 3000, carFrames);
    EXPECT_GT(fast.w.Stats.Arrived, 20u);
    EXPECT_GT(carFrames, 3000u * 30);
  }
}

TEST(IndexedCarPass, MatchesThePlainPassInACityFullOfCars) {
  Side fast(5), plain(5);
  for (Side* s : {&fast, &plain}) {
    stress::BuildStressWorld(s->w, s->p);
    ASSERT_EQ(stress::FillWithCars(s->w, 400, 9), 400);
  }
  ASSERT_GT(fast.w.EmitterCount, 500);
  for (const Emitter& e : fast.w.EmitterList) ASSERT_GT(e.RouteLength, 1) << e.TileX << "/" << e.TileY;
  uint64_t carFrames = 0;
  RunTwins(fast, plain, 60, carFrames);
  EXPECT_GT(fast.w.Stats.Arrived, 0u);
}

// Cars nudged off their lanes, at any speed up to well past the widest
// following range, at angles off the four headings, and a few far off the map
// or at NaN, which the index files apart.
void Scramble(World& w, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> speed(0.0f, 10.0f), nudge(-40.0f, 40.0f);
  std::uniform_int_distribution<int> dice(0, 19), angle(-20, 380);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float far[] = {-300.0f, 3300.0f, 3500.0f, 1.0e7f, nan};
  int k = 0;
  for (Car& car : w.CarList) {
    car.Speed = speed(rng);
    const int roll = dice(rng);
    if (roll < 6) {
      car.PosX += nudge(rng);
      car.PosY += nudge(rng);
    }
    if (roll == 7) car.Angle = angle(rng);
    if (roll == 8) car.State = Braking, car.BrakeDistance = 80.0f;
    if (roll == 9 && k < 40) car.PosX = far[k++ % 5];
  }
}

TEST(IndexedCarPass, MatchesThePlainPassForCarsInOddStates) {
  for (uint32_t seed : {3u, 4u, 5u}) {
    SCOPED_TRACE(seed);
    Side fast(seed), plain(seed);
    for (Side* s : {&fast, &plain}) {
      LoadStartMap(*s);
      ASSERT_GT(stress::FillWithCars(s->w, 200, seed), 150);
      Scramble(s->w, seed);
    }
    uint64_t carFrames = 0;
    RunTwins(fast, plain, 200, carFrames);
    EXPECT_GT(fast.w.Stats.LeftGrid, 0u);
  }
}

}  // namespace
}  // namespace kv
