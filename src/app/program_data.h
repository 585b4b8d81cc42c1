// Where the program's own data is: the images folder Gfx/ and the start map.
// Each is looked for in the working directory first (the desktop entry starts
// the program in the data directory), then beside the executable, in the
// install tree beside it (../share/koravel), and in the installed data
// directory, so that the program runs whatever directory it is started in.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kv {

inline constexpr const char* kImagesFolder = "Gfx";

struct ProgramData {
  // The folder that holds Gfx/: "" for the working directory, else ending in '/'.
  std::optional<std::string> images;
  // The start map where it was found, or its bare name when it was nowhere.
  std::string startMap;
  // The folders looked in, as a user can find them.
  std::vector<std::string> searched;
};

ProgramData FindProgramData();

// The map a user named: the start map's bare name, when the working
// directory has no such file, means the program's own start map.
std::string MapPath(const ProgramData& data, const std::string& given);

// Says that Gfx/ is missing and where it was looked for, a folder a line
// after the heading: on standard error, and in the program's message box.
inline constexpr const char* kMissingImagesHeading = "the images folder Gfx/ was not found; looked in:";
inline constexpr const char* kMissingImagesMessage =
    "Der Bilderordner Gfx wurde nicht gefunden, Koravel kann nicht starten. Gesucht in:";
std::string MissingImagesText(const ProgramData& data, const char* heading = kMissingImagesHeading);

}  // namespace kv
