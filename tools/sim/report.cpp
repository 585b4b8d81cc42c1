#include "report.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kv::sim_tool {

namespace {

Json Pair(int64_t a, int64_t b) { return Json::array({a, b}); }

// A float as the shortest decimal that reads back as it: 0.3f is 0.3.
Json FloatNumber(float f) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, f).ptr;
  return std::strtod(std::string(text, end).c_str(), nullptr);
}

template <class GridT>
Json NonZeroCells(const GridT& g) {
  Json cells = Json::array();
  for (int y = 0; y <= GridT::kMax; ++y)
    for (int x = 0; x <= GridT::kMax; ++x)
      if (const int64_t v = static_cast<int64_t>(g.at(x, y)); v != 0) cells.push_back(Json::array({x, y, v}));
  return cells;
}

}  // namespace

Json MapInfo(const World& w) {
  Json j;
  j["bounds"] = Pair(w.TileMapWidth, w.TileMapHeight);
  j["view"] = Pair(w.ViewX, w.ViewY);
  Json& roads = j["roads"] = Json::array();
  for (const Road& r : w.RoadList) roads.push_back(Json::array({r.TileX, r.TileY, static_cast<int>(r.Type)}));
  Json& emitters = j["emitters"] = Json::array();
  for (const Emitter& e : w.EmitterList) {
    Json route = Json::array();
    const int n = std::clamp(e.RouteLength, 0, kRouteCapacity - 1);
    for (size_t i = 1; i <= static_cast<size_t>(n); ++i) route.push_back(Pair(e.RouteX[i], e.RouteY[i]));
    emitters.push_back(Json{{"tile", Pair(e.TileX, e.TileY)},
                            {"direction", static_cast<int>(e.Direction)},
                            {"target", Pair(e.TargetX, e.TargetY)},
                            {"route", std::move(route)},
                            {"interval", e.Interval},
                            {"interval_tolerance", e.IntervalTolerance},
                            {"start_speed", FloatNumber(e.StartSpeed)},
                            {"start_speed_tolerance", FloatNumber(e.StartSpeedTolerance)},
                            {"color_range", e.ColorRange},
                            {"single_color", e.SingleColor}});
  }
  Json& lights = j["lights"] = Json::array();
  for (const TrafficLight& l : w.TrafficLightList)
    lights.push_back(Json::array({l.CellX, l.CellY, static_cast<int>(l.State), l.Interval}));
  j["lanes"] = NonZeroCells(w.MoveMap);
  j["control"] = NonZeroCells(w.ControlMap);
  return j;
}

Json RunSummary(const World& w, int64_t frames) {
  const TrafficStats& s = w.Stats;
  Json j;
  j["frames"] = frames;
  j["spawned"] = s.Spawned;
  j["arrived"] = s.Arrived;
  j["left_grid"] = s.LeftGrid;
  j["cars"] = w.CarCount();
  j["roads"] = w.RoadCount();
  j["emitters"] = w.EmitterCount();
  j["lights"] = w.LightCount();
  j["mean_trip_frames"] =
      s.Arrived ? static_cast<double>(s.ArrivedTripFrames) / static_cast<double>(s.Arrived) : 0.0;
  return j;
}

void GridlockTally::Update(const World& w) {
  const GridlockLog& log = w.Gridlocks;
  if (log.Found == all_.size() && log.Current.size() == open_) return;
  for (Gridlock& g : all_)
    if (g.Dissolved == 0 && std::none_of(log.Current.begin(), log.Current.end(),
                                         [&](const Gridlock& c) { return c.Number == g.Number; }))
      g.Dissolved = w.Stats.Frame;
  for (const Gridlock& g : log.Current)
    if (g.Number > all_.size()) all_.push_back(g);
  open_ = log.Current.size();
}

Json GridlockTally::Summary() const {
  Json list = Json::array();
  for (const Gridlock& g : all_) {
    Json cars = Json::array(), tiles = Json::array();
    for (const GridlockCar& c : g.Cars) cars.push_back(c.Serial);
    for (const Cell& t : g.Tiles) tiles.push_back(Pair(t.x, t.y));
    list.push_back(Json{{"formed", g.Formed},
                        {"cars", std::move(cars)},
                        {"tiles", std::move(tiles)},
                        {"tile", Pair(g.Tile.x, g.Tile.y)},
                        {"at_end", g.Dissolved == 0}});
  }
  return list;
}

bool PrintJson(const Json& j) {
  const std::string text = j.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

}  // namespace kv::sim_tool
