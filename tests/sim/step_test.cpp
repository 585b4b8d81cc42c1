// The fast following scan against the plain one, bit for bit. The order of a
// step's parts and what the start map does in a run show in its recorded
// outputs (tests/tools/data); that it keeps flowing for an hour is a long run.
#include <bit>
#include <limits>
#include <random>
#include <tuple>

#include "mapfile/mapfile.h"
#include "sim/cars.h"
#include "sim/emitters.h"
#include "sim/lights.h"
#include "stress_map.h"
#include "support/builders.h"

namespace kv::test {
namespace {

void LoadStartMap(Traffic& t) {
  HeadlessPlatform p(DrawMode::CountOnly);
  ASSERT_EQ(LoadMap(t.w, p, p, t.clock, KV_SOURCE_DIR "/hightraffic"), LoadResult::Loaded);
}

// A car as the bits on which the two scans must agree.
auto Bits(const Car& c) {
  auto bits = [](float f) { return std::bit_cast<uint32_t>(f); };
  return std::tuple(c.Serial, c.CellX, c.CellY, bits(c.PosX), bits(c.PosY), bits(c.Speed), bits(c.BrakeDistance),
                    c.State, c.HoldStart, c.Angle, c.RouteIndex);
}

// The first difference between the two worlds' traffic, or "" when they agree.
std::string Difference(const World& a, const World& b) {
  if (a.CarList.size() != b.CarList.size()) return "car count";
  size_t i = 0;
  for (auto x = a.CarList.begin(), y = b.CarList.begin(); x != a.CarList.end(); ++x, ++y, ++i)
    if (Bits(*x) != Bits(*y))
      return "car " + std::to_string(i) + " at " + std::to_string(x->PosX) + "," + std::to_string(x->PosY);
  if (a.Stats.Arrived != b.Stats.Arrived || a.Stats.LeftGrid != b.Stats.LeftGrid) return "removal counts";
  if (!std::equal(a.CarMap.data(), a.CarMap.data() + CellGrid::kSide * CellGrid::kSide, b.CarMap.data()))
    return "CarMap";
  return "";
}

// Steps both sides, the fast one with the near scan and the other with the
// plain one, and stops at the first step they differ.
void RunTwins(Traffic& fast, Traffic& plain, int steps) {
  for (int k = 1; k <= steps; ++k) {
    for (Traffic* s : {&fast, &plain}) {
      s->clock.Advance(Traffic::kStepMs);
      UpdateLights(s->w, s->clock);
      UpdateEmitters(s->w, s->clock, s->random);
    }
    MoveCars(fast.w, fast.clock, FollowScan::Near);
    MoveCars(plain.w, plain.clock, FollowScan::Plain);
    ASSERT_EQ(Difference(fast.w, plain.w), "") << "step " << k;
  }
}

// Cars nudged off their lanes, at any speed up to well past the widest
// following range, at angles off the four headings, and a few far off the
// map or at NaN, which the index files apart.
void Scramble(World& w, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> speed(0.0f, 10.0f), nudge(-40.0f, 40.0f);
  std::uniform_int_distribution<int> dice(0, 19), angle(-20, 380);
  const float far[] = {-300.0f, 3300.0f, 3500.0f, 1.0e7f, std::numeric_limits<float>::quiet_NaN()};
  int k = 0;
  for (Car& car : w.CarList) {
    car.Speed = speed(rng);
    const int roll = dice(rng);
    if (roll < 6) car.PosX += nudge(rng), car.PosY += nudge(rng);
    if (roll == 7) car.Angle = angle(rng);
    if (roll == 8) car.State = CarState::Braking, car.BrakeDistance = 80.0f;
    if (roll == 9 && k < 40) car.PosX = far[k++ % 5];
  }
}

TEST(NearCarScan, MatchesThePlainScanOnTheStartMapInACityAndForCarsInOddStates) {
  for (uint32_t seed : {1u, 2u}) {
    Traffic fast(seed), plain(seed);
    LoadStartMap(fast), LoadStartMap(plain);
    RunTwins(fast, plain, 3000);
    EXPECT_GT(fast.w.Stats.Arrived, 20u);
  }
  {
    Traffic fast(5), plain(5);
    for (Traffic* s : {&fast, &plain}) {
      stress::BuildStressWorld(s->w, s->clock);
      ASSERT_EQ(stress::FillWithCars(s->w, 400, 9), 400);
    }
    RunTwins(fast, plain, 60);
    EXPECT_GT(fast.w.Stats.Arrived, 0u);
  }
  for (uint32_t seed : {3u, 4u, 5u}) {
    Traffic fast(seed), plain(seed);
    for (Traffic* s : {&fast, &plain}) {
      LoadStartMap(*s);
      ASSERT_GT(stress::FillWithCars(s->w, 200, seed), 150);
      Scramble(s->w, seed);
    }
    RunTwins(fast, plain, 200);
    EXPECT_GT(fast.w.Stats.LeftGrid, 0u);
  }
}

}  // namespace
}  // namespace kv::test
