// Binary data files with the two access modes the map code needs.
//
// Reading never creates or changes a file. Writing goes to a temporary file in
// the target's directory that only replaces the target, by rename, when the
// whole content was written and flushed; until then the old file is intact.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace kv {

using FileHandle = uint32_t;

enum class FileMode { Read, Write };

// Maps a program path ("Gfx\gras.jpg") to the host's form ("Gfx/gras.jpg").
std::string HostPath(const std::string& programPath);

class DataFiles {
 public:
  DataFiles();
  ~DataFiles();
  DataFiles(const DataFiles&) = delete;
  DataFiles& operator=(const DataFiles&) = delete;

  // 0 when the path cannot be opened (empty path, missing file for reading,
  // a directory, an unwritable directory for writing).
  FileHandle Open(const std::string& path, FileMode mode);
  // Read mode: closes. Write mode: flushes, syncs and renames the temporary
  // file over the target. Returns false when any write or the replacement
  // failed; the target is then unchanged and the temporary file removed.
  bool Close(FileHandle file);
  // Write mode: discards what was written; the target stays as it was.
  void Abandon(FileHandle file);

  // Bytes missing at the end count as 0.
  int ReadInt8(FileHandle file);
  int ReadInt16(FileHandle file);
  void WriteInt8(FileHandle file, int value);
  void WriteInt16(FileHandle file, int value);

 private:
  struct OpenFile;
  std::map<FileHandle, std::unique_ptr<OpenFile>> open_;
  FileHandle next_ = 1;
};

}  // namespace kv
