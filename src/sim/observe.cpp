#include "sim/observe.h"

#include <algorithm>
#include <cmath>

#include "sim/cars.h"

namespace kv {

namespace {

constexpr size_t kCells = StandingHeat::kCells;
// Minutes end on steps that count every car's standing.
static_assert(kMinuteSteps % StandingHeat::kCountSteps == 0);

// The arrivals of the step into the ring of the last minute, and a sample of
// the history every LiveStats::kSampleSteps.
void CountArrivals(World& w, uint64_t steps) {
  LiveStats& live = w.Live;
  LiveStats::Arrivals& slot = live.ByStep[steps % kMinuteSteps];
  live.ArrivedLastMinute -= slot.Cars;
  live.TripFramesLastMinute -= slot.TripFrames;
  slot.Cars = static_cast<uint32_t>(w.Stats.Arrived - live.SeenArrived);
  slot.TripFrames = w.Stats.ArrivedTripFrames - live.SeenTripFrames;
  live.ArrivedLastMinute += slot.Cars;
  live.TripFramesLastMinute += slot.TripFrames;
  live.SeenArrived = w.Stats.Arrived;
  live.SeenTripFrames = w.Stats.ArrivedTripFrames;

  if (steps % LiveStats::kSampleSteps != 0) return;
  live.History[live.HistoryNext] = {w.CarCount(), live.ArrivedLastMinute};
  live.HistoryNext = (live.HistoryNext + 1) % LiveStats::kSamples;
  live.HistoryCount = std::min(live.HistoryCount + 1, LiveStats::kSamples);
}

// Moves the heat on to the minute of the step being taken: the minute that
// ended joins the window and the total, the oldest leaves the window. The
// steps covered grow when every car's standing is counted.
void RollHeat(StandingHeat& heat, uint64_t steps, bool countAll) {
  const uint64_t minute = (steps - 1) / kMinuteSteps;
  if (heat.Minutes < minute) {
    heat.WindowSteps = std::min(minute, StandingHeat::kMinutes) * kMinuteSteps;
    heat.TotalSteps = minute * kMinuteSteps;
  }
  while (heat.Minutes < minute) {
    const uint32_t* ended = heat.Minute();
    for (size_t c = 0; c < kCells; ++c) heat.Window[c] += ended[c], heat.Total[c] += ended[c];
    heat.Minutes += 1;
    uint32_t* oldest = heat.Minute();
    if (heat.Minutes > StandingHeat::kMinutes)
      for (size_t c = 0; c < kCells; ++c) heat.Window[c] -= oldest[c];
    std::fill(oldest, oldest + kCells, 0u);
  }
  if (!countAll) return;
  heat.WindowSteps = std::min(minute, StandingHeat::kMinutes) * kMinuteSteps + (steps - 1) % kMinuteSteps + 1;
  heat.TotalSteps = steps;
}

// The tile under the middle of the cars where a road lies, otherwise the
// tile of the car nearest to it; and the tiles they stand on.
void NameTiles(const World& w, Gridlock& g) {
  double sumX = 0.0, sumY = 0.0;
  for (const GridlockCar& c : g.Cars) sumX += c.X + kCellSize / 2, sumY += c.Y + kCellSize / 2;
  const double midX = sumX / static_cast<double>(g.Cars.size());
  const double midY = sumY / static_cast<double>(g.Cars.size());
  const Cell middle{static_cast<int32_t>(std::floor(midX / kTileSize)),
                    static_cast<int32_t>(std::floor(midY / kTileSize))};
  g.Tiles.clear();
  auto away = [&](const GridlockCar& c) {
    return std::hypot(c.X + kCellSize / 2 - midX, c.Y + kCellSize / 2 - midY);
  };
  const GridlockCar* nearest = &g.Cars.front();
  for (const GridlockCar& c : g.Cars) {
    g.Tiles.push_back({c.At.x >> 1, c.At.y >> 1});
    if (away(c) < away(*nearest)) nearest = &c;
  }
  std::sort(g.Tiles.begin(), g.Tiles.end(), [](Cell a, Cell b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  g.Tiles.erase(std::unique(g.Tiles.begin(), g.Tiles.end()), g.Tiles.end());
  g.Tile = w.TileMap.get(middle.x, middle.y) != 0 ? middle : Cell{nearest->At.x >> 1, nearest->At.y >> 1};
}

// Finds the candidate each candidate waits for, by the cell it waits on:
// where a candidate stood after the step, or else before it (the move saw
// the mark of one or the other). A wait behind a car names it: the one on
// the cell must be that car. Names the car found in the wait.
void LinkCandidates(ObserverScratch& work) {
  const size_t n = work.Candidates.size();
  if (work.CandidateOn.size() != kCells) work.CandidateOn.assign(kCells, 0);
  auto put = [&](uint32_t cell, size_t i, bool over) {
    uint32_t& slot = work.CandidateOn[cell - 1];
    if (slot == 0) work.Touched.push_back(cell - 1);
    if (slot == 0 || over) slot = static_cast<uint32_t>(i + 1);
  };
  for (size_t i = 0; i < n; ++i) put(work.Candidates[i].From, i, false);
  for (size_t i = 0; i < n; ++i) put(work.Candidates[i].At, i, true);
  work.Next.assign(n, -1);
  for (size_t i = 0; i < n; ++i) {
    CarWait& wait = work.Candidates[i].Record->Wait;
    if (!CellGrid::Inside(wait.Where.x, wait.Where.y)) continue;
    int64_t j = static_cast<int64_t>(
                    work.CandidateOn[static_cast<size_t>(wait.Where.y) * CellGrid::kSide + wait.Where.x]) - 1;
    if (wait.Kind == WaitKind::BehindCar && (j < 0 || work.Candidates[static_cast<size_t>(j)].Serial != wait.Car)) {
      // Two cars on one cell: rare, looked for one by one.
      j = -1;
      for (size_t k = 0; k < n && j < 0; ++k)
        if (work.Candidates[k].Serial == wait.Car) j = static_cast<int64_t>(k);
    }
    if (j < 0 || static_cast<size_t>(j) == i) continue;
    work.Next[i] = j;
    wait.Car = work.Candidates[static_cast<size_t>(j)].Serial;
  }
  for (uint32_t cell : work.Touched) work.CandidateOn[cell] = 0;
  work.Touched.clear();
}

// The cycles among the candidates, each from its smallest serial: every
// candidate waits for one car, so the waits form chains that end outside
// the candidates or run into a cycle.
void FindCycles(ObserverScratch& work) {
  LinkCandidates(work);
  const size_t n = work.Candidates.size();
  auto bySerial = [&](size_t a, size_t b) { return work.Candidates[a].Serial < work.Candidates[b].Serial; };
  work.Visit.assign(n, 0);
  work.CycleCount = 0;
  for (size_t start = 0; start < n; ++start) {
    work.Walk.clear();
    int64_t at = static_cast<int64_t>(start);
    while (at >= 0 && work.Visit[static_cast<size_t>(at)] == 0) {
      work.Visit[static_cast<size_t>(at)] = 1;
      work.Walk.push_back(static_cast<size_t>(at));
      at = work.Next[static_cast<size_t>(at)];
    }
    if (at >= 0 && work.Visit[static_cast<size_t>(at)] == 1) {
      if (work.Cycles.size() <= work.CycleCount) work.Cycles.emplace_back();
      std::vector<size_t>& cycle = work.Cycles[work.CycleCount++];
      cycle.assign(std::find(work.Walk.begin(), work.Walk.end(), static_cast<size_t>(at)), work.Walk.end());
      std::rotate(cycle.begin(), std::min_element(cycle.begin(), cycle.end(), bySerial), cycle.end());
    }
    for (size_t i : work.Walk) work.Visit[i] = 2;
  }
}

bool SameCars(const Gridlock& g, const std::vector<size_t>& cycle, const ObserverScratch& work) {
  if (g.Cars.size() != cycle.size()) return false;
  for (size_t i = 0; i < cycle.size(); ++i)
    if (g.Cars[i].Serial != work.Candidates[cycle[i]].Serial) return false;
  return true;
}

// Gridlocks whose cycle is still there go on, with their cars where they
// stand now; the others dissolve; new cycles are new gridlocks.
void UpdateGridlocks(World& w, uint64_t frame) {
  ObserverScratch& work = w.ObserverWork;
  GridlockLog& log = w.Gridlocks;
  const uint64_t lastSearch = work.LastSearch;
  work.LastSearch = frame;
  if (log.Current.empty() && work.Candidates.empty()) return;
  FindCycles(work);
  std::vector<Gridlock> now;
  for (size_t k = 0; k < work.CycleCount; ++k) {
    const std::vector<size_t>& cycle = work.Cycles[k];
    auto known = std::find_if(log.Current.begin(), log.Current.end(),
                              [&](const Gridlock& g) { return SameCars(g, cycle, work); });
    Gridlock g;
    if (known != log.Current.end()) {
      g = std::move(*known);
      log.Current.erase(known);
    } else {
      g.Number = ++log.Found;
    }
    g.Cars.clear();
    for (size_t i : cycle) {
      const Car& car = *work.Candidates[i].Record;
      g.Cars.push_back(
          {car.Serial, {car.CellX, car.CellY}, RoundToInt(car.PosX), RoundToInt(car.PosY), car.Wait.Kind});
      g.StuckSince = std::max(g.StuckSince, car.StandingSince);
    }
    // Not there at the last look: formed when its last car had stood long
    // enough, unless that was before the last look.
    if (g.Formed == 0) g.Formed = std::max(g.StuckSince + kGridlockSteps, lastSearch + 1);
    NameTiles(w, g);
    now.push_back(std::move(g));
  }
  for (Gridlock& gone : log.Current) {
    gone.Dissolved = frame;
    log.Past.push_back(std::move(gone));
  }
  if (log.Past.size() > GridlockLog::kPastKept)
    log.Past.erase(log.Past.begin(), log.Past.end() - GridlockLog::kPastKept);
  log.Current = std::move(now);
}

}  // namespace

void BeginObservation(World& w) {
  ObserverScratch& work = w.ObserverWork;
  work.Statistics = w.Observe.Statistics;
  work.Gridlocks = w.Observe.Gridlocks;
  work.Frame = w.Stats.Frame + 1;
  work.Standing = 0;
  work.Speeds = 0.0;
  work.Candidates.clear();
  const uint64_t steps = work.Frame - w.Live.MapFrame;
  work.CountHeat = steps % StandingHeat::kCountSteps == 0;
  work.Search = steps % kGridlockSearchSteps == 0;
  if (work.Statistics) RollHeat(w.Heat, steps, work.CountHeat);
  work.HeatNow = w.Heat.Minute();
}

void FinishObservation(World& w) {
  ObserverScratch& work = w.ObserverWork;
  if (work.Statistics) {
    LiveStats& live = w.Live;
    const int32_t cars = w.CarCount();
    live.Standing = work.Standing;
    live.MeanSpeed = cars > 0 ? work.Speeds / cars : 0.0;
    live.CarSteps += static_cast<uint64_t>(cars);
    live.StandingCarSteps += static_cast<uint64_t>(work.Standing);
    CountArrivals(w, w.Stats.Frame - live.MapFrame);
  }
  if (work.Gridlocks && work.Search) UpdateGridlocks(w, w.Stats.Frame);
}

}  // namespace kv
