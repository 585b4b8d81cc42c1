// The drawing backend on its own software screen: key colour, clipping, and
// what never reaches the renderer. What the scene looks like drawn through
// it is checked by the renderer's tests.
#include <gtest/gtest.h>

#include <climits>

#include "platform/image_samples.h"
#include "platform/sdl_canvas.h"

namespace {

using kv::Color;
using kv::RGB;

constexpr Color kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255), kMagenta = RGB(255, 0, 255);

class CanvasTest : public ::testing::Test {
 protected:
  // A square image painted by paint(x, y), loaded through a path with a backslash.
  template <typename Paint>
  kv::SpriteHandle Sprite(int size, bool rotatable, Paint paint, kv::SdlCanvas* target = nullptr) {
    kvtest::Bytes rgba;
    for (int k = 0; k < size * size; ++k) {
      const Color c = paint(k % size, k / size);
      rgba.insert(rgba.end(), {uint8_t(kv::ColorRed(c)), uint8_t(kv::ColorGreen(c)), uint8_t(kv::ColorBlue(c)), 255});
    }
    const std::string name = "s" + std::to_string(++files_) + ".png";
    kvtest::WriteBytes(dir_.File(name), kvtest::EncodeRgbaPng(size, size, rgba));
    return (target ? target : &canvas_)->LoadSpriteImage(dir_.path + "\\" + name, rotatable);
  }
  // Pixels of colour c inside a rectangle.
  int Count(Color c, int x0, int y0, int width = 1, int height = 1) {
    canvas_.ReadFrame(frame_);
    int n = 0;
    for (int y = y0; y < y0 + height; ++y)
      for (int x = x0; x < x0 + width; ++x) {
        const uint8_t* p = &frame_[(static_cast<size_t>(y) * kv::kCanvasWidth + x) * 3];
        n += RGB(p[0], p[1], p[2]) == c;
      }
    return n;
  }

  kvtest::TempDir dir_;
  int files_ = 0;
  kv::SdlCanvas canvas_{kv::SdlCanvas::kSoftware};
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
  kvtest::WriteBytes(dir_.File("alpha.png"), kvtest::EncodeRgbaPng(1, 1, {0, 255, 0, 0}));
  canvas_.DrawSpriteKeyed(canvas_.LoadSpriteImage(dir_.File("alpha.png"), false), 6, 5);
  EXPECT_EQ(Count(kGreen, 6, 5), 1);
}

TEST_F(CanvasTest, OffScreenAndInvalidDrawingNeverReachesTheRenderer) {
  auto sprite = Sprite(4, true, [](int x, int y) { return x == 3 && y == 3 ? kGreen : kRed; });
  canvas_.ClearFrame(kBlue);
  const uint64_t start = canvas_.DrawCalls();
  for (auto [x, y] : {std::pair{-4, 0}, {0, 768}, {INT_MAX, INT_MAX}, {INT_MIN, 5}}) {
    canvas_.DrawSprite(sprite, x, y);
    canvas_.DrawRect(x, y, 4, 4, kRed);
  }
  canvas_.DrawRect(5, 5, -3, 10, kRed);
  for (uint32_t handle : {0u, 77u}) {
    canvas_.DrawSprite(handle, 0, 0);
    EXPECT_EQ(canvas_.CreateRotSprite(handle), 0u);
    canvas_.DrawRotSprite(handle, 0, 0, 255);
  }
  EXPECT_EQ(canvas_.CreateRotSprite(Sprite(2, false, [](int, int) { return kRed; })), 0u);
  EXPECT_EQ(canvas_.LoadSpriteImage(dir_.path + "\\missing.png", true), 0u);
  // Turned quads are judged by their bounding box: a 20 x 20 quad at
  // x = -21 is outside, but turned 45 degrees its corner reaches in.
  auto rot = canvas_.CreateRotSprite(sprite);
  canvas_.SetRotSpriteSize(rot, 20, 20);
  canvas_.DrawRotSprite(rot, -21, 100, 255);
  EXPECT_EQ(canvas_.DrawCalls(), start);
  canvas_.SetRotSpriteAngle(rot, 45.0f);
  canvas_.DrawRotSprite(rot, -21, 100, 255);
  canvas_.DrawSprite(sprite, -3, -3);  // one pixel in: drawn, clipped
  EXPECT_EQ(canvas_.DrawCalls(), start + 2);
  EXPECT_EQ(Count(kRed, 0, 110), 1);
  EXPECT_EQ(Count(kGreen, 0, 0), 1);
  EXPECT_EQ(Count(kBlue, 1, 0), 1);
  canvas_.BeginOverlay();
  canvas_.DrawRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, kRed);  // ends at -2
  EXPECT_EQ(Count(kGreen, 0, 0), 1);
}

// Benchmarks measure with the counting canvas, so it must decide like the drawing one.
TEST_F(CanvasTest, CountOnlyCanvasCountsWhatTheSoftwareOneDraws) {
  kv::SdlCanvas counting(kv::SdlCanvas::kCountOnly);
  std::vector<int> ends;
  for (kv::SdlCanvas* c : {&canvas_, &counting}) {
    auto sprite = Sprite(32, true, [](int, int) { return kGreen; }, c);
    auto rot = c->CreateRotSprite(sprite);
    for (int k = 0; k < 50; ++k) {
      c->DrawSprite(sprite, 64 * k - 100, 64 * k - 100);
      c->SetRotSpriteAngle(rot, 7.0f * k);
      c->DrawRotSprite(rot, 1000 + k, 740 + k, 255);
      c->DrawRect(-50 + k, -50, 40, 40, kRed);
    }
    ends.push_back(c->DrawLabel(700, 0, "Left-Click - Select and place / Stop car", kRed));
    ends.push_back(c->DrawLabel(300, 900, "\xC3\x96", kRed));  // off screen: measured only
  }
  EXPECT_EQ(counting.DrawCalls(), canvas_.DrawCalls());
  EXPECT_EQ(ends[0], ends[2]);
  EXPECT_EQ(ends[1], ends[3]);
  EXPECT_GT(ends[1], 300);
  std::vector<uint8_t> nothing{1, 2, 3};
  counting.ReadFrame(nothing);
  EXPECT_TRUE(nothing.empty());
}

}  // namespace
