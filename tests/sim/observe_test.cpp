// What the step observes: the live figures and the heat of a queue at a red
// light, and gridlocks found (or not) where cars wait for each other.
#include <algorithm>
#include <set>

#include "sim/observe.h"
#include "support/builders.h"

namespace kv::test {
namespace {

size_t CellIndex(int x, int y) { return static_cast<size_t>(y) * CellGrid::kSide + static_cast<size_t>(x); }

// Cars queue at a light that never turns green: each cell's heat is the
// share of the window's steps in which a car stood on it, as counted here
// step by step; cars have stood for minutes, each waits for the car ahead,
// yet the queue ends at the light: no gridlock.
TEST(Observation, AQueueAtARedLightHeatsItsCellsAndIsNoGridlock) {
  Traffic t;
  Emitter& e = RouteEmitter(t.w, Path({{20, 21}, {70, 21}}));
  e.HasSpawned = false, e.Interval = 1500, e.StartSpeed = 2.0f;
  PutLight(t.w, {50, 21}, LightState::Red, 1 << 30, t.clock.NowMs());
  constexpr uint64_t kSteps = 6 * kMinuteSteps + kMinuteSteps / 2;
  std::vector<std::vector<uint32_t>> byMinute(7, std::vector<uint32_t>(StandingHeat::kCells));
  for (uint64_t step = 1; step <= kSteps; ++step) {
    t.Frame();
    for (const Car& car : t.w.CarList)
      if (!(car.Speed > 0.0f)) byMinute[(step - 1) / kMinuteSteps][CellIndex(car.CellX, car.CellY)] += 1;
  }
  // The window: minutes 1 to 5 and the half of minute 6 under way.
  EXPECT_EQ(t.w.Heat.WindowSteps, 5 * kMinuteSteps + kMinuteSteps / 2);
  for (int y = 0; y <= CellGrid::kMax; ++y)
    for (int x = 0; x <= CellGrid::kMax; ++x) {
      uint64_t window = 0, total = byMinute[0][CellIndex(x, y)];
      for (size_t minute = 1; minute < byMinute.size(); ++minute) window += byMinute[minute][CellIndex(x, y)];
      ASSERT_FLOAT_EQ(StandingShare(t.w, x, y), static_cast<float>(window) / t.w.Heat.WindowSteps) << x << "/" << y;
      ASSERT_EQ(StandingSteps(t.w, x, y), total + window) << x << "/" << y;
    }
  EXPECT_EQ(StandingShare(t.w, 50, 21), 1.0f);  // the first car, all along
  EXPECT_EQ(StandingShare(t.w, 51, 21), 0.0f);

  const TrafficFigures f = CurrentFigures(t.w);
  EXPECT_EQ((std::vector<double>{double(f.Steps), double(f.Spawned), double(f.Standing), f.MeanSpeed}),
            (std::vector<double>{double(kSteps), double(t.w.CarCount()), double(t.w.CarCount()), 0.0}));
  EXPECT_EQ(t.w.Live.HistoryCount, kSteps / LiveStats::kSampleSteps);
  EXPECT_EQ(t.w.Live.History[(t.w.Live.HistoryNext + LiveStats::kSamples - 1) % LiveStats::kSamples].Cars, f.Cars);

  size_t longStanding = 0;
  for (const Car& car : t.w.CarList)
    longStanding += car.StandingSince + kGridlockSteps <= kSteps && car.Wait.Car != 0;
  EXPECT_GE(longStanding, 10u);
  EXPECT_EQ(t.w.Gridlocks.Found, 0u);

  ClearMap(t.w);
  EXPECT_EQ(StandingShare(t.w, 50, 21) + StandingSteps(t.w, 50, 21), 0.0f);
  EXPECT_EQ(CurrentFigures(t.w).Steps + CurrentFigures(t.w).Spawned + t.w.Live.HistoryCount, 0u);
}

std::set<uint64_t> SerialsOf(const Gridlock& g) {
  std::set<uint64_t> serials;
  for (const GridlockCar& c : g.Cars) serials.insert(c.Serial);
  return serials;
}

// Four roads meet at an unmarked crossing; the first car from each side
// reaches it at once, and each gives way to the one on its right for good.
TEST(Observation, FourCarsAtACrossingWithPriorityToTheRightAreAGridlockUntilOneIsDeleted) {
  Traffic t;
  FourWayCrossing(t.w);
  for (Emitter& e : t.w.EmitterList) e.StartSpeedTolerance = 0.0f;
  ASSERT_EQ(t.w.ControlMap.get(19, 21), static_cast<int32_t>(RoadType::Crossing));

  auto firstFourStand = [&] {
    int standing = 0;
    for (const Car& car : t.w.CarList) standing += car.Serial <= 4 && !(car.Speed > 0.0f);
    return standing == 4;
  };
  uint64_t allStandingSince = 0;
  while (t.w.Gridlocks.Current.empty() && t.w.Stats.Frame < 4000) {
    t.Frame();
    if (!firstFourStand()) allStandingSince = 0;
    else if (allStandingSince == 0) allStandingSince = t.w.Stats.Frame;
  }
  ASSERT_EQ(t.w.Gridlocks.Current.size(), 1u);
  const Gridlock& g = t.w.Gridlocks.Current.front();
  EXPECT_GT(allStandingSince, 0u);
  EXPECT_EQ(g.Formed, allStandingSince + kGridlockSteps);
  EXPECT_EQ(g.StuckSince, allStandingSince);
  EXPECT_EQ(SerialsOf(g), (std::set<uint64_t>{1, 2, 3, 4}));
  for (const GridlockCar& c : g.Cars) EXPECT_EQ(c.Kind, WaitKind::Yielding);
  EXPECT_EQ(g.Tile, (Cell{10, 10}));
  EXPECT_EQ(g.Tiles, (std::vector<Cell>{{10, 9}, {9, 10}, {11, 10}, {10, 11}}));

  t.Frame(600);  // it lasts, as the same gridlock
  ASSERT_EQ(t.w.Gridlocks.Current.size(), 1u);
  EXPECT_EQ(t.w.Gridlocks.Current.front().Number, 1u);
  t.w.CarList.Reset();
  while (Car* car = t.w.CarList.Next())
    if (car->Serial == 2) t.w.CarList.Delete();
  const uint64_t deleted = t.w.Stats.Frame;
  t.Frame(kGridlockSearchSteps);  // it is looked for once a simulated second
  EXPECT_TRUE(t.w.Gridlocks.Current.empty());
  ASSERT_EQ(t.w.Gridlocks.Past.size(), 1u);
  EXPECT_GT(t.w.Gridlocks.Past.front().Dissolved, deleted);
}

// A figure eight whose one rule is the junction where it crosses itself,
// packed with cars from the car about to cross back round to its right: the
// car waits for the stream crossing its way, and that stream queues round
// the loop to the car's own tail.
TEST(Observation, ARingLockedByItsOwnQueueIsFound) {
  Traffic t;
  const Cell j{40, 40};  // the car about to cross stands here, heading right
  const Cell crossing{j.x + 2, j.y};
  std::vector<Cell> lap = Path({{j.x - 4, j.y}, {j.x + 6, j.y}, {j.x + 6, j.y + 6}, {j.x + 2, j.y + 6},
                                {j.x + 2, j.y - 3}, {j.x - 4, j.y - 3}, {j.x - 4, j.y}});
  lap.pop_back();
  std::vector<Cell> route;
  for (int round = 0; round < 20; ++round) route.insert(route.end(), lap.begin(), lap.end());
  Emitter& e = RouteEmitter(t.w, route);
  t.w.MoveMap.set(j.x, j.y, LaneCode::Right);
  t.w.ControlMap.set(j.x, j.y, static_cast<int32_t>(RoadType::Crossing));
  for (size_t at = 0; at < lap.size(); at += 2)
    if (std::abs(lap[at].x - crossing.x) + std::abs(lap[at].y - crossing.y) > 1) CarOnRoute(t.w, e, route, at, 1.0f);

  t.Frame(static_cast<int>(kGridlockSteps) + 200);
  ASSERT_EQ(t.w.Gridlocks.Current.size(), 1u);
  const Gridlock& g = t.w.Gridlocks.Current.front();
  EXPECT_EQ(g.Formed, g.StuckSince + kGridlockSteps);
  EXPECT_GE(g.Cars.size(), 8u);
  EXPECT_LT(g.Cars.size(), static_cast<size_t>(t.w.CarCount()));  // the queue feeding in is not in the cycle
  auto at = [&](Cell c) {
    return std::find_if(g.Cars.begin(), g.Cars.end(), [&](const GridlockCar& car) { return car.At == c; });
  };
  ASSERT_NE(at(j), g.Cars.end());
  ASSERT_NE(at(crossing), g.Cars.end());
  EXPECT_EQ((at(j) + 1 == g.Cars.end() ? g.Cars.begin() : at(j) + 1)->At, crossing);
  EXPECT_GE(g.Tiles.size(), 4u);
  EXPECT_NE(std::find(g.Tiles.begin(), g.Tiles.end(), g.Tile), g.Tiles.end());
}

}  // namespace
}  // namespace kv::test
