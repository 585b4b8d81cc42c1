#include "network/route.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace kv {

namespace {

constexpr int kStepCost = 10;
constexpr int kHorizontalWeight = 10;  // the estimate favours closing x first
constexpr int kMaxRoutePoints = kRouteCapacity - 1;
constexpr int kNoNode = -1;
constexpr int kGridSide = LaneGrid::kSide;

// Directions of travel as bits, so one table lookup answers the entering rule.
enum DirectionBit : uint8_t { kDown = 1, kLeft = 2, kRight = 4, kUp = 8 };
constexpr int kHighestCode = static_cast<int>(LaneCode::RightOrUp);
constexpr size_t kEnterTableSize = kHighestCode + 2;  // the last entry stands for every other code

constexpr std::array<uint8_t, kEnterTableSize> MakeEnterTable() {
  std::array<uint8_t, kEnterTableSize> t{};
  constexpr struct {
    Direction dir;
    DirectionBit bit;
  } kBits[] = {{Direction::Down, kDown}, {Direction::Left, kLeft}, {Direction::Right, kRight}, {Direction::Up, kUp}};
  for (size_t code = 0; code + 1 < t.size(); ++code)
    for (const auto& b : kBits)
      if (Admits(static_cast<LaneCode>(code), b.dir)) t[code] |= b.bit;
  return t;
}
constexpr std::array<uint8_t, kEnterTableSize> kEnterTable = MakeEnterTable();

// 1 when a cell with this direction code may be entered moving in `dir`, else 0.
unsigned MayEnter(LaneCode code, DirectionBit dir) {
  const uint32_t slot = std::min(static_cast<uint32_t>(code), static_cast<uint32_t>(kEnterTableSize - 1));
  return (kEnterTable[slot] & dir) != 0 ? 1u : 0u;
}

// Open nodes in the order the search takes them: smallest F first, and
// among equal F the one opened first. A node's F never changes while it is
// open (an improved node is closed at once). The estimate changes by at most
// kHorizontalWeight per step, which is no more than a step costs, so a child's
// F lies between its parent's F and that plus 2 * kStepCost, and the parent
// was the smallest open F when it was taken. Every open F therefore lies
// within a window of 2 * kStepCost + 1 values above the smallest, and a ring
// of buckets, each a first-in first-out list of nodes, orders them exactly.
constexpr int kBuckets = 32;
static_assert(kHorizontalWeight <= kStepCost && 2 * kStepCost < kBuckets);

// What expanding a node needs, carried along so it need not be read back.
struct QueuedNode {
  int32_t node;  // index into OpenList, which is also the order of opening
  int32_t cell;  // its lane cell, to tell whether it is still open
  int16_t x, y;
  int32_t g;
};

class OpenQueue {
 public:
  // All F pushed before the first Pop are at least lowestF.
  explicit OpenQueue(int32_t lowestF) : low_(lowestF) {}

  void Push(int32_t f, QueuedNode entry) {
    assert(f >= low_ && f - low_ < kBuckets);
    buckets_[static_cast<size_t>(f) % kBuckets].push_back(entry);
  }

  // The first entry for which isOpen holds, dropping entries of nodes that
  // were closed in the meantime. At least one entry must still be open.
  template <class IsOpen>
  QueuedNode Pop(const IsOpen& isOpen) {
    for (;;) {
      const size_t slot = static_cast<size_t>(low_) % kBuckets;
      std::vector<QueuedNode>& bucket = buckets_[slot];
      size_t& head = heads_[slot];
      while (head < bucket.size()) {
        const QueuedNode entry = bucket[head++];
        if (isOpen(entry)) return entry;
      }
      bucket.clear();
      head = 0;
      ++low_;
    }
  }

 private:
  int32_t low_;
  std::array<std::vector<QueuedNode>, kBuckets> buckets_;
  std::array<size_t, kBuckets> heads_{};
};

// A node of the search: Parent is an index into the closed list, -1 for none.
struct PathNode {
  int32_t Parent = kNoNode;
  int32_t X = 0, Y = 0;
  int32_t F = 0, G = 0, H = 0;
};

// One search. The open list holds every node ever opened and cellState_ tells
// per cell whether it is closed or which node is open on it, so neither
// selection nor the "already open here?" test scans a list.
class RouteSearch {
 public:
  RouteSearch(const World& w, int startX, int startY, int targetX, int targetY)
      : w_(w),
        startX_(startX),
        startY_(startY),
        targetX_(targetX),
        targetY_(targetY),
        cellState_(kCells, kFree),
        // The start's own estimate bounds its neighbours' F from below.
        queue_(Estimate(startX, startY)) {}

  // True when the target was reached; the route then ends at closed_.back().
  bool Run() {
    // Neighbours in the order they are tried: right, left, down, up.
    constexpr int kDx[4] = {1, -1, 0, 0};
    constexpr int kDy[4] = {0, 0, 1, -1};
    constexpr ptrdiff_t kStep[4] = {1, -1, kGridSide, -kGridSide};
    constexpr unsigned kInnerSpan = LaneGrid::kMax - 1;  // x - 1 and y - 1 of inner cells lie below it

    // Counters live in locals, so that the stores into the lists cannot
    // force them to be read back from memory.
    const LaneCode* codes = w_.MoveMap.data();
    int32_t* state = cellState_.data();
    std::vector<PathNode>& open = open_;
    std::vector<PathNode>& closed = closed_;
    const size_t target = CellIndex(targetX_, targetY_);
    int32_t opened = 0;       // nodes appended to the open list so far
    int32_t closedCount = 0;  // nodes appended to the closed list so far
    int32_t openCount = 0;    // nodes open right now
    size_t lastClosed = 0;    // cell of the node most recently closed

    // Appends the node to the closed list and takes it out of the open set;
    // gives its index in the closed list.
    const auto close = [&](const PathNode& node, size_t cell) {
      closed.push_back(node);
      if (state[cell] >= 0) --openCount;
      state[cell] = kClosed;
      lastClosed = cell;
      return closedCount++;
    };

    QueuedNode current{kNoNode, static_cast<int32_t>(CellIndex(startX_, startY_)), static_cast<int16_t>(startX_),
                       static_cast<int16_t>(startY_), 0};
    int32_t parent = close(PathNode{kNoNode, startX_, startY_, 0, 0, 0}, static_cast<size_t>(current.cell));
    for (;;) {
      // Expand the node just closed, unless it lies on the border.
      const int x = current.x, y = current.y;
      if (static_cast<unsigned>(x - 1) < kInnerSpan && static_cast<unsigned>(y - 1) < kInnerSpan) {
        const size_t c = static_cast<size_t>(current.cell);
        // The lane test first, for all four at once: most neighbours fail it.
        unsigned admitted = MayEnter(codes[c + 1], kRight) | MayEnter(codes[c - 1], kLeft) << 1 |
                            MayEnter(codes[c + kGridSide], kDown) << 2 | MayEnter(codes[c - kGridSide], kUp) << 3;
        const int32_t g = current.g + kStepCost;
        for (; admitted != 0; admitted &= admitted - 1) {
          const int k = std::countr_zero(admitted);
          const size_t cell = c + static_cast<size_t>(kStep[k]);
          const int32_t s = state[cell];
          if (s == kClosed) continue;
          const int nx = x + kDx[k], ny = y + kDy[k];
          if (s != kFree) {
            // A cheaper way to an open node closes it on the spot, unexpanded.
            PathNode& node = open[static_cast<size_t>(s)];
            if (node.G > g) {
              node.Parent = parent;
              node.G = g;
              node.F = g + node.H;
              close(node, cell);
            }
            continue;
          }
          const int32_t h = Estimate(nx, ny);
          open.push_back(PathNode{parent, nx, ny, g + h, g, h});
          state[cell] = opened;
          ++openCount;
          queue_.Push(g + h, QueuedNode{opened, static_cast<int32_t>(cell), static_cast<int16_t>(nx),
                                        static_cast<int16_t>(ny), g});
          ++opened;
        }
      }
      // The stop test looks at the node closed last, which is an improved
      // node when one was closed during the expansion.
      if (lastClosed == target) return true;
      if (openCount == 0) return false;
      current = queue_.Pop([state](const QueuedNode& q) { return state[static_cast<size_t>(q.cell)] == q.node; });
      parent = close(open[static_cast<size_t>(current.node)], static_cast<size_t>(current.cell));
    }
  }

  // The route read back from the target, target first; empty when it would
  // not fit an emitter.
  std::vector<Cell> Route() const {
    std::vector<Cell> route;
    int node = static_cast<int>(closed_.size()) - 1;
    for (;;) {
      const PathNode& n = closed_[static_cast<size_t>(node)];
      route.push_back({n.X, n.Y});
      if ((n.X == startX_ && n.Y == startY_) || n.Parent == kNoNode) break;
      if (route.size() >= kMaxRoutePoints) return {};  // a start cell would come after
      node = n.Parent;
    }
    return route;
  }

 private:
  static constexpr size_t kCells = static_cast<size_t>(kGridSide) * kGridSide;
  // Cell states besides the index of the node open on it.
  static constexpr int32_t kFree = -1;
  static constexpr int32_t kClosed = -2;

  static size_t CellIndex(int x, int y) { return static_cast<size_t>(y) * kGridSide + static_cast<size_t>(x); }

  int32_t Estimate(int x, int y) const {
    return kHorizontalWeight * std::abs(x - targetX_) + std::abs(y - targetY_);
  }

  const World& w_;
  int startX_, startY_, targetX_, targetY_;
  std::vector<int32_t> cellState_;  // per lane cell: kFree, kClosed or the index of its open node
  std::vector<PathNode> open_, closed_;
  OpenQueue queue_;
};

}  // namespace

int FindRoute(const World& w, int startX, int startY, int targetX, int targetY, Emitter& emitter) {
  if (!LaneGrid::Inside(startX, startY) || !LaneGrid::Inside(targetX, targetY)) return 0;
  if (startX == targetX && startY == targetY) return 0;
  if (w.MoveMap.at(targetX, targetY) == LaneCode::None || w.MoveMap.at(startX, startY) == LaneCode::None) return 0;

  RouteSearch search(w, startX, startY, targetX, targetY);
  if (!search.Run()) return 0;
  // A route too long for the emitter leaves its arrays untouched.
  const std::vector<Cell> route = search.Route();
  if (route.empty()) return 0;
  for (size_t i = 0; i < route.size(); ++i) {
    emitter.RouteX[i + 1] = static_cast<int16_t>(route[i].x);
    emitter.RouteY[i + 1] = static_cast<int16_t>(route[i].y);
  }
  return static_cast<int>(route.size());
}

}  // namespace kv
