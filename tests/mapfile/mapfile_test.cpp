#include <gtest/gtest.h>

#include <filesystem>

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
  return {w.TileMapWidth, w.TileMapHeight, w.ViewX, w.ViewY, w.RoadCount, w.EmitterCount, w.LightCount,
          w.CarCount, w.Tool, w.RoadList.size(), w.EmitterList.size(), w.TrafficLightList.size(),
          w.CarList.size(), std::vector<int32_t>(w.TileMap.data(), w.TileMap.data() + 101 * 101),
          std::vector<int32_t>(w.MoveMap.data(), w.MoveMap.data() + 201 * 201),
          std::vector<int32_t>(w.ControlMap.data(), w.ControlMap.data() + 201 * 201)};
}

void ExpectCountersMatchLists(const World& w) {
  EXPECT_EQ(static_cast<size_t>(w.RoadCount), w.RoadList.size());
  EXPECT_EQ(static_cast<size_t>(w.EmitterCount), w.EmitterList.size());
  EXPECT_EQ(static_cast<size_t>(w.LightCount), w.TrafficLightList.size());
  EXPECT_EQ(static_cast<size_t>(w.CarCount), w.CarList.size());
}

class MapFileTest : public ::testing::Test {
 protected:
  // A map that a load must either keep whole or replace whole.
  void FillWithOldMap(World& world) {
    PutRoadRecord(world, 40, 40, 2);
    world.MoveMap.at(80, 80) = 2;
    AddEmitter(world, 40, 40, 2, 0, 0);
    AddTrafficLight(world, p, 90, 90, 4);
    world.CarList.Add();
    world.CarCount = 1;
    world.ViewX = -300;
    world.Tool = 3;
  }

  TempDir dir;
  HeadlessPlatform p{DrawMode::CountOnly};
};

TEST_F(MapFileTest, SavedBytesFollowTheFormatAndReplaceALongerFileWhole) {
  auto w = NewWorld();
  ASSERT_EQ(SaveMap(*w, p, dir.File("m.kvl")), SaveResult::Saved);
  EXPECT_EQ(ReadBytes(dir.File("m.kvl")), MapBytes({100, 100, 0, 0, 0, 0, 0}));  // 24 bytes

  w->ViewX = -64;
  w->ViewY = 32;
  PutRoadRecord(*w, 5, 7, 1);
  ASSERT_EQ(SaveMap(*w, p, dir.File("m.kvl")), SaveResult::Saved);
  EXPECT_EQ(ReadBytes(dir.File("m.kvl")),
            (Bytes{0x01, 0x03, 0x05, 0x07, 0x09, 0x0B, 0x0D, 0x0F, 0x11, 0x13, 0x64, 0x00, 0x64, 0x00, 0xC0,
                   0xFF, 0x20, 0x00, 0x01, 0x00, 0x05, 0x00, 0x07, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));

  w->ViewX = w->ViewY = 0;
  AddEmitter(*w, 5, 7, 6, 33, 21);  // written as tile, target, direction
  AddTrafficLight(*w, p, 12, 13, 4);
  ASSERT_EQ(SaveMap(*w, p, dir.File("m.kvl")), SaveResult::Saved);
  const Bytes three = MapBytes({100, 100, 0, 0, 1, 5, 7, 1, 1, 5, 7, 33, 21, 6, 1, 12, 13, 4});
  EXPECT_EQ(three.size(), 46u);
  EXPECT_EQ(ReadBytes(dir.File("m.kvl")), three);

  auto small = NewWorld();  // over the longer file: no stale tail
  small->ViewX = 70000;     // only the low 16 bits are stored
  small->ViewY = -40000;
  ASSERT_EQ(SaveMap(*small, p, dir.File("m.kvl")), SaveResult::Saved);
  EXPECT_EQ(ReadBytes(dir.File("m.kvl")), MapBytes({100, 100, 0x1170, 0x63C0, 0, 0, 0}));
  EXPECT_EQ(dir.List(), std::vector<std::string>{"m.kvl"});  // no temporary left
  ASSERT_EQ(LoadMap(*small, p, dir.File("m.kvl")), LoadResult::Loaded);
  EXPECT_EQ(std::pair(small->ViewX, small->ViewY), std::pair(4464, 25536));
  EXPECT_TRUE(p.Messages().empty());
}

TEST_F(MapFileTest, SaveLoadSaveGivesTheSameBytesAndDefaults) {
  auto w = NewWorld();
  for (int x = 10; x <= 14; ++x) AddRoad(*w, x, 7, 1);
  AddRoad(*w, 30, 30, 5);
  AddEmitter(*w, 10, 7, 6, 27, 15);
  Emitter& tuned = *w->EmitterList.begin();
  tuned.Interval = 900, tuned.ColorRange = 3, tuned.SingleColor = 5, tuned.StartSpeed = 4.0f;
  AddTrafficLight(*w, p, 24, 15, 3);
  AddTrafficLight(*w, p, 26, 14, 2);
  w->TrafficLightList.begin()->State = 4;  // saved while red
  w->ViewX = -96;
  w->ViewY = 64;
  ASSERT_EQ(SaveMap(*w, p, dir.File("a.kvl")), SaveResult::Saved);

  auto back = NewWorld();
  back->Tool = 12;
  p.SetNow(777);
  ASSERT_EQ(LoadMap(*back, p, dir.File("a.kvl")), LoadResult::Loaded);
  EXPECT_TRUE(p.Messages().empty());
  EXPECT_EQ((std::vector<int>{back->ViewX, back->ViewY, back->TileMapWidth, back->RoadCount, back->Tool}),
            (std::vector<int>{-96, 64, 100, 6, 0}));
  EXPECT_EQ(back->TileMap.at(30, 30), 1);
  ASSERT_EQ(back->EmitterCount, 1);
  const Emitter& e = *back->EmitterList.begin();
  EXPECT_EQ((std::vector<int>{e.Direction, e.TargetX, e.TargetY, e.Interval, e.IntervalTolerance,
                              e.ColorRange, e.SingleColor, e.RouteLength}),
            (std::vector<int>{6, 27, 15, 5000, 4000, 17, 0, 8}));
  EXPECT_EQ(std::pair(e.StartSpeed, e.StartSpeedTolerance), std::pair(1.0f, 2.0f));
  ASSERT_EQ(back->LightCount, 2);
  const TrafficLight& red = *back->TrafficLightList.begin();
  EXPECT_EQ((std::vector<int>{red.State, red.Kind, red.LastSwitch, red.Interval}),
            (std::vector<int>{4, 4, 777, 15000}));
  EXPECT_EQ(back->ControlMap.at(24, 15), 1);
  EXPECT_EQ(back->ControlMap.at(26, 14), 2);

  ASSERT_EQ(SaveMap(*back, p, dir.File("b.kvl")), SaveResult::Saved);
  EXPECT_EQ(ReadBytes(dir.File("b.kvl")), ReadBytes(dir.File("a.kvl")));
}

TEST_F(MapFileTest, RefusedOrMissingFilesChangeNothingAndCreateNothing) {
  auto w = NewWorld();
  FillWithOldMap(*w);
  const Snapshot before = Take(*w);
  Bytes wrongFirst = MapBytes({100, 100, 0, 0, 0, 0, 0}), wrongLast = wrongFirst;
  wrongFirst[0] = 0x02;
  wrongLast[9] = 0x12;
  const std::pair<const char*, Bytes> files[] = {
      {"first.kvl", wrongFirst},
      {"last.kvl", wrongLast},
      {"empty.kvl", {}},
      {"wide.kvl", MapBytes({101, 100, 0, 0, 1, 5, 5, 1, 0, 0})},
      {"tall.kvl", MapBytes({100, 101, 0, 0, 0, 0, 0})},
      {"negative.kvl", MapBytes({-1, 50, 0, 0, 0, 0, 0})},
  };
  for (const auto& [name, bytes] : files) WriteBytes(dir.File(name), bytes);
  for (const auto& [name, bytes] : files) {
    EXPECT_EQ(LoadMap(*w, p, dir.File(name)), LoadResult::Invalid) << name;
    EXPECT_EQ(p.Messages().back(), kInvalidMessage) << name;
    EXPECT_TRUE(Take(*w) == before) << name;
    EXPECT_EQ(ReadBytes(dir.File(name)), bytes) << name;  // reading never writes
  }
  EXPECT_NE(LoadMap(*w, p, dir.File("missing.kvl")), LoadResult::Loaded);
  EXPECT_EQ(p.Messages().size(), 7u);
  EXPECT_EQ(p.Messages().back(), kInvalidMessage);
  EXPECT_EQ(LoadMap(*w, p, ""), LoadResult::Unopenable);  // a cancelled requester: silence
  EXPECT_EQ(p.Messages().size(), 7u);
  EXPECT_TRUE(Take(*w) == before);
  EXPECT_EQ(dir.List().size(), 6u);
}

TEST_F(MapFileTest, ValidLoadReplacesTheWholeOldMapAndSkipsWhatPlacingRefuses) {
  auto w = NewWorld();
  FillWithOldMap(*w);
  w->ControlMap.at(150, 150) = 9;  // stale marker outside the new map
  w->TileMap.at(100, 100) = 1;     // a mark outside the bounds
  WriteBytes(dir.File("bare.kvl"), MapBytes({100, 100, 32, -32, 0, 0, 0}));
  ASSERT_EQ(LoadMap(*w, p, dir.File("bare.kvl")), LoadResult::Loaded);
  EXPECT_TRUE(w->CarList.empty() && w->RoadList.empty() && w->EmitterList.empty() &&
              w->TrafficLightList.empty());
  ExpectCountersMatchLists(*w);
  EXPECT_EQ(std::pair(w->ViewX, w->ViewY), std::pair(32, -32));
  EXPECT_EQ(w->TileMap.at(40, 40) + w->TileMap.at(100, 100) + w->MoveMap.at(80, 80), 0);
  EXPECT_EQ(w->ControlMap.at(90, 90) + w->ControlMap.at(150, 150), 0);
  EXPECT_EQ(w->Tool, 3);  // no emitter placed, the tool stays

  WriteBytes(dir.File("mixed.kvl"),
             MapBytes({50, 50, 0, 0, 5,
                       10, 10, 1,   // placed
                       10, 10, 2,   // second record on the same tile
                       11, 10, 12,  // no such type
                       51, 10, 1,   // beyond the file's bounds
                       -1, 3, 1,    4,
                       10, 10, 0, 0, 5,  // no such direction
                       20, 20, 0, 0, 6,  // no road
                       10, 10, 0, 0, 2,  // placed
                       10, 10, 0, 0, 4,  // tile taken
                       5,  30, 30, 7,    // no such kind
                       31, 30, 0, 201, 0, 4,
                       32, 30, 4,  // placed
                       32, 30, 3}));
  ASSERT_EQ(LoadMap(*w, p, dir.File("mixed.kvl")), LoadResult::Loaded);
  EXPECT_TRUE(p.Messages().empty());
  ExpectCountersMatchLists(*w);
  ASSERT_EQ((std::vector<int>{w->RoadCount, w->EmitterCount, w->LightCount}), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(w->RoadList.begin()->Type, 1);
  EXPECT_EQ(w->EmitterList.begin()->Direction, 2);
  EXPECT_EQ(w->TrafficLightList.begin()->State, 4);
  EXPECT_EQ(w->ControlMap.at(30, 30), 0);
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
  ASSERT_EQ(full.size(), 58u);
  for (size_t length = 0; length <= full.size(); ++length) {
    SCOPED_TRACE(length);
    WriteBytes(dir.File("cut.kvl"), Bytes(full.begin(), full.begin() + length));
    auto w = NewWorld();
    FillWithOldMap(*w);
    const size_t shown = p.Messages().size();
    const LoadResult result = LoadMap(*w, p, dir.File("cut.kvl"));
    ExpectCountersMatchLists(*w);
    const bool refused = length < 10;
    EXPECT_EQ(result, refused ? LoadResult::Invalid : LoadResult::Loaded);
    EXPECT_EQ(p.Messages().size(), shown + refused);
    // A record counts once the low byte of its last value is there.
    const std::vector<int> counts{w->RoadCount, w->EmitterCount, w->LightCount, w->CarCount};
    const int n = static_cast<int>(length);
    const std::vector<int> held{(n >= 25) + (n >= 31), n >= 43, (n >= 51) + (n >= 57), 0};
    EXPECT_EQ(counts, refused ? std::vector<int>(4, 1) : held);
    if (length == 10) {
      EXPECT_EQ(std::pair(w->TileMapWidth, w->ViewX), std::pair(0, 0));
    }
  }
}

TEST_F(MapFileTest, FailedSaveKeepsTheOldFileAndTellsTheUser) {
  auto w = NewWorld();
  for (int x = 1; x <= 20; ++x) PutRoadRecord(*w, x, 1, 1);
  const Bytes old = MapBytes({100, 100, 0, 0, 0, 0, 0});
  WriteBytes(dir.File("old.kvl"), old);
  EXPECT_EQ(kvtest::WithFileSizeLimit(40, [&] { return SaveMap(*w, p, dir.File("old.kvl")); }), SaveResult::Failed);
  EXPECT_EQ(ReadBytes(dir.File("old.kvl")), old);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"old.kvl"});
  ASSERT_EQ(p.Messages().size(), 1u);
  EXPECT_EQ(p.Messages()[0], (Message{"Fehler!", "Karte konnte nicht gespeichert werden!"}));

  std::filesystem::create_directory(dir.File("sub"));
  EXPECT_NE(SaveMap(*w, p, dir.File("sub")), SaveResult::Saved);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub")));
  EXPECT_NE(SaveMap(*w, p, dir.File("nowhere/m.kvl")), SaveResult::Saved);
  EXPECT_FALSE(std::filesystem::exists(dir.File("nowhere")));
  EXPECT_EQ(p.Messages().size(), 3u);
  EXPECT_EQ(SaveMap(*w, p, ""), SaveResult::Unopenable);  // cancelled: nothing to report
  EXPECT_EQ(p.Messages().size(), 3u);
}

TEST_F(MapFileTest, ListsBeyondA16BitCountAreNotSaved) {
  const Bytes old = MapBytes({100, 100, 0, 0, 0, 0, 0});
  WriteBytes(dir.File("m.kvl"), old);
  auto w = NewWorld();
  for (int i = 0; i < 32767; ++i) {  // directly: only the count matters here
    TrafficLight& l = w->TrafficLightList.Add();
    l.CellX = i % 201, l.CellY = i / 201, l.State = 1;
  }
  w->LightCount = 32767;
  ASSERT_EQ(SaveMap(*w, p, dir.File("most.kvl")), SaveResult::Saved);
  const Bytes most = ReadBytes(dir.File("most.kvl"));
  ASSERT_EQ(most.size(), 24u + 6 * 32767);
  EXPECT_EQ(std::pair(most[22], most[23]), std::pair(uint8_t{0xFF}, uint8_t{0x7F}));

  w->TrafficLightList.Add().State = 1;
  w->LightCount = 32768;
  EXPECT_EQ(SaveMap(*w, p, dir.File("m.kvl")), SaveResult::TooLarge);
  EXPECT_EQ(ReadBytes(dir.File("m.kvl")), old);
  ASSERT_EQ(p.Messages().size(), 1u);
  EXPECT_EQ(p.Messages()[0], (Message{"Fehler!", "Karte ist zu groß zum Speichern!"}));
}

}  // namespace
}  // namespace kv
