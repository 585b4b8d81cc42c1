#include "world/world.h"

namespace kv {

void ClearMap(World& w) {
  w.RoadList.Clear();
  w.EmitterList.Clear();
  w.CarList.Clear();
  w.TrafficLightList.Clear();
  // The whole grid, not just up to the current bounds: a mark left outside
  // them would block that tile for good.
  w.TileMap.Fill(0);
  w.MoveMap.Fill(LaneCode::None);
  w.ControlMap.Fill(control::kNone);
  ClearObservations(w);
}

Cell EmitterStartCell(const Emitter& e) {
  switch (e.Direction) {
    case Direction::Right: return {2 * e.TileX, 2 * e.TileY + 1};
    case Direction::Down: return {2 * e.TileX, 2 * e.TileY};
    case Direction::Up: return {2 * e.TileX + 1, 2 * e.TileY};
    case Direction::Left: return {2 * e.TileX, 2 * e.TileY};
    default: return {0, 0};
  }
}

}  // namespace kv
