// Number texts, random numbers and the binary data files of the platform layer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <limits>
#include <random>
#include <set>

#include "platform/datafile.h"
#include "platform/headless_platform.h"
#include "platform/text.h"
#include "support/temp_files.h"

namespace {

using kvtest::Bytes;

TEST(NumberText, FormatsAndParses) {
  EXPECT_EQ(kv::FormatInt(-42), "-42");
  EXPECT_EQ(kv::FormatInt(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(kv::FormatFloat(1.5f), "1.500000");
  EXPECT_EQ(kv::FormatFloat(-0.25f), "-0.250000");
  const std::pair<const char*, int64_t> cases[] = {
      {"NULL", 0}, {"", 0},      {" -12ab", -12}, {"\t+7", 7},   {"12 34", 12}, {"$1F", 31},
      {"$ff", 255}, {"-$10", -16}, {"%101", 5},   {"%1021", 2}, {"-", 0},      {"$", 0},
      {"\n5", 0},  {"9223372036854775807", std::numeric_limits<int64_t>::max()}};
  for (auto [text, value] : cases) EXPECT_EQ(kv::ParseInt(text), value) << text;
}

TEST(RandomUpTo, CoversZeroToMaxFromTheUpperBitsOfOneDraw) {
  kv::HeadlessPlatform p(kv::DrawMode::CountOnly, 5);
  std::mt19937 twin(5);
  std::set<int32_t> seen;
  for (int i = 0; i < 2000; ++i) {
    EXPECT_EQ(p.RandomUpTo(0), 0);
    twin();
    const int32_t v = p.RandomUpTo(16);
    EXPECT_EQ(v, static_cast<int32_t>((uint64_t{twin()} * 17) >> 32));
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 17u);
  EXPECT_EQ(*seen.rbegin(), 16);
  const int32_t most = std::numeric_limits<int32_t>::max();
  for (int i = 0; i < 100; ++i) EXPECT_LE(p.RandomUpTo(most), most);
}

class DataFileTest : public ::testing::Test {
 protected:
  kvtest::TempDir dir_;
  kv::DataFiles files_;
};

TEST_F(DataFileTest, ValuesAreLittleEndianAndMissingBytesCountAsZero) {
  kvtest::WriteBytes(dir_.File("m.kvl"), {0xFF, 0x7F, 0x00, 0x80, 0xFF, 0xAB});
  kv::FileHandle f = files_.Open(dir_.File("m.kvl"), kv::FileMode::Read);
  ASSERT_NE(f, 0u);
  EXPECT_EQ(files_.ReadInt16(f), 32767);
  EXPECT_EQ(files_.ReadInt16(f), -32768);
  EXPECT_EQ(files_.ReadInt8(f), -1);
  EXPECT_EQ(files_.ReadInt16(f), 0xAB);  // the last byte as the low half
  EXPECT_EQ(files_.ReadInt16(f), 0);
  EXPECT_EQ(files_.ReadInt8(f), 0);
  EXPECT_TRUE(files_.Close(f));

  kv::FileHandle w = files_.Open(dir_.path + "\\w.kvl", kv::FileMode::Write);
  ASSERT_NE(w, 0u);
  files_.WriteInt16(w, 70000);
  files_.WriteInt16(w, -2);
  files_.WriteInt8(w, 300);
  EXPECT_EQ(files_.ReadInt16(w), 0);  // not a reading handle
  ASSERT_TRUE(files_.Close(w));
  EXPECT_EQ(kvtest::ReadBytes(dir_.File("w.kvl")), (Bytes{0x70, 0x11, 0xFE, 0xFF, 0x2C}));
}

TEST_F(DataFileTest, UnopenablePathsAreRefusedAndNothingIsCreated) {
  ASSERT_EQ(::mkfifo(dir_.File("pipe").c_str(), 0644), 0);
  for (auto mode : {kv::FileMode::Read, kv::FileMode::Write})
    for (const std::string& path : {std::string(), dir_.path, dir_.File("pipe")})
      EXPECT_EQ(files_.Open(path, mode), 0u) << path;  // a pipe is refused, not waited on
  EXPECT_EQ(files_.Open(dir_.File("missing.kvl"), kv::FileMode::Read), 0u);
  EXPECT_EQ(files_.Open(dir_.File("no/dir.kvl"), kv::FileMode::Write), 0u);
  EXPECT_FALSE(files_.Close(12345));
  EXPECT_EQ(dir_.List(), std::vector<std::string>{"pipe"});
}

}  // namespace
