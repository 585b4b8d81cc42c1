#include "sim/cars.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace kv {

namespace {

constexpr float kDegToRad = 0.017453292f;
constexpr float kRadToDeg = 57.29578f;
constexpr float kPi = 3.14159265f;
constexpr float kHalfPi = kPi / 2.0f;
constexpr float kThreeHalfPi = 3.0f * kPi / 2.0f;
constexpr float kTwoPi = 2.0f * kPi;

constexpr float kCellPixels = 16.0f;
// Below this a car counts as standing.
constexpr float kStandingSpeed = 0.02f;
constexpr int kLookAheadPoints = 4;
constexpr float kLookAheadMinSpeed = 1.0f;
constexpr int32_t kSameHeadingDegrees = 10;
constexpr int32_t kAheadConeDegrees = 45;
constexpr float kFollowDeceleration = 0.34f;
constexpr float kFollowCloseDistance = 20.0f;
// Cars leave the grid at the last row and column, not only beyond them.
constexpr int32_t kLastDrivableCell = CellGrid::kMax - 1;

constexpr int32_t kRedLight = 1;
constexpr int32_t kYieldSign = 2;

// A strip of cells relative to a car's cell, both ends included.
struct Strip {
  int x0, y0, x1, y1;
};

// Where a car on a control cell looks for crossing traffic, by the lane code
// of its cell: the lane coming from its right, and the one from its left.
struct CrossLanes {
  int32_t code;
  Strip right;
  Strip left;
};

constexpr CrossLanes kCrossLanes[] = {
    {2, {-5, 2, 0, 2}, {0, 1, 6, 1}},
    {4, {-2, -5, -2, 0}, {-1, 0, -1, 6}},
    {6, {2, 0, 2, 5}, {1, -6, 1, 0}},
    {8, {0, -2, 5, -2}, {-6, -1, 0, -1}},
};

bool AnyCarIn(const World& w, int x, int y, const Strip& s) {
  for (int cy = y + s.y0; cy <= y + s.y1; ++cy)
    for (int cx = x + s.x0; cx <= x + s.x1; ++cx)
      if (w.CarMap.get(cx, cy) != 0) return true;
  return false;
}

// The route point at `index` of the car's route; false when there is none
// (no emitter, or an index outside the arrays or beyond the route).
bool RoutePoint(const Car& car, int64_t index, Cell& out) {
  const Emitter* e = car.Emitter.get();
  if (e == nullptr || index < 0 || index >= kRouteCapacity || index > e->RouteLength) return false;
  out = {e->RouteX[static_cast<size_t>(index)], e->RouteY[static_cast<size_t>(index)]};
  return true;
}

bool IsControlCell(const World& w, const Cell& c) { return w.ControlMap.get(c.x, c.y) != 0; }

bool IsBlocked(const World& w, const Car& car, int32_t code, int32_t control) {
  bool blocked = control == kRedLight;
  for (const CrossLanes& lanes : kCrossLanes) {
    if (lanes.code != code) continue;
    if (AnyCarIn(w, car.CellX, car.CellY, lanes.right)) blocked = true;
    if (control == kYieldSign && AnyCarIn(w, car.CellX, car.CellY, lanes.left)) blocked = true;
  }
  return blocked;
}

void Brake(Car& car) {
  int32_t n = car.Speed == 0.0f ? 0 : RoundToInt(car.BrakeDistance / car.Speed);
  if (n == 0) {
    car.Speed = 0.0f;
    ResumeCar(car);
    return;
  }
  float d = car.Speed / static_cast<float>(n);
  car.Speed = car.Speed - d / 2.0f;
  car.BrakeDistance -= car.Speed;
  if (car.Speed == 0.0f) ResumeCar(car);
}

// CarMap counts the marks on a cell, so that a car can tell its own marks
// from those of others; everyone else only tests for non-zero.
void MarkCell(World& w, int32_t x, int32_t y) {
  if (CellGrid::Inside(x, y)) w.CarMap.at(x, y) += 1;
}

// Whether a car other than this one marks the cell. The car's own marks (its
// cell at the start of the pass and its new cell) do not count: otherwise a
// car whose move lands on the point after next, as a new car faster than half
// a cell does, would stop for itself.
bool MarkedByOthers(const World& w, const Car& car, Cell oldCell, Cell c) {
  int32_t marks = w.CarMap.get(c.x, c.y);
  if (c == oldCell) marks -= 1;
  if (c == Cell{car.CellX, car.CellY}) marks -= 1;
  return marks > 0;
}

void PlaceOnCell(World& w, Car& car) {
  car.CellX = RoundToInt(car.PosX / kCellPixels);
  car.CellY = RoundToInt(car.PosY / kCellPixels);
  MarkCell(w, car.CellX, car.CellY);
}

bool OutsideDrivableGrid(const Car& car) {
  return car.CellX < 0 || car.CellX > kLastDrivableCell || car.CellY < 0 ||
         car.CellY > kLastDrivableCell;
}

void RemoveCurrentCar(World& w) {
  w.CarList.Delete();
  w.CarCount -= 1;
}

// What became of a car in its move.
enum class Outcome { Moved, Arrived, LeftGrid };

Outcome MoveCar(World& w, Platform& p, Car& car) {
  if (OutsideDrivableGrid(car)) return Outcome::LeftGrid;

  const Cell oldCell{car.CellX, car.CellY};
  const int32_t startX = RoundToInt(car.PosX);
  const int32_t startY = RoundToInt(car.PosY);

  const int32_t code = w.MoveMap.get(car.CellX, car.CellY);
  const int32_t control = w.ControlMap.get(car.CellX, car.CellY);
  if (control != 0) {
    if (IsBlocked(w, car, code, control))
      HoldCar(car, p, kHoldMs);
    else
      ResumeCar(car);
  }

  if (car.State == Driving) {
    if (car.Speed > car.MaxSpeed)
      car.Speed -= car.Acceleration;
    else
      car.Speed += car.Acceleration;
    Cell ahead;
    if (car.RouteIndex > kLookAheadPoints &&
        RoutePoint(car, int64_t{car.RouteIndex} - kLookAheadPoints, ahead) &&
        IsControlCell(w, ahead) && car.Speed > kLookAheadMinSpeed)
      BrakeCar(car, kLookAheadBrakeCells);
  }
  if (car.State == Held) {
    if (car.HoldTime != 0 && ElapsedMs(p.NowMs(), car.HoldStart) > car.HoldTime) {
      ResumeCar(car);
      car.HoldTime = 0;
    }
  }
  if (car.State == Braking) Brake(car);

  if (car.Speed < kStandingSpeed) car.Speed = 0.0f;
  if (car.Speed > car.MaxSpeed) car.Speed = car.MaxSpeed;

  car.PosX += CosDeg(car.Angle) * car.Speed;
  car.PosY += SinDeg(car.Angle) * car.Speed;
  PlaceOnCell(w, car);

  // Wait while the point after the next one is taken.
  Cell afterNext;
  if (RoutePoint(car, int64_t{car.RouteIndex} - 1, afterNext) &&
      MarkedByOthers(w, car, oldCell, afterNext)) {
    car.Speed = 0.0f;
    car.PosX = static_cast<float>(startX);
    car.PosY = static_cast<float>(startY);
  }

  FollowCars(w, car, startX, startY);

  Cell next;
  if (RoutePoint(car, car.RouteIndex, next) && next == Cell{car.CellX, car.CellY}) {
    const int32_t oldAngle = car.Angle;
    car.RouteIndex -= 1;
    Cell toward;
    if (RoutePoint(car, car.RouteIndex, toward)) {
      car.Angle = WholeDegrees(BearingOf(static_cast<float>(toward.y - car.CellY),
                                         static_cast<float>(toward.x - car.CellX)));
    }
    if (car.Angle != oldAngle) {
      car.PosX = static_cast<float>(car.CellX * kCellSize);
      car.PosY = static_cast<float>(car.CellY * kCellSize);
    }
  }

  const Emitter* e = car.Emitter.get();
  if (e != nullptr && car.CellX == e->TargetX && car.CellY == e->TargetY) return Outcome::Arrived;
  return Outcome::Moved;
}

}  // namespace

int32_t RoundToInt(float v) {
  float r = std::nearbyint(v);
  if (std::isnan(r)) return std::numeric_limits<int32_t>::min();
  if (r >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (r < -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(r);
}

void MoveCars(World& w, Platform& p) {
  w.CarMap.Fill(0);
  for (const Car& car : w.CarList) MarkCell(w, car.CellX, car.CellY);

  w.CarList.Reset();
  while (Car* car = w.CarList.Next()) {
    switch (MoveCar(w, p, *car)) {
      case Outcome::Moved:
        break;
      case Outcome::Arrived:
        w.Stats.Arrived += 1;
        if (w.Stats.Frame >= car->SpawnFrame)
          w.Stats.ArrivedTripFrames += w.Stats.Frame - car->SpawnFrame;
        RemoveCurrentCar(w);
        break;
      case Outcome::LeftGrid:
        // The rest of the list stands still this frame.
        w.Stats.LeftGrid += 1;
        RemoveCurrentCar(w);
        return;
    }
  }
}

void FollowCars(World& w, Car& car, int32_t startX, int32_t startY) {
  for (const Car& other : w.CarList)
    if (&other != &car) FollowCar(car, other, startX, startY);
}

float FollowRange(float speed) {
  if (speed >= 7.0f) return 64.0f;
  if (speed >= 6.0f) return 384.0f;
  if (speed >= 5.0f) return 256.0f;
  if (speed >= 4.0f) return 128.0f;
  if (speed >= 3.0f) return 96.0f;
  if (speed >= 2.0f) return 64.0f;
  if (speed >= 1.0f) return 32.0f;
  return 25.0f;
}

void FollowCar(Car& car, const Car& other, int32_t startX, int32_t startY) {
  const float range = FollowRange(car.Speed);
  if (std::llabs(int64_t{other.Angle} - car.Angle) >= kSameHeadingDegrees) return;
  const float dx = other.PosX - car.PosX;
  const float dy = other.PosY - car.PosY;
  if (!(std::fabs(dx) < range && std::fabs(dy) < range)) return;
  const int32_t bearing = WholeDegrees(BearingOf(dy, dx));
  if (std::llabs(int64_t{bearing} - car.Angle) >= kAheadConeDegrees) return;

  const float gap = Distance(RoundToInt(other.PosX), RoundToInt(other.PosY), RoundToInt(car.PosX),
                             RoundToInt(car.PosY));
  const int32_t dist = RoundToInt(gap);
  const float rel = std::fabs(other.Speed - car.Speed);
  if (other.Speed - kFollowDeceleration < car.Speed) {
    if (rel == 0.0f) {
      car.Speed -= kFollowDeceleration;
    } else {
      const int32_t n = RoundToInt(static_cast<float>(dist) / rel);
      if (n == 0)
        car.Speed = 0.0f;
      else
        car.Speed -= rel / static_cast<float>(n) + kFollowDeceleration;
    }
  }
  if (gap < kFollowCloseDistance) {
    car.Speed = other.Speed;
    car.PosX = static_cast<float>(startX);
    car.PosY = static_cast<float>(startY);
  }
}

void BrakeCar(Car& car, int cells) {
  car.State = Braking;
  car.BrakeDistance = static_cast<float>(cells) * kCellPixels;
}

void ResumeCar(Car& car) { car.State = Driving; }

void HoldCar(Car& car, Platform& p, int ms) {
  car.State = Held;
  car.HoldTime = ms;
  car.HoldStart = static_cast<int32_t>(p.NowMs());
  car.Speed = 0.0f;
}

float CosDeg(int deg) { return std::cos(static_cast<float>(deg) * kDegToRad); }

float SinDeg(int deg) { return std::sin(static_cast<float>(deg) * kDegToRad); }

float BearingOf(float dy, float dx) {
  if (dx < 0.0f) return std::atan(dy / dx) + kPi;
  if (dx > 0.0f) {
    if (dy >= 0.0f) return std::atan(dy / dx);
    return std::atan(dy / dx) + kTwoPi;
  }
  if (dy > 0.0f) return kHalfPi;
  if (dy < 0.0f) return kThreeHalfPi;
  return 0.0f;
}

float Distance(int x1, int y1, int x2, int y2) {
  const float dx = static_cast<float>(int64_t{x1} - x2);
  const float dy = static_cast<float>(int64_t{y1} - y2);
  return std::sqrt(dx * dx + dy * dy);
}

int32_t WholeDegrees(float radians) { return RoundToInt(radians * kRadToDeg); }

}  // namespace kv
