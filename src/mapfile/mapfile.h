// Loading and saving map files: the file and the message around the format.
#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/windows.h"
#include "world/world.h"

namespace kv {

inline constexpr const char* kErrorCaption = "Fehler!";
inline constexpr const char* kInvalidCaption = kErrorCaption;
inline constexpr const char* kInvalidText = "Datei ist ungültig!";
inline constexpr const char* kSaveFailedText = "Karte konnte nicht gespeichert werden!";
inline constexpr const char* kTooLargeText = "Karte ist zu groß zum Speichern!";

enum class LoadResult { Loaded, Unopenable, Invalid };
enum class SaveResult { Saved, Unopenable, Failed, TooLarge };

// Messages are shown as the user sees them; the result is for tools and tests.
//
// A refused file (unreadable, wrong signature, bounds outside 0..100) shows
// the invalid-file message and changes nothing; a valid one replaces the map
// completely, cars included. The empty path (a cancelled requester) does
// nothing.
LoadResult LoadMap(World& w, Files& files, Windows& ui, const Clock& clock, const std::string& path);

// Replaces the file only when all of it was written; on failure the old file
// stays as it was and the user is told, except for the empty path of a
// cancelled requester. A list too long for its 16-bit count is not saved.
SaveResult SaveMap(const World& w, Files& files, Windows& ui, const std::string& path);

}  // namespace kv
