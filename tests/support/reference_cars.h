// The car pass as first written: every car's following check walks the whole
// car list. Kept as the yardstick that the indexed pass must match bit for
// bit, frame by frame, and be measured against.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "app/world.h"
#include "platform/platform.h"
#include "sim/cars.h"

namespace kv::reference {

namespace detail {

constexpr float kCellPixels = 16.0f;
constexpr float kStandingSpeed = 0.02f;
constexpr int kLookAheadPoints = 4;
constexpr float kLookAheadMinSpeed = 1.0f;
constexpr int32_t kSameHeadingDegrees = 10;
constexpr int32_t kAheadConeDegrees = 45;
constexpr float kFollowDeceleration = 0.34f;
constexpr float kFollowCloseDistance = 20.0f;
constexpr int32_t kLastDrivableCell = CellGrid::kMax - 1;
constexpr int32_t kRedLight = 1;
constexpr int32_t kYieldSign = 2;

struct Strip {
  int x0, y0, x1, y1;
};

struct CrossLanes {
  int32_t code;
  Strip right;
  Strip left;
};

inline constexpr CrossLanes kCrossLanes[] = {
    {2, {-5, 2, 0, 2}, {0, 1, 6, 1}},
    {4, {-2, -5, -2, 0}, {-1, 0, -1, 6}},
    {6, {2, 0, 2, 5}, {1, -6, 1, 0}},
    {8, {0, -2, 5, -2}, {-6, -1, 0, -1}},
};

inline bool AnyCarIn(const World& w, int x, int y, const Strip& s) {
  for (int cy = y + s.y0; cy <= y + s.y1; ++cy)
    for (int cx = x + s.x0; cx <= x + s.x1; ++cx)
      if (w.CarMap.get(cx, cy) != 0) return true;
  return false;
}

inline bool RoutePoint(const Car& car, int64_t index, Cell& out) {
  const Emitter* e = car.Emitter.get();
  if (e == nullptr || index < 0 || index >= kRouteCapacity || index > e->RouteLength) return false;
  out = {e->RouteX[static_cast<size_t>(index)], e->RouteY[static_cast<size_t>(index)]};
  return true;
}

inline bool IsControlCell(const World& w, const Cell& c) { return w.ControlMap.get(c.x, c.y) != 0; }

inline bool IsBlocked(const World& w, const Car& car, int32_t code, int32_t control) {
  bool blocked = control == kRedLight;
  for (const CrossLanes& lanes : kCrossLanes) {
    if (lanes.code != code) continue;
    if (AnyCarIn(w, car.CellX, car.CellY, lanes.right)) blocked = true;
    if (control == kYieldSign && AnyCarIn(w, car.CellX, car.CellY, lanes.left)) blocked = true;
  }
  return blocked;
}

inline void Brake(Car& car) {
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

inline void MarkCell(World& w, int32_t x, int32_t y) {
  if (CellGrid::Inside(x, y)) w.CarMap.at(x, y) += 1;
}

inline bool MarkedByOthers(const World& w, const Car& car, Cell oldCell, Cell c) {
  int32_t marks = w.CarMap.get(c.x, c.y);
  if (c == oldCell) marks -= 1;
  if (c == Cell{car.CellX, car.CellY}) marks -= 1;
  return marks > 0;
}

inline void PlaceOnCell(World& w, Car& car) {
  car.CellX = RoundToInt(car.PosX / kCellPixels);
  car.CellY = RoundToInt(car.PosY / kCellPixels);
  MarkCell(w, car.CellX, car.CellY);
}

inline bool OutsideDrivableGrid(const Car& car) {
  return car.CellX < 0 || car.CellX > kLastDrivableCell || car.CellY < 0 ||
         car.CellY > kLastDrivableCell;
}

inline void RemoveCurrentCar(World& w) {
  w.CarList.Delete();
  w.CarCount -= 1;
}

inline float FollowRange(float speed) {
  if (speed >= 7.0f) return 64.0f;
  if (speed >= 6.0f) return 384.0f;
  if (speed >= 5.0f) return 256.0f;
  if (speed >= 4.0f) return 128.0f;
  if (speed >= 3.0f) return 96.0f;
  if (speed >= 2.0f) return 64.0f;
  if (speed >= 1.0f) return 32.0f;
  return 25.0f;
}

inline void FollowCar(Car& car, const Car& other, int32_t startX, int32_t startY) {
  const float range = detail::FollowRange(car.Speed);
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

inline void FollowCars(World& w, Car& car, int32_t startX, int32_t startY) {
  for (const Car& other : w.CarList)
    if (&other != &car) detail::FollowCar(car, other, startX, startY);
}

enum class Outcome { Moved, Arrived, LeftGrid };

inline Outcome MoveCar(World& w, Platform& p, Car& car) {
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

  Cell afterNext;
  if (RoutePoint(car, int64_t{car.RouteIndex} - 1, afterNext) &&
      MarkedByOthers(w, car, oldCell, afterNext)) {
    car.Speed = 0.0f;
    car.PosX = static_cast<float>(startX);
    car.PosY = static_cast<float>(startY);
  }

  detail::FollowCars(w, car, startX, startY);

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

}  // namespace detail

inline void MoveCars(World& w, Platform& p) {
  w.CarMap.Fill(0);
  for (const Car& car : w.CarList) detail::MarkCell(w, car.CellX, car.CellY);

  w.CarList.Reset();
  while (Car* car = w.CarList.Next()) {
    switch (detail::MoveCar(w, p, *car)) {
      case detail::Outcome::Moved:
        break;
      case detail::Outcome::Arrived:
        w.Stats.Arrived += 1;
        if (w.Stats.Frame >= car->SpawnFrame)
          w.Stats.ArrivedTripFrames += w.Stats.Frame - car->SpawnFrame;
        detail::RemoveCurrentCar(w);
        break;
      case detail::Outcome::LeftGrid:
        w.Stats.LeftGrid += 1;
        detail::RemoveCurrentCar(w);
        return;
    }
  }
}

}  // namespace kv::reference
