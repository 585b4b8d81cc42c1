#include "editor/history.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "network/roads.h"

namespace kv {

namespace {

using RoadImage = EditHistory::RoadImage;
using RouteImage = EditHistory::RouteImage;
using EmitterImage = EditHistory::EmitterImage;
using LightImage = EditHistory::LightImage;
using MapImage = EditHistory::MapImage;

int32_t UsedRouteLength(const Emitter& e) { return std::clamp(e.RouteLength, 0, kRouteCapacity - 1); }

bool SameRoute(const Emitter& e, const RouteImage& route) {
  const auto n = static_cast<size_t>(UsedRouteLength(e));
  if (n != route.xs.size()) return false;
  for (size_t i = 0; i < n; ++i)
    if (e.RouteX[i + 1] != route.xs[i] || e.RouteY[i + 1] != route.ys[i]) return false;
  return true;
}

bool SameEmitter(const EmitterImage& a, const EmitterImage& b) {
  return a.record == b.record && a.targetX == b.targetX && a.targetY == b.targetY && a.settings == b.settings &&
         (a.route == b.route || *a.route == *b.route);
}

// What the user edits of a light; its state and phase start belong to the cycle.
bool SameLightPlacement(const LightImage& a, const LightImage& b) {
  return a.cellX == b.cellX && a.cellY == b.cellY && a.kind == b.kind && a.interval == b.interval;
}
bool SameLight(const LightImage& a, const LightImage& b) {
  return SameLightPlacement(a, b) && a.state == b.state && a.lastSwitch == b.lastSwitch;
}

template <class T, class Equal>
bool SameList(const std::vector<T>& a, const std::vector<T>& b, Equal equal) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), equal);
}

// `part`, or the reference's equal part, so that images share what did not change.
template <class T, class Equal>
std::shared_ptr<const std::vector<T>> Shared(std::vector<T> part, const std::shared_ptr<const std::vector<T>>& ref,
                                             Equal equal) {
  if (ref && SameList(part, *ref, equal)) return ref;
  return std::make_shared<const std::vector<T>>(std::move(part));
}

// The map as it is now. `lightsAlike` tells when the reference's lights may
// stand for the world's.
template <class LightsAlike>
MapImage Capture(const World& w, const MapImage& ref, LightsAlike lightsAlike) {
  MapImage image{w.TileMapWidth, w.TileMapHeight, w.ViewX, w.ViewY, nullptr, nullptr, nullptr};

  std::vector<RoadImage> roads;
  roads.reserve(w.RoadList.size());
  for (const Road& r : w.RoadList) roads.push_back({r.TileX, r.TileY, r.Type});
  image.roads = Shared(std::move(roads), ref.roads, std::equal_to<>());

  std::unordered_map<const Emitter*, std::shared_ptr<const RouteImage>> knownRoutes;
  if (ref.emitters)
    for (const EmitterImage& e : *ref.emitters) knownRoutes[e.record.get()] = e.route;
  std::vector<EmitterImage> emitters;
  emitters.reserve(w.EmitterList.size());
  for (auto it = w.EmitterList.begin(); it != w.EmitterList.end(); ++it) {
    const Emitter& e = *it;
    EmitterImage entry{it.shared(), e.TargetX, e.TargetY, SettingsOf(e), nullptr};
    if (auto known = knownRoutes.find(&e); known != knownRoutes.end() && SameRoute(e, *known->second)) {
      entry.route = known->second;
    } else {
      auto route = std::make_shared<RouteImage>();
      const int32_t n = UsedRouteLength(e);
      route->xs.assign(e.RouteX.begin() + 1, e.RouteX.begin() + 1 + n);
      route->ys.assign(e.RouteY.begin() + 1, e.RouteY.begin() + 1 + n);
      entry.route = std::move(route);
    }
    emitters.push_back(std::move(entry));
  }
  image.emitters = Shared(std::move(emitters), ref.emitters, SameEmitter);

  std::vector<LightImage> lights;
  lights.reserve(w.TrafficLightList.size());
  for (const TrafficLight& l : w.TrafficLightList)
    lights.push_back({l.CellX, l.CellY, l.Kind, l.State, l.Interval, l.LastSwitch});
  image.lights = Shared(std::move(lights), ref.lights, lightsAlike);
  return image;
}

bool MapChanged(const MapImage& a, const MapImage& b) {
  return a.width != b.width || a.height != b.height || a.roads != b.roads || a.emitters != b.emitters ||
         !SameList(*a.lights, *b.lights, SameLightPlacement);
}

void RemoveCarsOf(World& w, const Emitter& emitter) {
  w.CarList.Reset();
  while (Car* car = w.CarList.Next())
    if (car->Emitter.get() == &emitter) w.CarList.Delete();
}

void PutRoads(World& w, const std::vector<RoadImage>& roads) {
  w.RoadList.Clear();
  for (const RoadImage& r : roads) {
    Road& road = w.RoadList.Add();
    road.TileX = r.tileX, road.TileY = r.tileY;
    road.PixelX = kTileSize * r.tileX, road.PixelY = kTileSize * r.tileY;
    road.Type = r.type;
    road.Sprite = IsRoadType(r.type) ? w.RoadSprites[Index(r.type)] : 0;
  }
}

// Emitters still on the map keep their timing and selection; one whose target
// or route changes loses its cars. One that comes back is the record its
// remaining cars drive on.
void PutEmitters(World& w, const std::vector<EmitterImage>& emitters) {
  std::unordered_set<const Emitter*> present;
  for (const Emitter& e : w.EmitterList) present.insert(&e);
  w.EmitterList.Clear();
  for (const EmitterImage& image : emitters) {
    Emitter& e = w.EmitterList.Add(image.record);
    const bool wasPresent = present.count(&e) != 0;
    const bool newRoute = e.TargetX != image.targetX || e.TargetY != image.targetY || !SameRoute(e, *image.route);
    e.TargetX = image.targetX, e.TargetY = image.targetY;
    ApplySettings(e, image.settings);
    e.RouteLength = static_cast<int32_t>(image.route->xs.size());
    std::copy(image.route->xs.begin(), image.route->xs.end(), e.RouteX.begin() + 1);
    std::copy(image.route->ys.begin(), image.route->ys.end(), e.RouteY.begin() + 1);
    if (!wasPresent) e.Selected = 0;
    if (wasPresent && newRoute) RemoveCarsOf(w, e);
  }
}

// A light still on the map goes on with its cycle; one that comes back has
// the state and phase it had.
void PutLights(World& w, const std::vector<LightImage>& lights) {
  std::unordered_map<int64_t, TrafficLight> present;
  auto key = [](int32_t x, int32_t y) { return (int64_t{x} << 32) ^ static_cast<uint32_t>(y); };
  for (const TrafficLight& l : w.TrafficLightList) present.emplace(key(l.CellX, l.CellY), l);
  w.TrafficLightList.Clear();
  for (const LightImage& image : lights) {
    TrafficLight& l = w.TrafficLightList.Add();
    auto it = present.find(key(image.cellX, image.cellY));
    if (it != present.end() && it->second.Kind == image.kind) {
      l = it->second;
    } else {
      l.CellX = image.cellX, l.CellY = image.cellY;
      l.PixelX = kCellSize * image.cellX, l.PixelY = kCellSize * image.cellY;
      l.Kind = image.kind, l.State = image.state, l.LastSwitch = image.lastSwitch;
      l.Sprite = w.LightSprites[Index(image.state)];
    }
    l.Interval = image.interval;
  }
}

// The map of `image`, replacing that of `other`; the view goes back only
// where the step moved it (opening a map).
void Apply(World& w, const MapImage& image, const MapImage& other, StepKind kind) {
  if (kind == StepKind::WholeMap) w.CarList.Clear();
  if (kind == StepKind::WholeMap && (image.viewX != other.viewX || image.viewY != other.viewY))
    w.ViewX = image.viewX, w.ViewY = image.viewY;
  w.TileMapWidth = image.width, w.TileMapHeight = image.height;
  PutRoads(w, *image.roads);
  PutEmitters(w, *image.emitters);
  PutLights(w, *image.lights);
  RebuildMapGrids(w);
}

}  // namespace

void EditHistory::Begin(const World& w) {
  if (open_) return;
  // Lights are taken afresh: one that the step removes comes back as it was then.
  before_ = Capture(w, last_, SameLight);
  last_ = before_;
  open_ = true;
}

void EditHistory::End(const World& w, StepKind kind) {
  if (!open_) return;
  open_ = false;
  MapImage before = std::exchange(before_, {});
  MapImage after = Capture(w, before, SameLightPlacement);
  last_ = after;
  if (!MapChanged(before, after)) return;
  redo_.clear();
  undo_.push_back({std::move(before), std::move(after), kind, nextId_++});
  Trim();
}

bool EditHistory::Undo(World& w) {
  End(w);
  if (undo_.empty()) return false;
  Step step = std::move(undo_.back());
  undo_.pop_back();
  Apply(w, step.before, step.after, step.kind);
  last_ = step.before;
  redo_.push_back(std::move(step));
  return true;
}

bool EditHistory::Redo(World& w) {
  End(w);
  if (redo_.empty()) return false;
  Step step = std::move(redo_.back());
  redo_.pop_back();
  Apply(w, step.after, step.before, step.kind);
  last_ = step.after;
  undo_.push_back(std::move(step));
  return true;
}

void EditHistory::Reset() {
  undo_.clear();
  redo_.clear();
  before_ = last_ = {};
  open_ = false;
  baseId_ = savedAt_ = nextId_++;
}

void EditHistory::Trim() {
  while (!undo_.empty() && (undo_.size() > kMaxSteps || (undo_.size() > 1 && Bytes() > kMaxBytes))) {
    baseId_ = undo_.front().id;
    undo_.pop_front();
  }
}

size_t EditHistory::Bytes() const {
  std::unordered_set<const void*> seen;
  size_t bytes = 0;
  auto count = [&](const void* part, size_t size) {
    if (part && seen.insert(part).second) bytes += size;
  };
  auto image = [&](const MapImage& m) {
    count(m.roads.get(), m.roads ? m.roads->capacity() * sizeof(RoadImage) : 0);
    count(m.lights.get(), m.lights ? m.lights->capacity() * sizeof(LightImage) : 0);
    if (!m.emitters || !seen.insert(m.emitters.get()).second) return;
    bytes += m.emitters->capacity() * sizeof(EmitterImage);
    for (const EmitterImage& e : *m.emitters) {
      count(e.record.get(), sizeof(Emitter));
      count(e.route.get(), sizeof(RouteImage) + 2 * e.route->xs.capacity() * sizeof(int16_t));
    }
  };
  for (const Step& s : undo_) image(s.before), image(s.after);
  for (const Step& s : redo_) image(s.before), image(s.after);
  return bytes;
}

}  // namespace kv
