#include "network/roads.h"

namespace kv {

namespace {

// Direction codes of the four lane cells of each road type. Traffic keeps to
// the right.
struct LaneCodes {
  LaneCode topLeft, topRight, bottomLeft, bottomRight;
};
using L = LaneCode;
constexpr LaneCodes kLaneCodes[kRoadTypes + 1] = {
    {L::None, L::None, L::None, L::None},
    {L::Left, L::Left, L::Right, L::Right},                          // StraightWE
    {L::Down, L::Up, L::Down, L::Up},                                // StraightNS
    {L::Any, L::Left, L::Down, L::Any},                              // CurveES
    {L::Left, L::Any, L::Any, L::Up},                                // CurveWS
    {L::Down, L::Any, L::Any, L::Right},                             // CurveNE
    {L::Any, L::Up, L::Right, L::Any},                               // CurveNW
    {L::DownOrLeft, L::LeftOrUp, L::DownOrRight, L::RightOrUp},      // Crossing
    {L::Left, L::LeftOrUp, L::DownOrRight, L::RightOrUp},            // TeeNoNorth
    {L::DownOrLeft, L::LeftOrUp, L::Down, L::RightOrUp},             // TeeNoWest
    {L::DownOrLeft, L::LeftOrUp, L::DownOrRight, L::Right},          // TeeNoSouth
    {L::DownOrLeft, L::Up, L::DownOrRight, L::RightOrUp},            // TeeNoEast
};

// Which approaches of a junction tile carry a marker: only those whose cars
// have another arm of the junction on their right-hand side.
struct Approaches {
  bool north, east, west, south;
};
constexpr Approaches kMarkedApproaches[kRoadTypes + 1] = {
    {}, {}, {}, {}, {}, {}, {},
    {true, true, true, true},     // Crossing
    {false, false, true, true},   // TeeNoNorth
    {false, true, false, true},   // TeeNoWest
    {true, true, false, false},   // TeeNoSouth
    {true, false, true, false},   // TeeNoEast
};

// The argument checks of AddRoad; together they admit tiles 0..99.
bool AcceptsRoad(const World& w, int tileX, int tileY, RoadType type) {
  if (!IsRoadType(type)) return false;
  if (tileX < 0 || tileX > w.TileMapWidth || tileY < 0 || tileY > w.TileMapHeight) return false;
  if (2 * tileX + 1 > w.MoveMapWidth || 2 * tileY + 1 > w.MoveMapHeight) return false;
  return true;
}

SpriteHandle RoadSprite(const World& w, RoadType type) {
  return IsRoadType(type) ? w.RoadSprites[Index(type)] : 0;
}

// Creates the road record unless the tile already has a road.
void PlaceRoadTile(World& w, int tileX, int tileY, RoadType type) {
  if (w.TileMap.at(tileX, tileY) != 0) return;
  w.TileMap.at(tileX, tileY) = 1;
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

// The type the neighbours give a tile, or None when no rule applies. Later
// rules override earlier ones, so the tests run in reverse and stop at the
// first hit.
RoadType ShapeFromNeighbours(const World& w, int x, int y) {
  auto present = [&](int dx, int dy) { return w.TileMap.get(x + dx, y + dy) == 1; };
  const bool n = present(0, -1), s = present(0, 1), west = present(-1, 0), e = present(1, 0);
  const bool noDiagonals =
      !present(-1, -1) && !present(1, -1) && !present(-1, 1) && !present(1, 1);
  if (noDiagonals) {
    if (n && west && e && s) return RoadType::Crossing;
    if (!e && n && west && s) return RoadType::TeeNoEast;
    if (!s && n && west && e) return RoadType::TeeNoSouth;
    if (!west && n && e && s) return RoadType::TeeNoWest;
    if (!n && west && e && s) return RoadType::TeeNoNorth;
  }
  if (west && n) return RoadType::CurveNW;
  if (n && e) return RoadType::CurveNE;
  if (west && s) return RoadType::CurveWS;
  if (e && s) return RoadType::CurveES;
  if (west && e) return RoadType::StraightWE;
  if (n && s) return RoadType::StraightNS;
  return RoadType::None;
}

}  // namespace

bool HasRoad(const World& w, int tileX, int tileY) {
  for (const Road& road : w.RoadList)
    if (road.TileX == tileX && road.TileY == tileY) return true;
  return false;
}

void WriteLaneCodes(World& w, const Road& road) {
  if (!IsRoadType(road.Type)) return;
  const LaneCodes& c = kLaneCodes[Index(road.Type)];
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
    const RoadType type = ShapeFromNeighbours(w, x, y);
    if (type != RoadType::None) {
      road.Type = type;
      road.Sprite = RoadSprite(w, type);
    }
    WriteLaneCodes(w, road);
  }
}

void RebuildControlMap(World& w) {
  w.ControlMap.Fill(control::kNone);
  for (const Road& road : w.RoadList) {
    if (!IsJunction(road.Type)) continue;
    const Approaches& a = kMarkedApproaches[Index(road.Type)];
    const int x = road.TileX, y = road.TileY;
    const int32_t marker = static_cast<int32_t>(road.Type);
    // Markers that fall off the grid are simply not written.
    if (a.north) w.ControlMap.set(2 * x, 2 * y - 1, marker);
    if (a.east) w.ControlMap.set(2 * x + 2, 2 * y, marker);
    if (a.west) w.ControlMap.set(2 * x - 1, 2 * y + 1, marker);
    if (a.south) w.ControlMap.set(2 * x + 1, 2 * y + 2, marker);
  }
  // After the markers, so a light or sign on an approach cell replaces its marker.
  for (const TrafficLight& light : w.TrafficLightList)
    w.ControlMap.set(light.CellX, light.CellY, ControlValueOf(light.State));
}

void RebuildMapGrids(World& w) {
  w.TileMap.Fill(0);
  w.MoveMap.Fill(LaneCode::None);
  for (const Road& road : w.RoadList) {
    w.TileMap.set(road.TileX, road.TileY, 1);
    WriteLaneCodes(w, road);
  }
  RebuildControlMap(w);
}

void AddRoad(World& w, int tileX, int tileY, RoadType type) {
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
  w.RoadList.Delete();
  const int cx = 2 * tileX, cy = 2 * tileY;
  w.MoveMap.set(cx, cy, LaneCode::None);
  w.MoveMap.set(cx + 1, cy, LaneCode::None);
  w.MoveMap.set(cx, cy + 1, LaneCode::None);
  w.MoveMap.set(cx + 1, cy + 1, LaneCode::None);
  RebuildControlMap(w);
}

}  // namespace kv
