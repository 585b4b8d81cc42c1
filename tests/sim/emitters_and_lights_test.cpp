// Spawning at the emitters' intervals and the light cycle, on the
// simulation's clock wherever it stands: near 0, across 2^31 and across the
// wrap at 2^32.
#include <set>

#include "sim/emitters.h"
#include "sim/lights.h"
#include "support/builders.h"

namespace kv::test {
namespace {

// Hands out the given numbers and records the bound of every draw.
class ScriptedRandom : public Random {
 public:
  std::vector<int32_t> bounds;
  int32_t RandomUpTo(int32_t max) override {
    bounds.push_back(max);
    return max < 0 ? 0 : max / 2;
  }
};

class Spawning : public ::testing::Test, public Traffic {
 protected:
  // An emitter on tile (10, 10) leaving right from its start cell (20, 21).
  Emitter& Ready() { return RouteEmitter(w, Path({{20, 21}, {26, 21}})); }
  // Clock times of the steps in which a car appeared.
  std::vector<uint32_t> SpawnTimes(int steps) {
    std::vector<uint32_t> times;
    for (int i = 0; i < steps; ++i, clock.Advance(kStepMs)) {
      const int32_t before = w.CarCount();
      UpdateEmitters(w, clock, random);
      if (w.CarCount() != before) times.push_back(clock.NowMs());
    }
    return times;
  }
};

TEST_F(Spawning, AttemptsComeStrictlyAfterTheIntervalPlusAFreshToleranceAndAnOccupiedStartCostsOne) {
  Emitter& e = Ready();
  e.Interval = 1000;
  EXPECT_EQ(SpawnTimes(130), (std::vector<uint32_t>{101008, 102016}));
  w.CarMap.set(20, 21, 1);  // a car on the start cell at the next attempt
  EXPECT_TRUE(SpawnTimes(63).empty());
  EXPECT_EQ(e.LastSpawn, 103024);
  w.CarMap.Fill(0);
  EXPECT_EQ(SpawnTimes(70), (std::vector<uint32_t>{104032}));

  e.IntervalTolerance = 400;
  const std::vector<uint32_t> times = SpawnTimes(1000);
  std::set<uint32_t> gaps;
  for (size_t i = 1; i < times.size(); ++i) gaps.insert(times[i] - times[i - 1]);
  EXPECT_GT(*gaps.begin(), 1000u);
  EXPECT_LE(*gaps.rbegin(), 1416u);
  EXPECT_GT(gaps.size(), 2u);  // drawn afresh, not once per car
}

// The order of the draws is what makes a seeded run repeatable.
TEST_F(Spawning, EachActiveEmitterDrawsItsExtraWaitThenSpeedThenColour) {
  Emitter& due = Ready();
  due.HasSpawned = false, due.IntervalTolerance = 70, due.StartSpeedTolerance = 2.4f, due.ColorRange = 9;
  Emitter& noTarget = Ready();
  noTarget.TargetX = noTarget.TargetY = 0;  // no draw
  Ready().RouteLength = 0;                  // no route: no draw
  Ready().IntervalTolerance = 300;          // still waiting: its wait only
  ScriptedRandom scripted;
  UpdateEmitters(w, clock, scripted);
  EXPECT_EQ(scripted.bounds, (std::vector<int32_t>{70, 2, 8, 300}));
  ASSERT_EQ(w.CarCount(), 1);
  EXPECT_EQ(w.CarList.Last()->Speed, 2.0f);
  EXPECT_EQ(w.CarList.Last()->Color, 5);
}

TEST_F(Spawning, ColourAndWholeNumberStartSpeedComeFromTheSettingsWhateverTheyHold) {
  const struct {
    int32_t single, range;
    float tolerance;
    std::set<int> colours;
    std::set<float> speeds;
  } cases[] = {
      {5, 17, 0.0f, {5}, {1}},         {0, 1, 0.4f, {1}, {1}},          {0, 3, 0.5f, {1, 2, 3}, {1}},
      {0, 3, 1.5f, {1, 2, 3}, {1, 2, 3}}, {0, 2, 2.5f, {1, 2}, {1, 2, 3}}, {0, 0, NAN, {1}, {1}},
      {40, 17, -3.0f, {17}, {1}},      {-3, -5, 0.0f, {1}, {1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tolerance);
    w.CarList.Clear();
    Emitter& e = Ready();
    e.SingleColor = c.single, e.ColorRange = c.range, e.StartSpeedTolerance = c.tolerance;
    for (int i = 0; i < 60; ++i) SpawnCar(w, random, e);
    std::set<int> colours;
    std::set<float> speeds;
    for (const Car& car : w.CarList) {
      colours.insert(car.Color), speeds.insert(car.Speed);
      EXPECT_EQ(car.Sprite, w.CarSprites[static_cast<size_t>(car.Color)]);
    }
    EXPECT_EQ(colours, c.colours);
    EXPECT_EQ(speeds, c.speeds);
  }
}

TEST_F(Spawning, NewCarsStandOnTheStartCellFacingTheDirectionAppendedInEmitterOrder) {
  const struct {
    Direction direction;
    Cell start;
    int angle;
  } cases[] = {{Direction::Right, {20, 21}, 0},
               {Direction::Down, {20, 20}, 90},
               {Direction::Up, {21, 20}, 270},
               {Direction::Left, {20, 20}, 180}};
  Car& earlier = PutCar(w, {3, 3}, 0, 1.0f);
  w.Stats.Frame = 76;
  for (const auto& c : cases) RouteEmitter(w, Path({c.start, {c.start.x, 30}}), c.direction).HasSpawned = false;
  w.CarList.Reset();     // appending must not depend on the list position
  UpdateEmitters(w, clock, random);  // all four in one step, though they share start cells
  ASSERT_EQ(w.CarCount(), 5);
  EXPECT_EQ(&*w.CarList.begin(), &earlier);
  int index = 0;
  for (const Car& car : w.CarList) {
    if (&car == &earlier) continue;
    const auto& c = cases[index];
    EXPECT_EQ((std::vector<float>{float(car.CellX), float(car.CellY), car.PosX, car.PosY, float(car.Angle),
                                  float(car.RouteIndex), car.MaxSpeed, car.Acceleration}),
              (std::vector<float>{float(c.start.x), float(c.start.y), 16.0f * c.start.x, 16.0f * c.start.y,
                                  float(c.angle), 1.0f + std::abs(30 - c.start.y), 99.0f, 0.02f}));
    EXPECT_EQ(car.Emitter->Direction, c.direction);
    // Spawned in step 77: the step being taken when the count stands at 76;
    // numbered after the car put there first.
    EXPECT_EQ((std::vector<uint64_t>{uint64_t(car.EmitterIndex), car.Serial, car.SpawnFrame}),
              (std::vector<uint64_t>{uint64_t(index), uint64_t(index + 2), 77u}));
    ++index;
  }
  EXPECT_EQ(w.Stats.Spawned, 4u);
}

// The timers compare the unsigned difference of the clock: a fresh emitter
// spawns at once and every timer runs the same whatever the clock reads,
// just below or above 2^31 as across the wrap at 2^32. Opposite lights switch
// together after their phase plus at most one step; signs never switch.
TEST(Timers, TrafficAndLightsAreTheSameWhereverTheClockStands) {
  std::vector<std::vector<float>> runs;
  for (uint32_t start : {100000u, 0x7FFFF000u, 0x80000100u, 0xFFFFF000u}) {
    SCOPED_TRACE(start);
    Traffic t;
    t.clock.Set(start);
    Emitter& e = RouteEmitter(t.w, Path({{20, 21}, {60, 21}}), Direction::Right, 0);
    e.HasSpawned = false, e.Interval = 700, e.IntervalTolerance = 200;
    TrafficLight& light = PutLight(t.w, {40, 21}, LightState::Red, 1500, start);
    TrafficLight& opposite = PutLight(t.w, {42, 20}, LightState::Green, 1500, start);
    PutLight(t.w, {34, 40}, LightState::RightOfWay, 100, start);
    PutLight(t.w, {36, 40}, LightState::Yield, 100, start);
    std::vector<float> trace;
    uint32_t lastSwitch = start;
    int switches = 0;
    for (int step = 0; step < 600; ++step) {
      const LightState before = light.State;
      const uint32_t now = t.clock.NowMs();
      t.Frame();
      if (step == 0) {
        EXPECT_EQ(t.w.Stats.Spawned, 1u);
      }
      ASSERT_NE(light.State, opposite.State);
      for (const TrafficLight& l : t.w.TrafficLightList) {
        ASSERT_EQ(t.w.ControlMap.get(l.CellX, l.CellY), ControlValueOf(l.State));
        ASSERT_EQ(l.State, IsTrafficLight(l.Kind) ? l.State : l.Kind);
      }
      for (const Car& car : t.w.CarList) trace.insert(trace.end(), {car.PosX, car.Speed});
      if (light.State == before) continue;
      EXPECT_EQ(light.Sprite, t.w.LightSprites[Index(light.State)]);
      EXPECT_GT(now - lastSwitch, 1500u);
      EXPECT_LE(now - lastSwitch, 1500u + Traffic::kStepMs);
      lastSwitch = now, ++switches;
    }
    EXPECT_GE(t.w.Stats.Spawned, 10u);
    EXPECT_EQ(switches, 6);
    runs.push_back(trace);
  }
  for (size_t i = 1; i < runs.size(); ++i) EXPECT_EQ(runs[i], runs[0]) << "start " << i;
}

}  // namespace
}  // namespace kv::test
