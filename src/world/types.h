// The map's vocabulary: directions, lane codes, road types, lights and signs,
// tools, and the two grids' cell sizes. The numbers are the ones map files
// store and the program's texts use; code names them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

constexpr int kTileSize = 32;
constexpr int kCellSize = 16;

// A lane cell (or tile) by column and row.
struct Cell {
  int32_t x = 0, y = 0;
  bool operator==(const Cell&) const = default;
};

// Directions of travel, named by the digits of a numeric keypad.
enum class Direction : int8_t { None = 0, Down = 2, Left = 4, Right = 6, Up = 8 };

constexpr bool IsDirection(Direction d) {
  return d == Direction::Down || d == Direction::Left || d == Direction::Right || d == Direction::Up;
}

// A MoveMap cell's code: the directions in which a car may enter the cell.
enum class LaneCode : int32_t {
  None = 0,
  Down = 2,
  Left = 4,
  Right = 6,
  Up = 8,
  Any = 5,  // the turning cells of curves
  DownOrLeft = 24,
  DownOrRight = 26,
  LeftOrUp = 48,
  RightOrUp = 68,
};

// True when a cell with this code may be entered moving in `d`.
constexpr bool Admits(LaneCode code, Direction d) {
  switch (code) {
    case LaneCode::Down: return d == Direction::Down;
    case LaneCode::Left: return d == Direction::Left;
    case LaneCode::Right: return d == Direction::Right;
    case LaneCode::Up: return d == Direction::Up;
    case LaneCode::DownOrLeft: return d == Direction::Down || d == Direction::Left;
    case LaneCode::DownOrRight: return d == Direction::Down || d == Direction::Right;
    case LaneCode::LeftOrUp: return d == Direction::Left || d == Direction::Up;
    case LaneCode::RightOrUp: return d == Direction::Right || d == Direction::Up;
    case LaneCode::Any: return IsDirection(d);
    default: return false;
  }
}

// Road tile shapes; the sides name where the road leaves the tile.
enum class RoadType : int32_t {
  None = 0,
  StraightWE = 1,
  StraightNS = 2,
  CurveES = 3,
  CurveWS = 4,
  CurveNE = 5,
  CurveNW = 6,
  Crossing = 7,
  TeeNoNorth = 8,  // W, E, S
  TeeNoWest = 9,   // N, E, S
  TeeNoSouth = 10,  // N, W, E
  TeeNoEast = 11,  // N, W, S
};
constexpr int kRoadTypes = 11;

constexpr bool IsRoadType(RoadType t) { return t >= RoadType::StraightWE && t <= RoadType::TeeNoEast; }
constexpr bool IsJunction(RoadType t) { return t >= RoadType::Crossing && t <= RoadType::TeeNoEast; }

// A light or sign: its kind is the state it was placed with; lights go
// between green and red, signs keep their state.
enum class LightState : int32_t { None = 0, RightOfWay = 1, Yield = 2, Green = 3, Red = 4 };

constexpr bool IsLightState(LightState s) { return s >= LightState::RightOfWay && s <= LightState::Red; }
constexpr bool IsTrafficLight(LightState s) { return s == LightState::Green || s == LightState::Red; }

// ControlMap values: what a car standing on the cell obeys. Junction approach
// cells hold their junction's road type (7..11).
namespace control {
constexpr int32_t kNone = 0;
constexpr int32_t kStop = 1;   // a light showing red
constexpr int32_t kYield = 2;  // a yield sign
}  // namespace control

// The value a light or sign writes into ControlMap at its cell.
constexpr int32_t ControlValueOf(LightState s) {
  switch (s) {
    case LightState::Yield: return control::kYield;
    case LightState::Red: return control::kStop;
    default: return control::kNone;
  }
}

// The toolbar's tools, numbered as their buttons from the left: roads of
// each type, emitters by exit direction, the two signs and the two lights.
enum class Tool : int32_t {
  None = 0,
  // 1..11: a road of that type
  EmitterRight = 12,
  EmitterDown = 13,
  EmitterUp = 14,
  EmitterLeft = 15,
  RightOfWaySign = 16,
  YieldSign = 17,
  GreenLight = 18,
  RedLight = 19,
};
constexpr int kToolCount = 19;

constexpr Tool ToolNumber(int n) { return static_cast<Tool>(n); }
constexpr int NumberOf(Tool t) { return static_cast<int>(t); }
constexpr Tool RoadTool(RoadType t) { return static_cast<Tool>(t); }
constexpr bool IsRoadTool(Tool t) { return IsRoadType(static_cast<RoadType>(t)); }
constexpr RoadType RoadOf(Tool t) { return IsRoadTool(t) ? static_cast<RoadType>(t) : RoadType::None; }
constexpr Direction EmitterDirectionOf(Tool t) {
  switch (t) {
    case Tool::EmitterRight: return Direction::Right;
    case Tool::EmitterDown: return Direction::Down;
    case Tool::EmitterUp: return Direction::Up;
    case Tool::EmitterLeft: return Direction::Left;
    default: return Direction::None;
  }
}
// The kind a light or sign tool places; None for other tools.
constexpr LightState LightKindOf(Tool t) {
  return t >= Tool::RightOfWaySign && t <= Tool::RedLight
             ? static_cast<LightState>(NumberOf(t) - NumberOf(Tool::EmitterLeft))
             : LightState::None;
}
constexpr bool IsSignTool(Tool t) { return t == Tool::RightOfWaySign || t == Tool::YieldSign; }
constexpr bool IsLightTool(Tool t) { return t == Tool::GreenLight || t == Tool::RedLight; }

// Index of a value in a table laid out by the enum's numbers.
template <class E>
constexpr size_t Index(E e) {
  return static_cast<size_t>(e);
}

}  // namespace kv
