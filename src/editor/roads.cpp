#include "editor/roads.h"

namespace kv {

namespace {

constexpr int kFirstRoadType = 1;
constexpr int kLastRoadType = 11;
constexpr int kFirstJunctionType = 7;

// Direction codes of the four lane cells of each road type:
// top-left, top-right, bottom-left, bottom-right. Traffic keeps to the right.
struct LaneCodes {
  int32_t topLeft, topRight, bottomLeft, bottomRight;
};
constexpr LaneCodes kLaneCodes[kLastRoadType + 1] = {
    {0, 0, 0, 0},      // no road
    {4, 4, 6, 6},      // 1 straight W-E
    {2, 8, 2, 8},      // 2 straight N-S
    {5, 4, 2, 5},      // 3 curve E-S
    {4, 5, 5, 8},      // 4 curve W-S
    {2, 5, 5, 6},      // 5 curve N-E
    {5, 8, 6, 5},      // 6 curve N-W
    {24, 48, 26, 68},  // 7 crossing
    {4, 48, 26, 68},   // 8 T without N
    {24, 48, 2, 68},   // 9 T without W
    {24, 48, 26, 6},   // 10 T without S
    {24, 8, 26, 68},   // 11 T without E
};

// Which approaches of a junction tile carry a marker: only those whose cars
// have another arm of the junction on their right-hand side.
struct Approaches {
  bool north, east, west, south;
};
constexpr Approaches kMarkedApproaches[kLastRoadType + 1] = {
    {}, {}, {}, {}, {}, {}, {},
    {true, true, true, true},     // 7
    {false, false, true, true},   // 8
    {false, true, false, true},   // 9
    {true, true, false, false},    // 10
    {true, false, true, false},    // 11
};

bool ValidRoadType(int type) { return type >= kFirstRoadType && type <= kLastRoadType; }

// The argument checks of AddRoad; together they admit tiles 0..99.
bool AcceptsRoad(const World& w, int tileX, int tileY, int type) {
  if (!ValidRoadType(type)) return false;
  if (tileX < 0 || tileX > w.TileMapWidth || tileY < 0 || tileY > w.TileMapHeight) return false;
  if (2 * tileX + 1 > w.MoveMapWidth || 2 * tileY + 1 > w.MoveMapHeight) return false;
  return true;
}

SpriteHandle RoadSprite(const World& w, int type) {
  return ValidRoadType(type) ? w.RoadSprites[static_cast<size_t>(type)] : 0;
}

// Creates the road record unless the tile already has a road.
void PlaceRoadTile(World& w, int tileX, int tileY, int type) {
  if (w.TileMap.at(tileX, tileY) != 0) return;
  w.TileMap.at(tileX, tileY) = 1;
  ++w.RoadCount;
  // Appended at the end whatever the list position is.
  w.RoadList.Last();
  Road& road = w.RoadList.Add();
  road.TileX = tileX;
  road.TileY = tileY;
  road.PixelX = kTileSize * tileX;
  road.PixelY = kTileSize * tileY;
  road.Sprite = RoadSprite(w, type);
  road.Type = type;
  WriteLaneCodes(w, road);
}

// The type the neighbours give a tile, or 0 when no rule applies. Later rules
// override earlier ones, so the tests run in reverse and stop at the first hit.
int ShapeFromNeighbours(const World& w, int x, int y) {
  auto present = [&](int dx, int dy) { return w.TileMap.get(x + dx, y + dy) == 1; };
  const bool n = present(0, -1), s = present(0, 1), west = present(-1, 0), e = present(1, 0);
  const bool noDiagonals =
      !present(-1, -1) && !present(1, -1) && !present(-1, 1) && !present(1, 1);
  if (noDiagonals) {
    if (n && west && e && s) return 7;
    if (!e && n && west && s) return 11;
    if (!s && n && west && e) return 10;
    if (!west && n && e && s) return 9;
    if (!n && west && e && s) return 8;
  }
  if (west && n) return 6;
  if (n && e) return 5;
  if (west && s) return 4;
  if (e && s) return 3;
  if (west && e) return 1;
  if (n && s) return 2;
  return 0;
}

}  // namespace

bool AdmitsDirection(int code, int dir) {
  switch (code) {
    case 2: return dir == 2;
    case 4: return dir == 4;
    case 6: return dir == 6;
    case 8: return dir == 8;
    case 24: return dir == 2 || dir == 4;
    case 26: return dir == 2 || dir == 6;
    case 48: return dir == 4 || dir == 8;
    case 68: return dir == 6 || dir == 8;
    case 5: return dir == 2 || dir == 4 || dir == 6 || dir == 8;
    default: return false;
  }
}

void WriteLaneCodes(World& w, const Road& road) {
  if (!ValidRoadType(road.Type)) return;
  const LaneCodes& c = kLaneCodes[road.Type];
  const int cx = 2 * road.TileX, cy = 2 * road.TileY;
  w.MoveMap.set(cx, cy, c.topLeft);
  w.MoveMap.set(cx + 1, cy, c.topRight);
  w.MoveMap.set(cx, cy + 1, c.bottomLeft);
  w.MoveMap.set(cx + 1, cy + 1, c.bottomRight);
}

void RetileRoads(World& w) {
  for (Road& road : w.RoadList) {
    const int x = road.TileX, y = road.TileY;
    // Border tiles keep the shape they were placed with.
    if (x - 1 < 0 || x + 1 > w.TileMapWidth - 1 || y - 1 < 0 || y + 1 > w.TileMapHeight - 1)
      continue;
    const int type = ShapeFromNeighbours(w, x, y);
    if (type != 0) {
      road.Type = type;
      road.Sprite = RoadSprite(w, type);
    }
    WriteLaneCodes(w, road);
  }
}

void RebuildControlMap(World& w) {
  w.ControlMap.Fill(0);
  for (const Road& road : w.RoadList) {
    if (road.Type < kFirstJunctionType || road.Type > kLastRoadType) continue;
    const Approaches& a = kMarkedApproaches[road.Type];
    const int x = road.TileX, y = road.TileY;
    // Markers that fall off the grid are simply not written.
    if (a.north) w.ControlMap.set(2 * x, 2 * y - 1, road.Type);
    if (a.east) w.ControlMap.set(2 * x + 2, 2 * y, road.Type);
    if (a.west) w.ControlMap.set(2 * x - 1, 2 * y + 1, road.Type);
    if (a.south) w.ControlMap.set(2 * x + 1, 2 * y + 2, road.Type);
  }
  // After the markers, so a light or sign on an approach cell replaces its marker.
  for (const TrafficLight& light : w.TrafficLightList)
    w.ControlMap.set(light.CellX, light.CellY, ControlValueOfState(light.State));
}

void AddRoad(World& w, int tileX, int tileY, int type) {
  if (!AcceptsRoad(w, tileX, tileY, type)) return;
  PlaceRoadTile(w, tileX, tileY, type);
  RetileRoads(w);
  RebuildControlMap(w);
}

// One re-shape at the end gives what a re-shape after every road would give:
// placing only ever adds TileMap marks, and any two present orthogonal
// neighbours make some rule match. So a tile that matched at any intermediate
// re-shape still matches at the last one, where the final neighbours decide
// its type; a tile that never matched keeps its placed type either way. Lane
// codes and ControlMap are rewritten whole by the last passes.
void AddRoads(World& w, const std::vector<RoadPlacement>& roads) {
  bool anyAccepted = false;
  for (const RoadPlacement& r : roads) {
    if (!AcceptsRoad(w, r.tileX, r.tileY, r.type)) continue;
    anyAccepted = true;
    PlaceRoadTile(w, r.tileX, r.tileY, r.type);
  }
  if (!anyAccepted) return;
  RetileRoads(w);
  RebuildControlMap(w);
}

void DeleteRoad(World& w, int tileX, int tileY) {
  w.RoadList.Reset();
  Road* road = nullptr;
  while ((road = w.RoadList.Next()) != nullptr)
    if (road->TileX == tileX && road->TileY == tileY) break;
  if (road == nullptr) return;
  w.TileMap.set(tileX, tileY, 0);
  --w.RoadCount;
  w.RoadList.Delete();
  const int cx = 2 * tileX, cy = 2 * tileY;
  w.MoveMap.set(cx, cy, 0);
  w.MoveMap.set(cx + 1, cy, 0);
  w.MoveMap.set(cx, cy + 1, 0);
  w.MoveMap.set(cx + 1, cy + 1, 0);
  RebuildControlMap(w);
}

}  // namespace kv
