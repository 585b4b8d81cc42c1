// The files role: whole files in and out.
//
// Reading never creates or changes a file. Writing goes to a temporary file in
// the target's directory that replaces the target, by rename, only when the
// whole content was written and flushed; until then the old file is intact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {

using Bytes = std::vector<uint8_t>;

class Files {
 public:
  virtual ~Files() = default;
  // The content of a regular file; nullopt when the path cannot be read (the
  // empty path, a missing file, a directory, a device or FIFO).
  virtual std::optional<Bytes> ReadFile(const std::string& path) = 0;
  // Replaces the file with `bytes`; false when it could not (the empty path,
  // a directory, an unwritable directory, a failed write), and then the old
  // file is as it was.
  virtual bool WriteFile(const std::string& path, const Bytes& bytes) = 0;
};

// Maps a program path ("Gfx\gras.jpg") to the host's form ("Gfx/gras.jpg").
std::string HostPath(const std::string& programPath);

// The machine's own file system, shared by both platforms.
class HostFiles : public Files {
 public:
  std::optional<Bytes> ReadFile(const std::string& path) override;
  bool WriteFile(const std::string& path, const Bytes& bytes) override;
};

}  // namespace kv
