// Scratch directories and whole-file byte access for tests that check what
// lands on disk. Header-only, so that every topic can use it.
#pragma once

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kvtest {

using Bytes = std::vector<uint8_t>;

// A fresh directory under /tmp, removed with its contents at the end.
struct TempDir {
  TempDir() {
    char name[] = "/tmp/kv-test-XXXXXX";
    path = ::mkdtemp(name) ? name : "/nonexistent";
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return path + "/" + name; }
  std::vector<std::string> List() const {  // entry names, sorted
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string path;
};

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs f() while writing beyond `limit` bytes into a file fails, as on a
// full disk; the limit binds root too, unlike permissions.
template <class F>
auto WithFileSizeLimit(rlim_t limit, F f) {
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit tight = saved;
  tight.rlim_cur = limit;
  auto handler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &tight);
  auto result = f();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  return result;
}

}  // namespace kvtest
