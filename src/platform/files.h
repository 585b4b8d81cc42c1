// The files role: whole files in and out.
//
// Paths are the host's and are used as given: a backslash is part of a name.
// Only the program's own data paths are written in its backslash form, and
// HostPath turns them into the host's.
//
// Reading never creates or changes a file and reads no more than the caller
// allows. Writing never leaves a half-written file behind (FileWriter).
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
  // The content of a regular file of at most `maxBytes` bytes; nullopt when
  // the path cannot be read (the empty path, a missing file, a directory, a
  // device or FIFO) or the file is longer.
  virtual std::optional<Bytes> ReadFile(const std::string& path, size_t maxBytes) = 0;
  // Replaces the file with `bytes` as FileWriter does; false when it could
  // not, and then the old file is as it was.
  virtual bool WriteFile(const std::string& path, const Bytes& bytes) = 0;
};

// The program's own data paths ("Gfx\gras.jpg") in the host's form
// ("Gfx/gras.jpg"). Names from a requester or a command line never go
// through here.
std::string HostPath(const std::string& programPath);

// Writes one file so that a failure, or the end of the process, leaves the
// old one as it was:
// - a regular file, or a new one, is written to a temporary file in its
//   directory that replaces it only at Commit; a symbolic link is followed
//   and kept; the replaced file keeps its mode and, where permitted, its
//   owner; a file the user may not write (or one nobody may write) is
//   refused;
// - a device, a FIFO (only one with a reader: nothing waits for one) or a
//   standard stream ("/dev/stdout") is written directly and never removed;
//   anything else (a directory, a block device) is refused.
class FileWriter {
 public:
  explicit FileWriter(const std::string& path);
  ~FileWriter();  // without a successful Commit the target stays as it was
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // False once anything failed (then everything after is ignored).
  bool Write(const void* data, size_t size);
  // Flushes, syncs, closes and puts the file in place; false on any failure.
  bool Commit();
  // The errno of the first failure, 0 while there was none.
  int Error() const { return error_; }

 private:
  bool Flush();
  bool Fail(int error);

  std::string target_;  // the file to replace, links resolved
  std::string named_;   // a temporary file with a name, when one had to be made
  int fd_ = -1;
  bool direct_ = false;
  bool committed_ = false;
  int error_ = 0;
  std::vector<uint8_t> buffer_;
};

// True when the two paths name the same file, also through links, or would
// both create the same new file. Character devices (/dev/null) are never
// "the same": writing one twice destroys nothing.
bool SameFile(const std::string& a, const std::string& b);

// Where the program's own data may be, in the order to search: the working
// directory (""), the executable's directory, the install tree beside it
// (../share/koravel) and the installed data directory. Each but the first
// ends in '/'; no folder comes twice.
std::vector<std::string> DataFolders();

// The file a save requester means by the name the user typed: with the
// extension of the requester's first pattern ("Maps|*.kvl|..." or ".kvl")
// added when the name has none, unless a file of exactly that name exists.
std::string SavePathFor(const std::string& typedPath, const std::string& pattern);

// The machine's own file system, shared by both platforms.
class HostFiles : public Files {
 public:
  std::optional<Bytes> ReadFile(const std::string& path, size_t maxBytes) override;
  bool WriteFile(const std::string& path, const Bytes& bytes) override;
};

}  // namespace kv
