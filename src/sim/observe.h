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
// early). Cheap: it runs for every car and step.
inline void ObserveCar(World& w, Car& car) {
  ObserverScratch& work = w.ObserverWork;
  const bool still = !(car.Speed > 0.0f);
  if (work.Statistics) {
    if (still) {
      work.Standing += 1;
      if (CellGrid::Inside(car.CellX, car.CellY))
        work.HeatNow[static_cast<size_t>(car.CellY) * CellGrid::kSide + static_cast<size_t>(car.CellX)] += 1;
    } else {
      work.Speeds += car.Speed;
    }
  }
  if (!work.Gridlocks) return;
  if (!still) {
    car.StandingSince = 0;
    return;
  }
  if (car.StandingSince == 0) car.StandingSince = work.Frame;
  if (car.Wait.Car != 0 && work.Frame - car.StandingSince >= kGridlockSteps) {
    work.Candidates.push_back({car.Serial, car.Wait.Car, &car});
    // Order-free: a sum of mixed pairs.
    work.Digest += (car.Serial * 0x9E3779B97F4A7C15ull) ^ (car.Wait.Car * 0xC2B2AE3D27D4EB4Full);
  }
}

// After the step was counted (w.Stats.Frame): the step's figures, the
// heat's minutes, the gridlocks.
void FinishObservation(World& w);

}  // namespace kv
