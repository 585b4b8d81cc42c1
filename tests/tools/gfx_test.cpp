// The image writers, and the images shipped in Gfx as the program loads them.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/image_decode.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

class ImageWriters : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kv_gfx_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Incompressible content, so that the encoded file is large.
  static std::vector<uint8_t> Noise(size_t bytes) {
    std::mt19937 rng(7);
    std::vector<uint8_t> v(bytes);
    for (uint8_t& b : v) b = static_cast<uint8_t>(rng());
    return v;
  }

  fs::path dir_;
};

TEST_F(ImageWriters, PngKeepsEveryPixelWithAndWithoutAlpha) {
  const int w = 5, h = 3;
  std::vector<uint8_t> rgba = Noise(w * h * 4);
  std::vector<uint8_t> rgb;
  for (size_t i = 0; i < rgba.size(); i += 4) rgb.insert(rgb.end(), &rgba[i], &rgba[i] + 3);

  ASSERT_TRUE(WritePng(Path("a.png"), w, h, rgba.data(), true));
  auto a = DecodeImageFile(Path("a.png"));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->width, w);
  EXPECT_EQ(a->height, h);
  EXPECT_EQ(a->pixels, rgba);

  ASSERT_TRUE(WritePng(Path("b.png"), w, h, rgb.data(), false));
  auto b = DecodeImageFile(Path("b.png"));
  ASSERT_TRUE(b);
  ASSERT_EQ(b->pixels.size(), rgba.size());
  for (size_t i = 0; i < rgb.size() / 3; ++i) {
    EXPECT_EQ(b->pixels[4 * i], rgb[3 * i]);
    EXPECT_EQ(b->pixels[4 * i + 1], rgb[3 * i + 1]);
    EXPECT_EQ(b->pixels[4 * i + 2], rgb[3 * i + 2]);
    EXPECT_EQ(b->pixels[4 * i + 3], 255) << "an RGB image is opaque";
  }
}

TEST_F(ImageWriters, JpegRoundTripIsClose) {
  const int w = 24, h = 16;
  std::vector<uint8_t> rgb(w * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(y * w + x) * 3];
      p[0] = static_cast<uint8_t>(10 * x);
      p[1] = static_cast<uint8_t>(200 - 8 * y);
      p[2] = 90;
    }
  ASSERT_TRUE(WriteJpeg(Path("g.jpg"), w, h, rgb.data(), 95));
  auto img = DecodeImageFile(Path("g.jpg"));
  ASSERT_TRUE(img);
  ASSERT_EQ(img->width, w);
  ASSERT_EQ(img->height, h);
  long diff = 0;
  for (int i = 0; i < w * h; ++i)
    for (int c = 0; c < 3; ++c) diff += std::abs(img->pixels[i * 4 + c] - rgb[i * 3 + c]);
  EXPECT_LT(diff / (w * h * 3), 4);
}

TEST_F(ImageWriters, FailuresReturnFalseAndLeaveNoFile) {
  std::vector<uint8_t> px(16 * 16 * 4, 100);
  const std::string missingDir = Path("no/such/dir/x.png");
  EXPECT_FALSE(WritePng(missingDir, 16, 16, px.data(), true));
  EXPECT_FALSE(WriteJpeg(Path("no/such/dir/x.jpg"), 16, 16, px.data(), 90));
  EXPECT_FALSE(fs::exists(missingDir));

  EXPECT_FALSE(WritePng(Path("null.png"), 16, 16, nullptr, false));
  EXPECT_FALSE(WritePng(Path("empty.png"), 0, 16, px.data(), false));
  EXPECT_FALSE(WriteJpeg(Path("q.jpg"), 16, 16, px.data(), 0));
  EXPECT_FALSE(fs::exists(Path("null.png")));
  EXPECT_FALSE(fs::exists(Path("empty.png")));
  EXPECT_FALSE(fs::exists(Path("q.jpg")));

  // A disk that fills up in the middle of the file: the partial file goes.
  const int side = 256;
  const std::vector<uint8_t> noise = Noise(side * side * 4);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool png = WritePng(Path("full.png"), side, side, noise.data(), true);
  const bool jpg = WriteJpeg(Path("full.jpg"), side, side, noise.data(), 100);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(png);
  EXPECT_FALSE(jpg);
  EXPECT_FALSE(fs::exists(Path("full.png")));
  EXPECT_FALSE(fs::exists(Path("full.jpg")));
}

// ---- The shipped images.

RgbaImage Load(const std::string& name) {
  auto img = DecodeImageFile(std::string(KV_SOURCE_DIR) + "/Gfx/" + name);
  EXPECT_TRUE(img) << name;
  return img ? *img : RgbaImage{};
}

const uint8_t* Px(const RgbaImage& img, int x, int y) { return &img.pixels[(y * img.width + x) * 4]; }
bool IsKey(const RgbaImage& img, int x, int y) {
  const uint8_t* p = Px(img, x, y);
  return p[0] == 255 && p[1] == 0 && p[2] == 255;
}
int Luma(const RgbaImage& img, int x, int y) {
  const uint8_t* p = Px(img, x, y);
  return (3 * p[0] + 6 * p[1] + p[2]) / 10;
}

TEST(ShippedGraphics, EveryImageHasItsSize) {
  std::map<std::string, int> sides = {{"gras.jpg", 64}, {"Target.png", 16}};
  for (int i = 1; i <= 11; ++i) sides["road" + std::to_string(i) + ".png"] = 32;
  for (int i = 1; i <= 17; ++i) sides["car" + std::to_string(i) + ".png"] = 16;
  for (int i = 1; i <= 4; ++i) sides["emitter" + std::to_string(i) + ".png"] = 32;
  for (const char* n : {"sign1.png", "sign2.png", "light1.png", "light2.png"}) sides[n] = 32;
  ASSERT_EQ(sides.size(), 38u);
  for (const auto& [name, side] : sides) {
    const RgbaImage img = Load(name);
    EXPECT_EQ(img.width, side) << name;
    EXPECT_EQ(img.height, side) << name;
  }
}

TEST(ShippedGraphics, KeyedSpritesHaveKeyCornersAndCarsNoMagentaBody) {
  std::vector<std::string> keyed = {"Target.png", "sign1.png", "sign2.png", "light1.png",
                                    "light2.png"};
  for (int i = 1; i <= 4; ++i) keyed.push_back("emitter" + std::to_string(i) + ".png");
  for (int i = 1; i <= 17; ++i) keyed.push_back("car" + std::to_string(i) + ".png");
  for (const std::string& name : keyed) {
    const RgbaImage img = Load(name);
    if (img.width == 0) continue;
    const int m = img.width - 1;
    EXPECT_TRUE(IsKey(img, 0, 0) && IsKey(img, m, 0) && IsKey(img, 0, m) && IsKey(img, m, m)) << name;
    EXPECT_FALSE(IsKey(img, img.width / 2, img.height / 2)) << name;
  }
  // A car fills about 14 x 10 pixels of its cell, with rows above and below left free.
  std::vector<std::array<int, 3>> bodies;
  for (int i = 1; i <= 17; ++i) {
    const RgbaImage car = Load("car" + std::to_string(i) + ".png");
    if (car.width == 0) continue;
    int opaque = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) opaque += !IsKey(car, x, y);
    EXPECT_GT(opaque, 120) << i;
    EXPECT_LT(opaque, 150) << i;
    for (int x = 0; x < 16; ++x) EXPECT_TRUE(IsKey(car, x, 1) && IsKey(car, x, 14)) << i;
    const uint8_t* bonnet = Px(car, 12, 8);
    bodies.push_back({bonnet[0], bonnet[1], bonnet[2]});
  }
  // Every car colour is told apart from every other.
  for (size_t a = 0; a < bodies.size(); ++a)
    for (size_t b = a + 1; b < bodies.size(); ++b) {
      int d = 0;
      for (int c = 0; c < 3; ++c) d += std::abs(bodies[a][c] - bodies[b][c]);
      EXPECT_GT(d, 40) << "car " << a + 1 << " and car " << b + 1;
    }
}

TEST(ShippedGraphics, GrassTilesSeamlessly) {
  const RgbaImage g = Load("gras.jpg");
  ASSERT_EQ(g.width, 64);
  // Across the wrap the texture must not change more than between neighbours inside.
  double wrapX = 0, wrapY = 0, inside = 0;
  for (int i = 0; i < 64; ++i) {
    wrapX += std::abs(Luma(g, 0, i) - Luma(g, 63, i));
    wrapY += std::abs(Luma(g, i, 0) - Luma(g, i, 63));
    inside += std::abs(Luma(g, 31, i) - Luma(g, 32, i)) + std::abs(Luma(g, i, 31) - Luma(g, i, 32));
  }
  inside /= 2;
  EXPECT_LT(wrapX, 1.5 * inside + 64);
  EXPECT_LT(wrapY, 1.5 * inside + 64);
  const uint8_t* p = Px(g, 10, 10);
  EXPECT_GT(p[1], p[0]);
  EXPECT_GT(p[1], p[2]) << "grass is green";
}

TEST(ShippedGraphics, RoadTilesAreOpaqueAndMeetTheirNeighbours) {
  enum { N = 1, E = 2, S = 4, W = 8 };
  const int arms[12] = {0, W | E, N | S, E | S, W | S, N | E, N | W, N | W | E | S, W | E | S, N | E | S,
                        N | W | E, N | W | S};
  std::vector<RgbaImage> road(12);
  for (int t = 1; t <= 11; ++t) {
    road[t] = Load("road" + std::to_string(t) + ".png");
    ASSERT_EQ(road[t].width, 32);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        EXPECT_EQ(Px(road[t], x, y)[3], 255);
        ASSERT_FALSE(IsKey(road[t], x, y)) << "road" << t;
      }
  }
  // Kerbs, edge lines and grass line up wherever two arms meet; the dashed
  // centre line may begin or end at a border, so its two rows are left out.
  auto centre = [](int i) { return i == 15 || i == 16; };
  for (int a = 1; a <= 11; ++a) {
    for (int b = 1; b <= 11; ++b) {
      for (int i = 0; i < 32; ++i) {
        if (centre(i)) continue;
        if ((arms[a] & E) && (arms[b] & W)) {
          EXPECT_LT(std::abs(Luma(road[a], 31, i) - Luma(road[b], 0, i)), 50)
              << "road" << a << " west of road" << b << ", row " << i;
        }
        if ((arms[a] & S) && (arms[b] & N)) {
          EXPECT_LT(std::abs(Luma(road[a], i, 31) - Luma(road[b], i, 0)), 50)
              << "road" << a << " north of road" << b << ", column " << i;
        }
      }
    }
  }
}

TEST(ShippedGraphics, LightsShowTheirLampLit) {
  auto count = [](const RgbaImage& img, bool red) {
    int n = 0;
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x) {
        const uint8_t* p = Px(img, x, y);
        n += red ? (p[0] > 200 && p[1] < 100 && p[2] < 100) : (p[1] > 200 && p[0] < 150 && p[2] < 150);
      }
    return n;
  };
  const RgbaImage green = Load("light1.png"), red = Load("light2.png");
  EXPECT_GT(count(green, false), 40);
  EXPECT_EQ(count(green, true), 0);
  EXPECT_GT(count(red, true), 40);
  EXPECT_EQ(count(red, false), 0);
}

}  // namespace
}  // namespace kv
