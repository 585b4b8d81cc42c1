#include "platform/datafile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace kv {

std::string HostPath(const std::string& programPath) {
  std::string out = programPath;
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

struct DataFiles::OpenFile {
  FileMode mode = FileMode::Read;
  std::vector<uint8_t> bytes;  // whole content for reading; written bytes for writing
  size_t pos = 0;
  std::string target;  // host path
};

DataFiles::DataFiles() = default;
DataFiles::~DataFiles() = default;

namespace {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  // Non-blocking so that a FIFO or device path cannot hang the open.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  uint8_t buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  ::close(fd);
  return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Writes bytes to a temporary file beside target and renames it over target.
bool ReplaceFile(const std::string& target, const std::vector<uint8_t>& bytes) {
  struct stat st {};
  mode_t mode = 0644;
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return false;  // a directory or device is never replaced
    mode = st.st_mode & 07777;
  }
  std::string tmpl = DirectoryOf(target) + "/.koravel-save-XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fchmod(fd, mode) == 0 &&
            ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(name.data(), target.c_str()) == 0;
  if (!ok) ::unlink(name.data());
  return ok;
}

bool DirectoryWritable(const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
  return ::access(DirectoryOf(target).c_str(), W_OK | X_OK) == 0;
}

}  // namespace

FileHandle DataFiles::Open(const std::string& path, FileMode mode) {
  if (path.empty()) return 0;
  auto file = std::make_unique<OpenFile>();
  file->mode = mode;
  file->target = HostPath(path);
  if (mode == FileMode::Read) {
    if (!ReadWholeFile(file->target, file->bytes)) return 0;
  } else if (!DirectoryWritable(file->target)) {
    return 0;
  }
  FileHandle handle = next_++;
  if (next_ == 0) next_ = 1;
  open_[handle] = std::move(file);
  return handle;
}

bool DataFiles::Close(FileHandle file) {
  auto it = open_.find(file);
  if (it == open_.end()) return false;
  std::unique_ptr<OpenFile> f = std::move(it->second);
  open_.erase(it);
  if (f->mode == FileMode::Read) return true;
  return ReplaceFile(f->target, f->bytes);
}

void DataFiles::Abandon(FileHandle file) { open_.erase(file); }

int DataFiles::ReadInt8(FileHandle file) {
  auto it = open_.find(file);
  if (it == open_.end()) return 0;
  OpenFile& f = *it->second;
  if (f.mode != FileMode::Read || f.pos >= f.bytes.size()) return 0;
  return static_cast<int8_t>(f.bytes[f.pos++]);
}

int DataFiles::ReadInt16(FileHandle file) {
  auto it = open_.find(file);
  if (it == open_.end()) return 0;
  OpenFile& f = *it->second;
  if (f.mode != FileMode::Read) return 0;
  uint16_t lo = f.pos < f.bytes.size() ? f.bytes[f.pos++] : 0;
  uint16_t hi = f.pos < f.bytes.size() ? f.bytes[f.pos++] : 0;
  return static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
}

void DataFiles::WriteInt8(FileHandle file, int value) {
  auto it = open_.find(file);
  if (it == open_.end() || it->second->mode != FileMode::Write) return;
  it->second->bytes.push_back(static_cast<uint8_t>(value & 0xFF));
}

void DataFiles::WriteInt16(FileHandle file, int value) {
  auto it = open_.find(file);
  if (it == open_.end() || it->second->mode != FileMode::Write) return;
  it->second->bytes.push_back(static_cast<uint8_t>(value & 0xFF));
  it->second->bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

}  // namespace kv
