// Loading and saving map files: what the wrappers add to the format, the file
// and the message. Saving where no map can be written is tried here: the user
// is told and the last good file stays. The tests run as root, who ignores
// permission bits, so the refusals come from places that refuse everyone.
#include "mapfile/mapfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mapfile/format.h"
#include "support/builders.h"
#include "support/temp_files.h"

namespace kv {
namespace {

using kvtest::ReadBytes;
using Message = std::pair<std::string, std::string>;

struct MapFile : ::testing::Test {
  kvtest::TempDir dir;
  HeadlessPlatform p{DrawMode::CountOnly};
  std::unique_ptr<World> w = test::NewWorld();
  void SetUp() override {
    test::RoadRow(*w, 5, 1, 20);
    test::ParkedCar(*w, {4, 11});
  }
};

TEST_F(MapFile, LoadPlacesAReadableMapOrTellsTheUserAndKeepsTheOldOne) {
  auto other = test::NewWorld();
  test::RoadRow(*other, 9, 3, 4);
  AddTrafficLight(*other, ManualClock{}, 6, 19, LightState::Red);
  Bytes good = *SerializeMap(*other);
  kvtest::WriteBytes(dir.File("good.kvl"), good);
  good.resize(kMaxMapFileBytes + 1);  // an old tail no map can have
  kvtest::WriteBytes(dir.File("long.kvl"), good);
  kvtest::WriteBytes(dir.File("bad.kvl"), Bytes(30, 0x55));
  kvtest::WriteBytes(dir.File("wide.kvl"), {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 101, 0});
  std::filesystem::create_directory(dir.File("folder.kvl"));
  const Bytes before = *SerializeMap(*w);
  const std::pair<std::string, LoadResult> refused[] = {{"bad.kvl", LoadResult::Invalid},
                                                        {"wide.kvl", LoadResult::Invalid},
                                                        {"missing.kvl", LoadResult::Unopenable},
                                                        {"long.kvl", LoadResult::Unopenable},
                                                        {"folder.kvl", LoadResult::Unopenable}};
  for (const auto& [name, result] : refused) {
    EXPECT_EQ(LoadMap(*w, p, p, ManualClock{}, dir.File(name)), result) << name;
    EXPECT_EQ(p.Messages().back(), (Message{kInvalidCaption, kInvalidText})) << name;
    EXPECT_EQ(SerializeMap(*w), before) << name;
    EXPECT_EQ(w->CarCount(), 1) << name;
  }
  EXPECT_EQ(LoadMap(*w, p, p, ManualClock{}, ""), LoadResult::Unopenable);  // a cancelled requester: silence
  EXPECT_EQ(p.Messages().size(), 5u);
  ::truncate(dir.File("long.kvl").c_str(), kMaxMapFileBytes);  // the longest a map may be
  EXPECT_EQ(LoadMap(*w, p, p, ManualClock{777}, dir.File("long.kvl")), LoadResult::Loaded);
  EXPECT_EQ(LoadMap(*w, p, p, ManualClock{777}, dir.File("good.kvl")), LoadResult::Loaded);
  EXPECT_EQ(p.Messages().size(), 5u);
  EXPECT_EQ(SerializeMap(*w), SerializeMap(*other));
  EXPECT_EQ(w->CarCount(), 0);
  EXPECT_EQ(w->TrafficLightList.begin()->LastSwitch, 777) << "placed at the clock's reading";
  EXPECT_EQ(ReadBytes(dir.File("bad.kvl")), Bytes(30, 0x55)) << "reading never writes";
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing.kvl")));
}

// Memory running out while loading costs the file, not the program and the map.
TEST_F(MapFile, LoadingThatRunsOutOfMemoryTellsTheUserAndKeepsTheMap) {
  struct Exhausted : HostFiles {
    std::optional<Bytes> ReadFile(const std::string&, size_t) override { throw std::bad_alloc(); }
  } files;
  const Bytes before = *SerializeMap(*w);
  EXPECT_EQ(LoadMap(*w, files, p, ManualClock{}, "any.kvl"), LoadResult::Invalid);
  EXPECT_EQ(p.Messages(), (std::vector<Message>{{kInvalidCaption, kInvalidText}}));
  EXPECT_EQ(SerializeMap(*w), before);
}

TEST_F(MapFile, SaveReplacesTheFileWholeOrTellsTheUserAndKeepsTheOldOne) {
  const std::string good = dir.File("good.kvl");
  kvtest::WriteBytes(good, Bytes(500, 7));  // longer than the map: no stale tail may stay
  ASSERT_EQ(SaveMap(*w, p, p, good), SaveResult::Saved);
  const Bytes saved = ReadBytes(good);
  EXPECT_EQ(saved, SerializeMap(*w));
  EXPECT_TRUE(p.Messages().empty());

  std::filesystem::create_directory(dir.File("folder"));
  kvtest::WriteBytes(dir.File("locked.kvl"), Bytes(7, 1));
  ::chmod(dir.File("locked.kvl").c_str(), 0444);  // which the user's own shell refuses to overwrite
  const std::string targets[] = {dir.File("folder"), dir.File("nowhere/m.kvl"), good + "/inside.kvl",
                                 dir.File("locked.kvl"),
                                 "/dev/full",               // a device is never replaced by a map
                                 "/proc/koravel-map.kvl"};  // no file can be created there, not even by root
  for (const std::string& target : targets) {
    EXPECT_EQ(SaveMap(*w, p, p, target), SaveResult::Failed) << target;
    EXPECT_EQ(p.Messages().back(), (Message{kErrorCaption, kSaveFailedText})) << target;
  }
  auto big = test::NewWorld();  // a disk that fills up during the save
  test::RoadRow(*big, 1, 1, 40);
  EXPECT_EQ(kvtest::WithFileSizeLimit(100, [&] { return SaveMap(*big, p, p, good); }), SaveResult::Failed);
  for (int i = 0; i <= kMaxSectionCount; ++i) test::PutLight(*big, {i % 201, i / 201}, LightState::Yield, 0, 0);
  EXPECT_EQ(SaveMap(*big, p, p, good), SaveResult::TooLarge);
  EXPECT_EQ(p.Messages().back(), (Message{kErrorCaption, kTooLargeText}));
  EXPECT_EQ(p.Messages().size(), 8u);
  EXPECT_EQ(SaveMap(*w, p, p, ""), SaveResult::Unopenable);  // cancelled: nothing to report
  EXPECT_EQ(p.Messages().size(), 8u);

  EXPECT_EQ(ReadBytes(good), saved);
  EXPECT_EQ(ReadBytes(dir.File("locked.kvl")), Bytes(7, 1));
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"folder", "good.kvl", "locked.kvl"})) << "no temporary file left";
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder")));
  struct stat st {};
  EXPECT_TRUE(::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));
  EXPECT_FALSE(std::filesystem::exists("/proc/koravel-map.kvl"));
}

}  // namespace
}  // namespace kv
