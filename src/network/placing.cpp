#include "network/placing.h"

#include "network/roads.h"
#include "network/route.h"

namespace kv {

namespace {

// Index into EmitterSprites by exit direction; 0 for a direction that no
// emitter may have.
int EmitterSpriteIndex(Direction direction) {
  switch (direction) {
    case Direction::Right: return 1;
    case Direction::Down: return 2;
    case Direction::Up: return 3;
    case Direction::Left: return 4;
    default: return 0;
  }
}

}  // namespace

bool HasEmitter(const World& w, int tileX, int tileY) {
  for (const Emitter& e : w.EmitterList)
    if (e.TileX == tileX && e.TileY == tileY) return true;
  return false;
}

bool HasLight(const World& w, int cellX, int cellY) {
  for (const TrafficLight& light : w.TrafficLightList)
    if (light.CellX == cellX && light.CellY == cellY) return true;
  return false;
}


void FindEmitterRoute(const World& w, Emitter& e) {
  const Cell start = EmitterStartCell(e);
  e.RouteLength = FindRoute(w, start.x, start.y, e.TargetX, e.TargetY, e);
}

void AddEmitter(World& w, int tileX, int tileY, Direction direction, int targetX, int targetY) {
  // Only a damaged file can bring another direction; such an emitter would
  // have neither a sprite nor a start cell on its tile.
  const int sprite = EmitterSpriteIndex(direction);
  if (sprite == 0) return;
  if (HasEmitter(w, tileX, tileY)) return;
  if (!HasRoad(w, tileX, tileY)) return;

  w.Tool = Tool::None;

  w.EmitterList.Last();
  Emitter& e = w.EmitterList.Add();
  e.TileX = tileX;
  e.TileY = tileY;
  e.PixelX = kTileSize * tileX;
  e.PixelY = kTileSize * tileY;
  e.TargetX = targetX;
  e.TargetY = targetY;
  e.Direction = direction;
  e.Sprite = w.EmitterSprites[static_cast<size_t>(sprite)];
  ApplySettings(e, EmitterSettings{});
  FindEmitterRoute(w, e);
}

EmitterSettings SettingsOf(const Emitter& e) {
  return {e.Interval, e.IntervalTolerance, e.StartSpeed, e.StartSpeedTolerance, e.ColorRange, e.SingleColor};
}

void ApplySettings(Emitter& e, const EmitterSettings& s) {
  e.Interval = s.Interval;
  e.IntervalTolerance = s.IntervalTolerance;
  e.StartSpeed = s.StartSpeed;
  e.StartSpeedTolerance = s.StartSpeedTolerance;
  e.ColorRange = s.ColorRange;
  e.SingleColor = s.SingleColor;
}

bool IsValidSettings(const EmitterSettings& s) {
  // The speeds as the dialog makes them: hundredths divided by 100.
  constexpr float kMinSpeed = static_cast<float>(kMinSpeedHundredths) / 100.0f;
  constexpr float kMaxSpeed = static_cast<float>(kMaxSpeedHundredths) / 100.0f;
  auto speedOk = [&](float v) { return v >= kMinSpeed && v <= kMaxSpeed; };  // false for NaN
  return s.Interval >= kMinInterval && s.Interval <= kMaxInterval && s.IntervalTolerance >= 0 &&
         s.IntervalTolerance <= kMaxIntervalTolerance && speedOk(s.StartSpeed) && speedOk(s.StartSpeedTolerance) &&
         s.ColorRange >= 1 && s.ColorRange <= kCarColors && s.SingleColor >= 0 && s.SingleColor <= kCarColors;
}

bool IsValidLightInterval(int32_t interval) {
  return interval >= kMinLightInterval && interval <= kMaxLightInterval;
}

void AddTrafficLight(World& w, const Clock& clock, int cellX, int cellY, LightState kind) {
  if (!CellGrid::Inside(cellX, cellY) || cellX > w.MoveMapWidth || cellY > w.MoveMapHeight) return;
  // Any other kind has no sprite and no control value.
  if (!IsLightState(kind)) return;
  if (HasLight(w, cellX, cellY)) return;

  const int32_t now = static_cast<int32_t>(clock.NowMs());

  w.TrafficLightList.Last();
  TrafficLight& light = w.TrafficLightList.Add();
  light.CellX = cellX;
  light.CellY = cellY;
  light.PixelX = kCellSize * cellX;
  light.PixelY = kCellSize * cellY;
  light.Kind = kind;
  light.State = kind;
  light.Sprite = w.LightSprites[Index(kind)];
  light.LastSwitch = now;
  light.Interval = w.LastLightInterval != 0 ? w.LastLightInterval : kDefaultLightInterval;

  w.ControlMap.at(cellX, cellY) = ControlValueOf(light.State);

  // All lights start their phase together from now on.
  for (TrafficLight& other : w.TrafficLightList) other.LastSwitch = now;
}

}  // namespace kv
