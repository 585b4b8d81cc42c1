// Number texts and the binary data files of the platform layer.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <limits>

#include "platform/datafile.h"
#include "platform/image_samples.h"
#include "platform/text.h"

namespace {

using Bytes = std::vector<uint8_t>;

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

TEST_F(DataFileTest, WhatCannotBeOpenedIsRefusedAndNothingIsCreated) {
  ASSERT_EQ(::mkfifo(dir_.File("pipe").c_str(), 0644), 0);
  for (auto mode : {kv::FileMode::Read, kv::FileMode::Write}) {
    EXPECT_EQ(files_.Open("", mode), 0u);
    EXPECT_EQ(files_.Open(dir_.path, mode), 0u);
    EXPECT_EQ(files_.Open(dir_.File("pipe"), mode), 0u);  // refused, not waited on
  }
  EXPECT_EQ(files_.Open(dir_.File("missing.kvl"), kv::FileMode::Read), 0u);
  EXPECT_EQ(files_.Open(dir_.File("no/dir.kvl"), kv::FileMode::Write), 0u);
  EXPECT_EQ(dir_.List(), std::vector<std::string>{"pipe"});
  EXPECT_FALSE(files_.Close(0));
  EXPECT_FALSE(files_.Close(12345));
}

TEST_F(DataFileTest, OldFileSurvivesUntilTheNewOneIsCompletelyWritten) {
  const std::string target = dir_.File("map.kvl");
  const Bytes old = {1, 2, 3, 4, 5, 6, 7, 8};
  kvtest::WriteBytes(target, old);

  kv::FileHandle f = files_.Open(target, kv::FileMode::Write);
  files_.WriteInt16(f, 0x0909);
  files_.Abandon(f);
  EXPECT_EQ(kvtest::ReadBytes(target), old);

  // A file size limit makes the write fail, even for root.
  f = files_.Open(target, kv::FileMode::Write);
  for (int k = 0; k < 4096; ++k) files_.WriteInt16(f, k);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 1024;
  auto handler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &small);
  bool closed = files_.Close(f);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  EXPECT_FALSE(closed);
  EXPECT_EQ(kvtest::ReadBytes(target), old);

  // Completed: replaced whole, without the longer old tail.
  f = files_.Open(target, kv::FileMode::Write);
  files_.WriteInt16(f, 0x0A0B);
  EXPECT_EQ(kvtest::ReadBytes(target), old);  // untouched until closed
  ASSERT_TRUE(files_.Close(f));
  EXPECT_EQ(kvtest::ReadBytes(target), (Bytes{0x0B, 0x0A}));
  EXPECT_EQ(dir_.List(), std::vector<std::string>{"map.kvl"});  // no temporary files left
}

}  // namespace
