// Random road networks for property tests: clusters of random walks, so that
// straights, curves, junctions and blocks all occur, near the border as well
// as inside.
#pragma once

#include <algorithm>
#include <random>
#include <vector>

#include "network/roads.h"

namespace kv::test {

struct NetworkOptions {
  int walks = 6;
  int maxWalkLength = 25;
  int strayTiles = 5;    // single tiles anywhere, border rows included
  int invalidSpecs = 0;  // bad types and tiles beyond the map
  int regionSize = 24;   // walks stay inside a square of this many tiles
};

inline std::vector<RoadPlacement> RandomNetwork(std::mt19937& rng, const NetworkOptions& o) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto type = [&] { return static_cast<RoadType>(pick(1, 11)); };
  std::vector<RoadPlacement> roads;
  const int corner = pick(0, 2);  // the region sometimes touches the border, sometimes not
  const int x0 = corner == 0 ? 0 : corner == 1 ? 100 - o.regionSize : pick(1, 99 - o.regionSize);
  const int y0 = corner == 0 ? 0 : corner == 1 ? 100 - o.regionSize : pick(1, 99 - o.regionSize);
  const int dx[] = {1, -1, 0, 0}, dy[] = {0, 0, 1, -1};
  for (int walk = 0; walk < o.walks; ++walk) {
    int x = x0 + pick(0, o.regionSize - 1), y = y0 + pick(0, o.regionSize - 1), dir = pick(0, 3);
    for (int step = pick(1, o.maxWalkLength); step > 0; --step) {
      roads.push_back({x, y, type()});
      if (pick(0, 3) == 0) dir = pick(0, 3);
      const int nx = x + dx[dir], ny = y + dy[dir];
      const bool inside = nx >= x0 && nx < x0 + o.regionSize && ny >= y0 && ny < y0 + o.regionSize;
      if (inside)
        x = nx, y = ny;
      else
        dir = pick(0, 3);
    }
  }
  for (int i = 0; i < o.strayTiles; ++i) roads.push_back({pick(0, 99), pick(0, 99), type()});
  const RoadPlacement invalid[] = {{pick(0, 99), pick(0, 99), RoadType::None},
                                   {pick(0, 99), pick(0, 99), RoadType(12)},
                                   {100, pick(0, 100), type()},
                                   {pick(0, 100), pick(-3, -1), type()},
                                   {pick(101, 200), pick(0, 99), type()}};
  for (int i = 0; i < o.invalidSpecs; ++i) roads.push_back(invalid[pick(0, 4)]);
  std::shuffle(roads.begin(), roads.end(), rng);
  return roads;
}

}  // namespace kv::test
