// The route search written the straightforward way, with plain lists: every
// selection scans the open list, and so does every "already open?" test.
// Tests and benchmarks hold the fast search against it.
#pragma once

#include <cstdlib>
#include <vector>

#include "world/world.h"

namespace kv::reference {

struct PlainSearch {
  struct Node {
    int parent = -1, x = 0, y = 0, f = 0, g = 0, h = 0;
  };
  std::vector<Node> open, closed;
  std::vector<bool> closedCells = std::vector<bool>(201 * 201, false);
  int improvedNodes = 0;  // open nodes closed early because a cheaper way appeared

  void Close(const Node& n) {
    closed.push_back(n);
    closedCells[static_cast<size_t>(n.y * 201 + n.x)] = true;
  }
  void TryNeighbour(const World& w, int nx, int ny, int tx, int ty, Direction dir, int parent) {
    if (nx < 0 || nx > 200 || ny < 0 || ny > 200 || closedCells[static_cast<size_t>(ny * 201 + nx)]) return;
    if (!Admits(w.MoveMap.at(nx, ny), dir)) return;
    const int g = closed[static_cast<size_t>(parent)].g + 10;
    for (size_t i = 0; i < open.size(); ++i) {
      Node& o = open[i];
      if (o.x != nx || o.y != ny) continue;
      if (o.g > g) {
        o.parent = parent, o.g = g, o.f = g + o.h;
        Close(o);
        open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
        ++improvedNodes;
      }
      return;
    }
    const int h = 10 * std::abs(nx - tx) + std::abs(ny - ty);
    open.push_back({parent, nx, ny, g + h, g, h});
  }
  void Expand(const World& w, int index, int tx, int ty) {
    const int x = closed[static_cast<size_t>(index)].x, y = closed[static_cast<size_t>(index)].y;
    if (!(0 < x && x < 200 && 0 < y && y < 200)) return;
    TryNeighbour(w, x + 1, y, tx, ty, Direction::Right, index);
    TryNeighbour(w, x - 1, y, tx, ty, Direction::Left, index);
    TryNeighbour(w, x, y + 1, tx, ty, Direction::Down, index);
    TryNeighbour(w, x, y - 1, tx, ty, Direction::Up, index);
  }

  // Same contract as FindRoute.
  int Find(const World& w, int sx, int sy, int tx, int ty, Emitter& e) {
    if (!LaneGrid::Inside(sx, sy) || !LaneGrid::Inside(tx, ty) || (sx == tx && sy == ty)) return 0;
    if (w.MoveMap.at(tx, ty) == LaneCode::None || w.MoveMap.at(sx, sy) == LaneCode::None) return 0;
    Close({-1, sx, sy, 0, 0, 0});
    Expand(w, 0, tx, ty);
    while (!(closed.back().x == tx && closed.back().y == ty)) {
      if (open.empty()) return 0;
      size_t best = 0;
      for (size_t i = 1; i < open.size(); ++i)
        if (open[i].f < open[best].f) best = i;
      Close(open[best]);
      open.erase(open.begin() + static_cast<std::ptrdiff_t>(best));
      Expand(w, static_cast<int>(closed.size()) - 1, tx, ty);
    }
    std::vector<Node> path;
    for (int i = static_cast<int>(closed.size()) - 1;; i = closed[static_cast<size_t>(i)].parent) {
      path.push_back(closed[static_cast<size_t>(i)]);
      if (path.back().x == sx && path.back().y == sy) break;
    }
    if (path.size() > 999) return 0;
    for (size_t i = 0; i < path.size(); ++i)
      e.RouteX[i + 1] = static_cast<int16_t>(path[i].x), e.RouteY[i + 1] = static_cast<int16_t>(path[i].y);
    return static_cast<int>(path.size());
  }
};

inline int PlainFindRoute(const World& w, int sx, int sy, int tx, int ty, Emitter& e) {
  return PlainSearch().Find(w, sx, sy, tx, ty, e);
}

}  // namespace kv::reference
