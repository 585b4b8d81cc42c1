// Map files: load and save.
#pragma once

#include <string>

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

inline constexpr const char* kInvalidCaption = "Fehler!";
inline constexpr const char* kInvalidText = "Datei ist ungültig!";

enum class LoadResult { Loaded, Unopenable, Invalid };
enum class SaveResult { Saved, Unopenable, Failed, TooLarge };

// Messages are shown through the platform as the user sees them; the result
// is for tools and tests.
LoadResult LoadMap(World& w, Platform& p, const std::string& path);
SaveResult SaveMap(World& w, Platform& p, const std::string& path);

}  // namespace kv
