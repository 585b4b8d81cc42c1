// Car motion: following, control cells, braking, route points, arriving and
// leaving the grid, values no car should ever hold, and the fast following
// scan against the plain one, bit for bit. Turning at route points, waiting
// for the point after next and the order of a step's parts show in every run
// of the start map (its recorded outputs in tests/tools/data); that it keeps
// flowing for an hour is a long run.
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>

#include "mapfile/mapfile.h"
#include "sim/cars.h"
#include "sim/emitters.h"
#include "sim/lights.h"
#include "sim/step.h"
#include "stress_map.h"
#include "support/builders.h"

namespace kv::test {
namespace {

class CarMotion : public ::testing::Test, public Traffic {
 protected:
  std::vector<Cell> lane = Path({{0, 21}, {120, 21}});  // lane[x] is cell (x, 21), eastbound
  Emitter& route = RouteEmitter(w, lane);

  Car& OnLane(size_t at, float speed) { return CarOnRoute(w, route, lane, at, speed); }
  // Frames until the car stands.
  int RunToStandstill(Car& car) {
    int frames = 0;
    while (frames < 500 && car.Speed != 0.0f) Frame(), ++frames;
    return frames;
  }
};

TEST_F(CarMotion, AFasterCarBehindMatchesSpeedWithin20PxKeepsItsDistanceAndNeverRollsBack) {
  Car& front = OnLane(30, 1.0f);
  Car& rear = OnLane(29, 3.0f);
  rear.PosX = 462.4f;
  MoveCars(w, clock);
  EXPECT_EQ(rear.Speed, front.Speed);
  EXPECT_EQ(rear.PosX, 462.0f);  // back to its start of the frame, rounded

  Car& slow = OnLane(80, 0.5f);
  Car& fast = OnLane(60, 6.0f);
  bool slowedDown = false;
  for (int i = 0; i < 600; ++i) {
    const float speed = fast.Speed;
    Frame();
    if (!Contains(w, fast) || !Contains(w, slow)) break;
    slowedDown |= fast.Speed < speed;
    ASSERT_GE(slow.PosX - fast.PosX, 16.0f);
  }
  EXPECT_TRUE(slowedDown);

  Car& creeping = PutCar(w, {20, 60}, 0, 0.3f);
  ParkedCar(w, {20, 60}, 0).PosX += 20.0f;
  for (int i = 0; i < 50; ++i) {
    const float before = creeping.PosX;
    MoveCars(w, clock);
    ASSERT_GE(creeping.PosX, before);
  }
}

// Others are looked for only within a range that grows with the speed (each
// step taken right at its lowest speed), and only straight ahead.
TEST_F(CarMotion, ACarAheadCountsWithinTheRangeOfTheSpeedAndTheConeWithoutWrapAround) {
  const struct {
    float speed, gap, rowOffset;
    bool follows;
  } cases[] = {{0.5f, 24.0f, 0.0f, true},  {0.5f, 26.0f, 0.0f, false}, {1.0f, 31.0f, 0.0f, true},
               {2.0f, 63.0f, 0.0f, true},  {3.0f, 95.0f, 0.0f, true},  {4.0f, 127.0f, 0.0f, true},
               {5.0f, 255.0f, 0.0f, true}, {6.0f, 383.0f, 0.0f, true}, {7.0f, 100.0f, 0.0f, false},
               {2.0f, 32.0f, -0.01f, false},  // bearing rounds to 360
               {2.0f, 32.0f, 0.2f, true}};
  int row = 10;
  for (const auto& c : cases) {
    Car& car = PutCar(w, {20, row}, 0, c.speed);
    car.State = CarState::Held;  // keeps its speed: no acceleration before the check
    Car& ahead = ParkedCar(w, {20, row}, 0);
    ahead.PosX += c.gap + c.speed, ahead.PosY += c.rowOffset, row += 10;
    MoveCars(w, clock);
    EXPECT_EQ(car.Speed < c.speed, c.follows) << c.speed << " " << c.gap << " " << c.rowOffset;
  }
}

TEST_F(CarMotion, OnAControlCellACarLooksRightAtJunctionsBothWaysAtYieldSignsAndStopsAtRed) {
  // Per lane code: ends of the strip from the right, ends of the strip from
  // the left, and cells just beyond them.
  const struct {
    LaneCode code;
    int angle;
    Cell right[2], left[2], beyond[4];
  } cases[] = {
      {LaneCode::Down, 90, {{-5, 2}, {0, 2}}, {{0, 1}, {6, 1}}, {{-6, 2}, {1, 2}, {-1, 1}, {7, 1}}},
      {LaneCode::Left, 180, {{-2, -5}, {-2, 0}}, {{-1, 0}, {-1, 6}}, {{-2, -6}, {-2, 1}, {-1, -1}, {-1, 7}}},
      {LaneCode::Right, 0, {{2, 0}, {2, 5}}, {{1, -6}, {1, 0}}, {{2, -1}, {2, 6}, {1, -7}, {1, 1}}},
      {LaneCode::Up, 270, {{0, -2}, {5, -2}}, {{-6, -1}, {0, -1}}, {{-1, -2}, {6, -2}, {-7, -1}, {1, -1}}},
  };
  const Cell at{100, 100};
  auto held = [&](LaneCode code, int angle, Cell offset, int32_t control) {
    w.CarList.Clear();
    w.MoveMap.set(at.x, at.y, code);
    w.ControlMap.set(at.x, at.y, control);
    Car& car = PutCar(w, at, angle, 1.0f);
    ParkedCar(w, {at.x + offset.x, at.y + offset.y}, angle + 45);
    MoveCars(w, clock);
    EXPECT_EQ(car.State == CarState::Held, car.Speed == 0.0f);
    return car.State == CarState::Held;
  };
  constexpr int32_t kJunction = 7;
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.code));
    for (Cell o : c.right) {
      EXPECT_TRUE(held(c.code, c.angle, o, kJunction));         // unmarked junction: yield to the right
      EXPECT_TRUE(held(c.code, c.angle, o, control::kYield));   // yield sign
      EXPECT_FALSE(held(c.code, c.angle, o, control::kNone));   // green light or right-of-way sign
      EXPECT_FALSE(held(LaneCode::Any, c.angle, o, kJunction));  // a turning cell looks nowhere
    }
    for (Cell o : c.left) {
      EXPECT_FALSE(held(c.code, c.angle, o, kJunction));
      EXPECT_TRUE(held(c.code, c.angle, o, control::kYield));
    }
    for (Cell o : c.beyond) EXPECT_FALSE(held(c.code, c.angle, o, control::kYield));
    EXPECT_TRUE(held(c.code, c.angle, {50, 50}, control::kStop));
  }
}

TEST_F(CarMotion, ARedLightHoldsTheCarUntilASecondAfterItsLastRedStep) {
  TrafficLight& light = PutLight(w, {30, 21}, LightState::Red, 2000, clock.NowMs());
  Car& car = OnLane(30, 0.0f);
  car.State = CarState::Held;
  uint32_t lastRed = 0, now = 0;
  for (int i = 0; i < 300 && car.State != CarState::Driving; ++i) {
    now = clock.NowMs();
    Frame();
    if (light.State == LightState::Red) lastRed = now;
    ASSERT_EQ(car.PosX, 480.0f);
  }
  EXPECT_EQ(light.State, LightState::Green);
  EXPECT_GT(now - lastRed, 1000u);
  EXPECT_LE(now - lastRed, 1000u + kStepMs);
  Frame(60);
  EXPECT_GT(car.PosX, 480.0f);
}

TEST_F(CarMotion, ACarBrakesOverFiveCellsBeforeAControlCellAndOverTenAfterAClick) {
  w.ControlMap.set(45, 21, control::kYield);
  Car& car = OnLane(30, 3.0f);
  float from = car.PosX;
  while (car.State != CarState::Braking) from = car.PosX, Frame();
  EXPECT_EQ(car.CellX, 40);
  w.ControlMap.set(45, 21, control::kNone);  // so that nothing but the braking stops it
  RunToStandstill(car);
  EXPECT_NEAR(car.PosX - from, 80.0f, 3.0f);

  std::vector<Cell> other = Path({{0, 31}, {120, 31}});
  Car& toRed = CarOnRoute(w, RouteEmitter(w, other), other, 30, 3.0f);
  w.ControlMap.set(45, 31, control::kStop);
  Frame(300);
  EXPECT_EQ(toRed.CellX, 45);
  EXPECT_EQ(toRed.State, CarState::Held);

  Car& clicked = OnLane(80, 3.0f);
  BrakeCar(clicked, kUserBrakeCells);
  from = clicked.PosX;
  EXPECT_NEAR(RunToStandstill(clicked), 107, 5);  // even deceleration: 2 * 160 / 3 frames
  EXPECT_NEAR(clicked.PosX - from, 160.0f, 3.0f);
  Frame(2);
  EXPECT_EQ(clicked.State, CarState::Driving);
  EXPECT_EQ(clicked.Speed, kCarAcceleration);  // starts again from standstill
}

TEST_F(CarMotion, ArrivingEvenWithoutItsEmitterLetsThePassGoOnButLeavingTheGridEndsIt) {
  std::vector<Cell> shortLane = Path({{10, 31}, {15, 31}});
  Car& arriving = CarOnRoute(w, RouteEmitter(w, shortLane), shortLane, 3, 4.0f);
  Car& behind = OnLane(50, 1.0f);
  w.EmitterList.Clear();  // the cars finish their trips on the removed routes
  float before = behind.PosX;
  while (Contains(w, arriving)) before = behind.PosX, Frame();
  EXPECT_GT(behind.PosX, before);
  EXPECT_EQ(w.CarCount(), 1);
  EXPECT_EQ(w.Stats.Arrived, 1u);
  EXPECT_EQ(w.Stats.ArrivedTripFrames, w.Stats.Frame);  // placed at step 0, arrived in the last step

  Car& first = PutCar(w, {40, 40}, 0, 1.0f);
  PutCar(w, {200, 40}, 0, 1.0f);
  Car& last = PutCar(w, {40, 50}, 0, 1.0f);
  before = behind.PosX;
  MoveCars(w, clock);
  EXPECT_EQ(w.CarCount(), 3);
  EXPECT_EQ(w.Stats.LeftGrid, 1u);
  EXPECT_GT(behind.PosX, before);
  EXPECT_GT(first.PosX, 640.0f);
  EXPECT_EQ(last.PosX, 640.0f);  // the rest of that pass is not moved
  EXPECT_EQ(last.Speed, 1.0f);
}

TEST_F(CarMotion, ANewCarFasterThanHalfACellIgnoresItsRoute) {
  for (float speed : {3.0f, 9.0f}) {
    w.CarList.Clear(), w.EmitterList.Clear(), w.Stats = {};
    Emitter& e = RouteEmitter(w, Path({{20, 21}, {23, 21}, {23, 26}}));
    e.StartSpeed = speed, e.HasSpawned = false, e.Interval = 90000;
    bool turned = false;
    for (int i = 0; i < 500 && (w.Stats.Spawned == 0 || w.CarCount() > 0); ++i) {
      Frame();
      for (const Car& car : w.CarList) turned |= car.Angle != 0;
    }
    EXPECT_EQ(turned, speed < 8.0f) << speed;
    EXPECT_EQ(w.Stats.LeftGrid, speed < 8.0f ? 0u : 1u) << speed;
  }
}

TEST_F(CarMotion, CarsAndRoutesWithImpossibleValuesNeverReachOutsideTheGrids) {
  const int32_t big = std::numeric_limits<int32_t>::max(), small = std::numeric_limits<int32_t>::min();
  Emitter& odd = RouteEmitter(w, Path({{10, 40}, {12, 40}}));
  odd.RouteLength = 5000;
  odd.RouteX[1] = -5, odd.RouteY[1] = 3000, odd.RouteX[2] = 32000, odd.RouteY[2] = -32000;
  for (int32_t index : {5000, 1000, 999, -7, small, big, 2, 3}) {
    Car& car = PutCar(w, {11, 40}, 0, 1.0f);
    car.Emitter = odd.shared_from_this();
    car.RouteIndex = index;
  }
  PutCar(w, {5, 5}, big, 2.0f);
  PutCar(w, {5, 60}, small, NAN).PosX = NAN;
  PutCar(w, {5, 70}, 0, 1e30f);
  PutCar(w, {0, 80}, 180, 3.0f).PosX = -40.0f;
  Car& braking = PutCar(w, {1, 90}, 0, INFINITY);
  braking.State = CarState::Braking, braking.BrakeDistance = -1.0f;
  Frame(100);
  for (const Car& car : w.CarList) EXPECT_TRUE(CellGrid::Inside(car.CellX, car.CellY));
}

void LoadStartMap(Traffic& t) {
  HeadlessPlatform p(DrawMode::CountOnly);
  ASSERT_EQ(LoadMap(t.w, p, p, t.clock, KV_SOURCE_DIR "/hightraffic"), LoadResult::Loaded);
}

// A car as the bits on which the two scans must agree.
auto Bits(const Car& c) {
  auto bits = [](float f) { return std::bit_cast<uint32_t>(f); };
  return std::tuple(c.Serial, c.CellX, c.CellY, bits(c.PosX), bits(c.PosY), bits(c.Speed), bits(c.BrakeDistance),
                    c.State, c.HoldStart, c.Angle, c.RouteIndex, c.Wait.Kind, c.Wait.Where);
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

// Watching the traffic changes none of it: a world that keeps figures and
// looks for gridlocks moves its cars bit for bit as one that does not, on the
// start map and in a city full of cars.
TEST(Observation, ChangesNothingInTheTraffic) {
  for (int map = 0; map < 2; ++map) {
    Traffic watched(3), blind(3);
    blind.w.Observe = {false, false};
    for (Traffic* s : {&watched, &blind}) {
      if (map == 0) {
        LoadStartMap(*s);
      } else {
        stress::BuildStressWorld(s->w, s->clock);
        ASSERT_EQ(stress::FillWithCars(s->w, 400, 9), 400);
      }
    }
    for (int k = 1; k <= (map == 0 ? 3000 : 200); ++k) {
      for (Traffic* s : {&watched, &blind}) {
        s->clock.Advance(Traffic::kStepMs);
        Step(s->w, s->clock, s->random);
      }
      ASSERT_EQ(Difference(watched.w, blind.w), "") << "step " << k;
    }
    EXPECT_GT(watched.w.Live.StandingCarSteps, 0u);
  }
}

}  // namespace
}  // namespace kv::test
