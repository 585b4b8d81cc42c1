// The program started beside a damaged Gfx directory: files missing, cut
// off, filled with garbage, empty, or not files at all. It runs and draws
// the images it could load; the others are simply not drawn.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "editor/placing.h"
#include "editor/roads.h"
#include "platform/headless_platform.h"
#include "platform/image_decode.h"
#include "support/frame_driver.h"
#include "support/temp_files.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using kvtest::Bytes;
using kvtest::ReadBytes;
using kvtest::TempDir;
using kvtest::WriteBytes;

constexpr Color kBlack = RGB(0, 0, 0);

// A copy of the program's graphics in a scratch directory that becomes the
// working directory for as long as it lives.
class GfxCopy {
 public:
  GfxCopy() {
    fs::copy(fs::path(KV_SOURCE_DIR) / "Gfx", Path("Gfx"));
    old_ = fs::current_path();
    fs::current_path(dir_.path);
  }
  ~GfxCopy() { fs::current_path(old_); }

  std::string Path(const std::string& name) const { return dir_.File(name); }
  void Remove(const std::string& name) { fs::remove(Path("Gfx/" + name)); }
  void Truncate(const std::string& name, size_t keep) {
    Bytes bytes = ReadBytes(Path("Gfx/" + name));
    bytes.resize(std::min(keep, bytes.size()));
    WriteBytes(Path("Gfx/" + name), bytes);
  }
  void Garble(const std::string& name, size_t from) {
    Bytes bytes = ReadBytes(Path("Gfx/" + name));
    for (size_t i = from; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
    WriteBytes(Path("Gfx/" + name), bytes);
  }

 private:
  TempDir dir_;
  fs::path old_;
};

// Colour of pixel (x, y) of an image file of the source tree's Gfx.
Color ImagePixel(const std::string& name, int x, int y) {
  auto image = DecodeImageFile(std::string(KV_SOURCE_DIR) + "/Gfx/" + name);
  if (!image) return 0xFFFFFFFF;
  const uint8_t* p = &image->pixels[(static_cast<size_t>(y) * image->width + x) * 4];
  return RGB(p[0], p[1], p[2]);
}

// The game on a rasterising platform, a frame at a time, with the pointer
// resting over the toolbar so that no cursor box covers the map.
struct RasterGame {
  RasterGame() {
    p.SetNow(testing::FrameDriver::kStartMs);
    game.OpenWindow();
    game.LoadSprites();
    p.SetPointer(900, 740);
  }
  void Frames(int n) {
    for (int i = 0; i < n; ++i) {
      p.AdvanceMs(testing::FrameDriver::kFrameMs);
      ASSERT_TRUE(game.Frame());
    }
  }
  HeadlessPlatform p{DrawMode::Rasterise};
  Game game{p};
  World& w = game.world();
};

TEST(DamagedGraphics, MissingAndBrokenImagesAreLeftOutAndTheRestIsDrawn) {
  GfxCopy gfx;
  gfx.Remove("gras.jpg");
  gfx.Truncate("road1.png", 300);           // cut off inside the pixel data
  gfx.Garble("road2.png", 40);              // a good header, then garbage
  gfx.Truncate("car1.png", 0);              // empty
  gfx.Remove("car2.png");
  fs::create_directory(gfx.Path("Gfx/car2.png"));  // not a file at all
  gfx.Garble("sign1.png", 0);               // not an image
  gfx.Truncate("emitter1.png", 8);          // the signature alone
  gfx.Garble("light2.png", 100);
  gfx.Truncate("Target.png", 60);

  RasterGame g;
  World& w = g.w;
  EXPECT_EQ(w.GrassSprite, 0u);
  EXPECT_EQ(w.RoadSprites[1], 0u);
  EXPECT_EQ(w.RoadSprites[2], 0u);
  EXPECT_EQ(w.CarImages[1], 0u);
  EXPECT_EQ(w.CarSprites[1], 0u);
  EXPECT_EQ(w.CarSprites[2], 0u);
  EXPECT_EQ(w.LightIcons[1], 0u);
  EXPECT_EQ(w.LightSprites[1], 0u);
  EXPECT_EQ(w.LightSprites[4], 0u);
  EXPECT_EQ(w.EmitterSprites[1], 0u);
  EXPECT_EQ(w.TargetSprite, 0u);
  for (int i = 3; i <= 11; ++i) EXPECT_NE(w.RoadSprites[i], 0u) << "road" << i;
  for (int i = 3; i <= 17; ++i) EXPECT_NE(w.CarSprites[i], 0u) << "car" << i;
  EXPECT_NE(w.EmitterSprites[2], 0u);
  EXPECT_NE(w.LightSprites[3], 0u);

  // Isolated tiles keep their types: one whose image is missing, one whose
  // image loaded. An emitter, signs, lights and cars of every kind, with
  // their images or without, drive and switch for a while.
  AddRoad(w, 4, 8, 1);
  AddRoad(w, 8, 8, 3);
  for (int x = 12; x <= 20; ++x) AddRoad(w, x, 10, 1);
  AddEmitter(w, 12, 10, 6, 40, 21);
  AddEmitter(w, 16, 10, 2, 0, 0);
  for (int kind = 1; kind <= 4; ++kind) AddTrafficLight(w, g.p, 30 + kind, 30, kind);
  for (int color = 1; color <= 4; ++color) {
    Car& car = testing::AddParkedCar(w, w.EmitterList.CurrentShared(), 16.0f * (30 + color), 500.0f);
    car.Sprite = w.CarSprites[static_cast<size_t>(color)];
  }
  g.Frames(200);
  ASSERT_GT(g.p.PresentCount(), 0);

  // No grass: the map is black where nothing lies, and the road whose image
  // is missing is not drawn; the one with its image is.
  EXPECT_EQ(g.p.PixelAt(300, 600), kBlack);
  EXPECT_EQ(g.p.PixelAt(4 * 32 + 16, 8 * 32 + 16), kBlack);
  for (auto [x, y] : {std::pair{1, 1}, {16, 16}, {30, 12}})
    EXPECT_EQ(g.p.PixelAt(8 * 32 + x, 8 * 32 + y), ImagePixel("road3.png", x, y)) << x << "," << y;
}

TEST(DamagedGraphics, GrassIsDrawnWhereItsImageLoaded) {
  GfxCopy gfx;
  for (int i = 1; i <= 11; ++i) gfx.Remove("road" + std::to_string(i) + ".png");
  gfx.Truncate("car5.png", 100);

  RasterGame g;
  World& w = g.w;
  ASSERT_NE(w.GrassSprite, 0u);
  AddRoad(w, 4, 8, 1);  // drawn with no image: the grass shows through
  g.Frames(3);
  // Grass every 64 pixels from the map's corner at the view offset (0, 0).
  for (auto [x, y] : {std::pair{300, 600}, {4 * 32 + 16, 8 * 32 + 16}, {64 * 7 + 5, 64 * 3 + 60}})
    EXPECT_EQ(g.p.PixelAt(x, y), ImagePixel("gras.jpg", x % 64, y % 64)) << x << "," << y;
}

}  // namespace
}  // namespace kv
