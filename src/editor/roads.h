// Road tiles, their lane direction codes, the re-shaping of the network from
// each tile's neighbours, and the junction approach markers in ControlMap.
#pragma once

#include <vector>

#include "app/world.h"

namespace kv {

void AddRoad(World& w, int tileX, int tileY, int type);
void DeleteRoad(World& w, int tileX, int tileY);
void RetileRoads(World& w);
void WriteLaneCodes(World& w, const Road& road);
void RebuildControlMap(World& w);

struct RoadPlacement {
  int tileX = 0, tileY = 0, type = 0;
};
// Adds many roads and re-shapes once: ends in exactly the types, lane codes
// and ControlMap that calling AddRoad for each in order would give. Records
// AddRoad would refuse are skipped, and so is a second record on a tile that
// already has a road.
void AddRoads(World& w, const std::vector<RoadPlacement>& roads);

// True when a direction code admits entering its cell moving in direction dir
// (2 down, 4 left, 6 right, 8 up).
bool AdmitsDirection(int code, int dir);

}  // namespace kv
