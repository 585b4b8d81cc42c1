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
      int32_t before = w.CarCount;
      UpdateEmitters(w, p);
      if (w.CarCount != before) times.push_back(p.NowMs());
    }
    return times;
  }
};

TEST_F(Spawning, AttemptsFollowStrictlyAfterTheIntervalAndAnOccupiedStartCellCostsAWholeOne) {
  Emitter& e = Ready();
  e.Interval = 1000;
  EXPECT_EQ(SpawnTimes(130), (std::vector<uint32_t>{101008, 102016}));
  w.CarMap.set(20, 21, 1);  // a car on the start cell at the next attempt
  EXPECT_TRUE(SpawnTimes(63).empty());
  EXPECT_EQ(e.LastSpawn, 103024);
  w.CarMap.Fill(0);
  EXPECT_EQ(SpawnTimes(70), (std::vector<uint32_t>{104032}));
  p.SetNow(104032 + 1000);
  UpdateEmitters(w, p);
  p.AdvanceMs(1);
  EXPECT_EQ(SpawnTimes(1), (std::vector<uint32_t>{105033}));
}

TEST_F(Spawning, ActiveEmittersDrawAFreshExtraWaitEachFrameThenSpeedBeforeColour) {
  Emitter& e = Ready();
  e.Interval = 1000, e.IntervalTolerance = 400;
  std::vector<uint32_t> times = SpawnTimes(1000);
  std::set<uint32_t> gaps;
  for (size_t i = 1; i < times.size(); ++i) gaps.insert(times[i] - times[i - 1]);
  EXPECT_GT(*gaps.begin(), 1000u);
  EXPECT_LE(*gaps.rbegin(), 1416u);
  EXPECT_GT(gaps.size(), 2u);


  // Draws: extra wait, speed, colour for a spawning emitter; the extra wait
  // alone for one still waiting; nothing for one without target or route.
  w.EmitterList.Clear();
  Emitter& due = Ready();
  due.LastSpawn = 0, due.Interval = 1000, due.StartSpeedTolerance = 2.0f;
  Emitter& noTarget = Ready();
  noTarget.TargetX = noTarget.TargetY = 0, noTarget.LastSpawn = 0;
  Emitter& noRoute = Ready();
  noRoute.RouteLength = 0, noRoute.LastSpawn = 0;
  Emitter& waiting = Ready();
  waiting.TargetX = 0, waiting.IntervalTolerance = 300;
  HeadlessPlatform twin(DrawMode::CountOnly, 99);
  p.Seed(99);
  UpdateEmitters(w, p);
  twin.RandomUpTo(0);
  float speed = 1.0f + twin.RandomUpTo(2);
  int colour = 1 + twin.RandomUpTo(16);
  twin.RandomUpTo(300);
  EXPECT_EQ(w.CarList.Last()->Speed, speed);
  EXPECT_EQ(w.CarList.Last()->Color, colour);
  EXPECT_EQ(p.RandomUpTo(1 << 30), twin.RandomUpTo(1 << 30));
}

TEST_F(Spawning, ColourAndStartSpeedComeFromTheSettingsWhateverTheyHold) {
  struct Case {
    int32_t single, range;
    float tolerance;
    std::set<int> colours;
    std::set<float> speeds;
  };
  const Case cases[] = {
      {5, 17, 0.0f, {5}, {1}},          {0, 1, 0.4f, {1}, {1}},
      {0, 3, 0.5f, {1, 2, 3}, {1}},     {0, 3, 1.5f, {1, 2, 3}, {1, 2, 3}},
      {0, 2, 2.5f, {1, 2}, {1, 2, 3}},  {0, 0, NAN, {1}, {1}},
      {40, 17, -3.0f, {17}, {1}},       {-3, -5, 0.0f, {1}, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tolerance);
    w.CarList.Clear();
    Emitter& e = Ready();
    e.SingleColor = c.single, e.ColorRange = c.range, e.StartSpeedTolerance = c.tolerance;
    e.IntervalTolerance = -5, e.LastSpawn = 0;
    UpdateEmitters(w, p);
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
  UpdateEmitters(w, p);
  ASSERT_EQ(w.CarCount, 5);
  EXPECT_EQ(&*w.CarList.begin(), &earlier);
  int index = 0;
  for (const Car& car : w.CarList) {
    if (&car == &earlier) continue;
    const auto& c = cases[index];
    EXPECT_EQ((Cell{car.CellX, car.CellY}), c.start);
    EXPECT_EQ(car.PosX, 16.0f * c.start.x);
    EXPECT_EQ(car.PosY, 16.0f * c.start.y);
    EXPECT_EQ(car.Angle, c.angle);
    EXPECT_EQ(car.RouteIndex, car.Emitter->RouteLength);
    EXPECT_EQ(car.Emitter->Direction, c.direction);
    EXPECT_EQ(car.EmitterIndex, index);
    EXPECT_EQ(car.Serial, static_cast<uint64_t>(++index));
    EXPECT_EQ(car.SpawnFrame, 77u);
    EXPECT_EQ(car.MaxSpeed, 99.0f);
    EXPECT_EQ(car.Acceleration, 0.02f);
  }
  EXPECT_EQ(w.Stats.Spawned, 4u);
}

}  // namespace
}  // namespace kv::test
