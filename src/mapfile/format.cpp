#include "mapfile/format.h"

#include <algorithm>
#include <array>
#include <bit>

namespace kv {

namespace {

// The n-th signature byte (n = 1..10) is 2n - 1.
constexpr uint8_t SignatureByte(int n) { return static_cast<uint8_t>(2 * n - 1); }

constexpr std::array<uint8_t, 4> kSettingsTag = {'K', 'V', 'S', 'T'};
constexpr int kSettingsVersion = 1;

// CRC-32 as in zip and PNG (reflected polynomial 0xEDB88320).
uint32_t Crc32(std::span<const uint8_t> bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  int Byte() { return pos_ < bytes_.size() ? bytes_[pos_++] : 0; }
  // Little-endian, sign-extended; missing bytes count as 0.
  int Int16() {
    const uint16_t lo = static_cast<uint16_t>(Byte());
    const uint16_t hi = static_cast<uint16_t>(Byte());
    return static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
  }
  uint32_t Uint32() {
    uint32_t v = 0;
    for (int shift = 0; shift < 32; shift += 8) v |= static_cast<uint32_t>(Byte()) << shift;
    return v;
  }
  int32_t Int32() { return static_cast<int32_t>(Uint32()); }
  float Float32() { return std::bit_cast<float>(Uint32()); }
  size_t pos() const { return pos_; }
  size_t left() const { return bytes_.size() - std::min(pos_, bytes_.size()); }
  std::span<const uint8_t> before(size_t end) const { return bytes_.first(std::min(end, bytes_.size())); }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

class Writer {
 public:
  void Byte(uint8_t v) { bytes.push_back(v); }
  // The low 16 bits, little-endian.
  void Int16(int value) {
    bytes.push_back(static_cast<uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
  }
  void Uint32(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>((value >> shift) & 0xFF));
  }
  void Int32(int32_t value) { Uint32(static_cast<uint32_t>(value)); }
  void Float32(float value) { Uint32(std::bit_cast<uint32_t>(value)); }
  Bytes bytes;
};

// Reads the settings block at the reader's position into the map, when there
// is a valid one that belongs to the sections just read.
void ReadSettings(Reader& in, MapContents& map) {
  const int emitters = static_cast<int>(map.emitters.size()), lights = static_cast<int>(map.lights.size());
  if (in.left() < static_cast<size_t>(SettingsBlockBytes(emitters, lights))) return;
  for (uint8_t t : kSettingsTag)
    if (in.Byte() != t) return;
  if (in.Int16() != kSettingsVersion) return;
  if (in.Int16() != static_cast<int>(map.roads.size()) || in.Int16() != emitters || in.Int16() != lights) return;
  std::vector<EmitterSettings> settings(map.emitters.size());
  for (EmitterSettings& s : settings) {
    s.Interval = in.Int32();
    s.IntervalTolerance = in.Int32();
    s.StartSpeed = in.Float32();
    s.StartSpeedTolerance = in.Float32();
    s.ColorRange = in.Int32();
    s.SingleColor = in.Int32();
    if (!IsValidSettings(s)) return;
  }
  std::vector<int32_t> intervals(map.lights.size());
  for (int32_t& interval : intervals)
    if (interval = in.Int32(); !IsValidLightInterval(interval)) return;
  const size_t end = in.pos();
  if (in.Uint32() != Crc32(in.before(end))) return;
  for (size_t i = 0; i < settings.size(); ++i) map.emitters[i].settings = settings[i];
  for (size_t i = 0; i < intervals.size(); ++i) map.lights[i].interval = intervals[i];
  map.hasSettings = true;
}

// True when loading the plain map would give every emitter and light the
// settings it has: nothing for a settings block to keep.
bool HasPlainSettings(const World& w) {
  for (const Emitter& e : w.EmitterList)
    if (!(SettingsOf(e) == EmitterSettings{})) return false;
  for (const TrafficLight& l : w.TrafficLightList)
    if (l.Interval != kDefaultLightInterval) return false;
  return true;
}

void WriteSettings(Writer& out, const World& w) {
  for (uint8_t t : kSettingsTag) out.Byte(t);
  out.Int16(kSettingsVersion);
  out.Int16(w.RoadCount());
  out.Int16(w.EmitterCount());
  out.Int16(w.LightCount());
  for (const Emitter& e : w.EmitterList) {
    out.Int32(e.Interval);
    out.Int32(e.IntervalTolerance);
    out.Float32(e.StartSpeed);
    out.Float32(e.StartSpeedTolerance);
    out.Int32(e.ColorRange);
    out.Int32(e.SingleColor);
  }
  for (const TrafficLight& l : w.TrafficLightList) out.Int32(l.Interval);
  out.Uint32(Crc32(out.bytes));
}

template <class Record, class ReadOne>
void ReadSection(Reader& in, std::vector<Record>& out, ReadOne readOne) {
  const int count = in.Int16();
  if (count < 1) return;
  out.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) out.push_back(readOne(in));
}

}  // namespace

ParsedMap ParseMap(std::span<const uint8_t> bytes) {
  ParsedMap parsed;
  Reader in(bytes);
  for (int n = 1; n <= kMapSignatureLength; ++n)
    if (in.Byte() != SignatureByte(n)) return {MapRefusal::BadSignature, {}};
  MapContents& map = parsed.map;
  map.width = in.Int16();
  map.height = in.Int16();
  map.viewX = in.Int16();
  map.viewY = in.Int16();
  if (map.width < 0 || map.width > kMaxMapBound || map.height < 0 || map.height > kMaxMapBound)
    return {MapRefusal::BoundsOutOfRange, {}};

  ReadSection(in, map.roads, [](Reader& r) {
    RoadPlacement road;
    road.tileX = r.Int16();
    road.tileY = r.Int16();
    road.type = static_cast<RoadType>(r.Int16());
    return road;
  });
  ReadSection(in, map.emitters, [](Reader& r) {
    EmitterPlacement e;
    e.tileX = r.Int16();
    e.tileY = r.Int16();
    e.targetX = r.Int16();
    e.targetY = r.Int16();
    e.direction = static_cast<Direction>(r.Int16());
    return e;
  });
  ReadSection(in, map.lights, [](Reader& r) {
    LightPlacement l;
    l.cellX = r.Int16();
    l.cellY = r.Int16();
    l.state = static_cast<LightState>(r.Int16());
    return l;
  });
  ReadSettings(in, map);
  return parsed;
}

std::optional<Bytes> SerializeMap(const World& w) {
  // The counts are written from the lists themselves, so the file always
  // holds as many records as it announces.
  if (w.RoadCount() > kMaxSectionCount || w.EmitterCount() > kMaxSectionCount ||
      w.LightCount() > kMaxSectionCount)
    return std::nullopt;

  Writer out;
  for (int n = 1; n <= kMapSignatureLength; ++n) out.Byte(SignatureByte(n));
  out.Int16(w.TileMapWidth);
  out.Int16(w.TileMapHeight);
  out.Int16(w.ViewX);
  out.Int16(w.ViewY);

  out.Int16(w.RoadCount());
  for (const Road& r : w.RoadList) {
    out.Int16(r.TileX);
    out.Int16(r.TileY);
    out.Int16(static_cast<int>(r.Type));
  }
  out.Int16(w.EmitterCount());
  for (const Emitter& e : w.EmitterList) {
    out.Int16(e.TileX);
    out.Int16(e.TileY);
    out.Int16(e.TargetX);
    out.Int16(e.TargetY);
    out.Int16(static_cast<int>(e.Direction));
  }
  out.Int16(w.LightCount());
  for (const TrafficLight& l : w.TrafficLightList) {
    out.Int16(l.CellX);
    out.Int16(l.CellY);
    out.Int16(static_cast<int>(l.State));
  }
  if (!HasPlainSettings(w)) WriteSettings(out, w);
  return std::move(out.bytes);
}

void PlaceMap(World& w, const MapContents& map, const Clock& clock) {
  w.TileMapWidth = map.width;
  w.TileMapHeight = map.height;
  w.ViewX = map.viewX;
  w.ViewY = map.viewY;
  // Nothing of the old map may survive: its cars follow emitters that are
  // about to go, and its marks and codes would block or steer the new roads.
  ClearMap(w);
  AddRoads(w, map.roads);
  // A record the placing refuses leaves the list as it was; its settings go with it.
  for (const EmitterPlacement& e : map.emitters) {
    const size_t before = w.EmitterList.size();
    AddEmitter(w, e.tileX, e.tileY, e.direction, e.targetX, e.targetY);
    if (map.hasSettings && w.EmitterList.size() > before) ApplySettings(*w.EmitterList.Last(), e.settings);
  }
  for (const LightPlacement& l : map.lights) {
    const size_t before = w.TrafficLightList.size();
    AddTrafficLight(w, clock, l.cellX, l.cellY, l.state);
    if (map.hasSettings && w.TrafficLightList.size() > before) w.TrafficLightList.Last()->Interval = l.interval;
  }
}

}  // namespace kv
