// A city over the whole map for measuring the program under load: streets
// every third tile in both directions, lights at every inner crossing, and
// hundreds of emitters along the streets, each sending its cars straight on to
// the far end of its street. Routes without turns keep the crossings from
// locking up however full the streets get. Built through the program's own
// placing operations; make-stress saves it as a map file.
//
// FillWithCars then puts thousands of cars on it at once, as if they had
// been driving for a while. Header-only, so that tools and benchmarks can
// use it without the test library.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "network/placing.h"
#include "network/roads.h"
#include "platform/clock.h"
#include "sim/cars.h"
#include "world/world.h"

namespace kv::stress {

constexpr int kFirstStreet = 1;
constexpr int kLastStreet = 97;
constexpr int kStreetSpacing = 3;
// Emitters stand at both ends of every street and, besides, in every
// kEmitterEvery-th block; their cars leave the map at the street's far end.
constexpr int kEmitterEvery = 4;


// Lights on the four approaches of the crossing on tile (x, y): north-south
// starts red, east-west green, and all switch together.
inline void LightCrossing(World& w, const Clock& clock, int x, int y) {
  AddTrafficLight(w, clock, 2 * x, 2 * y - 1, LightState::Red);
  AddTrafficLight(w, clock, 2 * x + 1, 2 * y + 2, LightState::Red);
  AddTrafficLight(w, clock, 2 * x + 2, 2 * y, LightState::Green);
  AddTrafficLight(w, clock, 2 * x - 1, 2 * y + 1, LightState::Green);
}

// An emitter on tile (x, y) sending its cars in `direction` to the last lane
// cell before the far end of its street.
inline void StreetEmitter(World& w, int x, int y, Direction direction) {
  constexpr int kNear = kFirstStreet + 1, kFar = kLastStreet - 1;  // first and last straight tiles
  switch (direction) {
    case Direction::Right: AddEmitter(w, x, y, direction, 2 * kFar + 1, 2 * y + 1); break;
    case Direction::Left: AddEmitter(w, x, y, direction, 2 * kNear, 2 * y); break;
    case Direction::Down: AddEmitter(w, x, y, direction, 2 * x, 2 * kFar + 1); break;
    case Direction::Up: AddEmitter(w, x, y, direction, 2 * x + 1, 2 * kNear); break;
    default: break;
  }
}

// Builds the city into an empty world.
inline void BuildStressWorld(World& w, const Clock& clock) {
  std::vector<RoadPlacement> roads;
  for (int a = kFirstStreet; a <= kLastStreet; a += kStreetSpacing)
    for (int b = kFirstStreet; b <= kLastStreet; ++b) {
      roads.push_back({b, a, RoadType::StraightWE});
      roads.push_back({a, b, RoadType::StraightNS});
    }
  AddRoads(w, roads);

  for (int y = kFirstStreet + kStreetSpacing; y < kLastStreet; y += kStreetSpacing)
    for (int x = kFirstStreet + kStreetSpacing; x < kLastStreet; x += kStreetSpacing)
      LightCrossing(w, clock, x, y);
  // Where a street meets the ring, the ring has the right of way.
  for (int a = kFirstStreet + kStreetSpacing; a < kLastStreet; a += kStreetSpacing) {
    constexpr LightState kRightOfWay = LightState::RightOfWay;
    AddTrafficLight(w, clock, 2 * a - 1, 2 * kFirstStreet + 1, kRightOfWay);  // top, eastbound
    AddTrafficLight(w, clock, 2 * a + 2, 2 * kLastStreet, kRightOfWay);       // bottom, westbound
    AddTrafficLight(w, clock, 2 * kFirstStreet + 1, 2 * a + 2, kRightOfWay);  // left, northbound
    AddTrafficLight(w, clock, 2 * kLastStreet, 2 * a - 1, kRightOfWay);       // right, southbound
  }

  int street = 0;
  for (int a = kFirstStreet; a <= kLastStreet; a += kStreetSpacing, ++street) {
    StreetEmitter(w, kFirstStreet + 1, a, Direction::Right);
    StreetEmitter(w, kLastStreet - 1, a, Direction::Left);
    StreetEmitter(w, a, kFirstStreet + 1, Direction::Down);
    StreetEmitter(w, a, kLastStreet - 1, Direction::Up);
    int block = 0;
    for (int b = kFirstStreet + kStreetSpacing + 1; b < kLastStreet - 1; b += kStreetSpacing, ++block) {
      if ((street + block) % kEmitterEvery != 0) continue;
      const bool forward = (street + block) / kEmitterEvery % 2 == 0;
      StreetEmitter(w, b, a, forward ? Direction::Right : Direction::Left);
      StreetEmitter(w, a, b, forward ? Direction::Down : Direction::Up);
    }
  }
}

// Puts up to `count` cars on free lane cells along the routes of the
// emitters that spawn, as if they had been driving there: each stands on a
// route point (not the target) heading for the next one, with a start speed
// and colour drawn as its emitter would. The same seed gives the same cars.
// Cars are appended to CarList and marked in CarMap; returns how many were
// placed (fewer when the routes run out of free cells).
inline int FillWithCars(World& w, int count, uint32_t seed) {
  std::vector<Emitter*> emitters;
  std::vector<int32_t> positions;
  int32_t position = 0;
  for (Emitter& e : w.EmitterList) {
    if (e.RouteLength >= 2 && e.RouteLength < kRouteCapacity && int64_t{e.TargetX} + e.TargetY != 0) {
      emitters.push_back(&e);
      positions.push_back(position);
    }
    ++position;
  }
  if (emitters.empty() || count <= 0) return 0;

  std::mt19937 rng(seed);
  // A whole number 0..max, drawn as the platform does.
  auto upTo = [&rng](int64_t max) {
    max = std::clamp<int64_t>(max, 0, INT32_MAX);
    return static_cast<int32_t>((uint64_t{rng()} * static_cast<uint64_t>(max + 1)) >> 32);
  };
  constexpr size_t kSide = CellGrid::kMax + 1;
  std::vector<bool> taken(kSide * kSide, false);
  for (const Car& car : w.CarList)
    if (CellGrid::Inside(car.CellX, car.CellY)) taken[static_cast<size_t>(car.CellY) * kSide + car.CellX] = true;

  int placed = 0;
  const int64_t attempts = int64_t{count} * 50;
  for (int64_t attempt = 0; placed < count && attempt < attempts; ++attempt) {
    const size_t which = static_cast<size_t>(upTo(static_cast<int64_t>(emitters.size()) - 1));
    Emitter& e = *emitters[which];
    const size_t k = 2 + static_cast<size_t>(upTo(e.RouteLength - 2));
    const Cell cell{e.RouteX[k], e.RouteY[k]};
    const Cell next{e.RouteX[k - 1], e.RouteY[k - 1]};
    if (!CellGrid::Inside(cell.x, cell.y)) continue;
    const size_t at = static_cast<size_t>(cell.y) * kSide + cell.x;
    if (taken[at]) continue;
    taken[at] = true;

    int64_t color = e.SingleColor;
    const float speed = e.StartSpeed + static_cast<float>(upTo(RoundToInt(e.StartSpeedTolerance)));
    if (color == 0) color = 1 + int64_t{upTo(int64_t{e.ColorRange} - 1)};
    color = std::clamp<int64_t>(color, 1, 17);

    w.CarList.Last();
    Car& car = w.CarList.Add();
    car.CellX = cell.x;
    car.CellY = cell.y;
    car.PosX = static_cast<float>(cell.x * kCellSize);
    car.PosY = static_cast<float>(cell.y * kCellSize);
    car.Speed = speed;
    car.MaxSpeed = kMaxCarSpeed;
    car.Acceleration = kCarAcceleration;
    car.State = CarState::Driving;
    car.Angle = WholeDegrees(BearingOf(static_cast<float>(next.y - cell.y), static_cast<float>(next.x - cell.x)));
    car.Emitter = e.shared_from_this();
    car.RouteIndex = static_cast<int32_t>(k);
    car.Color = static_cast<int32_t>(color);
    car.Sprite = w.CarSprites[static_cast<size_t>(color)];
    car.Serial = w.NextCarSerial++;
    car.EmitterIndex = positions[which];
    car.SpawnFrame = w.Stats.Frame;
    w.CarMap.set(cell.x, cell.y, 1);
    ++placed;
  }
  return placed;
}

}  // namespace kv::stress
