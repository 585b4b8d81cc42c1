// Undo and redo of the map, and whether it differs from what was last saved
// or opened.
//
// A step is what changed between Begin and End, kept as the map before and
// after it: roads with their types, emitters (the records themselves, so
// that one brought back is the one its cars still drive on) with their
// targets, routes and settings, lights and signs with their kind, state and
// phase length, and the bounds. The grids follow from these, and cars and the
// light cycle are simulation: undo leaves them alone, except that an emitter
// whose target or route changes loses its cars, as any new target does, and
// a step that replaced the whole map (D, opening a map) removes the cars both
// ways, as doing it again would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "network/placing.h"
#include "world/world.h"

namespace kv {

enum class StepKind { Edit, WholeMap };

class EditHistory {
 public:
  // The history keeps the newest steps, at most this many and, beyond the
  // newest one, at most this much memory (shared parts counted once). A step
  // costs about 12 bytes a road, 64 an emitter and 24 a light for each side
  // that changed, plus the routes that changed and the emitter records it
  // alone keeps: 100 steps of D and O on the start map take 4 MB.
  static constexpr size_t kMaxSteps = 100;
  static constexpr size_t kMaxBytes = size_t{64} << 20;

  // Opens a step at the map as it is now; nothing while one is open.
  void Begin(const World& w);
  // Closes the open step. When the map changed since Begin it becomes the
  // newest step, and what could be redone is dropped.
  void End(const World& w, StepKind kind = StepKind::Edit);
  bool IsOpen() const { return open_; }

  // Close the open step, then undo the newest step or redo the last one
  // undone; false when there is none.
  bool Undo(World& w);
  bool Redo(World& w);

  // No steps, and the map as it is counts as saved.
  void Reset();
  // The map as it is now is the one saved or opened.
  void MarkSaved() { savedAt_ = Position(); }
  bool Modified() const { return savedAt_ != Position(); }

  size_t UndoSteps() const { return undo_.size(); }
  size_t RedoSteps() const { return redo_.size(); }
  // Memory held by the steps.
  size_t Bytes() const;

  struct RoadImage {
    int32_t tileX = 0, tileY = 0;
    RoadType type = RoadType::None;
    bool operator==(const RoadImage&) const = default;
  };
  struct RouteImage {
    std::vector<int16_t> xs, ys;  // route points 1..length
    bool operator==(const RouteImage&) const = default;
  };
  struct EmitterImage {
    std::shared_ptr<Emitter> record;
    int32_t targetX = 0, targetY = 0;
    EmitterSettings settings;
    std::shared_ptr<const RouteImage> route;
  };
  struct LightImage {
    int32_t cellX = 0, cellY = 0;
    LightState kind = LightState::None, state = LightState::None;
    int32_t interval = 0, lastSwitch = 0;
  };
  struct MapImage {
    int32_t width = 0, height = 0, viewX = 0, viewY = 0;
    std::shared_ptr<const std::vector<RoadImage>> roads;
    std::shared_ptr<const std::vector<EmitterImage>> emitters;
    std::shared_ptr<const std::vector<LightImage>> lights;
  };

 private:
  struct Step {
    MapImage before, after;
    StepKind kind = StepKind::Edit;
    uint64_t id = 0;
  };

  // The id of the newest step not undone, or of the state the history starts from.
  uint64_t Position() const { return undo_.empty() ? baseId_ : undo_.back().id; }
  void Trim();

  std::deque<Step> undo_;
  std::vector<Step> redo_;
  MapImage before_;  // of the open step
  MapImage last_;    // the map as last seen, whose parts a new image shares when they are equal
  bool open_ = false;
  uint64_t nextId_ = 1;
  uint64_t baseId_ = 0;
  uint64_t savedAt_ = 0;
};

}  // namespace kv
