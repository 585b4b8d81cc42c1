// The map file format as pure functions: bytes to map contents and back.
//
// A map file is a 10-byte signature followed by little-endian signed 16-bit
// values: the TileMap bounds, the view, then the roads, the emitters and the
// lights with signs, each section led by its count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "network/roads.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "world/world.h"

namespace kv {

constexpr int kMapSignatureLength = 10;
constexpr int kMaxMapBound = kTileGridMax;  // TileMap has 101 x 101 cells
constexpr int kMaxSectionCount = 32767;      // largest count a 16-bit field holds

// The settings block after the counted sections is at most this long; its
// writer keeps that true.
constexpr size_t kMaxSettingsBlockBytes = size_t{1} << 20;
// The longest file a valid map can be: the 24 bytes of signature, bounds,
// view and counts, full sections of roads (6 bytes a record), emitters (10)
// and lights (6), and the settings block. Loading reads no more.
constexpr size_t kMaxMapFileBytes = 24 + 22 * size_t{kMaxSectionCount} + kMaxSettingsBlockBytes;

struct EmitterPlacement {
  int tileX = 0, tileY = 0, targetX = 0, targetY = 0;
  Direction direction = Direction::None;
};
struct LightPlacement {
  int cellX = 0, cellY = 0;
  LightState state = LightState::None;
};

// Everything a map file holds, as read; nothing checked beyond the file's
// own shape (the placing operations refuse what they do not accept).
struct MapContents {
  int width = 0, height = 0, viewX = 0, viewY = 0;
  std::vector<RoadPlacement> roads;
  std::vector<EmitterPlacement> emitters;
  std::vector<LightPlacement> lights;
};

// Why a file is not a map the world can take.
enum class MapRefusal { None, BadSignature, BoundsOutOfRange };

struct ParsedMap {
  MapRefusal refusal = MapRefusal::None;
  MapContents map;  // empty when refused
  bool ok() const { return refusal == MapRefusal::None; }
};

// A count below 1 is an empty section; values missing at the end of the
// bytes read as 0.
ParsedMap ParseMap(std::span<const uint8_t> bytes);

// The file for the world's map; nullopt when a list is too long for its
// 16-bit count.
std::optional<Bytes> SerializeMap(const World& w);

// Replaces the world's map, cars included, by the contents, placed through
// the placing operations at the clock's reading.
void PlaceMap(World& w, const MapContents& map, const Clock& clock);

}  // namespace kv
