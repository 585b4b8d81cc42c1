// Road tiles, their lane direction codes, the re-shaping of the network from
// each tile's neighbours, and the junction approach markers in ControlMap.
#pragma once

#include <vector>

#include "world/world.h"

namespace kv {

// Places a road unless the tile has one, then re-shapes the network. Refused
// without a change: a type outside 1..11, a tile outside the map.
void AddRoad(World& w, int tileX, int tileY, RoadType type);
void DeleteRoad(World& w, int tileX, int tileY);
void RetileRoads(World& w);
void WriteLaneCodes(World& w, const Road& road);
// Junction markers of every road, then each light's and sign's value.
void RebuildControlMap(World& w);
// TileMap, MoveMap and ControlMap anew from the roads with their types and
// the lights: a road's marks and codes follow from its type alone.
void RebuildMapGrids(World& w);

struct RoadPlacement {
  int tileX = 0, tileY = 0;
  RoadType type = RoadType::None;
};
// Adds many roads and re-shapes once: ends in exactly the types, lane codes
// and ControlMap that calling AddRoad for each in order would give. Records
// AddRoad would refuse are skipped, and so is a second record on a tile that
// already has a road.
void AddRoads(World& w, const std::vector<RoadPlacement>& roads);

bool HasRoad(const World& w, int tileX, int tileY);

}  // namespace kv
