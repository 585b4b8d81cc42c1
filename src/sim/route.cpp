#include "sim/route.h"

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
constexpr int kGridSide = CellGrid::kMax + 1;

// Directions of travel as bits, so one table lookup answers the entering rule.
enum DirectionBit : uint8_t { kDown = 1, kLeft = 2, kRight = 4, kUp = 8 };
constexpr int kHighestCode = 68;
constexpr size_t kEnterTableSize = kHighestCode + 2;  // the last entry stands for every other code

constexpr std::array<uint8_t, kEnterTableSize> MakeEnterTable() {
  std::array<uint8_t, kEnterTableSize> t{};
  t[2] = kDown;
  t[4] = kLeft;
  t[6] = kRight;
  t[8] = kUp;
  t[5] = kDown | kLeft | kRight | kUp;
  t[24] = kDown | kLeft;
  t[26] = kDown | kRight;
  t[48] = kLeft | kUp;
  t[68] = kRight | kUp;
  return t;
}
constexpr std::array<uint8_t, kEnterTableSize> kEnterTable = MakeEnterTable();

// 1 when a cell with this direction code may be entered moving in `dir`, else 0.
unsigned MayEnter(int32_t code, DirectionBit dir) {
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

// One search. While it runs, OpenList holds every node ever opened and
// cellState_ tells per cell whether it is closed or which node is open on it,
// so neither selection nor the "already open here?" test scans a list.
// ClosedList, ClosedMap and, once compacted, OpenList end as a search over
// plain lists leaves them.
class RouteSearch {
 public:
  RouteSearch(World& w, int startX, int startY, int targetX, int targetY)
      : w_(w),
        startX_(startX),
        startY_(startY),
        targetX_(targetX),
        targetY_(targetY),
        cellState_(kCells, kFree),
        // The start's own estimate bounds its neighbours' F from below.
        queue_(Estimate(startX, startY)) {}

  // True when the target was reached; the route then ends at ClosedList.back().
  bool Run() {
    // Neighbours in the order they are tried: right, left, down, up.
    constexpr int kDx[4] = {1, -1, 0, 0};
    constexpr int kDy[4] = {0, 0, 1, -1};
    constexpr ptrdiff_t kStep[4] = {1, -1, kGridSide, -kGridSide};
    constexpr unsigned kInnerSpan = CellGrid::kMax - 1;  // x - 1 and y - 1 of inner cells lie below it

    // Counters live in locals, so that the stores into the grids cannot
    // force them to be read back from memory.
    const int32_t* codes = w_.MoveMap.data();
    int32_t* closedMap = w_.ClosedMap.data();
    int32_t* state = cellState_.data();
    std::vector<PathNode>& open = w_.OpenList;
    std::vector<PathNode>& closed = w_.ClosedList;
    const size_t target = Cell(targetX_, targetY_);
    int32_t opened = 0;       // nodes appended to OpenList so far
    int32_t closedCount = 0;  // nodes appended to ClosedList so far
    int32_t openCount = 0;    // nodes open right now
    size_t lastClosed = 0;    // cell of the node most recently appended to ClosedList

    // Appends the node to ClosedList, marks its cell and takes it out of
    // the open set; gives its index in ClosedList.
    const auto close = [&](const PathNode& node, size_t cell) {
      closed.push_back(node);
      closedMap[cell] = 1;
      if (state[cell] >= 0) --openCount;
      state[cell] = kClosed;
      lastClosed = cell;
      return closedCount++;
    };

    QueuedNode current{kNoNode, static_cast<int32_t>(Cell(startX_, startY_)), static_cast<int16_t>(startX_),
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

  // Leaves in OpenList only the nodes still open, in the order they were opened.
  void CompactOpenList() {
    std::vector<PathNode>& open = w_.OpenList;
    size_t kept = 0;
    for (size_t i = 0; i < open.size(); ++i)
      if (cellState_[Cell(open[i].X, open[i].Y)] == static_cast<int32_t>(i)) open[kept++] = open[i];
    open.resize(kept);
  }

 private:
  static constexpr size_t kCells = static_cast<size_t>(kGridSide) * kGridSide;
  // Cell states besides the index of the node open on it.
  static constexpr int32_t kFree = -1;
  static constexpr int32_t kClosed = -2;

  static size_t Cell(int x, int y) { return static_cast<size_t>(y) * kGridSide + static_cast<size_t>(x); }

  int32_t Estimate(int x, int y) const {
    return kHorizontalWeight * std::abs(x - targetX_) + std::abs(y - targetY_);
  }

  World& w_;
  int startX_, startY_, targetX_, targetY_;
  std::vector<int32_t> cellState_;  // per lane cell: kFree, kClosed or the index of its open node
  OpenQueue queue_;
};

}  // namespace

int FindRoute(World& w, int startX, int startY, int targetX, int targetY, Emitter& emitter) {
  if (!CellGrid::Inside(startX, startY) || !CellGrid::Inside(targetX, targetY)) return 0;
  if (startX == targetX && startY == targetY) return 0;
  if (w.MoveMap.at(targetX, targetY) == 0 || w.MoveMap.at(startX, startY) == 0) return 0;

  w.OpenList.clear();
  w.ClosedList.clear();
  w.PathList.clear();
  w.ClosedMap.Fill(0);

  RouteSearch search(w, startX, startY, targetX, targetY);
  const bool found = search.Run();
  search.CompactOpenList();
  if (!found) return 0;

  // Read back from the target to the start. The whole chain goes to PathList
  // first, so a route too long for the emitter leaves its arrays untouched.
  int node = static_cast<int>(w.ClosedList.size()) - 1;
  for (;;) {
    const PathNode& n = w.ClosedList[static_cast<size_t>(node)];
    w.PathList.push_back(n);
    if ((n.X == startX && n.Y == startY) || n.Parent == kNoNode) break;
    node = n.Parent;
  }
  const int points = static_cast<int>(w.PathList.size());
  if (points > kMaxRoutePoints) return 0;
  for (int i = 0; i < points; ++i) {
    const PathNode& p = w.PathList[static_cast<size_t>(i)];
    emitter.RouteX[static_cast<size_t>(i + 1)] = static_cast<int16_t>(p.X);
    emitter.RouteY[static_cast<size_t>(i + 1)] = static_cast<int16_t>(p.Y);
  }
  return points;
}

}  // namespace kv
