#include <gtest/gtest.h>

#include "app/world.h"

namespace kv {
namespace {

struct Rec {
  int id = 0;
};

std::vector<int> Ids(const RecordList<Rec>& list) {
  std::vector<int> ids;
  for (const Rec& r : list) ids.push_back(r.id);
  return ids;
}

TEST(RecordList, AddAfterCompletePassGoesToTheEnd) {
  RecordList<Rec> list;
  list.Add().id = 1;  // from the start position: front
  list.Reset();
  while (list.Next()) {
  }
  list.Add().id = 2;
  list.Reset();
  while (list.Next()) {
  }
  list.Add().id = 3;
  EXPECT_EQ(Ids(list), (std::vector<int>{1, 2, 3}));
  // From the start position Add inserts at the front.
  list.Reset();
  list.Add().id = 0;
  EXPECT_EQ(Ids(list), (std::vector<int>{0, 1, 2, 3}));
}

TEST(RecordList, DeleteDuringPassContinuesWithTheNextRecord) {
  RecordList<Rec> list;
  for (int i = 1; i <= 4; ++i) {
    list.Last();
    list.Add().id = i;
  }
  std::vector<int> visited;
  list.Reset();
  while (Rec* r = list.Next()) {
    visited.push_back(r->id);
    if (r->id == 1 || r->id == 3) list.Delete();
  }
  EXPECT_EQ(visited, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(Ids(list), (std::vector<int>{2, 4}));
  // Deleting the first record leaves the start position: Next gives the new first.
  list.Reset();
  list.Next();
  list.Delete();
  ASSERT_NE(list.Next(), nullptr);
  EXPECT_EQ(list.Current()->id, 4);
  EXPECT_EQ(list.Next(), nullptr);  // at the end: stays on the last record
  EXPECT_EQ(list.Current()->id, 4);
}

TEST(RecordList, SharedRecordOutlivesItsRemoval) {
  RecordList<Rec> list;
  list.Add().id = 7;
  std::shared_ptr<Rec> kept = list.CurrentShared();
  list.Clear();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(kept->id, 7);
  EXPECT_EQ(list.Next(), nullptr);
}

TEST(World, ClearMapEmptiesListsAndGridsButKeepsTheView) {
  World w;
  w.RoadList.Add();
  w.RoadCount = 1;
  w.EmitterList.Add();
  w.EmitterCount = 1;
  w.CarList.Add();
  w.CarCount = 1;
  w.TrafficLightList.Add();
  w.LightCount = 1;
  w.TileMap.at(5, 5) = 1;
  w.TileMap.at(100, 100) = 1;
  w.MoveMap.at(10, 10) = 6;
  w.ControlMap.at(200, 0) = 7;
  w.ViewX = -64;
  w.Tool = 3;
  ClearMap(w);
  EXPECT_TRUE(w.RoadList.empty() && w.EmitterList.empty() && w.CarList.empty() &&
              w.TrafficLightList.empty());
  EXPECT_EQ(w.RoadCount + w.EmitterCount + w.CarCount + w.LightCount, 0);
  EXPECT_EQ(w.TileMap.at(5, 5), 0);
  EXPECT_EQ(w.TileMap.at(100, 100), 0);
  EXPECT_EQ(w.MoveMap.at(10, 10), 0);
  EXPECT_EQ(w.ControlMap.at(200, 0), 0);
  EXPECT_EQ(w.ViewX, -64);
  EXPECT_EQ(w.Tool, 3);
}

TEST(World, EmitterStartCellByDirection) {
  Emitter e;
  e.TileX = 10;
  e.TileY = 7;
  e.Direction = 4;
  EXPECT_EQ(EmitterStartCell(e), (Cell{20, 14}));
  e.Direction = 6;
  EXPECT_EQ(EmitterStartCell(e), (Cell{20, 15}));
  e.Direction = 8;
  EXPECT_EQ(EmitterStartCell(e), (Cell{21, 14}));
  e.Direction = 2;
  EXPECT_EQ(EmitterStartCell(e), (Cell{20, 14}));
}

}  // namespace
}  // namespace kv
