#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "editor/roads.h"
#include "support/random_network.h"

namespace kv {
namespace {

using Records = std::vector<std::tuple<int, int, int, int, SpriteHandle, int>>;

Records RoadRecords(const World& w) {
  Records out;
  for (const Road& r : w.RoadList) out.emplace_back(r.TileX, r.TileY, r.PixelX, r.PixelY, r.Sprite, r.Type);
  return out;
}

template <int Max>
std::vector<int32_t> Cells(const Grid<Max>& g) {
  return std::vector<int32_t>(g.data(), g.data() + (Max + 1) * (Max + 1));
}

// A world that already holds roads (one tile with two records, as an old
// file can give, and a stale TileMap mark without a record) and lights, some
// of them on junction approach cells.
std::unique_ptr<World> StartingWorld(uint32_t seed, bool withRoads) {
  auto w = std::make_unique<World>();
  for (int t = 1; t <= 11; ++t) w->RoadSprites[static_cast<size_t>(t)] = 500 + t;
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  if (pick(0, 4) == 0) w->TileMapWidth = pick(30, 99);
  if (pick(0, 4) == 0) w->TileMapHeight = pick(30, 99);
  if (!withRoads) return w;
  testing::NetworkOptions o;
  o.walks = 3;
  for (const RoadPlacement& r : testing::RandomNetwork(rng, o)) AddRoad(*w, r.tileX, r.tileY, r.type);
  if (!w->RoadList.empty() && pick(0, 1) == 0) {
    const Road first = *w->RoadList.begin();
    w->TileMap.at(first.TileX, first.TileY) = 0;
    AddRoad(*w, first.TileX, first.TileY, pick(1, 11));
  }
  if (pick(0, 1) == 0) w->TileMap.at(pick(1, 98), pick(1, 98)) = 1;
  for (int y = 0; y <= 200; ++y)
    for (int x = 0; x <= 200; ++x)
      if (w->ControlMap.at(x, y) >= 7 && pick(0, 1) == 0) {
        w->TrafficLightList.Last();
        TrafficLight& l = w->TrafficLightList.Add();
        l.CellX = x;
        l.CellY = y;
        l.State = pick(1, 4);
      }
  return w;
}

TEST(RoadBatch, EndsExactlyAsAddingOneByOne) {
  std::set<int> typesSeen;
  int markersReplacedByLights = 0;
  for (uint32_t seed = 1; seed <= 100; ++seed) {
    SCOPED_TRACE(seed);
    const bool withRoads = seed % 3 != 0;
    auto single = StartingWorld(seed, withRoads);
    auto batch = StartingWorld(seed, withRoads);

    std::mt19937 rng(seed * 7919);
    testing::NetworkOptions o;
    o.walks = 2 + static_cast<int>(seed % 8);
    o.invalidSpecs = 4;
    o.regionSize = 12 + static_cast<int>(seed % 20);
    std::vector<RoadPlacement> roads = testing::RandomNetwork(rng, o);
    // Some tiles twice, with other types.
    for (size_t i = 0; i < roads.size(); i += 9)
      roads.push_back({roads[i].tileX, roads[i].tileY, 1 + (roads[i].type % 11)});

    for (const RoadPlacement& r : roads) AddRoad(*single, r.tileX, r.tileY, r.type);
    AddRoads(*batch, roads);

    ASSERT_EQ(RoadRecords(*batch), RoadRecords(*single));
    ASSERT_EQ(batch->RoadCount, single->RoadCount);
    ASSERT_EQ(Cells(batch->TileMap), Cells(single->TileMap));
    ASSERT_EQ(Cells(batch->MoveMap), Cells(single->MoveMap));
    ASSERT_EQ(Cells(batch->ControlMap), Cells(single->ControlMap));

    for (const Road& r : single->RoadList) typesSeen.insert(r.Type);
    for (const TrafficLight& l : single->TrafficLightList)
      markersReplacedByLights += single->ControlMap.at(l.CellX, l.CellY) < 7;
  }
  // The networks must have covered every shape and lights on approaches.
  EXPECT_EQ(typesSeen.size(), 11u);
  EXPECT_GT(markersReplacedByLights, 10);
}

}  // namespace
}  // namespace kv
