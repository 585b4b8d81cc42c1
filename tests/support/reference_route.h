// The route search written the straightforward way, with plain lists: every
// selection scans the open list, and so does every "already open?" test.
// Tests and benchmarks hold the fast search against it.
#pragma once

#include <cstdlib>
#include <vector>

#include "app/world.h"

namespace kv::reference {

struct PlainSearchStats {
  int improvedNodes = 0;  // open nodes closed early because a cheaper way appeared
};

inline bool PlainMayEnter(int code, int dir) {
  switch (code) {
    case 2: return dir == 2;
    case 4: return dir == 4;
    case 6: return dir == 6;
    case 8: return dir == 8;
    case 24: return dir == 2 || dir == 4;
    case 26: return dir == 2 || dir == 6;
    case 48: return dir == 4 || dir == 8;
    case 68: return dir == 6 || dir == 8;
    case 5: return true;
    default: return false;
  }
}

inline void PlainTryNeighbour(World& w, int nx, int ny, int targetX, int targetY, int cost, int dir,
                              int parent, PlainSearchStats& stats) {
  if (nx < 0 || nx > 200 || ny < 0 || ny > 200) return;
  if (w.ClosedMap.at(nx, ny) == 1) return;
  if (!PlainMayEnter(w.MoveMap.at(nx, ny), dir)) return;
  const PathNode& p = w.ClosedList[static_cast<size_t>(parent)];
  for (size_t i = 0; i < w.OpenList.size(); ++i) {
    PathNode& o = w.OpenList[i];
    if (o.X != nx || o.Y != ny) continue;
    if (o.G > p.G + cost) {
      o.Parent = parent;
      o.G = p.G + cost;
      o.F = o.G + o.H;
      w.ClosedList.push_back(o);
      w.ClosedMap.at(nx, ny) = 1;
      w.OpenList.erase(w.OpenList.begin() + static_cast<std::ptrdiff_t>(i));
      ++stats.improvedNodes;
    }
    return;
  }
  PathNode n;
  n.Parent = parent;
  n.X = nx;
  n.Y = ny;
  n.G = p.G + cost;
  n.H = 10 * std::abs(nx - targetX) + std::abs(ny - targetY);
  n.F = n.G + n.H;
  w.OpenList.push_back(n);
}

inline void PlainExpand(World& w, int index, int targetX, int targetY, PlainSearchStats& stats) {
  const int x = w.ClosedList[static_cast<size_t>(index)].X;
  const int y = w.ClosedList[static_cast<size_t>(index)].Y;
  if (!(0 < x && x < 200 && 0 < y && y < 200)) return;
  PlainTryNeighbour(w, x + 1, y, targetX, targetY, 10, 6, index, stats);
  PlainTryNeighbour(w, x - 1, y, targetX, targetY, 10, 4, index, stats);
  PlainTryNeighbour(w, x, y + 1, targetX, targetY, 10, 2, index, stats);
  PlainTryNeighbour(w, x, y - 1, targetX, targetY, 10, 8, index, stats);
}

// Same contract as FindRoute; PathList always receives the whole chain, also
// when it is too long for the emitter (then nothing is written and 0 returned).
inline int PlainFindRoute(World& w, int startX, int startY, int targetX, int targetY, Emitter& e,
                          PlainSearchStats* statsOut = nullptr) {
  PlainSearchStats stats;
  if (startX < 0 || startX > 200 || startY < 0 || startY > 200) return 0;
  if (targetX < 0 || targetX > 200 || targetY < 0 || targetY > 200) return 0;
  if (startX == targetX && startY == targetY) return 0;
  if (w.MoveMap.at(targetX, targetY) == 0 || w.MoveMap.at(startX, startY) == 0) return 0;

  w.OpenList.clear();
  w.ClosedList.clear();
  w.PathList.clear();
  w.ClosedMap.Fill(0);

  PathNode start;
  start.X = startX;
  start.Y = startY;
  w.ClosedList.push_back(start);
  w.ClosedMap.at(startX, startY) = 1;
  PlainExpand(w, 0, targetX, targetY, stats);

  for (;;) {
    if (w.OpenList.empty()) {
      if (statsOut) *statsOut = stats;
      return 0;
    }
    size_t best = 0;
    for (size_t i = 1; i < w.OpenList.size(); ++i)
      if (w.OpenList[i].F < w.OpenList[best].F) best = i;
    const PathNode chosen = w.OpenList[best];
    w.ClosedList.push_back(chosen);
    w.ClosedMap.at(chosen.X, chosen.Y) = 1;
    w.OpenList.erase(w.OpenList.begin() + static_cast<std::ptrdiff_t>(best));
    PlainExpand(w, static_cast<int>(w.ClosedList.size()) - 1, targetX, targetY, stats);
    if (w.ClosedList.back().X == targetX && w.ClosedList.back().Y == targetY) break;
  }
  if (statsOut) *statsOut = stats;

  int index = static_cast<int>(w.ClosedList.size()) - 1;
  for (;;) {
    const PathNode& n = w.ClosedList[static_cast<size_t>(index)];
    w.PathList.push_back(n);
    if (n.X == startX && n.Y == startY) break;
    index = n.Parent;
  }
  if (w.PathList.size() > 999) return 0;
  for (size_t i = 0; i < w.PathList.size(); ++i) {
    e.RouteX[i + 1] = static_cast<int16_t>(w.PathList[i].X);
    e.RouteY[i + 1] = static_cast<int16_t>(w.PathList[i].Y);
  }
  return static_cast<int>(w.PathList.size());
}

}  // namespace kv::reference
