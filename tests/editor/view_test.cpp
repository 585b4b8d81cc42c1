// The cursor under the pointer and edge scrolling on the wall clock.
#include "editor/view.h"

#include <gtest/gtest.h>

#include <array>

#include "support/builders.h"

namespace kv {
namespace {

TEST(View, ZonesCursorAndTheScrollInterval) {
  HeadlessPlatform p{DrawMode::CountOnly};
  auto w = test::NewWorld();
  ManualClock wall;
  const struct {
    int viewX, viewY;
    uint32_t lastScroll;
    int x, y;
    uint32_t now;
    bool checks;               // a check is due: LastScrollTime becomes now
    std::array<int, 6> after;  // view, cursor tile, cursor cell
  } cases[] = {
      // Zone boundaries, view at (64, -96).
      {64, -96, 0, 31, 400, 1000, true, {96, -96, -2, 15, -3, 31}},
      {64, -96, 0, 32, 400, 1000, true, {64, -96, -1, 15, -2, 31}},
      {64, -96, 0, 992, 400, 1000, true, {64, -96, 29, 15, 58, 31}},
      {64, -96, 0, 993, 400, 1000, true, {32, -96, 29, 15, 58, 31}},
      {64, -96, 0, 500, 31, 1000, true, {64, -64, 13, 3, 27, 7}},
      {64, -96, 0, 500, 32, 1000, true, {64, -96, 13, 4, 27, 8}},
      {64, -96, 0, 500, 752, 1000, true, {64, -96, 13, 26, 27, 53}},
      {64, -96, 0, 500, 753, 1000, true, {64, -128, 13, 26, 27, 53}},
      // Corners scroll both axes at once; the cursor was taken before the scroll.
      {0, 0, 0, 0, 0, 100, true, {32, 32, 0, 0, 0, 0}},
      {0, 0, 0, 1023, 767, 100, true, {-32, -32, 31, 23, 63, 47}},
      // More than 40 ms must have passed, at any reading of the clock.
      {0, 0, 0, 0, 400, 40, false, {0, 0, 0, 12, 0, 25}},
      {0, 0, 0, 0, 400, 41, true, {32, 0, 0, 12, 0, 25}},
      {0, 0, 0x7FFFFFF0u, 0, 400, 0x80000018u, false, {0, 0, 0, 12, 0, 25}},
      {0, 0, 0x7FFFFFF0u, 0, 400, 0x80000019u, true, {32, 0, 0, 12, 0, 25}},
      {0, 0, 0xFFFFFFF0u, 0, 400, 0x18u, false, {0, 0, 0, 12, 0, 25}},
      {0, 0, 0xFFFFFFF0u, 0, 400, 0x19u, true, {32, 0, 0, 12, 0, 25}},
      // Unbounded views put the cursor outside the grids.
      {-3200, -3200, 0, 500, 400, 10, false, {-3200, -3200, 115, 112, 231, 225}},
      {320, 64, 0, 40, 40, 10, false, {320, 64, -9, -1, -18, -2}},
      // Off the tile grid each term is truncated on its own: (30 + 40) / 32
      // would give 2, 30 / 32 - (-40 / 32) gives 1; scrolling keeps the remainder.
      {-40, -8, 0, 30, 700, 10, false, {-40, -8, 1, 21, 3, 43}},
      {40, -8, 0, 10, 760, 100, true, {72, -40, -1, 23, -2, 47}},
  };
  for (const auto& c : cases) {
    w->ViewX = c.viewX, w->ViewY = c.viewY, w->LastScrollTime = static_cast<int32_t>(c.lastScroll);
    p.SetPointer(c.x, c.y);
    p.PollMouse();
    wall.Set(c.now);
    UpdateView(*w, p, wall);
    EXPECT_EQ((std::array{w->ViewX, w->ViewY, w->CursorTileX, w->CursorTileY, w->CursorCellX, w->CursorCellY}), c.after)
        << "from view " << c.viewX << "," << c.viewY << " pointer " << c.x << "," << c.y << " at " << c.now;
    EXPECT_EQ(static_cast<uint32_t>(w->LastScrollTime), c.checks ? c.now : c.lastScroll) << c.now;
  }
}

// In the program, at 60 Hz: a step every third frame, with the wall clock
// below and above 2^31 and across its wrap.
TEST(View, ScrollingKeepsItsPaceAtAnyWallClockReading) {
  for (uint32_t start : {0x7FFFFF00u, 0xFFFFFF00u}) {
    SCOPED_TRACE(start);
    test::FrameDriver d;
    d.PointAt(0, 400);
    d.FrameAt(start);
    const int viewX = d.w.ViewX;
    d.Frame(30);  // 500 ms, over the edge
    EXPECT_EQ(d.w.ViewX, viewX + 10 * 32);
  }
}

}  // namespace
}  // namespace kv
