// make-icon as a developer regenerating data/icons runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/image_decode.h"
#include "support/temp_files.h"

namespace kv {
namespace {

int MakeIcon(const std::string& args) {
  const int raw = std::system(("'" KV_BINARY_DIR "/make-icon' " + args + " 2>/dev/null").c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(MakeIcon, WritesEverySizeWithTransparentCornersAndTheCommittedIconsAreItsOutput) {
  kvtest::TempDir dir;
  ASSERT_EQ(MakeIcon("'" + dir.path + "'"), 0);
  std::vector<std::string> expected;
  for (int size : {128, 256, 32, 48, 64}) {
    const std::string name = "koravel-" + std::to_string(size) + ".png";
    expected.push_back(name);
    const auto img = DecodeImageFile(dir.File(name));
    ASSERT_TRUE(img) << name;
    EXPECT_EQ(std::pair(img->width, img->height), std::pair(size, size));
    EXPECT_EQ(img->pixels[3], 0) << "corner of " << name;
    EXPECT_EQ(img->pixels[(static_cast<size_t>(size / 2) * size + size / 2) * 4 + 3], 255) << name;
    // Stale committed icons would be installed while the tool draws others.
    EXPECT_EQ(kvtest::ReadBytes(dir.File(name)), kvtest::ReadBytes(KV_SOURCE_DIR "/data/icons/" + name)) << name;
  }
  EXPECT_EQ(dir.List(), expected);
}

TEST(MakeIcon, RefusesBadUseAndUnwritableDirectories) {
  kvtest::TempDir dir;
  EXPECT_EQ(MakeIcon(""), 1);
  EXPECT_EQ(MakeIcon("--help"), 1);
  EXPECT_EQ(MakeIcon("'" + dir.path + "' extra"), 1);
  EXPECT_TRUE(dir.List().empty());
  EXPECT_EQ(MakeIcon("'" + dir.File("missing") + "'"), 1);
}

}  // namespace
}  // namespace kv
