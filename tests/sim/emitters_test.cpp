#include <cmath>
#include <set>

#include "sim/sim_world.h"

namespace kv::test {
namespace {

class Spawning : public SimWorld {
 protected:
  // An emitter on tile (10, 10) leaving right from its start cell (20, 21).
  Emitter& Ready() { return RouteEmitter(Path({{20, 21}, {26, 21}})); }
  // Clock times of the frames in which a car appeared.
  std::vector<uint32_t> SpawnTimes(int frames) {
    std::vector<uint32_t> times;
    for (int i = 0; i < frames; ++i, p.AdvanceMs(kFrameMs)) {
      const int32_t before = w.CarCount;
      UpdateEmitters(w, p);
      if (w.CarCount != before) times.push_back(p.NowMs());
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

TEST_F(Spawning, EachActiveEmitterDrawsItsExtraWaitThenSpeedThenColour) {
  Emitter& due = Ready();
  due.LastSpawn = 0, due.Interval = 1000, due.StartSpeedTolerance = 2.0f;
  Emitter& noTarget = Ready();
  noTarget.TargetX = noTarget.TargetY = 0, noTarget.LastSpawn = 0;
  Emitter& noRoute = Ready();
  noRoute.RouteLength = 0, noRoute.LastSpawn = 0;
  Ready().IntervalTolerance = 300;  // still waiting
  HeadlessPlatform twin(DrawMode::CountOnly, 99);
  p.Seed(99);
  UpdateEmitters(w, p);
  twin.RandomUpTo(0);
  const float speed = 1.0f + twin.RandomUpTo(2);
  const int colour = 1 + twin.RandomUpTo(16);
  twin.RandomUpTo(300);
  ASSERT_EQ(w.CarCount, 1);
  EXPECT_EQ(w.CarList.Last()->Speed, speed);
  EXPECT_EQ(w.CarList.Last()->Color, colour);
  EXPECT_EQ(p.RandomUpTo(1 << 30), twin.RandomUpTo(1 << 30));
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
    for (int i = 0; i < 60; ++i) SpawnCar(w, p, e);
    std::set<int> colours;
    std::set<float> speeds;
    for (const Car& car : w.CarList) {
      colours.insert(car.Color), speeds.insert(car.Speed);
      EXPECT_EQ(car.Sprite, w.CarSprites[car.Color]);
    }
    EXPECT_EQ(colours, c.colours);
    EXPECT_EQ(speeds, c.speeds);
  }
}

TEST_F(Spawning, NewCarsStandOnTheStartCellFacingTheDirectionAppendedInEmitterOrder) {
  const struct {
    int direction;
    Cell start;
    int angle;
  } cases[] = {{6, {20, 21}, 0}, {2, {20, 20}, 90}, {8, {21, 20}, 270}, {4, {20, 20}, 180}};
  Car& earlier = PutCar({3, 3}, 0, 1.0f);
  w.Stats.Frame = 77;
  for (const auto& c : cases) {
    Emitter& e = RouteEmitter(Path({c.start, {c.start.x, 30}}), c.direction);
    e.LastSpawn = 0, e.Interval = 1000;
  }
  w.CarList.Reset();  // appending must not depend on the list position
  UpdateEmitters(w, p);  // all four in one frame, though they share start cells
  ASSERT_EQ(w.CarCount, 5);
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
    EXPECT_EQ((std::vector<uint64_t>{uint64_t(car.EmitterIndex), car.Serial, car.SpawnFrame}),
              (std::vector<uint64_t>{uint64_t(index), uint64_t(index + 1), 77u}));
    ++index;
  }
  EXPECT_EQ(w.Stats.Spawned, 4u);
}

}  // namespace
}  // namespace kv::test
