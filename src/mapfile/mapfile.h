// Map files: load and save.
//
// A map file is a 10-byte signature followed by little-endian signed 16-bit
// values: the TileMap bounds, the view, then the roads, the emitters and the
// lights with signs, each section led by its count.
#pragma once

#include <string>

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

inline constexpr const char* kErrorCaption = "Fehler!";
inline constexpr const char* kInvalidCaption = kErrorCaption;
inline constexpr const char* kInvalidText = "Datei ist ungültig!";
inline constexpr const char* kSaveFailedText = "Karte konnte nicht gespeichert werden!";
inline constexpr const char* kTooLargeText = "Karte ist zu groß zum Speichern!";

enum class LoadResult { Loaded, Unopenable, Invalid };
enum class SaveResult { Saved, Unopenable, Failed, TooLarge };

// Messages are shown through the platform as the user sees them; the result
// is for tools and tests.
//
// LoadMap reads the whole file before touching the world: a refused file
// (missing, wrong signature, bounds outside 0..100) shows the invalid-file
// message and changes nothing; a valid one replaces the map completely, cars
// included. The empty path (a cancelled requester) does nothing.
LoadResult LoadMap(World& w, Platform& p, const std::string& path);

// Replaces the file only when all of it was written; on failure the old file
// stays as it was and the user is told, except for the empty path of a
// cancelled requester. A list too long for its 16-bit count is not saved.
SaveResult SaveMap(World& w, Platform& p, const std::string& path);

}  // namespace kv
