#include "sim/emitters.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "sim/cars.h"

namespace kv {

namespace {

constexpr int32_t kFirstColor = 1;
constexpr int32_t kLastColor = 17;

// A random draw with the bound clamped to 0..INT32_MAX: settings may hold
// anything, and the draw is made either way so the sequence stays the same.
int32_t RandomUpToClamped(Random& random, int64_t max) {
  const int64_t bound = std::clamp<int64_t>(max, 0, std::numeric_limits<int32_t>::max());
  return random.RandomUpTo(static_cast<int32_t>(bound));
}

int32_t AngleOfDirection(Direction direction) {
  switch (direction) {
    case Direction::Right: return 0;
    case Direction::Down: return 90;
    case Direction::Up: return 270;
    case Direction::Left: return 180;
    default: return 0;
  }
}

int32_t PositionInList(const World& w, const Emitter& emitter) {
  int32_t index = 0;
  for (const Emitter& e : w.EmitterList) {
    if (&e == &emitter) return index;
    ++index;
  }
  return -1;
}

}  // namespace

void UpdateEmitters(World& w, const Clock& clock, Random& random) {
  w.EmitterList.Reset();
  while (Emitter* e = w.EmitterList.Next()) {
    if (!(e->RouteLength > 0 && int64_t{e->TargetX} + e->TargetY != 0)) continue;
    const int32_t extra = RandomUpToClamped(random, e->IntervalTolerance);
    const uint32_t now = clock.NowMs();
    if (!e->HasSpawned ||
        int64_t{ElapsedMs(now, static_cast<uint32_t>(e->LastSpawn))} > int64_t{e->Interval} + extra) {
      // Set before the occupancy test: a blocked attempt also waits anew.
      e->LastSpawn = static_cast<int32_t>(now);
      e->HasSpawned = true;
      SpawnCar(w, random, *e);
    }
  }
}

void SpawnCar(World& w, Random& random, Emitter& emitter) {
  const Cell start = EmitterStartCell(emitter);
  if (w.CarMap.get(start.x, start.y) != 0) return;

  const int32_t speedTolerance = RoundToInt(emitter.StartSpeedTolerance);
  const float speed =
      emitter.StartSpeed + static_cast<float>(RandomUpToClamped(random, speedTolerance));
  int64_t color = emitter.SingleColor;
  if (color == 0) color = 1 + int64_t{RandomUpToClamped(random, int64_t{emitter.ColorRange} - 1)};
  color = std::clamp<int64_t>(color, kFirstColor, kLastColor);

  w.CarList.Last();
  Car& car = w.CarList.Add();
  car.CellX = start.x;
  car.CellY = start.y;
  car.PosX = static_cast<float>(int64_t{start.x} * kCellSize);
  car.PosY = static_cast<float>(int64_t{start.y} * kCellSize);
  car.Speed = speed;
  car.MaxSpeed = kMaxCarSpeed;
  car.Acceleration = kCarAcceleration;
  car.State = CarState::Driving;
  car.Angle = AngleOfDirection(emitter.Direction);
  car.Emitter = emitter.weak_from_this().lock();
  car.RouteIndex = emitter.RouteLength;
  car.Color = static_cast<int32_t>(color);
  car.Sprite = w.CarSprites[static_cast<size_t>(color)];
  car.Serial = w.NextCarSerial++;
  car.EmitterIndex = PositionInList(w, emitter);
  // The step being taken: the count goes up when the step ends.
  car.SpawnFrame = w.Stats.Frame + 1;

  w.Stats.Spawned += 1;
}

}  // namespace kv
