#include "world/observations.h"

#include <algorithm>

#include "world/world.h"

namespace kv {

TrafficFigures CurrentFigures(const World& w) {
  const LiveStats& live = w.Live;
  TrafficFigures f;
  f.Steps = w.Stats.Frame - live.MapFrame;
  f.Cars = w.CarCount();
  f.Spawned = w.Stats.Spawned - live.SpawnedBefore;
  f.Arrived = w.Stats.Arrived - live.ArrivedBefore;
  f.Standing = live.Standing;
  f.MeanSpeed = live.MeanSpeed;
  f.ArrivedLastMinute = live.ArrivedLastMinute;
  if (live.ArrivedLastMinute > 0)
    f.MeanTripFramesLastMinute =
        static_cast<double>(live.TripFramesLastMinute) / static_cast<double>(live.ArrivedLastMinute);
  return f;
}

float StandingShare(const World& w, int x, int y) {
  const StandingHeat& heat = w.Heat;
  if (!CellGrid::Inside(x, y) || heat.WindowSteps == 0) return 0.0f;
  const size_t c = static_cast<size_t>(y) * CellGrid::kSide + static_cast<size_t>(x);
  const double steps = static_cast<double>(heat.Window[c]) + heat.Minute()[c];
  // Two cars standing on one cell count twice.
  return std::min(1.0f, static_cast<float>(steps / static_cast<double>(heat.WindowSteps)));
}

uint64_t StandingSteps(const World& w, int x, int y) {
  if (!CellGrid::Inside(x, y)) return 0;
  const size_t c = static_cast<size_t>(y) * CellGrid::kSide + static_cast<size_t>(x);
  return uint64_t{w.Heat.Total[c]} + w.Heat.Minute()[c];
}

void ClearObservations(World& w) {
  LiveStats& live = w.Live;
  live.MapFrame = w.Stats.Frame;
  live.SpawnedBefore = w.Stats.Spawned;
  live.ArrivedBefore = live.SeenArrived = w.Stats.Arrived;
  live.SeenTripFrames = w.Stats.ArrivedTripFrames;
  live.Standing = 0;
  live.MeanSpeed = 0.0;
  live.CarSteps = live.StandingCarSteps = 0;
  std::fill(live.ByStep.begin(), live.ByStep.end(), LiveStats::Arrivals{});
  live.ArrivedLastMinute = 0;
  live.TripFramesLastMinute = 0;
  live.HistoryCount = live.HistoryNext = 0;

  StandingHeat& heat = w.Heat;
  std::fill(heat.ByMinute.begin(), heat.ByMinute.end(), 0u);
  std::fill(heat.Window.begin(), heat.Window.end(), 0u);
  std::fill(heat.Total.begin(), heat.Total.end(), 0u);
  heat.Minutes = heat.WindowSteps = heat.TotalSteps = 0;

  w.Gridlocks.Current.clear();
  w.Gridlocks.Past.clear();
  w.Gridlocks.Found = 0;
  w.ObserverWork.LastSearch = w.Stats.Frame;
}

}  // namespace kv
