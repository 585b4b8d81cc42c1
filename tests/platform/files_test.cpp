// Whole files on the machine's file system, and the number texts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <limits>

#include "platform/files.h"
#include "platform/text.h"
#include "support/temp_files.h"

namespace kv {
namespace {

using kvtest::Bytes;

TEST(PlatformText, FormatsAndParses) {
  EXPECT_EQ(FormatInt(-42), "-42");
  EXPECT_EQ(FormatInt(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(FormatFloat(1.5f), "1.500000");
  EXPECT_EQ(FormatFloat(-0.25f), "-0.250000");
  const std::pair<const char*, int64_t> cases[] = {
      {"NULL", 0}, {"", 0},      {" -12ab", -12}, {"\t+7", 7},   {"12 34", 12}, {"$1F", 31},
      {"$ff", 255}, {"-$10", -16}, {"%101", 5},   {"%1021", 2}, {"-", 0},      {"$", 0},
      {"\n5", 0},  {"9223372036854775807", std::numeric_limits<int64_t>::max()}};
  for (auto [text, value] : cases) EXPECT_EQ(ParseInt(text), value) << text;
}

class PlatformFiles : public ::testing::Test {
 protected:
  mode_t Mode(const std::string& name) {
    struct stat st {};
    ::stat(dir_.File(name).c_str(), &st);
    return st.st_mode & 07777;
  }
  kvtest::TempDir dir_;
  HostFiles files_;
};

TEST_F(PlatformFiles, ReadsRegularFilesOnlyAndNeverWaits) {
  kvtest::WriteBytes(dir_.File("m.kvl"), {1, 0, 255});
  kvtest::WriteBytes(dir_.File("empty.kvl"), {});
  ASSERT_EQ(::mkfifo(dir_.File("pipe").c_str(), 0644), 0);
  EXPECT_EQ(files_.ReadFile(dir_.path + "\\m.kvl"), (Bytes{1, 0, 255}));
  EXPECT_EQ(files_.ReadFile(dir_.File("empty.kvl")), Bytes{});
  for (const std::string& path : {std::string(), dir_.path, dir_.File("pipe"), dir_.File("missing.kvl")})
    EXPECT_FALSE(files_.ReadFile(path)) << path;  // a pipe is refused, not waited on
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"empty.kvl", "m.kvl", "pipe"}));
}

TEST_F(PlatformFiles, WritingReplacesTheWholeFileKeepingItsModeOrNothingAtAll) {
  const Bytes big(100000, 7), small = {1, 2, 3};
  ASSERT_TRUE(files_.WriteFile(dir_.path + "\\new.kvl", big));
  EXPECT_EQ(kvtest::ReadBytes(dir_.File("new.kvl")), big);
  EXPECT_EQ(Mode("new.kvl"), 0644u);
  ::chmod(dir_.File("new.kvl").c_str(), 0600);
  ASSERT_TRUE(files_.WriteFile(dir_.File("new.kvl"), small));  // shorter: nothing of the old left
  EXPECT_EQ(kvtest::ReadBytes(dir_.File("new.kvl")), small);
  EXPECT_EQ(Mode("new.kvl"), 0600u);

  // A disk that fills up midway: the old content stays, no temporary is left.
  EXPECT_FALSE(kvtest::WithFileSizeLimit(1000, [&] { return files_.WriteFile(dir_.File("new.kvl"), big); }));
  EXPECT_EQ(kvtest::ReadBytes(dir_.File("new.kvl")), small);
  ASSERT_EQ(::mkfifo(dir_.File("pipe").c_str(), 0644), 0);
  ::mkdir(dir_.File("sub").c_str(), 0755);
  for (const std::string& path : {std::string(), dir_.File("sub"), dir_.File("pipe"), dir_.File("no/dir.kvl")})
    EXPECT_FALSE(files_.WriteFile(path, small)) << path;
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"new.kvl", "pipe", "sub"}));
}

}  // namespace
}  // namespace kv
