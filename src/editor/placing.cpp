#include "editor/placing.h"

#include "sim/route.h"

namespace kv {

namespace {

constexpr int32_t kDefaultInterval = 5000;
constexpr int32_t kDefaultIntervalTolerance = 4000;
constexpr float kDefaultStartSpeed = 1.0f;
constexpr float kDefaultStartSpeedTolerance = 2.0f;
constexpr int32_t kDefaultColorRange = 17;
constexpr int32_t kDefaultSingleColor = 0;
constexpr int32_t kDefaultLightInterval = 15000;

// Index into EmitterSprites by exit direction; 0 for a direction that no
// emitter may have.
int EmitterSpriteIndex(int direction) {
  switch (direction) {
    case 6: return 1;
    case 2: return 2;
    case 8: return 3;
    case 4: return 4;
    default: return 0;
  }
}

bool IsLightKind(int kind) { return kind >= 1 && kind <= 4; }

bool HasRoad(const World& w, int tileX, int tileY) {
  for (const Road& road : w.RoadList)
    if (road.TileX == tileX && road.TileY == tileY) return true;
  return false;
}

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

}  // namespace

void AddEmitter(World& w, int tileX, int tileY, int direction, int targetX, int targetY) {
  // Only a damaged file can bring another direction; such an emitter would
  // have neither a sprite nor a start cell on its tile.
  int sprite = EmitterSpriteIndex(direction);
  if (sprite == 0) return;
  if (HasEmitter(w, tileX, tileY)) return;
  if (!HasRoad(w, tileX, tileY)) return;

  w.EmitterCount += 1;
  w.Tool = 0;

  w.EmitterList.Last();
  Emitter& e = w.EmitterList.Add();
  e.TileX = tileX;
  e.TileY = tileY;
  e.PixelX = kTileSize * tileX;
  e.PixelY = kTileSize * tileY;
  e.TargetX = targetX;
  e.TargetY = targetY;
  e.Direction = static_cast<int8_t>(direction);
  e.Sprite = w.EmitterSprites[sprite];
  e.Interval = kDefaultInterval;
  e.IntervalTolerance = kDefaultIntervalTolerance;
  e.StartSpeed = kDefaultStartSpeed;
  e.StartSpeedTolerance = kDefaultStartSpeedTolerance;
  e.ColorRange = kDefaultColorRange;
  e.SingleColor = kDefaultSingleColor;

  Cell start = EmitterStartCell(e);
  e.RouteLength = FindRoute(w, start.x, start.y, targetX, targetY, e);
}

void AddTrafficLight(World& w, Platform& p, int cellX, int cellY, int kind) {
  if (!CellGrid::Inside(cellX, cellY) || cellX > w.MoveMapWidth || cellY > w.MoveMapHeight) return;
  // A kind outside 1..4 has no sprite and no control value.
  if (!IsLightKind(kind)) return;
  if (HasLight(w, cellX, cellY)) return;

  w.LightCount += 1;
  int32_t now = static_cast<int32_t>(p.NowMs());

  w.TrafficLightList.Last();
  TrafficLight& light = w.TrafficLightList.Add();
  light.CellX = cellX;
  light.CellY = cellY;
  light.PixelX = kCellSize * cellX;
  light.PixelY = kCellSize * cellY;
  light.Kind = kind;
  light.State = kind;
  light.Sprite = w.LightSprites[kind];
  light.LastSwitch = now;
  light.Interval = w.LastLightInterval != 0 ? w.LastLightInterval : kDefaultLightInterval;

  w.ControlMap.at(cellX, cellY) = ControlValueOfState(light.State);

  // All lights start their phase together from now on.
  for (TrafficLight& other : w.TrafficLightList) other.LastSwitch = now;
}

}  // namespace kv
