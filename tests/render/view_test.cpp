// The cursor under the pointer and edge scrolling.
#include <gtest/gtest.h>

#include "app/view.h"
#include "platform/headless_platform.h"

namespace kv {
namespace {

struct ViewState {
  int viewX, viewY, tileX, tileY, cellX, cellY, lastScroll;
  bool operator==(const ViewState&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ViewState& s) {
  return os << "view " << s.viewX << "," << s.viewY << " tile " << s.tileX << "," << s.tileY
            << " cell " << s.cellX << "," << s.cellY << " last " << s.lastScroll;
}

class View : public ::testing::Test {
 protected:
  HeadlessPlatform p{DrawMode::CountOnly};
  World w;

  ViewState Step(int x, int y, uint32_t now) {
    p.SetPointer(x, y);
    p.PollMouse();
    p.SetNow(now);
    UpdateView(w, p);
    return {w.ViewX, w.ViewY, w.CursorTileX, w.CursorTileY, w.CursorCellX, w.CursorCellY,
            w.LastScrollTime};
  }
};

TEST_F(View, ZonesIntervalsAndCursorFormulas) {
  const struct {
    int viewX, viewY, lastScroll, x, y;
    uint32_t now;
    ViewState after;
  } cases[] = {
      // Zone boundaries, view at (64, -96), check due.
      {64, -96, 0, 31, 400, 1000, {96, -96, -2, 15, -3, 31, 1000}},
      {64, -96, 0, 32, 400, 1000, {64, -96, -1, 15, -2, 31, 1000}},
      {64, -96, 0, 992, 400, 1000, {64, -96, 29, 15, 58, 31, 1000}},
      {64, -96, 0, 993, 400, 1000, {32, -96, 29, 15, 58, 31, 1000}},
      {64, -96, 0, 500, 31, 1000, {64, -64, 13, 3, 27, 7, 1000}},
      {64, -96, 0, 500, 32, 1000, {64, -96, 13, 4, 27, 8, 1000}},
      {64, -96, 0, 500, 752, 1000, {64, -96, 13, 26, 27, 53, 1000}},
      {64, -96, 0, 500, 753, 1000, {64, -128, 13, 26, 27, 53, 1000}},
      // Corners scroll both axes at once.
      {0, 0, 0, 0, 0, 100, {32, 32, 0, 0, 0, 0, 100}},
      {0, 0, 0, 1023, 767, 100, {-32, -32, 31, 23, 63, 47, 100}},
      // More than 40 ms must have passed; the interval is measured across the clock wrap.
      {0, 0, 0, 0, 400, 40, {0, 0, 0, 12, 0, 25, 0}},
      {0, 0, 0, 0, 400, 41, {32, 0, 0, 12, 0, 25, 41}},
      {0, 0, -16, 0, 400, 10, {0, 0, 0, 12, 0, 25, -16}},
      {0, 0, -16, 0, 400, 30, {32, 0, 0, 12, 0, 25, 30}},
      // Unbounded views put the cursor outside the grids.
      {-3200, -3200, 0, 500, 400, 10, {-3200, -3200, 115, 112, 231, 225, 0}},
      {320, 64, 0, 40, 40, 10, {320, 64, -9, -1, -18, -2, 0}},
      // Off the tile grid each term is truncated on its own: (30 + 40) / 32
      // would give 2, 30 / 32 - (-40 / 32) gives 1; scrolling keeps the remainder.
      {-40, -8, 0, 30, 700, 10, {-40, -8, 1, 21, 3, 43, 0}},
      {40, -8, 0, 10, 760, 100, {72, -40, -1, 23, -2, 47, 100}},
  };
  for (const auto& c : cases) {
    w.ViewX = c.viewX, w.ViewY = c.viewY, w.LastScrollTime = c.lastScroll;
    EXPECT_EQ(Step(c.x, c.y, c.now), c.after)
        << "from view " << c.viewX << "," << c.viewY << " pointer " << c.x << "," << c.y
        << " at " << c.now;
  }
}

TEST_F(View, SequenceOfFrames) {
  // The cursor is taken before the scroll and catches up in the next frame.
  EXPECT_EQ(Step(0, 0, 100), (ViewState{32, 32, 0, 0, 0, 0, 100}));
  EXPECT_EQ(Step(0, 0, 110), (ViewState{32, 32, -1, -1, -2, -2, 100}));
  // One step per check however long the pause; a check with the pointer in
  // no zone still restarts the interval.
  EXPECT_EQ(Step(0, 400, 100000).viewX, 64);
  EXPECT_EQ(Step(512, 400, 100100).lastScroll, 100100);
  EXPECT_EQ(Step(0, 400, 100130).viewX, 64);
  EXPECT_EQ(Step(0, 400, 100141).viewX, 96);
}

}  // namespace
}  // namespace kv
