// Helpers shared by the placing and map file tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>

#include "app/world.h"
#include "support/temp_files.h"

namespace kv::testing_maps {

using kvtest::Bytes;
using kvtest::ReadBytes;
using kvtest::TempDir;
using kvtest::WriteBytes;

// A world is too large for the stack.
inline std::unique_ptr<World> NewWorld() { return std::make_unique<World>(); }

// A road record without re-shaping neighbours: enough to stand on.
inline void PutRoadRecord(World& w, int tileX, int tileY, int type) {
  w.RoadList.Last();
  Road& r = w.RoadList.Add();
  r.TileX = tileX, r.TileY = tileY, r.PixelX = 32 * tileX, r.PixelY = 32 * tileY, r.Type = type;
  w.TileMap.set(tileX, tileY, 1);
  w.RoadCount += 1;
}

// Map file bytes: the signature, then little-endian 16-bit values.
inline Bytes MapBytes(std::initializer_list<int> values) {
  Bytes bytes;
  for (int n = 1; n <= 10; ++n) bytes.push_back(static_cast<uint8_t>(2 * n - 1));
  for (int v : values) bytes.insert(bytes.end(), {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF)});
  return bytes;
}

}  // namespace kv::testing_maps
