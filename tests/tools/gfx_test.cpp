// The image writers, and the images shipped in Gfx as the program loads them.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/image_decode.h"
#include "support/temp_files.h"

namespace kv {
namespace {

std::vector<uint8_t> Noise(size_t bytes) {  // incompressible, so that the file is large
  std::mt19937 rng(7);
  std::vector<uint8_t> v(bytes);
  for (uint8_t& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

TEST(ImageWriters, PngKeepsEveryPixelJpegComesCloseAndFailuresLeaveNoFile) {
  kvtest::TempDir dir;
  const std::vector<uint8_t> rgba = Noise(5 * 3 * 4);
  ASSERT_TRUE(WritePng(dir.File("a.png"), 5, 3, rgba.data(), true));
  auto a = DecodeImageFile(dir.File("a.png"));
  ASSERT_TRUE(a);
  EXPECT_EQ(std::pair(a->width, a->height), std::pair(5, 3));
  EXPECT_EQ(a->pixels, rgba);
  std::vector<uint8_t> rgb, opaque = rgba;
  for (size_t i = 0; i < rgba.size(); i += 4) rgb.insert(rgb.end(), &rgba[i], &rgba[i] + 3), opaque[i + 3] = 255;
  ASSERT_TRUE(WritePng(dir.File("b.png"), 5, 3, rgb.data(), false));
  EXPECT_EQ(DecodeImageFile(dir.File("b.png"))->pixels, opaque);

  std::vector<uint8_t> smooth(24 * 16 * 3);
  for (size_t i = 0; i < smooth.size(); ++i) smooth[i] = static_cast<uint8_t>(i % 3 == 2 ? 90 : i / 8);
  ASSERT_TRUE(WriteJpeg(dir.File("g.jpg"), 24, 16, smooth.data(), 95));
  auto g = DecodeImageFile(dir.File("g.jpg"));
  ASSERT_TRUE(g);
  long diff = 0;
  for (size_t i = 0; i < smooth.size(); ++i) diff += std::abs(g->pixels[i / 3 * 4 + i % 3] - smooth[i]);
  EXPECT_LT(diff / static_cast<long>(smooth.size()), 4);

  const std::vector<uint8_t> noise = Noise(256 * 256 * 4);
  EXPECT_FALSE(WritePng(dir.File("no/dir/x.png"), 16, 16, noise.data(), true));
  EXPECT_FALSE(WritePng(dir.File("null.png"), 16, 16, nullptr, false));
  EXPECT_FALSE(WritePng(dir.File("empty.png"), 0, 16, noise.data(), false));
  EXPECT_FALSE(WriteJpeg(dir.File("q.jpg"), 16, 16, noise.data(), 0));
  EXPECT_FALSE(kvtest::WithFileSizeLimit(1000, [&] {  // a disk that fills up midway
    return WritePng(dir.File("full.png"), 256, 256, noise.data(), true) ||
           WriteJpeg(dir.File("full.jpg"), 256, 256, noise.data(), 100);
  }));
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.png", "b.png", "g.jpg"}));
}

TEST(ShippedGraphics, EveryImageHasItsSizeAndKeyedOnesKeyCorners) {
  std::vector<std::pair<std::string, int>> images = {{"gras.jpg", 64}, {"Target.png", 16}};
  for (int i = 1; i <= 11; ++i) images.emplace_back("road" + std::to_string(i) + ".png", 32);
  for (int i = 1; i <= 17; ++i) images.emplace_back("car" + std::to_string(i) + ".png", 16);
  for (int i = 1; i <= 4; ++i) images.emplace_back("emitter" + std::to_string(i) + ".png", 32);
  for (const char* n : {"sign1.png", "sign2.png", "light1.png", "light2.png"}) images.emplace_back(n, 32);
  for (const auto& [name, side] : images) {
    auto img = DecodeImageFile(std::string(KV_SOURCE_DIR) + "/Gfx/" + name);
    ASSERT_TRUE(img) << name;
    EXPECT_EQ(std::pair(img->width, img->height), std::pair(side, side)) << name;
    auto key = [&](int x, int y) {
      const uint8_t* p = &img->pixels[(static_cast<size_t>(y) * img->width + x) * 4];
      return p[0] == 255 && p[1] == 0 && p[2] == 255;
    };
    const bool keyed = name.rfind("road", 0) != 0 && name != "gras.jpg";
    const int m = side - 1;
    EXPECT_EQ(key(0, 0) && key(m, 0) && key(0, m) && key(m, m), keyed) << name;
    EXPECT_FALSE(key(side / 2, side / 2)) << name;
  }
}

}  // namespace
}  // namespace kv
