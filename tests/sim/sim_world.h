// A fresh world with routes, cars, lights and a controlled clock for
// simulation scenarios; grids and records are written directly.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "app/world.h"
#include "platform/headless_platform.h"
#include "sim/cars.h"
#include "sim/emitters.h"
#include "sim/lights.h"

namespace kv::test {

constexpr uint32_t kFrameMs = 16;

// Cells along straight segments between the corners, both ends included.
inline std::vector<Cell> Path(std::initializer_list<Cell> corners) {
  std::vector<Cell> cells{*corners.begin()};
  for (Cell c : corners)
    for (Cell at = cells.back(); !(at == c); cells.push_back(at)) {
      at.x += (c.x > at.x) - (c.x < at.x);
      at.y += (c.y > at.y) - (c.y < at.y);
    }
  return cells;
}

class SimWorld : public ::testing::Test {
 protected:
  SimWorld() {
    for (int i = 0; i < 19; ++i) w.CarSprites[i] = 1000 + i;
    for (int i = 0; i < 6; ++i) w.LightSprites[i] = 2000 + i;
    p.SetNow(100000);
  }

  // An emitter at the end of EmitterList whose route runs along `path`; it
  // spawns nothing unless a test changes its Interval or LastSpawn.
  Emitter& RouteEmitter(const std::vector<Cell>& path, int direction = 6) {
    w.EmitterList.Last();
    Emitter& e = w.EmitterList.Add();
    w.EmitterCount += 1;
    e.TileX = e.TileY = 10, e.Direction = static_cast<int8_t>(direction);
    e.Interval = 1 << 30, e.LastSpawn = static_cast<int32_t>(p.NowMs());
    e.StartSpeed = 1.0f, e.ColorRange = 17;
    e.RouteLength = static_cast<int32_t>(path.size());
    for (size_t i = 0; i < path.size(); ++i)
      e.RouteX[path.size() - i] = static_cast<int16_t>(path[i].x), e.RouteY[path.size() - i] = static_cast<int16_t>(path[i].y);
    e.TargetX = path.back().x, e.TargetY = path.back().y;
    return e;
  }

  Car& PutCar(Cell cell, int angle, float speed) {
    w.CarList.Last();
    Car& car = w.CarList.Add();
    w.CarCount += 1;
    car.CellX = cell.x, car.CellY = cell.y, car.PosX = 16.0f * cell.x, car.PosY = 16.0f * cell.y;
    car.Angle = angle, car.Speed = speed, car.MaxSpeed = 99.0f, car.Acceleration = 0.02f;
    return car;
  }

  // A car on path[at] of the emitter's route, heading for path[at + 1].
  Car& CarOnRoute(Emitter& e, const std::vector<Cell>& path, int at, float speed) {
    Cell a = path[at], b = path[at + 1];
    Car& car = PutCar(a, b.x > a.x ? 0 : b.y > a.y ? 90 : b.x < a.x ? 180 : 270, speed);
    car.Emitter = e.shared_from_this();
    car.RouteIndex = e.RouteLength - (at + 1);
    return car;
  }

  // A car that never moves by itself: held without an end.
  Car& Park(Cell cell, int angle = 45) {
    Car& car = PutCar(cell, angle, 0.0f);
    car.State = Held;
    return car;
  }

  TrafficLight& Light(Cell cell, int32_t state, int32_t interval) {
    w.TrafficLightList.Last();
    TrafficLight& l = w.TrafficLightList.Add();
    l.CellX = cell.x, l.CellY = cell.y, l.Kind = l.State = state, l.Interval = interval;
    l.LastSwitch = static_cast<int32_t>(p.NowMs());
    w.ControlMap.set(cell.x, cell.y, ControlValueOfState(state));
    return l;
  }

  bool Contains(const Car& car) const {
    for (const Car& c : w.CarList)
      if (&c == &car) return true;
    return false;
  }

  void Frame() {
    UpdateLights(w, p);
    UpdateEmitters(w, p);
    MoveCars(w, p);
    w.Stats.Frame += 1;
    p.AdvanceMs(kFrameMs);
  }

  World w;
  HeadlessPlatform p{DrawMode::CountOnly, 7};
};

}  // namespace kv::test
