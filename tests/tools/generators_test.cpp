// make-gfx and make-icon as a developer regenerating Gfx and data/icons runs
// them: the committed files must be exactly their output (else stale images
// are shipped), and the images must be what the program assumes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/draw/image_decode.h"
#include "support/temp_files.h"

namespace kv {
namespace {

int Tool(const std::string& tool, const std::string& args) {
  const int raw = std::system(("'" KV_BINARY_DIR "/" + tool + "' " + args + " 2>/dev/null").c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Drawing and culling assume these sizes; keyed images are keyed at the corners.
TEST(Gfx, MakeGfxDrawsTheCommittedGfxWithTheirSizesAndKeys) {
  kvtest::TempDir dir;
  ASSERT_EQ(Tool("make-gfx", "'" + dir.path + "'"), 0);
  std::vector<std::pair<std::string, int>> images = {{"gras.jpg", 64}, {"Target.png", 16}};
  for (int i = 1; i <= 11; ++i) images.emplace_back("road" + std::to_string(i) + ".png", 32);
  for (int i = 1; i <= 17; ++i) images.emplace_back("car" + std::to_string(i) + ".png", 16);
  for (int i = 1; i <= 4; ++i) images.emplace_back("emitter" + std::to_string(i) + ".png", 32);
  for (const char* n : {"sign1.png", "sign2.png", "light1.png", "light2.png"}) images.emplace_back(n, 32);
  std::vector<std::string> names;
  for (const auto& [name, side] : images) {
    names.push_back(name);
    EXPECT_TRUE(kvtest::ReadBytes(dir.File(name)) == kvtest::ReadBytes(KV_SOURCE_DIR "/Gfx/" + name)) << name;
    auto img = DecodeImageFile(dir.File(name));
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
  std::sort(names.begin(), names.end());
  EXPECT_EQ(dir.List(), names);
  EXPECT_EQ(Tool("make-gfx", "'" + dir.File("missing") + "'"), 1);
}

TEST(Icon, MakeIconDrawsTheCommittedIconsWithTransparentCorners) {
  kvtest::TempDir dir;
  ASSERT_EQ(Tool("make-icon", "'" + dir.path + "'"), 0);
  std::vector<std::string> expected;
  for (int size : {128, 256, 32, 48, 64}) {
    const std::string name = "koravel-" + std::to_string(size) + ".png";
    expected.push_back(name);
    EXPECT_TRUE(kvtest::ReadBytes(dir.File(name)) == kvtest::ReadBytes(KV_SOURCE_DIR "/data/icons/" + name)) << name;
    const auto img = DecodeImageFile(dir.File(name));
    ASSERT_TRUE(img) << name;
    EXPECT_EQ(std::pair(img->width, img->height), std::pair(size, size));
    EXPECT_EQ(img->pixels[3], 0) << "corner of " << name;
    EXPECT_EQ(img->pixels[(static_cast<size_t>(size / 2) * size + size / 2) * 4 + 3], 255) << name;
  }
  EXPECT_EQ(dir.List(), expected);
  kvtest::TempDir empty;
  for (const std::string& args : {std::string(), std::string("--help"), "'" + empty.path + "' extra", "'" + empty.File("missing") + "'"})
    EXPECT_EQ(Tool("make-icon", args), 1) << args;
  EXPECT_TRUE(empty.List().empty());
}

}  // namespace
}  // namespace kv
