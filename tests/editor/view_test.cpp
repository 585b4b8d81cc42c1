// The cursor under the pointer and edge scrolling on the wall clock.
#include "editor/view.h"

#include <gtest/gtest.h>

#include <array>

#include "render/viewport.h"
#include "support/builders.h"
#include "support/temp_files.h"

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

// Held until the view stops: from any start the view ends at a bound, or
// where it began when every step would lead away from the map.
TEST(View, ScrollingStopsWhereTheMapsEdgeReachesTheMiddleOfTheMapArea) {
  const struct {
    int zoom, width, height, startX, startY, x, y, key, endX, endY;
  } cases[] = {
      {100, 1024, 768, 0, 0, 0, 400, 0, 512, 0},          {100, 1024, 768, 0, 0, 1023, 400, 0, -2688, 0},
      {100, 1024, 768, 0, 0, 500, 0, 0, 0, 352},          {100, 1024, 768, 0, 0, 500, 767, 0, 0, -2848},
      {100, 1024, 768, 0, 0, 500, 400, Scan::Left, 512, 0}, {100, 1024, 768, 0, 0, 500, 400, Scan::Down, 0, -2848},
      {100, 1024, 768, 0, 0, 500, 400, Scan::Up, 0, 352},  {100, 1024, 768, 0, 0, 500, 400, Scan::Right, -2688, 0},
      {25, 1024, 768, 0, 0, 0, 0, 0, 2048, 1408},         {25, 1024, 768, 0, 0, 1023, 767, 0, -1152, -1792},
      {200, 1024, 768, 0, 0, 0, 0, 0, 256, 176},          {200, 1024, 768, 0, 0, 1023, 767, 0, -2944, -3024},
      // A map file's view beyond the bounds: only steps towards the map are taken.
      {100, 1024, 768, -3000, 3000, 0, 0, 0, 488, 3000},   {100, 1024, 768, -3000, 3000, 1023, 767, 0, -3000, -2824},
      // Another window: the zones lie in the map area, none in the toolbar band.
      {100, 1280, 1024, 0, 0, 640, 958, 0, 0, -2720},     {100, 1280, 1024, 0, 0, 640, 959, 0, 0, 0},
      {100, 1280, 1024, 0, 0, 5, 1000, 0, 0, 0},          {100, 1280, 1024, 0, 0, 1279, 900, 0, -2560, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.zoom << "% " << c.width << " at " << c.x << "," << c.y << " key " << c.key);
    test::FrameDriver d;
    d.p.SetScreenSize(c.width, c.height);
    d.w.ZoomPercent = c.zoom, d.w.ViewX = c.startX, d.w.ViewY = c.startY;
    d.PointAt(c.x, c.y);
    if (c.key) d.p.SetKey(c.key, true);
    for (uint32_t k = 1, still = 0; k <= 250 && still < 2; ++k) {
      const std::pair before(d.w.ViewX, d.w.ViewY);
      d.FrameAt(test::FrameDriver::kStartMs + k * (kScrollIntervalMs + 1));
      still = before == std::pair(d.w.ViewX, d.w.ViewY) ? still + 1 : 0;
    }
    EXPECT_EQ(std::pair(d.w.ViewX, d.w.ViewY), std::pair(c.endX, c.endY));
  }
}

// The world pixel under the pointer stays there (at 100 %: its tile, with the
// view on the tile grid); the keys zoom about the middle of the map area,
// once per press.
TEST(View, WheelAndKeysZoomAboutAPointAndHomeCentresTheMap) {
  test::FrameDriver d;
  World& w = d.w;
  auto under = [&](int x, int y) { return std::pair(Viewport(w).WorldX(x), Viewport(w).WorldY(y)); };
  auto tile = [](std::pair<int64_t, int64_t> at) { return std::pair(FloorDiv(at.first, 32), FloorDiv(at.second, 32)); };
  d.PointAt(300, 200);
  const auto pointed = under(300, 200);
  for (auto [steps, zoom] : {std::pair{-1, 50}, {-1, 25}, {-1, 25}, {3, 200}}) {
    d.p.TurnWheel(steps);
    d.Frame();
    EXPECT_EQ(w.ZoomPercent, zoom);
    EXPECT_EQ(under(300, 200), pointed) << zoom;
  }
  auto middle = under(512, 352);
  d.p.SetKey(Scan::LeftCtrl, true);
  for (auto [key, frames, zoom] : {std::tuple{Scan::Zero, 1, 100}, {Scan::Minus, 3, 50}, {Scan::KeypadMinus, 1, 25},
                                   {Scan::Plus, 3, 50}, {Scan::KeypadPlus, 1, 100}}) {
    d.p.SetKey(key, true);
    d.Frame(frames);
    d.p.SetKey(key, false);
    d.Frame();
    EXPECT_EQ(w.ZoomPercent, zoom) << key;
    if (zoom == 100)
      EXPECT_TRUE(tile(under(512, 352)) == tile(middle) && w.ViewX % 32 == 0 && w.ViewY % 32 == 0);
    else
      EXPECT_EQ(under(512, 352), middle) << zoom;
    middle = under(512, 352);
  }
  d.p.SetKey(Scan::LeftCtrl, false);
  d.Tap(Scan::Home);
  EXPECT_EQ(std::pair(w.ViewX, w.ViewY), std::pair(-1088, -1248));
  EXPECT_EQ(under(512, 352), std::pair(int64_t{1600}, int64_t{1600}));
}

// The view is a view setting: opening and saving keep the file's, inside the
// bounds or not, and the zoom is not stored.
TEST(View, OpeningAndSavingKeepAStoredViewOutsideTheBounds) {
  kvtest::TempDir dir;
  const kvtest::Bytes far = {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 100, 0, 100, 0, 0x30, 0x8A, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0};
  kvtest::WriteBytes(dir.File("far.kvl"), far);
  test::FrameDriver d;
  d.w.ZoomPercent = 25;
  d.PointAt(500, 300);
  d.p.QueueRequesterAnswer(dir.File("far.kvl"));
  d.Tap(Scan::O);
  d.Frame(10);
  EXPECT_EQ(std::pair(d.w.ViewX, d.w.ViewY), std::pair(-30160, 32767));
  d.p.QueueRequesterAnswer(dir.File("saved.kvl"));
  d.Tap(Scan::S);
  EXPECT_EQ(kvtest::ReadBytes(dir.File("saved.kvl")), far);
}

}  // namespace
}  // namespace kv
