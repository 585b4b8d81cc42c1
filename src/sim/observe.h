// What the step observes of the traffic it moves, without acting on it: the
// live figures, where cars stand still, how long they have, and gridlocks
// (world/observations.h). MoveCars observes each car right after moving it,
// while its record is at hand; Step finishes the step's figures. The traffic
// is the same with every switch of w.Observe on or off.
#pragma once

#include "world/world.h"

namespace kv {

// Before a pass of MoveCars.
void BeginObservation(World& w);

// A car after its move in the pass (or left standing when the pass ended
// early), `from` its cell before. Cheap: it runs for every car and step.
inline void ObserveCar(World& w, Car& car, Cell from) {
  ObserverScratch& work = w.ObserverWork;
  const bool still = !(car.Speed > 0.0f);
  const bool inside = CellGrid::Inside(car.CellX, car.CellY);
  const uint32_t at = inside ? static_cast<uint32_t>(car.CellY * CellGrid::kSide + car.CellX) : 0;
  if (work.Statistics) {
    // It stood on `from` (HeatFrom is set only inside) up to the step before.
    if (car.HeatFrom != 0 && (!still || !inside || !(from == Cell{car.CellX, car.CellY}))) {
      work.HeatNow[static_cast<size_t>(from.y) * CellGrid::kSide + static_cast<size_t>(from.x)] +=
          static_cast<uint32_t>(work.Frame - car.HeatFrom);
      car.HeatFrom = 0;
    }
    if (still) {
      work.Standing += 1;
      if (inside && car.HeatFrom == 0) car.HeatFrom = work.Frame;
      if (inside && work.CountHeat) {
        work.HeatNow[at] += static_cast<uint32_t>(work.Frame + 1 - car.HeatFrom);
        car.HeatFrom = work.Frame + 1;
      }
    } else {
      work.Speeds += car.Speed;
    }
  }
  if (!work.Gridlocks) return;
  if (!still) {
    if (car.StandingSince != 0) car.StandingSince = 0;
    return;
  }
  if (car.StandingSince == 0) car.StandingSince = work.Frame;
  const CarWait& wait = car.Wait;
  if (!work.Search || work.Frame - car.StandingSince < kGridlockSteps || !inside ||
      !(wait.Kind == WaitKind::BehindCar || wait.Kind == WaitKind::CellTaken || wait.Kind == WaitKind::Yielding))
    return;
  const uint32_t before = CellGrid::Inside(from.x, from.y) ? static_cast<uint32_t>(from.y * CellGrid::kSide + from.x) : at;
  work.Candidates.push_back({car.Serial, at + 1, before + 1, &car});
}

// After the step was counted (w.Stats.Frame): the step's figures, the
// heat's minutes, the gridlocks.
void FinishObservation(World& w);

}  // namespace kv
