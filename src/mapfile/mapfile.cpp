#include "mapfile/mapfile.h"

#include <cstdint>
#include <vector>

#include "editor/placing.h"
#include "editor/roads.h"

namespace kv {

namespace {

constexpr int kSignatureLength = 10;
// The n-th signature byte (n = 1..10) is 2n - 1.
constexpr int SignatureByte(int n) { return 2 * n - 1; }

constexpr int kMaxBound = 100;      // TileMap has 101 x 101 cells
constexpr int kMaxCount = 32767;    // largest count a 16-bit field holds

struct EmitterPlacement {
  int tileX = 0, tileY = 0, targetX = 0, targetY = 0, direction = 0;
};
struct LightPlacement {
  int cellX = 0, cellY = 0, state = 0;
};

// Everything a map file holds, read before the world is touched.
struct MapContents {
  int width = 0, height = 0, viewX = 0, viewY = 0;
  std::vector<RoadPlacement> roads;
  std::vector<EmitterPlacement> emitters;
  std::vector<LightPlacement> lights;
};

bool ReadSignature(Platform& p, FileHandle file) {
  for (int n = 1; n <= kSignatureLength; ++n)
    if (p.ReadInt8(file) != SignatureByte(n)) return false;
  return true;
}

// Reads a section's count and its records; a count below 1 is an empty
// section, and bytes missing at the end read as 0.
template <class Record, class ReadOne>
void ReadSection(Platform& p, FileHandle file, std::vector<Record>& out, ReadOne readOne) {
  int count = p.ReadInt16(file);
  if (count < 1) return;
  out.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) out.push_back(readOne(p, file));
}

// False for a file the world must not take: the wrong signature or bounds
// that do not fit TileMap.
bool ReadMapFile(Platform& p, FileHandle file, MapContents& map) {
  if (!ReadSignature(p, file)) return false;
  map.width = p.ReadInt16(file);
  map.height = p.ReadInt16(file);
  map.viewX = p.ReadInt16(file);
  map.viewY = p.ReadInt16(file);
  if (map.width < 0 || map.width > kMaxBound || map.height < 0 || map.height > kMaxBound)
    return false;

  ReadSection(p, file, map.roads, [](Platform& pl, FileHandle f) {
    RoadPlacement r;
    r.tileX = pl.ReadInt16(f);
    r.tileY = pl.ReadInt16(f);
    r.type = pl.ReadInt16(f);
    return r;
  });
  ReadSection(p, file, map.emitters, [](Platform& pl, FileHandle f) {
    EmitterPlacement e;
    e.tileX = pl.ReadInt16(f);
    e.tileY = pl.ReadInt16(f);
    e.targetX = pl.ReadInt16(f);
    e.targetY = pl.ReadInt16(f);
    e.direction = pl.ReadInt16(f);
    return e;
  });
  ReadSection(p, file, map.lights, [](Platform& pl, FileHandle f) {
    LightPlacement l;
    l.cellX = pl.ReadInt16(f);
    l.cellY = pl.ReadInt16(f);
    l.state = pl.ReadInt16(f);
    return l;
  });
  return true;
}

// Rebuilds the world from a file's contents through the placing operations,
// which refuse (and so skip) what they do not accept.
void PlaceMap(World& w, Platform& p, const MapContents& map) {
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
  for (const LightPlacement& l : map.lights) AddTrafficLight(w, p, l.cellX, l.cellY, l.state);
}

}  // namespace

LoadResult LoadMap(World& w, Platform& p, const std::string& path) {
  if (path.empty()) return LoadResult::Unopenable;  // cancelled requester
  FileHandle file = p.OpenDataFile(path, FileMode::Read);
  if (file == 0) {
    p.ShowMessage(kInvalidCaption, kInvalidText);
    return LoadResult::Unopenable;
  }
  MapContents map;
  bool valid = ReadMapFile(p, file, map);
  p.CloseDataFile(file);
  if (!valid) {
    p.ShowMessage(kInvalidCaption, kInvalidText);
    return LoadResult::Invalid;
  }
  PlaceMap(w, p, map);
  return LoadResult::Loaded;
}

SaveResult SaveMap(World& w, Platform& p, const std::string& path) {
  if (path.empty()) return SaveResult::Unopenable;  // cancelled requester

  // The counts are written from the lists themselves, so the file always
  // holds as many records as it announces.
  size_t roads = w.RoadList.size();
  size_t emitters = w.EmitterList.size();
  size_t lights = w.TrafficLightList.size();
  if (roads > kMaxCount || emitters > kMaxCount || lights > kMaxCount) {
    p.ShowMessage(kErrorCaption, kTooLargeText);
    return SaveResult::TooLarge;
  }

  FileHandle file = p.OpenDataFile(path, FileMode::Write);
  if (file == 0) {
    p.ShowMessage(kErrorCaption, kSaveFailedText);
    return SaveResult::Unopenable;
  }

  for (int n = 1; n <= kSignatureLength; ++n) p.WriteInt8(file, SignatureByte(n));
  p.WriteInt16(file, w.TileMapWidth);
  p.WriteInt16(file, w.TileMapHeight);
  p.WriteInt16(file, w.ViewX);
  p.WriteInt16(file, w.ViewY);

  p.WriteInt16(file, static_cast<int>(roads));
  for (const Road& r : w.RoadList) {
    p.WriteInt16(file, r.TileX);
    p.WriteInt16(file, r.TileY);
    p.WriteInt16(file, r.Type);
  }
  p.WriteInt16(file, static_cast<int>(emitters));
  for (const Emitter& e : w.EmitterList) {
    p.WriteInt16(file, e.TileX);
    p.WriteInt16(file, e.TileY);
    p.WriteInt16(file, e.TargetX);
    p.WriteInt16(file, e.TargetY);
    p.WriteInt16(file, e.Direction);
  }
  p.WriteInt16(file, static_cast<int>(lights));
  for (const TrafficLight& l : w.TrafficLightList) {
    p.WriteInt16(file, l.CellX);
    p.WriteInt16(file, l.CellY);
    p.WriteInt16(file, l.State);
  }

  if (!p.CloseDataFile(file)) {
    p.ShowMessage(kErrorCaption, kSaveFailedText);
    return SaveResult::Failed;
  }
  return SaveResult::Saved;
}

}  // namespace kv
