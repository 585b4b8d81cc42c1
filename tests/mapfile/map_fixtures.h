// Helpers shared by the placing and map file tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/world.h"

namespace kv::testing_maps {

using Bytes = std::vector<uint8_t>;

// A world is too large for the stack.
inline std::unique_ptr<World> NewWorld() { return std::make_unique<World>(); }

// A road record as the road code leaves it, without re-shaping neighbours:
// enough for what only needs a road to stand on.
inline Road& PutRoadRecord(World& w, int tileX, int tileY, int type) {
  w.RoadList.Last();
  Road& r = w.RoadList.Add();
  r.TileX = tileX;
  r.TileY = tileY;
  r.PixelX = 32 * tileX;
  r.PixelY = 32 * tileY;
  r.Type = type;
  w.TileMap.set(tileX, tileY, 1);
  w.RoadCount += 1;
  return r;
}

// A fresh directory under the test temp dir, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = ::testing::TempDir() + "kvmapXXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) != nullptr) path_ = buf.data();
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Names of everything in the directory.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
      names.push_back(e.path().filename().string());
    return names;
  }

 private:
  std::string path_;
};

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Builds map files value by value.
class MapBytes {
 public:
  MapBytes& Signature() {
    for (int n = 1; n <= 10; ++n) bytes_.push_back(static_cast<uint8_t>(2 * n - 1));
    return *this;
  }
  MapBytes& I16(int v) {
    bytes_.push_back(static_cast<uint8_t>(v & 0xFF));
    bytes_.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    return *this;
  }
  MapBytes& Values(std::initializer_list<int> vs) {
    for (int v : vs) I16(v);
    return *this;
  }
  // Signature, bounds and view.
  MapBytes& Header(int width = 100, int height = 100, int viewX = 0, int viewY = 0) {
    return Signature().Values({width, height, viewX, viewY});
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

}  // namespace kv::testing_maps
