// What the traffic step observes without acting on it: why each standing car
// stands, the live figures and their history, where cars stand still, and
// gridlocks. Nothing here feeds back into the traffic; a panel, an overlay or
// an outline reads it as it is, without a scan of the cars.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "world/grid.h"
#include "world/types.h"

namespace kv {

struct Car;
struct World;

// A simulated minute in traffic steps (60 steps a simulated second).
constexpr uint64_t kMinuteSteps = 3600;

// Why a car stood still after its last step: the last rule of that step that
// held it at speed 0 or below. Rules about cars come after the light and the
// hold, so a car that waits for a car is said to, even on a red light.
enum class WaitKind : uint8_t {
  None,       // moving, or nothing held it (it starts off in its next step)
  BehindCar,  // the car ahead of it on its lane
  CellTaken,  // a car on the route cell after its next one
  Yielding,   // crossing traffic, at the control cell it stands on
  RedLight,   // the red light on its cell
  Holding,    // its hold after a light or a junction has not run out yet
};

struct CarWait {
  WaitKind Kind = WaitKind::None;
  // BehindCar, CellTaken, Yielding: the cell of the car it waits for;
  // RedLight, Holding: its own cell (the light's, or the control cell).
  Cell Where{};
  // Serial of the car it waits for, 0 when none or not known: BehindCar
  // names it at once; CellTaken and Yielding (which see only that the cell
  // is taken) once the car has stood kGridlockSteps, and as long as it
  // waits on the same cell.
  uint64_t Car = 0;
  bool operator==(const CarWait&) const = default;
};

// --- Live figures ---

// One point of the history plot.
struct StatsSample {
  int32_t Cars = 0;                // on the map
  uint32_t ArrivedLastMinute = 0;  // arrivals in the simulated minute before
};

// Figures kept by the step since the map was loaded or cleared.
struct LiveStats {
  static constexpr uint64_t kSampleSteps = 600;  // a history sample every 10 simulated s
  static constexpr size_t kSamples = 60;         // ten minutes of them

  // TrafficStats as they were when the map was loaded or cleared.
  uint64_t MapFrame = 0, SpawnedBefore = 0, ArrivedBefore = 0;

  // After the last step.
  int32_t Standing = 0;     // cars at speed 0 (or below)
  double MeanSpeed = 0.0;   // px per frame over the cars, a speed below 0 as 0
  uint64_t CarSteps = 0;          // sum over the steps of the cars on the map
  uint64_t StandingCarSteps = 0;  // ... of the cars standing still

  // Arrivals of each of the last kMinuteSteps steps (a ring by step), and
  // their sums.
  struct Arrivals {
    uint32_t Cars = 0;
    uint64_t TripFrames = 0;
  };
  std::vector<Arrivals> ByStep = std::vector<Arrivals>(kMinuteSteps);
  uint32_t ArrivedLastMinute = 0;
  uint64_t TripFramesLastMinute = 0;
  // TrafficStats' arrival counts at the last step, to take the step's share.
  uint64_t SeenArrived = 0, SeenTripFrames = 0;

  // The history, a ring: History[(HistoryNext + i) % kSamples] for
  // i < HistoryCount is the i-th oldest sample.
  std::array<StatsSample, kSamples> History{};
  size_t HistoryCount = 0, HistoryNext = 0;
};

// How long cars stood still on each lane cell, counted once per standing car
// and step: in the minute under way, over the kMinutes whole simulated
// minutes before it, and over the whole minutes since the map was loaded or
// cleared. Indices y * CellGrid::kSide + x. A car's standing is counted when
// it moves off or on, and for every car each simulated second (the counts
// and the steps they cover then agree).
struct StandingHeat {
  static constexpr uint64_t kMinutes = 5;
  static constexpr uint64_t kCountSteps = 60;
  static constexpr size_t kCells = static_cast<size_t>(kCellGridMax + 1) * (kCellGridMax + 1);

  // A ring of minutes; Minute() is the one under way.
  std::vector<uint32_t> ByMinute = std::vector<uint32_t>((kMinutes + 1) * kCells);
  std::vector<uint32_t> Window = std::vector<uint32_t>(kCells);  // the kMinutes before it
  std::vector<uint32_t> Total = std::vector<uint32_t>(kCells);   // every whole minute
  uint64_t Minutes = 0;      // whole minutes since the map was loaded
  uint64_t WindowSteps = 0;  // the steps Window and the minute under way cover
  uint64_t TotalSteps = 0;   // the steps Total and the minute under way cover

  const uint32_t* Minute() const { return ByMinute.data() + Minutes % (kMinutes + 1) * kCells; }
  uint32_t* Minute() { return ByMinute.data() + Minutes % (kMinutes + 1) * kCells; }
};

// --- Gridlocks ---

struct GridlockCar {
  uint64_t Serial = 0;
  Cell At{};              // the cell it stands and waits on
  int32_t X = 0, Y = 0;   // its position, whole pixels
  WaitKind Kind = WaitKind::None;  // how it waits for the next car of the cycle
};

// Cars that have all stood still for at least kGridlockSteps and wait for
// each other in a cycle, directly or through a queue.
struct Gridlock {
  uint64_t Number = 0;           // 1, 2, ... since the map was loaded
  std::vector<GridlockCar> Cars; // each waits for the next; the last for the first
  std::vector<Cell> Tiles;       // the tiles its cars stand on, row by row
  Cell Tile{};                   // the tile to name it by: under its middle where a road is
  uint64_t Formed = 0;           // the step in which it formed
  uint64_t StuckSince = 0;       // the step from which all its cars have stood still
  uint64_t Dissolved = 0;        // the step it was found gone in; 0 while it holds
};

constexpr uint64_t kGridlockSteps = 30 * 60;  // 30 simulated seconds
// Gridlocks are looked for once a simulated second; a gridlock's Formed is
// still the step it formed in where its cars' standing tells (otherwise the
// first step after the last look), and it dissolves at the look that no
// longer finds it.
constexpr uint64_t kGridlockSearchSteps = 60;

struct GridlockLog {
  static constexpr size_t kPastKept = 64;
  std::vector<Gridlock> Current;
  std::vector<Gridlock> Past;  // the latest dissolved ones, oldest first
  uint64_t Found = 0;          // gridlocks formed since the map was loaded
};

// What the step observes; both on unless a benchmark or a test turns them
// off. The traffic is the same either way.
struct ObserveSwitches {
  bool Statistics = true;  // LiveStats and StandingHeat
  bool Gridlocks = true;   // who a standing car waits for, how long it stood, GridlockLog
};

// Working data of the step's observation, kept so that its storage is reused.
struct ObserverScratch {
  bool Statistics = false, Gridlocks = false;  // w.Observe for this step
  uint64_t Frame = 0;                          // the step being taken
  int32_t Standing = 0;
  double Speeds = 0.0;
  uint32_t* HeatNow = nullptr;  // the heat's minute under way
  bool CountHeat = false;       // every car's standing is counted in this step
  // Cars that have stood long enough to be in a gridlock and wait for a car,
  // gathered in the steps that look for gridlocks.
  bool Search = false;
  uint64_t LastSearch = 0;  // the step that looked last
  struct Candidate {
    uint64_t Serial = 0;
    uint32_t At = 0, From = 0;  // its cell after and before the step, as y * side + x + 1
    Car* Record = nullptr;
  };
  std::vector<Candidate> Candidates;
  // Per cell (y * side + x), 1 + the candidate that stood on it after the
  // step, or else before it; 0 for none. Cleared through Touched.
  std::vector<uint32_t> CandidateOn;
  std::vector<uint32_t> Touched;
  std::vector<int64_t> Next;        // by candidate: the candidate it waits for, or -1
  std::vector<uint8_t> Visit;       // by candidate: 0 not yet, 1 on the walk, 2 done
  std::vector<size_t> Walk;
  std::vector<std::vector<size_t>> Cycles;  // candidates, from the smallest serial
  size_t CycleCount = 0;
};

// --- For readers ---

// The figures of a statistics panel or a CSV row, as the last step left them.
struct TrafficFigures {
  uint64_t Steps = 0;  // since the map was loaded or cleared: simulated time, 60 a second
  int32_t Cars = 0;
  uint64_t Spawned = 0, Arrived = 0;  // since the map was loaded or cleared
  int32_t Standing = 0;
  double MeanSpeed = 0.0;
  uint32_t ArrivedLastMinute = 0;
  double MeanTripFramesLastMinute = 0.0;  // 0 when none arrived
};
TrafficFigures CurrentFigures(const World& w);

// The share of the last simulated minutes (StandingHeat) in which a car
// stood still on the cell, 0 to 1; 0 outside the grid.
float StandingShare(const World& w, int x, int y);
// Steps in which a car stood still on the cell since the map was loaded.
uint64_t StandingSteps(const World& w, int x, int y);

// Empties every observation; the map is new from the step count on.
void ClearObservations(World& w);

}  // namespace kv
