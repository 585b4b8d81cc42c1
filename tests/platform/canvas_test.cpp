// The drawing backend on its own software screen: what each operation paints,
// what it leaves alone, and what clipping keeps from the renderer.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/image_samples.h"
#include "platform/sdl_canvas.h"

namespace {

using kv::Color;
using kv::RGB;

constexpr Color kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255);
constexpr Color kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0), kMagenta = RGB(255, 0, 255);

class CanvasTest : public ::testing::Test {
 protected:
  // Writes an image painted by paint(x, y) and loads it through a program
  // path with backslashes.
  template <typename Paint>
  kv::SpriteHandle Sprite(int width, int height, bool rotatable, Paint paint,
                          kv::SdlCanvas* target = nullptr) {
    std::vector<uint8_t> rgba;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        Color c = paint(x, y);
        rgba.insert(rgba.end(), {uint8_t(kv::ColorRed(c)), uint8_t(kv::ColorGreen(c)),
                                 uint8_t(kv::ColorBlue(c)), 255});
      }
    std::string name = "s" + std::to_string(++files_) + ".png";
    kvtest::WriteBytes(dir_.File(name), kvtest::EncodeRgbaPng(width, height, rgba));
    return (target ? target : &canvas_)->LoadSpriteImage(dir_.path + "\\" + name, rotatable);
  }

  const uint8_t* Raw(int x, int y) {
    return &frame_[(static_cast<size_t>(y) * kv::kCanvasWidth + x) * 3];
  }
  Color At(int x, int y) {
    canvas_.ReadFrame(frame_);
    return RGB(Raw(x, y)[0], Raw(x, y)[1], Raw(x, y)[2]);
  }
  // Pixels of colour c inside a rectangle.
  int Count(Color c, int x0, int y0, int width, int height) {
    canvas_.ReadFrame(frame_);
    int n = 0;
    for (int y = y0; y < y0 + height; ++y)
      for (int x = x0; x < x0 + width; ++x) n += RGB(Raw(x, y)[0], Raw(x, y)[1], Raw(x, y)[2]) == c;
    return n;
  }

  kvtest::TempDir dir_;
  int files_ = 0;
  kv::SdlCanvas canvas_{kv::SdlCanvas::kSoftware};
  std::vector<uint8_t> frame_;
};

TEST_F(CanvasTest, ClearFrameFillsTheScreenReadBackAsRgbBytes) {
  canvas_.ClearFrame(RGB(10, 20, 30));
  canvas_.ReadFrame(frame_);
  ASSERT_EQ(frame_.size(), size_t{1024} * 768 * 3);
  EXPECT_EQ((std::vector<uint8_t>(frame_.begin(), frame_.begin() + 3)), (std::vector<uint8_t>{10, 20, 30}));
  EXPECT_EQ(Count(RGB(10, 20, 30), 0, 0, 1024, 768), 1024 * 768);
}

TEST_F(CanvasTest, OpaqueDrawIgnoresTheKeyColourAndKeyedDrawLeavesItOut) {
  auto sprite = Sprite(4, 4, false, [](int x, int y) { return x == y ? kMagenta : kRed; });
  ASSERT_NE(sprite, 0u);
  canvas_.ClearFrame(kBlue);
  canvas_.DrawSpriteKeyed(sprite, 0, 0);  // no key colour set yet: nothing left out
  EXPECT_EQ(At(1, 1), kMagenta);

  canvas_.SetSpriteKeyColor(sprite, kMagenta);
  canvas_.DrawSprite(sprite, 10, 10);
  canvas_.DrawSpriteKeyed(sprite, 20, 10);
  EXPECT_EQ(Count(kMagenta, 10, 10, 4, 4), 4);
  EXPECT_EQ(Count(kRed, 10, 10, 4, 4), 12);
  EXPECT_EQ(Count(kBlue, 20, 10, 4, 4), 4);
  EXPECT_EQ(Count(kRed, 20, 10, 4, 4), 12);
  EXPECT_EQ(Count(kBlue, 8, 8, 20, 8), 160 - 28);  // nothing beyond the sprites

  canvas_.SetSpriteKeyColor(sprite, kRed);  // replaces the old key
  canvas_.DrawSpriteKeyed(sprite, 40, 10);
  EXPECT_EQ(Count(kMagenta, 40, 10, 4, 4), 4);
  EXPECT_EQ(Count(kBlue, 40, 10, 4, 4), 12);

  // The image's own alpha makes no holes.
  kvtest::WriteBytes(dir_.File("alpha.png"), kvtest::EncodeRgbaPng(1, 1, {0, 255, 0, 0}));
  auto clear = canvas_.LoadSpriteImage(dir_.File("alpha.png"), false);
  canvas_.DrawSprite(clear, 5, 5);
  canvas_.DrawSpriteKeyed(clear, 6, 5);
  EXPECT_EQ(Count(kGreen, 5, 5, 2, 1), 2);
}

TEST_F(CanvasTest, WhatLiesWhollyOffScreenNeverReachesTheRenderer) {
  auto sprite = Sprite(4, 4, true, [](int x, int y) { return x == 3 && y == 3 ? kGreen : kRed; });
  canvas_.ClearFrame(kBlue);
  const uint64_t start = canvas_.DrawCalls();
  for (auto [x, y] : {std::pair{-4, 0}, {0, -4}, {1024, 0}, {0, 768}, {INT_MAX, INT_MAX}, {INT_MIN, 5}}) {
    canvas_.DrawSprite(sprite, x, y);
    canvas_.DrawSpriteKeyed(sprite, x, y);
    canvas_.DrawRect(x, y, 4, 4, kRed);
  }
  canvas_.DrawRect(INT_MAX, 0, INT_MAX, 10, kRed);
  canvas_.DrawRect(5, 5, 0, 10, kRed);
  canvas_.DrawRect(5, 5, -3, 10, kRed);
  EXPECT_EQ(canvas_.DrawCalls(), start);
  EXPECT_EQ(Count(kBlue, 0, 0, 1024, 768), 1024 * 768);

  canvas_.DrawSprite(sprite, -3, -3);  // one pixel in: drawn, clipped
  canvas_.DrawSpriteKeyed(sprite, 1023, 767);
  EXPECT_EQ(canvas_.DrawCalls(), start + 2);
  EXPECT_EQ(At(0, 0), kGreen);
  EXPECT_EQ(At(1, 0), kBlue);
  EXPECT_EQ(At(1023, 767), kRed);

  // Turned quads are judged by their bounding box: a 20 x 20 quad at
  // x = -21 is outside, but turned 45 degrees its corner reaches in.
  auto rot = canvas_.CreateRotSprite(sprite);
  canvas_.SetRotSpriteSize(rot, 20, 20);
  canvas_.DrawRotSprite(rot, -21, 100, 255);
  EXPECT_EQ(canvas_.DrawCalls(), start + 2);
  canvas_.SetRotSpriteAngle(rot, 45.0f);
  canvas_.DrawRotSprite(rot, -21, 100, 255);
  EXPECT_EQ(canvas_.DrawCalls(), start + 3);
  EXPECT_EQ(At(0, 110), kRed);
  canvas_.DrawRotSprite(rot, -40, 100, 255);
  canvas_.DrawRotSprite(rot, 500, 800, 255);
  EXPECT_EQ(canvas_.DrawCalls(), start + 3);

  // Labels off screen are measured but not drawn.
  const int width = canvas_.DrawLabel(0, 0, "Roads: 12", kWhite);
  EXPECT_EQ(canvas_.DrawCalls(), start + 4);
  EXPECT_EQ(canvas_.DrawLabel(2000, 0, "Roads: 12", kWhite), 2000 + width);
  EXPECT_EQ(canvas_.DrawLabel(-1000, 0, "Roads: 12", kWhite), -1000 + width);
  canvas_.DrawLabel(0, 768, "Roads: 12", kWhite);
  canvas_.DrawLabel(0, -15, "Roads: 12", kWhite);
  EXPECT_EQ(canvas_.DrawCalls(), start + 4);
}

TEST_F(CanvasTest, RotatedSpriteTurnsClockwiseScalesAndFades) {
  // Green with a red 2 x 2 block top-left and a magenta (key) block bottom-right.
  auto sprite = Sprite(8, 8, true, [](int x, int y) {
    return x < 2 && y < 2 ? kRed : x >= 6 && y >= 6 ? kMagenta : kGreen;
  });
  canvas_.SetSpriteKeyColor(sprite, kMagenta);
  auto rot = canvas_.CreateRotSprite(sprite);
  ASSERT_NE(rot, 0u);
  canvas_.ClearFrame(kBlue);
  canvas_.DrawRotSprite(rot, 100, 100, 255);  // angle 0: as drawn
  EXPECT_EQ(Count(kRed, 100, 100, 2, 2), 4);
  EXPECT_EQ(Count(kBlue, 106, 106, 2, 2), 4);

  canvas_.ClearFrame(kBlue);
  canvas_.SetRotSpriteAngle(rot, 90.0f);
  canvas_.DrawRotSprite(rot, 100, 100, 255);
  EXPECT_EQ(Count(kRed, 106, 100, 2, 2), 4);   // top-left went to top-right
  EXPECT_EQ(Count(kBlue, 100, 106, 2, 2), 4);  // bottom-right to bottom-left
  EXPECT_EQ(Count(kGreen, 100, 100, 8, 8), 56);

  canvas_.ClearFrame(kBlue);
  canvas_.SetRotSpriteAngle(rot, 270.0f);  // absolute, not added
  canvas_.DrawRotSprite(rot, 100, 100, 255);
  EXPECT_EQ(Count(kRed, 100, 106, 2, 2), 4);

  auto white = Sprite(4, 4, true, [](int, int) { return kWhite; });
  EXPECT_EQ(canvas_.CreateRotSprite(Sprite(4, 4, false, [](int, int) { return kWhite; })), 0u);
  auto quad = canvas_.CreateRotSprite(white);
  canvas_.SetRotSpriteSize(quad, 12, 12);
  canvas_.ClearFrame(kBlue);
  canvas_.DrawRotSprite(quad, 50, 60, 255);
  EXPECT_EQ(Count(kWhite, 40, 50, 32, 32), 144);
  EXPECT_EQ(Count(kWhite, 50, 60, 12, 12), 144);

  canvas_.DrawRotSprite(quad, 200, 60, 128);
  Color half = At(205, 65);
  EXPECT_NEAR(kv::ColorRed(half), 128, 2);
  EXPECT_NEAR(kv::ColorGreen(half), 128, 2);
  EXPECT_EQ(kv::ColorBlue(half), 255);
  canvas_.DrawSpriteKeyed(white, 300, 60);  // shares the texture, opaque again
  EXPECT_EQ(At(301, 61), kWhite);
}

TEST_F(CanvasTest, RectanglesAreFilledOrOutlined) {
  canvas_.ClearFrame(kBlue);
  canvas_.BeginOverlay();
  canvas_.DrawRect(10, 20, 5, 3, kRed);
  EXPECT_EQ(Count(kRed, 0, 0, 64, 64), 15);
  EXPECT_EQ(Count(kRed, 10, 20, 5, 3), 15);

  canvas_.SetOverlayMode(kv::Outline);
  canvas_.DrawRect(100, 100, 32, 32, kGreen);
  EXPECT_EQ(Count(kGreen, 90, 90, 60, 60), 4 * 32 - 4);
  EXPECT_EQ(Count(kBlue, 101, 101, 30, 30), 900);  // interior untouched
  EXPECT_EQ(At(131, 131), kGreen);
  canvas_.DrawRect(-1, 700, 1026, 10, kGreen);  // side edges lie outside
  EXPECT_EQ(Count(kGreen, 0, 700, 1024, 10), 2048);

  canvas_.BeginOverlay();  // each overlay starts filled again
  canvas_.DrawRect(300, 300, 4, 4, kWhite);
  EXPECT_EQ(Count(kWhite, 300, 300, 4, 4), 16);
  canvas_.DrawRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, kRed);  // reaches -2 only
  canvas_.DrawRect(-10, -10, 12, 12, kRed);
  EXPECT_EQ(Count(kRed, 0, 0, 3, 3), 4);
  canvas_.EndOverlay();
}

TEST_F(CanvasTest, LabelsPaintTextInItsColourOnBlack) {
  canvas_.ClearFrame(kBlue);
  canvas_.BeginOverlay();
  int end = canvas_.DrawLabel(10, 15, "Cursor TileMap: 12/34", kMagenta);
  const int width = end - 10;
  EXPECT_GT(width, 100);
  EXPECT_LT(width, 200);
  // Text pixels are the colour shaded by coverage, the rest of the box black,
  // and nothing outside rows 15..29: HUD rows 15 pixels apart do not overlap.
  EXPECT_GT(Count(kMagenta, 10, 15, width, 15), 20);
  EXPECT_GT(Count(kBlack, 10, 15, width, 15), width * 15 / 2);
  canvas_.ReadFrame(frame_);
  for (int y = 15; y < 30; ++y)
    for (int x = 10; x < end; ++x)
      ASSERT_TRUE(Raw(x, y)[0] == Raw(x, y)[2] && Raw(x, y)[1] == 0) << x << "," << y;
  EXPECT_EQ(Count(kBlue, 0, 0, 1024, 15) + Count(kBlue, 0, 30, 1024, 738), 1024 * 753);

  canvas_.SetOverlayMode(kv::TransparentText);
  EXPECT_EQ(canvas_.DrawLabel(10, 100, "Cursor TileMap: 12/34", kMagenta), end);
  EXPECT_EQ(Count(kBlack, 10, 100, width, 15), 0);
  EXPECT_GT(Count(kMagenta, 10, 100, width, 15), 20);

  // An umlaut is its own glyph: as wide as the plain letter, with more ink.
  int endO = canvas_.DrawLabel(300, 300, "O", kWhite);
  int endUmlaut = canvas_.DrawLabel(300, 330, "\xC3\x96", kWhite);
  EXPECT_EQ(endUmlaut, endO);
  EXPECT_GT(Count(kWhite, 300, 330, endO - 300, 15), Count(kWhite, 300, 300, endO - 300, 15));

  // Partly visible at the left edge: the tail shows.
  canvas_.DrawLabel(-width / 2, 200, "Cursor TileMap: 12/34", kWhite);
  EXPECT_GT(Count(kWhite, 0, 200, width / 2, 15), 5);

  EXPECT_EQ(canvas_.DrawLabel(40, 500, "", kWhite), 40);
  EXPECT_GT(canvas_.DrawLabel(40, 500, "a\xFF\xE2\x82", kWhite), 40);  // malformed UTF-8
  canvas_.EndOverlay();
}

TEST_F(CanvasTest, ZeroUnknownAndFailedHandlesAreIgnored) {
  kvtest::WriteBytes(dir_.File("broken.png"), {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0});
  for (std::string path : {"\\missing.png", "\\broken.png", ""})
    EXPECT_EQ(canvas_.LoadSpriteImage(dir_.path + path, true), 0u) << path;

  canvas_.ClearFrame(kBlue);
  const uint64_t start = canvas_.DrawCalls();
  for (uint32_t handle : {0u, 1u, 77u, 0xFFFFFFFFu}) {
    canvas_.SetSpriteKeyColor(handle, kRed);
    canvas_.DrawSprite(handle, 0, 0);
    canvas_.DrawSpriteKeyed(handle, 0, 0);
    EXPECT_EQ(canvas_.CreateRotSprite(handle), 0u);
    canvas_.SetRotSpriteSize(handle, 10, 10);
    canvas_.SetRotSpriteAngle(handle, 30.0f);
    canvas_.DrawRotSprite(handle, 0, 0, 255);
  }
  // A quad of no size or an impossible angle draws nothing.
  auto rot = canvas_.CreateRotSprite(Sprite(2, 2, true, [](int, int) { return kRed; }));
  canvas_.SetRotSpriteSize(rot, 0, -5);
  canvas_.DrawRotSprite(rot, 10, 10, 255);
  canvas_.SetRotSpriteSize(rot, 2, 2);
  canvas_.SetRotSpriteAngle(rot, std::nanf(""));
  canvas_.DrawRotSprite(rot, 10, 10, 255);
  EXPECT_EQ(canvas_.DrawCalls(), start + 1);
  EXPECT_EQ(Count(kRed, 0, 0, 1024, 768), 4);
}

// The counting canvas decides like the drawing one, so benchmarks measure
// the work a real frame would cause.
TEST_F(CanvasTest, CountOnlyCanvasCountsWhatTheSoftwareOneDraws) {
  kv::SdlCanvas counting(kv::SdlCanvas::kCountOnly);
  std::vector<int> ends;
  for (kv::SdlCanvas* c : {&canvas_, &counting}) {
    auto sprite = Sprite(32, 32, true, [](int, int) { return kGreen; }, c);
    auto rot = c->CreateRotSprite(sprite);
    ASSERT_NE(rot, 0u);
    c->ClearFrame(kBlack);
    for (int k = 0; k < 50; ++k) {
      c->DrawSprite(sprite, 64 * k - 100, 64 * k - 100);
      c->DrawSpriteKeyed(sprite, 1000, 30 * k);
      c->SetRotSpriteAngle(rot, 7.0f * k);
      c->DrawRotSprite(rot, 1000 + k, 740 + k, 255);
    }
    c->DrawRect(-50, -50, 40, 40, kRed);
    c->DrawRect(0, 703, 1024, 80, kBlack);
    ends.push_back(c->DrawLabel(700, 0, "Left-Click - Select and place / Stop car", kRed));
  }
  EXPECT_EQ(counting.DrawCalls(), canvas_.DrawCalls());
  EXPECT_EQ(ends[0], ends[1]);
  std::vector<uint8_t> nothing{1, 2, 3};
  counting.ReadFrame(nothing);
  EXPECT_TRUE(nothing.empty());
}

}  // namespace
