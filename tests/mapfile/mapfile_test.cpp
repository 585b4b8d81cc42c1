#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>

#include "editor/placing.h"
#include "editor/roads.h"
#include "mapfile/map_fixtures.h"
#include "mapfile/mapfile.h"
#include "platform/headless_platform.h"

namespace kv {
namespace {

using namespace testing_maps;
using Message = std::pair<std::string, std::string>;

const Message kInvalidMessage{"Fehler!", "Datei ist ungültig!"};

// Everything a load may change, to tell "unchanged" from "changed".
struct Snapshot {
  int32_t width, height, viewX, viewY, roads, emitters, lights, cars, tool;
  size_t roadRecords, emitterRecords, lightRecords, carRecords;
  std::vector<int32_t> tiles, moves, controls;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const World& w) {
  Snapshot s{w.TileMapWidth, w.TileMapHeight, w.ViewX, w.ViewY, w.RoadCount, w.EmitterCount,
             w.LightCount, w.CarCount, w.Tool, w.RoadList.size(), w.EmitterList.size(),
             w.TrafficLightList.size(), w.CarList.size(), {}, {}, {}};
  s.tiles.assign(w.TileMap.data(), w.TileMap.data() + 101 * 101);
  s.moves.assign(w.MoveMap.data(), w.MoveMap.data() + 201 * 201);
  s.controls.assign(w.ControlMap.data(), w.ControlMap.data() + 201 * 201);
  return s;
}

void ExpectCountersMatchLists(const World& w) {
  EXPECT_EQ(static_cast<size_t>(w.RoadCount), w.RoadList.size());
  EXPECT_EQ(static_cast<size_t>(w.EmitterCount), w.EmitterList.size());
  EXPECT_EQ(static_cast<size_t>(w.LightCount), w.TrafficLightList.size());
  EXPECT_EQ(static_cast<size_t>(w.CarCount), w.CarList.size());
}

class MapFileTest : public ::testing::Test {
 protected:
  // A map that a load must either keep whole or replace whole: a road, an
  // emitter, a red light, a car, a view and a tool.
  void FillWithOldMap(World& world) {
    PutRoadRecord(world, 40, 40, 2);
    world.MoveMap.at(80, 80) = 2;
    AddEmitter(world, 40, 40, 2, 0, 0);
    AddTrafficLight(world, p, 90, 90, 4);
    world.CarList.Add();
    world.CarCount = 1;
    world.ViewX = -300;
    world.ViewY = -200;
    world.Tool = 3;
  }

  TempDir dir;
  HeadlessPlatform p{DrawMode::CountOnly};
};

// --- Files as written ---

TEST_F(MapFileTest, SavedBytesMatchTheFormat) {
  // Empty map: signature, bounds, view, three zero counts.
  auto empty = NewWorld();
  ASSERT_EQ(SaveMap(*empty, p, dir.File("empty.kvl")), SaveResult::Saved);
  EXPECT_EQ(ReadBytes(dir.File("empty.kvl")), MapBytes().Header().Values({0, 0, 0}).bytes());

  // One road of type 1 on tile (5, 7), view (-64, 32): the 30-byte example.
  auto one = NewWorld();
  one->ViewX = -64;
  one->ViewY = 32;
  PutRoadRecord(*one, 5, 7, 1);
  ASSERT_EQ(SaveMap(*one, p, dir.File("one.kvl")), SaveResult::Saved);
  const Bytes example = {0x01, 0x03, 0x05, 0x07, 0x09, 0x0B, 0x0D, 0x0F, 0x11, 0x13,
                         0x64, 0x00, 0x64, 0x00, 0xC0, 0xFF, 0x20, 0x00, 0x01, 0x00,
                         0x05, 0x00, 0x07, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(ReadBytes(dir.File("one.kvl")), example);

  // One road, one emitter (target and direction in file order), one light.
  auto three = NewWorld();
  PutRoadRecord(*three, 5, 7, 1);
  AddEmitter(*three, 5, 7, 6, 33, 21);
  AddTrafficLight(*three, p, 12, 13, 4);
  ASSERT_EQ(SaveMap(*three, p, dir.File("three.kvl")), SaveResult::Saved);
  Bytes expected = MapBytes()
                       .Header()
                       .Values({1, 5, 7, 1})
                       .Values({1, 5, 7, 33, 21, 6})
                       .Values({1, 12, 13, 4})
                       .bytes();
  EXPECT_EQ(expected.size(), 46u);
  EXPECT_EQ(ReadBytes(dir.File("three.kvl")), expected);
}

TEST_F(MapFileTest, ViewIsStoredAsItsLow16Bits) {
  auto w = NewWorld();
  w->ViewX = 70000;    // 0x11170
  w->ViewY = -40000;   // low half 0x63C0
  ASSERT_EQ(SaveMap(*w, p, dir.File("view.kvl")), SaveResult::Saved);
  Bytes bytes = ReadBytes(dir.File("view.kvl"));
  ASSERT_EQ(bytes.size(), 24u);
  EXPECT_EQ(bytes[14], 0x70);
  EXPECT_EQ(bytes[15], 0x11);
  EXPECT_EQ(bytes[16], 0xC0);
  EXPECT_EQ(bytes[17], 0x63);

  auto back = NewWorld();
  ASSERT_EQ(LoadMap(*back, p, dir.File("view.kvl")), LoadResult::Loaded);
  EXPECT_EQ(back->ViewX, 4464);
  EXPECT_EQ(back->ViewY, 25536);
}

TEST_F(MapFileTest, SavingOverALongerFileLeavesNoOldTail) {
  auto big = NewWorld();
  for (int x = 1; x <= 5; ++x) PutRoadRecord(*big, x, 3, 1);
  for (int i = 0; i < 5; ++i) AddTrafficLight(*big, p, i, 0, 1);
  ASSERT_EQ(SaveMap(*big, p, dir.File("m.kvl")), SaveResult::Saved);

  auto small = NewWorld();
  PutRoadRecord(*small, 2, 2, 3);
  AddEmitter(*small, 2, 2, 8, 0, 0);
  AddTrafficLight(*small, p, 1, 1, 2);
  ASSERT_EQ(SaveMap(*small, p, dir.File("m.kvl")), SaveResult::Saved);
  EXPECT_EQ(ReadBytes(dir.File("m.kvl")).size(), 24u + 6 + 10 + 6);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"m.kvl"});  // no temporary left
  EXPECT_TRUE(p.Messages().empty());
}

// --- Round trips (need the road network and the route search) ---

TEST_F(MapFileTest, SaveLoadSaveGivesTheSameBytesAndDefaults) {
  auto w = NewWorld();
  for (int x = 10; x <= 14; ++x) AddRoad(*w, x, 7, 1);
  AddRoad(*w, 30, 30, 5);
  AddEmitter(*w, 10, 7, 6, 27, 15);
  Emitter& tuned = *w->EmitterList.begin();
  tuned.Interval = 900;
  tuned.ColorRange = 3;
  tuned.SingleColor = 5;
  tuned.StartSpeed = 4.0f;
  AddTrafficLight(*w, p, 24, 15, 3);
  AddTrafficLight(*w, p, 26, 14, 2);
  w->TrafficLightList.begin()->State = 4;  // saved while red
  w->ViewX = -96;
  w->ViewY = 64;
  ASSERT_EQ(SaveMap(*w, p, dir.File("a.kvl")), SaveResult::Saved);
  const Bytes first = ReadBytes(dir.File("a.kvl"));
  ASSERT_EQ(first.size(), 24u + 6 * 6 + 10 + 6 * 2);

  auto back = NewWorld();
  p.SetNow(777);
  ASSERT_EQ(LoadMap(*back, p, dir.File("a.kvl")), LoadResult::Loaded);
  EXPECT_TRUE(p.Messages().empty());
  EXPECT_EQ(back->ViewX, -96);
  EXPECT_EQ(back->ViewY, 64);
  EXPECT_EQ(back->TileMapWidth, 100);
  EXPECT_EQ(back->RoadCount, 6);
  EXPECT_EQ(back->TileMap.at(30, 30), 1);
  ASSERT_EQ(back->EmitterCount, 1);
  const Emitter& e = *back->EmitterList.begin();
  EXPECT_EQ(e.Direction, 6);
  EXPECT_EQ(e.TargetX, 27);
  EXPECT_EQ(e.TargetY, 15);
  EXPECT_EQ(e.Interval, 5000);
  EXPECT_EQ(e.IntervalTolerance, 4000);
  EXPECT_EQ(e.StartSpeed, 1.0f);
  EXPECT_EQ(e.StartSpeedTolerance, 2.0f);
  EXPECT_EQ(e.ColorRange, 17);
  EXPECT_EQ(e.SingleColor, 0);
  EXPECT_EQ(e.RouteLength, 8);  // searched at once
  ASSERT_EQ(back->LightCount, 2);
  const TrafficLight& red = *back->TrafficLightList.begin();
  EXPECT_EQ(red.State, 4);
  EXPECT_EQ(red.Kind, 4);
  EXPECT_EQ(red.LastSwitch, 777);
  EXPECT_EQ(red.Interval, 15000);
  EXPECT_EQ(back->ControlMap.at(24, 15), 1);
  EXPECT_EQ(back->ControlMap.at(26, 14), 2);

  ASSERT_EQ(SaveMap(*back, p, dir.File("b.kvl")), SaveResult::Saved);
  EXPECT_EQ(ReadBytes(dir.File("b.kvl")), first);
}

TEST_F(MapFileTest, LoadPassesEmitterFieldsInPlacingOrder) {
  // File order: tile, target, direction.
  Bytes file = MapBytes()
                   .Header()
                   .Values({3, 10, 7, 1, 11, 7, 1, 12, 7, 1})
                   .Values({1, 10, 7, 25, 15, 6})
                   .Values({0})
                   .bytes();
  WriteBytes(dir.File("e.kvl"), file);
  auto w = NewWorld();
  w->Tool = 12;
  ASSERT_EQ(LoadMap(*w, p, dir.File("e.kvl")), LoadResult::Loaded);
  ASSERT_EQ(w->EmitterCount, 1);
  const Emitter& e = *w->EmitterList.begin();
  EXPECT_EQ(e.Direction, 6);
  EXPECT_EQ(e.TargetX, 25);
  EXPECT_EQ(e.TargetY, 15);
  EXPECT_EQ(e.RouteLength, 6);
  EXPECT_EQ(w->Tool, 0);
}

// --- What a load refuses ---

TEST_F(MapFileTest, RefusedFilesChangeNothing) {
  auto w = NewWorld();
  FillWithOldMap(*w);
  const Snapshot before = Take(*w);

  Bytes wrongFirst = MapBytes().Header().Values({0, 0, 0}).bytes();
  wrongFirst[0] = 0x02;
  Bytes wrongLast = wrongFirst;
  wrongLast[0] = 0x01;
  wrongLast[9] = 0x12;
  const std::pair<const char*, Bytes> files[] = {
      {"first.kvl", wrongFirst},
      {"last.kvl", wrongLast},
      {"empty.kvl", {}},
      {"wide.kvl", MapBytes().Header(101, 100).Values({1, 5, 5, 1, 0, 0}).bytes()},
      {"tall.kvl", MapBytes().Header(100, 101).Values({0, 0, 0}).bytes()},
      {"negative.kvl", MapBytes().Header(-1, 50).Values({0, 0, 0}).bytes()},
  };
  for (const auto& [name, bytes] : files) {
    WriteBytes(dir.File(name), bytes);
    size_t shown = p.Messages().size();
    EXPECT_EQ(LoadMap(*w, p, dir.File(name)), LoadResult::Invalid) << name;
    ASSERT_EQ(p.Messages().size(), shown + 1) << name;
    EXPECT_EQ(p.Messages().back(), kInvalidMessage) << name;
    EXPECT_TRUE(Take(*w) == before) << name;
    EXPECT_EQ(ReadBytes(dir.File(name)), bytes) << name;  // reading never writes
  }
}

TEST_F(MapFileTest, MissingFileIsReportedAndNotCreated) {
  auto w = NewWorld();
  FillWithOldMap(*w);
  const Snapshot before = Take(*w);

  EXPECT_NE(LoadMap(*w, p, dir.File("missing.kvl")), LoadResult::Loaded);
  ASSERT_EQ(p.Messages().size(), 1u);
  EXPECT_EQ(p.Messages()[0], kInvalidMessage);
  EXPECT_TRUE(Take(*w) == before);
  EXPECT_TRUE(dir.Entries().empty());

  // A cancelled requester gives the empty path: nothing at all.
  EXPECT_EQ(LoadMap(*w, p, ""), LoadResult::Unopenable);
  EXPECT_EQ(p.Messages().size(), 1u);
  EXPECT_TRUE(Take(*w) == before);
}

TEST_F(MapFileTest, ValidLoadReplacesTheWholeOldMap) {
  auto w = NewWorld();
  FillWithOldMap(*w);
  w->ControlMap.at(150, 150) = 9;  // stale marker outside the new map
  w->TileMap.at(100, 100) = 1;     // a mark outside the bounds
  WriteBytes(dir.File("bare.kvl"), MapBytes().Header(100, 100, 32, -32).Values({0, 0, 0}).bytes());

  ASSERT_EQ(LoadMap(*w, p, dir.File("bare.kvl")), LoadResult::Loaded);
  EXPECT_TRUE(p.Messages().empty());
  EXPECT_TRUE(w->CarList.empty());
  EXPECT_TRUE(w->RoadList.empty());
  EXPECT_TRUE(w->EmitterList.empty());
  EXPECT_TRUE(w->TrafficLightList.empty());
  ExpectCountersMatchLists(*w);
  EXPECT_EQ(w->ViewX, 32);
  EXPECT_EQ(w->ViewY, -32);
  EXPECT_EQ(w->TileMap.at(40, 40), 0);
  EXPECT_EQ(w->TileMap.at(100, 100), 0);
  EXPECT_EQ(w->MoveMap.at(80, 80), 0);
  EXPECT_EQ(w->ControlMap.at(90, 90), 0);  // the old red light
  EXPECT_EQ(w->ControlMap.at(150, 150), 0);
  EXPECT_EQ(w->Tool, 3);  // no emitter placed, the tool stays
}

TEST_F(MapFileTest, LoadSkipsRecordsThePlacingOperationsRefuse) {
  Bytes file = MapBytes()
                   .Header(50, 50)
                   .Values({5})
                   .Values({10, 10, 1})   // placed
                   .Values({10, 10, 2})   // second record on the same tile
                   .Values({11, 10, 12})  // no such type
                   .Values({51, 10, 1})   // beyond the file's bounds
                   .Values({-1, 3, 1})
                   .Values({4})
                   .Values({10, 10, 0, 0, 5})  // no such direction
                   .Values({20, 20, 0, 0, 6})  // no road
                   .Values({10, 10, 0, 0, 2})  // placed
                   .Values({10, 10, 0, 0, 4})  // tile taken
                   .Values({5})
                   .Values({30, 30, 7})  // no such kind
                   .Values({31, 30, 0})
                   .Values({201, 0, 4})
                   .Values({32, 30, 4})  // placed
                   .Values({32, 30, 3})  // cell taken
                   .bytes();
  WriteBytes(dir.File("mixed.kvl"), file);
  auto w = NewWorld();
  ASSERT_EQ(LoadMap(*w, p, dir.File("mixed.kvl")), LoadResult::Loaded);
  EXPECT_TRUE(p.Messages().empty());
  ExpectCountersMatchLists(*w);
  ASSERT_EQ(w->RoadCount, 1);
  EXPECT_EQ(w->RoadList.begin()->Type, 1);
  ASSERT_EQ(w->EmitterCount, 1);
  EXPECT_EQ(w->EmitterList.begin()->Direction, 2);
  ASSERT_EQ(w->LightCount, 1);
  EXPECT_EQ(w->TrafficLightList.begin()->State, 4);
  EXPECT_EQ(w->ControlMap.at(30, 30), 0);
  EXPECT_EQ(w->ControlMap.at(32, 30), 1);
  EXPECT_EQ(w->TileMapWidth, 50);
}

TEST_F(MapFileTest, TruncatedFilesLoadWhatTheyHold) {
  auto source = NewWorld();
  PutRoadRecord(*source, 5, 7, 1);
  PutRoadRecord(*source, 6, 7, 1);
  AddEmitter(*source, 5, 7, 6, 13, 15);
  AddTrafficLight(*source, p, 12, 13, 4);
  AddTrafficLight(*source, p, 14, 13, 2);
  ASSERT_EQ(SaveMap(*source, p, dir.File("full.kvl")), SaveResult::Saved);
  const Bytes full = ReadBytes(dir.File("full.kvl"));
  ASSERT_EQ(full.size(), 24u + 12 + 10 + 12);

  for (size_t length = 0; length <= full.size(); ++length) {
    SCOPED_TRACE(length);
    WriteBytes(dir.File("cut.kvl"), Bytes(full.begin(), full.begin() + length));
    auto w = NewWorld();
    FillWithOldMap(*w);
    size_t shown = p.Messages().size();
    LoadResult result = LoadMap(*w, p, dir.File("cut.kvl"));
    ExpectCountersMatchLists(*w);
    if (length < 10) {
      EXPECT_EQ(result, LoadResult::Invalid);
      EXPECT_EQ(p.Messages().size(), shown + 1);
      EXPECT_EQ(w->EmitterCount, 1);  // the old map
      continue;
    }
    EXPECT_EQ(result, LoadResult::Loaded);
    EXPECT_EQ(p.Messages().size(), shown);
    EXPECT_EQ(w->CarCount, 0);
    EXPECT_LE(w->RoadCount, 2);
    EXPECT_LE(w->EmitterCount, 1);
    EXPECT_LE(w->LightCount, 2);
    if (length == 10) {  // only the signature: bounds 0, view 0, nothing placed
      EXPECT_EQ(w->TileMapWidth, 0);
      EXPECT_EQ(w->TileMapHeight, 0);
      EXPECT_EQ(w->ViewX, 0);
      EXPECT_EQ(w->RoadCount, 0);
    }
  }
}

// --- Saving that cannot succeed ---

TEST_F(MapFileTest, FailedSaveKeepsTheOldFileAndTellsTheUser) {
  auto w = NewWorld();
  for (int x = 1; x <= 20; ++x) PutRoadRecord(*w, x, 1, 1);
  const Bytes old = MapBytes().Header().Values({0, 0, 0}).bytes();
  WriteBytes(dir.File("old.kvl"), old);

  // Writes beyond 40 bytes fail; root is bound by this limit too.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  sighandler_t previous = signal(SIGXFSZ, SIG_IGN);
  struct rlimit tight = saved;
  tight.rlim_cur = 40;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  SaveResult result = SaveMap(*w, p, dir.File("old.kvl"));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);

  EXPECT_EQ(result, SaveResult::Failed);
  EXPECT_EQ(ReadBytes(dir.File("old.kvl")), old);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.kvl"});
  ASSERT_EQ(p.Messages().size(), 1u);
  EXPECT_EQ(p.Messages()[0], (Message{"Fehler!", "Karte konnte nicht gespeichert werden!"}));

  // A path that is a directory, and a directory that does not exist.
  std::filesystem::create_directory(dir.File("sub"));
  EXPECT_NE(SaveMap(*w, p, dir.File("sub")), SaveResult::Saved);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub")));
  EXPECT_NE(SaveMap(*w, p, dir.File("nowhere/m.kvl")), SaveResult::Saved);
  EXPECT_FALSE(std::filesystem::exists(dir.File("nowhere")));
  EXPECT_EQ(p.Messages().size(), 3u);
  EXPECT_EQ(p.Messages().back().first, "Fehler!");

  // A cancelled requester is not a failure to report.
  EXPECT_EQ(SaveMap(*w, p, ""), SaveResult::Unopenable);
  EXPECT_EQ(p.Messages().size(), 3u);
}

TEST_F(MapFileTest, ListsBeyondA16BitCountAreNotSaved) {
  const Bytes old = MapBytes().Header().Values({0, 0, 0}).bytes();
  WriteBytes(dir.File("m.kvl"), old);
  auto w = NewWorld();
  // Directly, without the per-light restart: only the count matters here.
  for (int i = 0; i < 32767; ++i) {
    TrafficLight& l = w->TrafficLightList.Add();
    l.CellX = i % 201;
    l.CellY = i / 201;
    l.State = 1;
  }
  w->LightCount = 32767;
  ASSERT_EQ(SaveMap(*w, p, dir.File("most.kvl")), SaveResult::Saved);
  Bytes most = ReadBytes(dir.File("most.kvl"));
  ASSERT_EQ(most.size(), 24u + 6 * 32767);
  EXPECT_EQ(most[22], 0xFF);
  EXPECT_EQ(most[23], 0x7F);

  TrafficLight& extra = w->TrafficLightList.Add();
  extra.CellX = 200;
  extra.CellY = 200;
  w->LightCount = 32768;
  EXPECT_EQ(SaveMap(*w, p, dir.File("m.kvl")), SaveResult::TooLarge);
  EXPECT_EQ(ReadBytes(dir.File("m.kvl")), old);
  ASSERT_EQ(p.Messages().size(), 1u);
  EXPECT_EQ(p.Messages()[0], (Message{"Fehler!", "Karte ist zu groß zum Speichern!"}));
}

}  // namespace
}  // namespace kv
