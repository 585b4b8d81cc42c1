// The map file format as pure functions: bytes to map contents and back.
//
// A map file is a 10-byte signature followed by little-endian signed 16-bit
// values: the TileMap bounds, the view, then the roads, the emitters and the
// lights with signs, each section led by its count.
//
// A settings block may follow the lights, where readers of the plain format
// stop: the tag "KVST", version 1 (16 bits), the road, emitter and light
// counts it belongs to (16 bits each), then per emitter its interval,
// interval tolerance, start speed, start speed tolerance, colour range and
// single colour (32 bits each, the speeds as IEEE floats), per light its
// phase length (32 bits), and last the CRC-32 of every byte of the file
// before it. A block that does not fit the map before it (an old tail left
// behind by a writer that does not truncate) or holds a value no dialog
// could set is ignored whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "network/placing.h"
#include "network/roads.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "world/world.h"

namespace kv {

constexpr int kMapSignatureLength = 10;
constexpr int kMaxMapBound = kTileGridMax;  // TileMap has 101 x 101 cells
constexpr int kMaxSectionCount = 32767;      // largest count a 16-bit field holds

// The settings block: a 12-byte head, 24 bytes per emitter, 4 per light and
// the 4-byte checksum.
constexpr int kSettingsHeadBytes = 12;
constexpr int kSettingsPerEmitterBytes = 24;
constexpr int kSettingsPerLightBytes = 4;
constexpr int kSettingsChecksumBytes = 4;
constexpr int SettingsBlockBytes(int emitters, int lights) {
  return kSettingsHeadBytes + kSettingsPerEmitterBytes * emitters + kSettingsPerLightBytes * lights +
         kSettingsChecksumBytes;
}
// The largest block, for full emitter and light sections: 917,492 bytes.
constexpr size_t kMaxSettingsBlockBytes = SettingsBlockBytes(kMaxSectionCount, kMaxSectionCount);
// The longest file a valid map can be: the 24 bytes of signature, bounds,
// view and counts, full sections of roads (6 bytes a record), emitters (10)
// and lights (6), and the settings block. Loading reads no more.
constexpr size_t kMaxMapFileBytes = 24 + 22 * size_t{kMaxSectionCount} + kMaxSettingsBlockBytes;

struct EmitterPlacement {
  int tileX = 0, tileY = 0, targetX = 0, targetY = 0;
  Direction direction = Direction::None;
  EmitterSettings settings;  // from the settings block, else the defaults
};
struct LightPlacement {
  int cellX = 0, cellY = 0;
  LightState state = LightState::None;
  int32_t interval = 0;  // from the settings block
};

// Everything a map file holds, as read; nothing checked beyond the file's
// own shape (the placing operations refuse what they do not accept).
struct MapContents {
  int width = 0, height = 0, viewX = 0, viewY = 0;
  std::vector<RoadPlacement> roads;
  std::vector<EmitterPlacement> emitters;
  std::vector<LightPlacement> lights;
  bool hasSettings = false;  // a valid settings block followed the lights
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
// 16-bit count. The settings block is written only when some emitter or light
// has settings other than a plain map loads with, so such a map is written
// exactly as in the plain format.
std::optional<Bytes> SerializeMap(const World& w);

// Replaces the world's map, cars included, by the contents, placed through
// the placing operations at the clock's reading; with settings, each placed
// emitter and light then gets its own.
void PlaceMap(World& w, const MapContents& map, const Clock& clock);

}  // namespace kv
