#include "app/world.h"

namespace kv {

void ClearMap(World& w) {
  w.RoadList.Clear();
  w.EmitterList.Clear();
  w.CarList.Clear();
  w.TrafficLightList.Clear();
  w.RoadCount = 0;
  w.EmitterCount = 0;
  w.CarCount = 0;
  w.LightCount = 0;
  // The whole grid, not just up to the current bounds: a mark left outside
  // them would block that tile for good.
  w.TileMap.Fill(0);
  w.MoveMap.Fill(0);
  w.ControlMap.Fill(0);
}

Cell EmitterStartCell(const Emitter& e) {
  switch (e.Direction) {
    case 6: return {2 * e.TileX, 2 * e.TileY + 1};
    case 2: return {2 * e.TileX, 2 * e.TileY};
    case 8: return {2 * e.TileX + 1, 2 * e.TileY};
    case 4: return {2 * e.TileX, 2 * e.TileY};
    default: return {0, 0};
  }
}

int32_t ControlValueOfState(int32_t state) {
  switch (state) {
    case 2: return 2;
    case 4: return 1;
    default: return 0;
  }
}

}  // namespace kv
