// The world: every grid, record list, counter and value of one running map.
// A test makes a fresh one with `World world;`.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/record_list.h"
#include "platform/platform.h"

namespace kv {

constexpr int kTileSize = 32;
constexpr int kCellSize = 16;

// A square grid of signed 32-bit values with indices 0..Max in both directions.
template <int Max>
class Grid {
 public:
  static constexpr int kMax = Max;
  static bool Inside(int x, int y) { return x >= 0 && x <= Max && y >= 0 && y <= Max; }
  // Unchecked: callers check with Inside first.
  int32_t& at(int x, int y) { return cells_[static_cast<size_t>(y) * (Max + 1) + x]; }
  int32_t at(int x, int y) const { return cells_[static_cast<size_t>(y) * (Max + 1) + x]; }
  // 0 outside the grid.
  int32_t get(int x, int y) const { return Inside(x, y) ? at(x, y) : 0; }
  // Ignored outside the grid.
  void set(int x, int y, int32_t v) {
    if (Inside(x, y)) at(x, y) = v;
  }
  void Fill(int32_t v) { cells_.fill(v); }
  int32_t* data() { return cells_.data(); }
  const int32_t* data() const { return cells_.data(); }

 private:
  std::array<int32_t, static_cast<size_t>(Max + 1) * (Max + 1)> cells_{};
};

using TileGrid = Grid<100>;  // TileMap
using CellGrid = Grid<200>;  // MoveMap, CarMap, ControlMap, ClosedMap

// Milliseconds since `since` on the wrapping 32-bit clock.
inline int32_t ElapsedMs(uint32_t now, int32_t since) {
  return static_cast<int32_t>(now - static_cast<uint32_t>(since));
}

struct Road {
  int32_t TileX = 0, TileY = 0;
  int32_t PixelX = 0, PixelY = 0;
  SpriteHandle Sprite = 0;
  int32_t Type = 0;
};

constexpr int kRouteCapacity = 1000;  // indices 0..999; index 0 unused

struct Emitter : std::enable_shared_from_this<Emitter> {
  int32_t TileX = 0, TileY = 0;
  int32_t PixelX = 0, PixelY = 0;
  int8_t Direction = 0;
  SpriteHandle Sprite = 0;
  int8_t Selected = 0;
  int32_t LastSpawn = 0;
  int32_t Interval = 0;
  int32_t IntervalTolerance = 0;
  float StartSpeed = 0.0f;
  float StartSpeedTolerance = 0.0f;
  int32_t ColorRange = 0;
  int32_t SingleColor = 0;
  int32_t TargetX = 0, TargetY = 0;
  std::array<int16_t, kRouteCapacity> RouteX{};
  std::array<int16_t, kRouteCapacity> RouteY{};
  int32_t RouteLength = 0;
};

enum CarState : int32_t { Driving = 0, Held = 1, Braking = 2 };

struct Car {
  int32_t CellX = 0, CellY = 0;
  float PosX = 0.0f, PosY = 0.0f;
  RotSpriteHandle Sprite = 0;
  float Speed = 0.0f;
  float MaxSpeed = 0.0f;
  int32_t HoldTime = 0;
  int32_t HoldStart = 0;
  int32_t State = Driving;
  float BrakeDistance = 0.0f;
  float Acceleration = 0.0f;
  int32_t Angle = 0;
  // Shared: a car whose emitter was removed finishes its trip on it.
  std::shared_ptr<::kv::Emitter> Emitter;
  int32_t RouteIndex = 0;

  // Bookkeeping for statistics and traces; no effect on the simulation.
  int32_t Color = 0;         // 1..17
  uint64_t Serial = 0;       // 1, 2, 3, ... in order of spawning
  int32_t EmitterIndex = 0;  // 0-based position of its emitter at spawn time
  uint64_t SpawnFrame = 0;
};

struct TrafficLight {
  int32_t CellX = 0, CellY = 0;
  int32_t PixelX = 0, PixelY = 0;
  RotSpriteHandle Sprite = 0;
  int32_t Kind = 0;
  int32_t State = 0;
  int32_t LastSwitch = 0;
  int32_t Interval = 0;
};

// A node of the route search. Parent is an index into ClosedList, -1 for none.
struct PathNode {
  int32_t Parent = -1;
  int32_t X = 0, Y = 0;
  int32_t F = 0, G = 0, H = 0;
};

// Counters of what happened to cars, for statistics (koravel-sim).
struct TrafficStats {
  uint64_t Frame = 0;  // frames simulated so far (set by the driver)
  uint64_t Spawned = 0;
  uint64_t Arrived = 0;
  uint64_t LeftGrid = 0;
  uint64_t ArrivedTripFrames = 0;  // sum over arrived cars of (arrival - spawn frame)
};

// Where the cars stand, by heading and square of the map, so that MoveCars
// compares a car only with the cars near it that head its way. Working data
// of one pass of MoveCars, rebuilt at its start; kept here so that its
// storage is reused.
struct CarSquares {
  // A car as the following check sees it, copied so that a look into a
  // square reads one short run of memory; Order is the car's place in CarList.
  struct Entry {
    float PosX = 0.0f, PosY = 0.0f;
    int32_t Angle = 0;
    uint32_t Order = 0;
  };
  // The slots of one square in Entries: from First, Used of them taken (by
  // cars that left too); its room ends at the next square's First.
  struct Square {
    uint32_t First = 0;
    uint32_t Used = 0;
  };
  // Where the car of each Order is filed: Slot in Entries, or in Elsewhere.
  struct Place {
    Car* Record = nullptr;
    uint32_t Square = 0;
    uint32_t Slot = 0;
    bool InElsewhere = false;
  };
  std::vector<Square> Squares;       // one more at the end
  std::vector<Entry> Entries;        // square by square, each with room for cars moving in
  std::vector<Entry> Elsewhere;      // cars in no square or without room: always looked at
  std::vector<Place> Places;         // by Order
  std::vector<uint32_t> Candidates;  // Orders met by one car's check
};

struct World {
  int32_t ScreenWidth = 1024, ScreenHeight = 768;
  int32_t TileMapWidth = 100, TileMapHeight = 100;
  int32_t MoveMapWidth = 200, MoveMapHeight = 200;

  TileGrid TileMap;
  CellGrid MoveMap;
  CellGrid CarMap;
  CellGrid ControlMap;
  CellGrid ClosedMap;

  RecordList<Road> RoadList;
  RecordList<Car> CarList;
  RecordList<Emitter> EmitterList;
  RecordList<TrafficLight> TrafficLightList;

  // Working data of the route search.
  std::vector<PathNode> OpenList, ClosedList, PathList;
  // Working data of the car pass.
  CarSquares NearCars;

  int32_t RoadCount = 0, CarCount = 0, EmitterCount = 0, LightCount = 0;
  int32_t ViewX = 0, ViewY = 0;
  int32_t CursorTileX = 0, CursorTileY = 0, CursorCellX = 0, CursorCellY = 0;
  int32_t LastScrollTime = 0;
  int32_t Tool = 0;
  int32_t LastLightInterval = 0;

  // Sprite tables; 0 where an image failed to load.
  SpriteHandle GrassSprite = 0, TargetSprite = 0;
  std::array<SpriteHandle, 13> RoadSprites{};
  std::array<SpriteHandle, 19> CarImages{};
  std::array<RotSpriteHandle, 19> CarSprites{};
  std::array<SpriteHandle, 6> EmitterSprites{};
  std::array<SpriteHandle, 6> LightIcons{};
  std::array<RotSpriteHandle, 6> LightSprites{};

  TrafficStats Stats;
  uint64_t NextCarSerial = 1;
};

// Empties the map: roads, emitters, cars, lights and the grids they mark.
void ClearMap(World& w);

// The lane cell from which an emitter's route starts and its cars spawn;
// (0, 0) for a direction other than 2, 4, 6, 8.
struct Cell {
  int32_t x = 0, y = 0;
  bool operator==(const Cell&) const = default;
};
Cell EmitterStartCell(const Emitter& e);

// Value a light or sign writes into the ControlMap at its cell.
int32_t ControlValueOfState(int32_t state);

}  // namespace kv
