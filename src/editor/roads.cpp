#include "editor/roads.h"

namespace kv {

void AddRoad(World&, int, int, int) {}
void DeleteRoad(World&, int, int) {}
void RetileRoads(World&) {}
void WriteLaneCodes(World&, const Road&) {}
void RebuildControlMap(World&) {}
void AddRoads(World&, const std::vector<RoadSpec>&) {}
bool AdmitsDirection(int, int) { return false; }

}  // namespace kv
