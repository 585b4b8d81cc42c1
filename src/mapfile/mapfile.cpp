#include "mapfile/mapfile.h"

#include <new>

#include "mapfile/format.h"

namespace kv {

LoadResult LoadMap(World& w, Files& files, Windows& ui, const Clock& clock, const std::string& path) {
  if (path.empty()) return LoadResult::Unopenable;  // cancelled requester
  bool placing = false;
  try {
    const std::optional<Bytes> bytes = files.ReadFile(path, kMaxMapFileBytes);
    if (!bytes) {
      ui.ShowMessage(kInvalidCaption, kInvalidText);
      return LoadResult::Unopenable;
    }
    const ParsedMap parsed = ParseMap(*bytes);
    if (!parsed.ok()) {
      ui.ShowMessage(kInvalidCaption, kInvalidText);
      return LoadResult::Invalid;
    }
    placing = true;
    PlaceMap(w, parsed.map, clock);
    return LoadResult::Loaded;
  } catch (const std::bad_alloc&) {
    // Out of memory is no reason to lose the program, and with it the map
    // the user has: before placing nothing has changed; a half-placed map is
    // cleared rather than left inconsistent.
    if (placing) ClearMap(w);
    ui.ShowMessage(kInvalidCaption, kInvalidText);
    return LoadResult::Invalid;
  }
}

SaveResult SaveMap(const World& w, Files& files, Windows& ui, const std::string& path) {
  if (path.empty()) return SaveResult::Unopenable;  // cancelled requester
  const std::optional<Bytes> bytes = SerializeMap(w);
  if (!bytes) {
    ui.ShowMessage(kErrorCaption, kTooLargeText);
    return SaveResult::TooLarge;
  }
  if (!files.WriteFile(path, *bytes)) {
    ui.ShowMessage(kErrorCaption, kSaveFailedText);
    return SaveResult::Failed;
  }
  return SaveResult::Saved;
}

}  // namespace kv
