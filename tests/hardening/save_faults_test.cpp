// Saving with S where no map can be written: the user is told, and the map
// in the program and the last good file stay as they were. The tests run as
// root, who ignores permission bits, so the refusals come from places that
// refuse everyone. (A full disk and a directory as the path: see the map
// file tests.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "editor/roads.h"
#include "mapfile/mapfile.h"
#include "support/frame_driver.h"
#include "support/temp_files.h"

namespace kv {
namespace {

using kvtest::Bytes;
using kvtest::ReadBytes;
using kvtest::TempDir;

class SaveFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int x = 3; x <= 30; ++x) AddRoad(d.w, x, 5, 1);
    d.PointAt(900, 740);  // over the toolbar: nothing is placed
  }
  // Holds S for one frame with the requester answering `path`.
  void SaveWithS(const std::string& path) {
    d.p.QueueRequesterAnswer(path);
    d.p.SetKey(Scan::S, true);
    d.Frame();
    d.p.SetKey(Scan::S, false);
    d.Frame();
  }

  testing::FrameDriver d;
  TempDir dir;
};

TEST_F(SaveFaults, RefusedTargetsAreReportedAndNothingChanges) {
  const std::string good = dir.File("good.kvl");
  SaveWithS(good);
  ASSERT_TRUE(d.p.Messages().empty());
  const Bytes saved = ReadBytes(good);
  ASSERT_EQ(saved.size(), 24u + 6 * 28);

  const std::string targets[] = {
      "/dev/full",                  // a device is never replaced by a map
      "/proc/koravel-map.kvl",      // no file can be created there, not even by root
      good + "/inside.kvl",         // a path through a file
  };
  for (const std::string& target : targets) {
    const size_t shown = d.p.Messages().size();
    SaveWithS(target);
    ASSERT_EQ(d.p.Messages().size(), shown + 1) << target;
    EXPECT_EQ(d.p.Messages().back(), (std::pair<std::string, std::string>{kErrorCaption, kSaveFailedText}))
        << target;
  }
  struct stat st {};
  ASSERT_EQ(::stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_FALSE(std::filesystem::exists("/proc/koravel-map.kvl"));
  EXPECT_EQ(ReadBytes(good), saved);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"good.kvl"});
  EXPECT_EQ(d.w.RoadCount, 28);
}

}  // namespace
}  // namespace kv
