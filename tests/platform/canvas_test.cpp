// The drawing backend on its own software screen: key colour, clipping, and
// what never reaches the renderer. The scene drawn through it is the
// renderer's tests' business.
#include <gtest/gtest.h>

#include <climits>

#include "platform/draw/sdl_canvas.h"
#include "support/builders.h"

namespace kv {
namespace {

constexpr Color kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255), kMagenta = RGB(255, 0, 255);

class CanvasTest : public ::testing::Test {
 protected:
  template <typename Paint>
  SpriteHandle Sprite(int size, bool rotatable, Paint paint, SdlCanvas* target = nullptr, uint8_t alpha = 255) {
    return test::PaintedSprite(target ? *target : canvas_, dir_, size, rotatable, paint, alpha);
  }
  // Pixels of colour c inside a rectangle.
  int Count(Color c, int x0, int y0, int width = 1, int height = 1) {
    canvas_.ReadFrame(frame_);
    int n = 0;
    for (int k = 0; k < width * height; ++k) {
      const uint8_t* p = &frame_[(size_t{kCanvasWidth} * (y0 + k / width) + x0 + k % width) * 3];
      n += RGB(p[0], p[1], p[2]) == c;
    }
    return n;
  }

  kvtest::TempDir dir_;
  SdlCanvas canvas_{SdlCanvas::kSoftware};
  std::vector<uint8_t> frame_;
};

TEST_F(CanvasTest, KeyColourIsLeftOutOnlyByKeyedDrawing) {
  auto sprite = Sprite(4, false, [](int x, int y) { return x == y ? kMagenta : kRed; });
  ASSERT_NE(sprite, 0u);
  canvas_.ClearFrame(kBlue);
  canvas_.DrawSpriteKeyed(sprite, 0, 0);  // no key colour set yet
  EXPECT_EQ(Count(kMagenta, 0, 0, 4, 4), 4);
  canvas_.SetSpriteKeyColor(sprite, kMagenta);
  canvas_.DrawSprite(sprite, 10, 10);
  canvas_.DrawSpriteKeyed(sprite, 20, 10);
  EXPECT_EQ(Count(kMagenta, 10, 10, 4, 4), 4);
  EXPECT_EQ(Count(kBlue, 20, 10, 4, 4), 4);
  EXPECT_EQ(Count(kBlue, 8, 8, 20, 8), 160 - 28);  // nothing beyond the sprites
  canvas_.SetSpriteKeyColor(sprite, kRed);         // replaces the old key
  canvas_.DrawSpriteKeyed(sprite, 40, 10);
  EXPECT_EQ(Count(kBlue, 40, 10, 4, 4), 12);
  // The image's own alpha makes no holes.
  canvas_.DrawSpriteKeyed(Sprite(1, false, [](int, int) { return kGreen; }, nullptr, 0), 6, 5);
  EXPECT_EQ(Count(kGreen, 6, 5), 1);
}

// Benchmarks measure with the counting canvas, so it must decide like the drawing one.
TEST_F(CanvasTest, OffScreenAndInvalidDrawingNeverReachesTheRendererNorTheCount) {
  SdlCanvas counting(SdlCanvas::kCountOnly);
  std::vector<int64_t> seen;  // label ends and calls, per canvas
  for (SdlCanvas* c : {&canvas_, &counting}) {
    auto sprite = Sprite(4, true, [](int x, int y) { return x == 3 && y == 3 ? kGreen : kRed; }, c);
    c->ClearFrame(kBlue);
    const uint64_t start = c->DrawCalls();
    for (auto [x, y] : {std::pair{-4, 0}, {0, 768}, {INT_MAX, INT_MAX}, {INT_MIN, 5}}) {
      c->DrawSprite(sprite, x, y);
      c->DrawRect(x, y, 4, 4, kRed);
    }
    c->DrawRect(5, 5, -3, 10, kRed);
    for (uint32_t handle : {0u, 77u}) {
      c->DrawSprite(handle, 0, 0);
      EXPECT_EQ(c->CreateRotSprite(handle), 0u);
      c->DrawRotSprite(handle, 0, 0, 255);
    }
    EXPECT_EQ(c->CreateRotSprite(Sprite(2, false, [](int, int) { return kRed; }, c)), 0u);
    EXPECT_EQ(c->LoadSpriteImage(dir_.File("missing.png"), true), 0u);
    // Turned quads are judged by their bounding box: a 20 x 20 quad at
    // x = -21 is outside, but turned 45 degrees its corner reaches in.
    auto rot = c->CreateRotSprite(sprite);
    c->SetRotSpriteSize(rot, 20, 20);
    c->DrawRotSprite(rot, -21, 100, 255);
    EXPECT_EQ(c->DrawCalls(), start);
    c->SetRotSpriteAngle(rot, 45.0f);
    c->DrawRotSprite(rot, -21, 100, 255);
    c->DrawSprite(sprite, -3, -3);  // one pixel in: drawn, clipped
    EXPECT_EQ(c->DrawCalls(), start + 2);
    c->BeginOverlay();
    c->DrawRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, kRed);  // ends at -2
    seen.push_back(c->DrawLabel(700, 0, "Left-Click - Select and place / Stop car", kRed));
    seen.push_back(c->DrawLabel(300, 900, "\xC3\x96", kRed));  // off screen: measured only
    seen.push_back(static_cast<int64_t>(c->DrawCalls()));
  }
  EXPECT_EQ(Count(kRed, 0, 110), 1);
  EXPECT_EQ(Count(kGreen, 0, 0), 1);
  EXPECT_EQ(Count(kBlue, 1, 0), 1);
  EXPECT_EQ(std::vector(seen.begin(), seen.begin() + 3), std::vector(seen.begin() + 3, seen.end()));
  EXPECT_GT(seen[1], 300);
  std::vector<uint8_t> nothing{1, 2, 3};
  counting.ReadFrame(nothing);
  EXPECT_TRUE(nothing.empty());
}

// Shrunk sprites are filtered: one-pixel squares of red and blue become
// purple, not one of the two, and a key-coloured pixel lets the ground show
// through in part. Grown ones keep sharp pixels.
TEST_F(CanvasTest, ScaledSpritesAreFilteredWhenShrunkAndSharpWhenGrown) {
  auto checker = Sprite(4, true, [](int x, int y) { return (x + y) % 2 ? kRed : kBlue; });
  auto holed = Sprite(2, false, [](int x, int y) { return x + y == 0 ? kMagenta : kRed; });
  canvas_.SetSpriteKeyColor(holed, kMagenta);
  canvas_.ClearFrame(kGreen);
  canvas_.DrawSpriteScaled(checker, 0, 0, 0.5f, false);
  canvas_.DrawRotSpriteScaled(canvas_.CreateRotSprite(checker), 20, 0, 0.5f, 255);
  canvas_.DrawSpriteScaled(checker, 10, 0, 2.0f, false);
  canvas_.DrawSpriteScaled(holed, 30, 0, 0.5f, true);
  EXPECT_EQ(Count(RGB(128, 0, 128), 0, 0, 3, 3) + Count(RGB(128, 0, 128), 20, 0, 3, 3), 8);
  EXPECT_EQ(Count(kBlue, 10, 0, 2, 2) + Count(kRed, 12, 0, 2, 2) + Count(kRed, 10, 2, 2, 2), 12);
  EXPECT_EQ(Count(kGreen, 10, 8, 8, 1) + Count(kGreen, 18, 0, 1, 8), 16) << "8 x 8";
  EXPECT_NEAR(frame_[30 * 3], 191, 2);
  EXPECT_NEAR(frame_[30 * 3 + 1], 64, 2);
}

}  // namespace
}  // namespace kv
