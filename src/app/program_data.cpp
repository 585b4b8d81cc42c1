#include "app/program_data.h"

#include <sys/stat.h>

#include <filesystem>

#include "app/game.h"
#include "platform/files.h"

namespace kv {

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

ProgramData FindProgramData() {
  ProgramData data;
  data.startMap = kStartMap;
  bool mapFound = false;
  for (const std::string& folder : DataFolders()) {
    std::error_code ignored;
    data.searched.push_back(folder.empty() ? std::filesystem::current_path(ignored).string() : folder);
    if (!data.images && IsDirectory(folder + kImagesFolder)) data.images = folder;
    if (!mapFound && IsFile(folder + kStartMap)) {
      data.startMap = folder + kStartMap;
      mapFound = true;
    }
  }
  return data;
}

std::string MapPath(const ProgramData& data, const std::string& given) {
  return given == kStartMap && !IsFile(given) ? data.startMap : given;
}

std::string MissingImagesText(const ProgramData& data, const char* heading) {
  std::string text = heading;
  for (const std::string& folder : data.searched) text += "\n  " + folder;
  return text;
}

}  // namespace kv
