// Whole files on the machine's file system, and the number texts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <limits>
#include <tuple>

#include "platform/files.h"
#include "platform/text.h"
#include "support/temp_files.h"

namespace kv {
namespace {

using kvtest::Bytes;

// The dialogs' fields show what FormatInt and FormatFloat make of a record.
TEST(PlatformText, ParsesDecimalHexadecimalAndBinary) {
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

TEST_F(PlatformFiles, ReadsRegularFilesWithinTheBoundOnlyAndNeverWaits) {
  kvtest::WriteBytes(dir_.File("m.kvl"), {1, 0, 255});
  kvtest::WriteBytes(dir_.File("empty.kvl"), {});
  ASSERT_EQ(::mkfifo(dir_.File("pipe").c_str(), 0644), 0);
  EXPECT_EQ(files_.ReadFile(dir_.File("m.kvl"), 3), (Bytes{1, 0, 255}));
  EXPECT_FALSE(files_.ReadFile(dir_.File("m.kvl"), 2));
  EXPECT_EQ(files_.ReadFile(dir_.File("empty.kvl"), 0), Bytes{});
  for (const std::string& path : {std::string(), dir_.path, dir_.File("pipe"), dir_.File("missing.kvl")})
    EXPECT_FALSE(files_.ReadFile(path, 9)) << path;  // a pipe is refused, not waited on
  // Gigabytes are refused before a byte is read.
  ASSERT_EQ(::truncate(dir_.File("m.kvl").c_str(), off_t{3} << 30), 0);
  EXPECT_FALSE(files_.ReadFile(dir_.File("m.kvl"), 1 << 20));
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"empty.kvl", "m.kvl", "pipe"}));
}

TEST_F(PlatformFiles, WritingReplacesTheWholeFileKeepingItsModeOrNothingAtAll) {
  const Bytes big(100000, 7), small = {1, 2, 3};
  ASSERT_TRUE(files_.WriteFile(dir_.File("new.kvl"), big));
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
    EXPECT_FALSE(files_.WriteFile(path, small)) << path;  // nobody reads the pipe: refused, not waited on
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"new.kvl", "pipe", "sub"}));
}

// What the user's own shell would refuse to overwrite stays; a link stays a
// link to the file it names; a file keeps its owner where that is allowed.
TEST_F(PlatformFiles, WritingRespectsProtectionLinksAndOwners) {
  const Bytes old = {9}, fresh = {1, 2};
  kvtest::WriteBytes(dir_.File("locked.kvl"), old);
  ::chmod(dir_.File("locked.kvl").c_str(), 0444);
  EXPECT_FALSE(files_.WriteFile(dir_.File("locked.kvl"), fresh));
  EXPECT_EQ(kvtest::ReadBytes(dir_.File("locked.kvl")), old);

  ::mkdir(dir_.File("maps").c_str(), 0755);
  kvtest::WriteBytes(dir_.File("maps/real.kvl"), old);
  ::chmod(dir_.File("maps/real.kvl").c_str(), 0640);
  ASSERT_EQ(::symlink("maps/real.kvl", dir_.File("link.kvl").c_str()), 0);
  ASSERT_TRUE(files_.WriteFile(dir_.File("link.kvl"), fresh));
  struct stat st {};
  EXPECT_TRUE(::lstat(dir_.File("link.kvl").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
  EXPECT_EQ(kvtest::ReadBytes(dir_.File("maps/real.kvl")), fresh);
  EXPECT_EQ(Mode("maps/real.kvl"), 0640u);
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"link.kvl", "locked.kvl", "maps"}));

  if (::geteuid() != 0) GTEST_SKIP() << "giving a file away needs root";
  ASSERT_EQ(::chown(dir_.File("maps/real.kvl").c_str(), 4242, 4343), 0);
  ASSERT_TRUE(files_.WriteFile(dir_.File("maps/real.kvl"), old));
  EXPECT_TRUE(::stat(dir_.File("maps/real.kvl").c_str(), &st) == 0 && st.st_uid == 4242u && st.st_gid == 4343u);
}

// A name typed without an extension gets the first pattern's, unless a file
// of exactly that name exists.
TEST_F(PlatformFiles, SaveNamesGetTheFirstPatternsExtension) {
  kvtest::WriteBytes(dir_.File("hightraffic"), {});
  const std::string maps = "Koravel-Karten (*.kvl)|*.kvl|Alle Dateien|*";
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"town", maps, "town.kvl"},       {"town", ".kvl", "town.kvl"},     {"town.map", maps, "town.map"},
      {".hidden", maps, ".hidden.kvl"}, {"hightraffic", maps, "hightraffic"}, {"town", "All|*", "town"},
      {"town", "Any|*.*", "town"},      {"my.maps\\town", maps, "my.maps\\town"}};  // one name
  for (const auto& [name, pattern, saved] : cases)
    EXPECT_EQ(SavePathFor(dir_.File(name), pattern), dir_.File(saved)) << name << " " << pattern;
}

}  // namespace
}  // namespace kv
