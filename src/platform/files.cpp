#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <random>

#ifndef KORAVEL_DATA_DIR
#error "KORAVEL_DATA_DIR (the installed data directory) comes from the build"
#endif

namespace kv {

std::string HostPath(const std::string& programPath) {
  std::string out = programPath;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

std::string SavePathFor(const std::string& typedPath, const std::string& pattern) {
  // The first glob: of the only field, or of the first description's pattern field.
  const size_t bar = pattern.find('|');
  std::string globs = bar == std::string::npos ? pattern : pattern.substr(bar + 1);
  globs = globs.substr(0, globs.find_first_of("|;"));
  const size_t dot = globs.rfind('.');
  if (dot == std::string::npos) return typedPath;
  const std::string extension = globs.substr(dot);
  if (extension.size() < 2 || extension.find_first_of("*?[") != std::string::npos) return typedPath;

  const size_t slash = typedPath.rfind('/');
  const std::string name = slash == std::string::npos ? typedPath : typedPath.substr(slash + 1);
  if (name.empty() || name.find('.', 1) != std::string::npos) return typedPath;
  struct stat st {};
  if (::stat(typedPath.c_str(), &st) == 0) return typedPath;
  return typedPath + extension;
}

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel allows
constexpr size_t kWriteBufferBytes = 64 * 1024;
constexpr int kTemporaryNameTries = 100;

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The target of a symbolic link; "" (errno set) when it is none.
std::string ReadLink(const std::string& path) {
  std::vector<char> buf(256);
  for (;;) {
    const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n < 0) return "";
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

// The descriptor a standard-stream name stands for ("/dev/stdout" is 1), or -1.
int StandardStreamFd(const std::string& path) {
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  for (const std::string prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = path.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::atoi(digits.c_str());
  }
  return -1;
}

// Follows symbolic links to the file they finally name, which need not exist,
// or to a standard stream. Returns 0 or an errno.
int ResolveLinks(std::string path, std::string& resolved, int& streamFd) {
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    streamFd = StandardStreamFd(path);
    if (streamFd >= 0) return 0;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      resolved = path;
      return errno == ENOENT ? 0 : errno;
    }
    if (!S_ISLNK(st.st_mode)) {
      resolved = path;
      return 0;
    }
    const std::string target = ReadLink(path);
    if (target.empty()) return errno ? errno : EINVAL;
    path = target[0] == '/' ? target : DirectoryOf(path) + "/" + target;
  }
  return ELOOP;
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

// A name in `dir` that no file has yet, for a temporary file of ours.
std::string FreshName(const std::string& dir, std::random_device& random) {
  return dir + "/.koravel-" + std::to_string(::getpid()) + "-" + std::to_string(random());
}

// A new, empty temporary file with a name in `dir` (where the file system
// cannot make a nameless one); the mode follows the umask as for any new file.
int CreateNamed(const std::string& dir, std::string& name) {
  std::random_device random;
  for (int i = 0; i < kTemporaryNameTries; ++i) {
    name = FreshName(dir, random);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      if (fd < 0) name.clear();
      return fd;
    }
  }
  name.clear();
  errno = EEXIST;
  return -1;
}

// Gives a nameless temporary file a name in `dir`; false (errno set) when it could not.
bool NameNameless(int fd, const std::string& dir, std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  std::random_device random;
  for (int i = 0; i < kTemporaryNameTries; ++i) {
    name = FreshName(dir, random);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == ENOENT && ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;  // no /proc
    if (errno != EEXIST) break;
  }
  name.clear();
  return false;
}

}  // namespace

FileWriter::FileWriter(const std::string& path) {
  if (path.empty()) {
    Fail(ENOENT);
    return;
  }
  int stream = -1;
  if (int error = ResolveLinks(path, target_, stream)) {
    Fail(error);
    return;
  }
  if (stream >= 0) {
    fd_ = ::fcntl(stream, F_DUPFD_CLOEXEC, 3);
    direct_ = true;
    if (fd_ < 0) Fail(errno);
    return;
  }
  struct stat st {};
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    if (!S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode)) {
      Fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
      return;
    }
    // Non-blocking, so that a FIFO without a reader is refused at once
    // rather than waited for; the writes then block as usual.
    fd_ = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    direct_ = true;
    if (fd_ < 0 || ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0) Fail(errno);
    return;
  }
  // Root may write anything, but a file that nobody may write was meant to stay.
  if (exists && (::access(target_.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0)) {
    Fail(EACCES);
    return;
  }
  // A nameless file vanishes with the process, whatever ends it.
  const std::string dir = DirectoryOf(target_);
  fd_ = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) fd_ = CreateNamed(dir, named_);
  if (fd_ < 0) {
    Fail(errno);
    return;
  }
  if (exists) {
    if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) && ::fchown(fd_, st.st_uid, st.st_gid) != 0)
      (void)!::fchown(fd_, static_cast<uid_t>(-1), st.st_gid);  // the group at least, where we are in it
    if (::fchmod(fd_, st.st_mode & 07777) != 0) Fail(errno);
  }
}

FileWriter::~FileWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (!named_.empty()) ::unlink(named_.c_str());
}

bool FileWriter::Fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
  return false;
}

bool FileWriter::Flush() {
  if (!buffer_.empty() && !WriteAll(fd_, buffer_.data(), buffer_.size())) return Fail(errno);
  buffer_.clear();
  return true;
}

bool FileWriter::Write(const void* data, size_t size) {
  if (fd_ < 0 || error_ != 0) return false;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (buffer_.size() + size <= kWriteBufferBytes) {
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return true;
  }
  if (!Flush()) return false;
  if (size < kWriteBufferBytes) {
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return true;
  }
  return WriteAll(fd_, bytes, size) || Fail(errno);
}

bool FileWriter::Commit() {
  if (fd_ < 0 || error_ != 0 || committed_ || !Flush()) return Fail(error_);
  if (!direct_) {
    if (::fsync(fd_) != 0) return Fail(errno);
    if (named_.empty() && !NameNameless(fd_, DirectoryOf(target_), named_)) return Fail(errno);
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return Fail(errno);
  if (!direct_) {
    if (::rename(named_.c_str(), target_.c_str()) != 0) return Fail(errno);
    named_.clear();
  }
  committed_ = true;
  return true;
}

namespace {

// What names a file: device and inode when it exists, else its absolute path
// with links resolved.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  mode_t mode = 0;
  std::string path;
};

FileIdentity IdentityOf(const std::string& path) {
  std::string resolved = path;
  int stream = -1;
  ResolveLinks(path, resolved, stream);
  struct stat st {};
  if (stream >= 0 ? ::fstat(stream, &st) == 0 : ::stat(resolved.c_str(), &st) == 0)
    return {true, st.st_dev, st.st_ino, st.st_mode, {}};
  std::error_code ignored;
  return {false, 0, 0, 0,
          std::filesystem::weakly_canonical(std::filesystem::absolute(resolved, ignored), ignored).string()};
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  const FileIdentity x = IdentityOf(a), y = IdentityOf(b);
  if (x.exists != y.exists) return false;
  if (x.exists) return x.device == y.device && x.inode == y.inode && !S_ISCHR(x.mode);
  return !x.path.empty() && x.path == y.path;
}

std::vector<std::string> DataFolders() {
  std::vector<std::string> candidates;
  const std::string exe = ReadLink("/proc/self/exe");
  if (!exe.empty()) {
    const std::string dir = DirectoryOf(exe);
    candidates = {dir + "/", dir + "/../share/koravel/"};
  }
  candidates.push_back(KORAVEL_DATA_DIR "/");

  std::error_code ignored;
  std::vector<std::string> folders = {""};
  std::vector<std::filesystem::path> seen = {std::filesystem::weakly_canonical(".", ignored)};
  for (const std::string& folder : candidates) {
    const std::filesystem::path normal = std::filesystem::path(folder).lexically_normal();
    const std::filesystem::path real = std::filesystem::weakly_canonical(normal, ignored);
    if (std::find(seen.begin(), seen.end(), real) != seen.end()) continue;
    seen.push_back(real);
    folders.push_back(normal.string());
  }
  return folders;
}

std::optional<Bytes> HostFiles::ReadFile(const std::string& path, size_t maxBytes) {
  if (path.empty()) return std::nullopt;
  // Non-blocking so that a FIFO or device path cannot hang the open.
  Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  struct stat st {};
  if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) > maxBytes)
    return std::nullopt;
  try {
    Bytes out;
    out.reserve(static_cast<size_t>(st.st_size));
    uint8_t buf[65536];
    for (;;) {
      // One byte beyond the bound tells a file that grew past it.
      const size_t left = maxBytes - out.size();
      const ssize_t n = ::read(file.fd, buf, left < sizeof buf ? left + 1 : sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return std::nullopt;
      if (n == 0) return out;
      if (static_cast<size_t>(n) > left) return std::nullopt;
      out.insert(out.end(), buf, buf + n);
    }
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool HostFiles::WriteFile(const std::string& path, const Bytes& bytes) {
  FileWriter out(path);
  return out.Write(bytes.data(), bytes.size()) && out.Commit();
}

}  // namespace kv
