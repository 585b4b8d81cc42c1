#include "mapfile/format.h"

#include "network/placing.h"

namespace kv {

namespace {

// The n-th signature byte (n = 1..10) is 2n - 1.
constexpr uint8_t SignatureByte(int n) { return static_cast<uint8_t>(2 * n - 1); }

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
  Bytes bytes;
};

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
  for (const EmitterPlacement& e : map.emitters)
    AddEmitter(w, e.tileX, e.tileY, e.direction, e.targetX, e.targetY);
  for (const LightPlacement& l : map.lights) AddTrafficLight(w, clock, l.cellX, l.cellY, l.state);
}

}  // namespace kv
