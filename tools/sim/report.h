// koravel-sim's JSON: the loaded map (info) and a run's summary.
#pragma once

#include <nlohmann/json.hpp>

#include <vector>

#include "world/world.h"

namespace kv::sim_tool {

// Keys in the order they were added, as people read them.
using Json = nlohmann::ordered_json;

// "bounds", "view", "roads" [[x, y, type]] after re-shaping, "emitters"
// [{"tile", "direction", "target", "route" (target first), then the settings
// "interval", "interval_tolerance", "start_speed", "start_speed_tolerance",
// "color_range", "single_color"}], "lights" [[cellX, cellY, state,
// interval]], "lanes" and "control" [[x, y, value]] for every lane cell with
// a non-zero value, row by row.
Json MapInfo(const World& w);

// "frames", "spawned", "arrived", "left_grid", "cars", "roads", "emitters",
// "lights", "mean_trip_frames" (full precision).
Json RunSummary(const World& w, int64_t frames);

// Every gridlock of a run. The world keeps only the latest that dissolved;
// this keeps them all, looking after each step.
class GridlockTally {
 public:
  void Update(const World& w);
  uint64_t Found() const { return all_.size(); }
  // [{"formed", "cars" (serials, as in the trace), "tiles" [[x, y]], "tile"
  // (the one to name it by), "at_end"}], in the order they formed.
  Json Summary() const;

 private:
  std::vector<Gridlock> all_;  // by number
  size_t open_ = 0;            // those not dissolved
};

// One line on standard output; false when it could not be written.
bool PrintJson(const Json& j);

}  // namespace kv::sim_tool
