#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace kv {

std::string HostPath(const std::string& programPath) {
  std::string out = programPath;
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

namespace {

bool ReadWholeFile(const std::string& path, Bytes& out) {
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
bool ReplaceFile(const std::string& target, const Bytes& bytes) {
  struct stat st {};
  mode_t mode = 0644;
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return false;  // a directory or device is never replaced
    mode = st.st_mode & 07777;
  }
  if (::access(DirectoryOf(target).c_str(), W_OK | X_OK) != 0) return false;
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

}  // namespace

std::optional<Bytes> HostFiles::ReadFile(const std::string& path) {
  if (path.empty()) return std::nullopt;
  Bytes bytes;
  if (!ReadWholeFile(HostPath(path), bytes)) return std::nullopt;
  return bytes;
}

bool HostFiles::WriteFile(const std::string& path, const Bytes& bytes) {
  if (path.empty()) return false;
  return ReplaceFile(HostPath(path), bytes);
}

}  // namespace kv
