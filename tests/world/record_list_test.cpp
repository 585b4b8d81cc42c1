#include <gtest/gtest.h>

#include "support/builders.h"

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

TEST(RecordList, PassesAddingAndDeletingAsTheProgramDoes) {
  RecordList<Rec> list;
  for (int id = 1; id <= 4; ++id) {  // each added after a complete pass
    list.Reset();
    while (list.Next()) {
    }
    list.Add().id = id;
  }
  list.Reset();
  list.Add().id = 0;  // from the start position: front
  EXPECT_EQ(Ids(list), (std::vector<int>{0, 1, 2, 3, 4}));

  std::vector<int> visited;
  list.Reset();
  while (Rec* r = list.Next()) {
    visited.push_back(r->id);
    if (r->id == 0 || r->id == 2 || r->id == 4) list.Delete();
  }
  EXPECT_EQ(visited, (std::vector<int>{0, 1, 2, 3, 4}));  // deleting skips nothing
  EXPECT_EQ(Ids(list), (std::vector<int>{1, 3}));
  EXPECT_EQ(list.Current()->id, 3);  // at the end: stays on the last record

  list.Reset();
  list.Next();
  std::shared_ptr<Rec> kept = list.CurrentShared();
  list.Delete();  // the first: back to the start position
  EXPECT_EQ(list.Next()->id, 3);
  list.Clear();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.Next(), nullptr);
  EXPECT_EQ(kept->id, 1);  // a shared record outlives its removal
}

TEST(World, ClearMapEmptiesListsAndWholeGridsButKeepsViewAndTool) {
  auto world = test::NewWorld();
  World& w = *world;
  w.RoadList.Add(), w.EmitterList.Add(), w.CarList.Add(), w.TrafficLightList.Add();
  w.TileMap.at(100, 100) = 1;  // beyond the bounds too
  w.TileMapWidth = 50;
  w.MoveMap.at(10, 10) = LaneCode::Right;
  w.ControlMap.at(200, 0) = 7;
  w.ViewX = -64;
  w.Tool = RoadTool(RoadType::CurveES);
  ClearMap(w);
  EXPECT_EQ(w.RoadCount() + w.EmitterCount() + w.CarCount() + w.LightCount(), 0);
  EXPECT_EQ(w.TileMap.at(100, 100) + w.ControlMap.at(200, 0), 0);
  EXPECT_EQ(w.MoveMap.at(10, 10), LaneCode::None);
  EXPECT_EQ(w.ViewX, -64);
  EXPECT_EQ(w.Tool, RoadTool(RoadType::CurveES));
}

}  // namespace
}  // namespace kv
