// make-icon as run by a developer regenerating data/icons: the images it
// writes, and that the committed ones are exactly its output.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/image_decode.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

const std::vector<int> kIconSizes = {32, 48, 64, 128, 256};

std::vector<char> Bytes(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

class MakeIcon : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kv-icon-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  static int Run(const std::string& args) {
    const std::string cmd = std::string("'") + KV_BINARY_DIR + "/make-icon' " + args + " 2>/dev/null";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  fs::path Icon(int size) const { return dir_ / ("koravel-" + std::to_string(size) + ".png"); }

  fs::path dir_;
};

const uint8_t* Pixel(const RgbaImage& img, int x, int y) {
  return &img.pixels[(static_cast<size_t>(y) * img.width + x) * 4];
}

TEST_F(MakeIcon, WritesEverySizeAndTheCommittedIconsAreItsOutput) {
  ASSERT_EQ(Run("'" + dir_.string() + "'"), 0);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) files += entry.is_regular_file();
  EXPECT_EQ(files, kIconSizes.size());
  for (int size : kIconSizes) {
    SCOPED_TRACE(size);
    const auto img = DecodeImageFile(Icon(size).string());
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, size);
    EXPECT_EQ(img->height, size);
    // Stale committed icons would be installed while the tool draws others.
    const fs::path committed = fs::path(KV_SOURCE_DIR) / "data/icons" / Icon(size).filename();
    EXPECT_EQ(Bytes(Icon(size)), Bytes(committed)) << committed << " is not make-icon's output";
  }
}

TEST_F(MakeIcon, RoundedTileOnTransparencyWithSharpStraightEdges) {
  ASSERT_EQ(Run("'" + dir_.string() + "'"), 0);
  for (int size : kIconSizes) {
    SCOPED_TRACE(size);
    const auto img = DecodeImageFile(Icon(size).string());
    ASSERT_TRUE(img);
    const int last = size - 1, mid = size / 2;
    for (auto [x, y] : {std::pair{0, 0}, {last, 0}, {0, last}, {last, last}})
      EXPECT_EQ(Pixel(*img, x, y)[3], 0) << "corner " << x << "," << y;
    int opaque = 0;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) opaque += Pixel(*img, x, y)[3] == 255;
    EXPECT_GT(opaque, size * size * 8 / 10);
    // Across the middle the tile's sides are straight: each pixel is either
    // fully covered or empty, never a blurred half.
    for (int i = 0; i < size; ++i) {
      for (const uint8_t* p : {Pixel(*img, i, mid), Pixel(*img, mid, i)}) {
        EXPECT_TRUE(p[3] == 0 || p[3] == 255) << "alpha " << int(p[3]) << " at " << i;
      }
    }
    // The roads stay dark at every size: the small sizes are not washed out.
    int dark = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const uint8_t* p = Pixel(*img, x, y);
        dark += p[3] == 255 && (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000 < 90;
      }
    }
    EXPECT_GT(dark, size * size / 5);
  }
}

TEST_F(MakeIcon, RefusesBadUseAndReportsUnwritableDirectories) {
  EXPECT_EQ(Run(""), 1);
  EXPECT_EQ(Run("--help"), 1);
  EXPECT_EQ(Run("'" + dir_.string() + "' extra"), 1);
  EXPECT_TRUE(fs::is_empty(dir_));
  EXPECT_EQ(Run("'" + (dir_ / "missing").string() + "'"), 1);
}

}  // namespace
}  // namespace kv
