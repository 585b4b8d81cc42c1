// The world: every grid, record list and value of one running map. A test
// makes a fresh one with `World world;` (or on the heap: it is large).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/types.h"
#include "world/grid.h"
#include "world/observations.h"
#include "world/record_list.h"
#include "world/types.h"

namespace kv {

using TileGrid = Grid<kTileGridMax>;                // TileMap: 1 where a road lies
using LaneGrid = Grid<kCellGridMax, LaneCode>;      // MoveMap
using CellGrid = Grid<kCellGridMax>;                // CarMap, ControlMap

struct Road {
  int32_t TileX = 0, TileY = 0;
  int32_t PixelX = 0, PixelY = 0;
  SpriteHandle Sprite = 0;
  RoadType Type = RoadType::None;
};

constexpr int kRouteCapacity = 1000;  // indices 0..999; index 0 unused

struct Emitter : std::enable_shared_from_this<Emitter> {
  int32_t TileX = 0, TileY = 0;
  int32_t PixelX = 0, PixelY = 0;
  ::kv::Direction Direction = ::kv::Direction::None;
  SpriteHandle Sprite = 0;
  int8_t Selected = 0;
  int32_t LastSpawn = 0;
  // False until the first spawn: a new emitter spawns at once, whatever the
  // clock reads.
  bool HasSpawned = false;
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

enum class CarState : int32_t { Driving = 0, Held = 1, Braking = 2 };

struct Car {
  int32_t CellX = 0, CellY = 0;
  float PosX = 0.0f, PosY = 0.0f;
  RotSpriteHandle Sprite = 0;
  float Speed = 0.0f;
  float MaxSpeed = 0.0f;
  int32_t HoldTime = 0;
  int32_t HoldStart = 0;
  CarState State = CarState::Driving;
  float BrakeDistance = 0.0f;
  float Acceleration = 0.0f;
  int32_t Angle = 0;
  int32_t RouteIndex = 0;
  // Shared: a car whose emitter was removed finishes its trip on it.
  std::shared_ptr<::kv::Emitter> Emitter;

  // Bookkeeping for statistics, traces and observation; no effect on the
  // simulation. The step reads the first four with the fields above for
  // every car: they stay next to them, in the same cache lines.
  uint64_t Serial = 0;         // 1, 2, 3, ... in order of spawning
  uint64_t StandingSince = 0;  // the step from which it has stood still; 0 while it moves
  uint64_t HeatFrom = 0;       // its first standing step not yet in the heat; 0 while it moves
  CarWait Wait;                // why it stood still after its last step
  int32_t Color = 0;           // 1..17
  int32_t EmitterIndex = 0;    // 0-based position of its emitter at spawn time
  uint64_t SpawnFrame = 0;     // the step it was spawned in
};

struct TrafficLight {
  int32_t CellX = 0, CellY = 0;
  int32_t PixelX = 0, PixelY = 0;
  RotSpriteHandle Sprite = 0;
  LightState Kind = LightState::None;
  LightState State = LightState::None;
  int32_t LastSwitch = 0;
  int32_t Interval = 0;
};

// What happened to cars, counted by the simulation step.
struct TrafficStats {
  uint64_t Frame = 0;  // traffic steps taken
  uint64_t Spawned = 0;
  uint64_t Arrived = 0;
  uint64_t LeftGrid = 0;
  uint64_t ArrivedTripFrames = 0;  // sum over arrived cars of (arrival - spawn step)
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
  // The screen's size, which follows the window's.
  int32_t ScreenWidth = 1024, ScreenHeight = 768;
  int32_t TileMapWidth = kTileGridMax, TileMapHeight = kTileGridMax;
  int32_t MoveMapWidth = kCellGridMax, MoveMapHeight = kCellGridMax;

  TileGrid TileMap;
  LaneGrid MoveMap;
  CellGrid CarMap;  // marks per cell; only ever tested for non-zero
  CellGrid ControlMap;

  RecordList<Road> RoadList;
  RecordList<Car> CarList;
  RecordList<Emitter> EmitterList;
  RecordList<TrafficLight> TrafficLightList;

  // Working data of the car pass.
  CarSquares NearCars;

  int32_t ViewX = 0, ViewY = 0;
  int32_t CursorTileX = 0, CursorTileY = 0, CursorCellX = 0, CursorCellY = 0;
  int32_t LastScrollTime = 0;
  // How the map is shown, never stored in a map file: the zoom in percent,
  // the minimap, and whether the left button went down on the minimap and is
  // still held (it then moves the view and edits nothing).
  int32_t ZoomPercent = 100;
  bool MinimapShown = false;
  bool MinimapDrag = false;
  // Time and insight, never stored either: the traffic paused, traffic steps
  // per 1/60 s of real time, the statistics panel, the congestion overlay,
  // the HUD and toolbar (left out only for clean pictures), and the hint for
  // a click that placed nothing, shown from HintSince on the wall clock.
  bool Paused = false;
  int32_t SpeedFactor = 1;
  bool StatsShown = false, HeatShown = false, HudShown = true;
  const char* Hint = nullptr;
  uint32_t HintSince = 0;
  ::kv::Tool Tool = ::kv::Tool::None;
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

  // What the step observes (world/observations.h); cleared with the map.
  ObserveSwitches Observe;
  LiveStats Live;
  StandingHeat Heat;
  GridlockLog Gridlocks;
  ObserverScratch ObserverWork;

  // The counts are the lists' lengths.
  int32_t RoadCount() const { return static_cast<int32_t>(RoadList.size()); }
  int32_t CarCount() const { return static_cast<int32_t>(CarList.size()); }
  int32_t EmitterCount() const { return static_cast<int32_t>(EmitterList.size()); }
  int32_t LightCount() const { return static_cast<int32_t>(TrafficLightList.size()); }
};

// Empties the map: roads, emitters, cars, lights and the grids they mark, and
// what the step observed of its traffic.
void ClearMap(World& w);

// The lane cell from which an emitter's route starts and its cars spawn;
// (0, 0) for a direction other than 2, 4, 6, 8.
Cell EmitterStartCell(const Emitter& e);

}  // namespace kv
