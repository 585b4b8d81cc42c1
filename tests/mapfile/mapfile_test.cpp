// Loading and saving map files: what the wrappers add to the format, the file
// and the message. Which places refuse a write is the file layer's business
// (tests/platform); here, that the user is told and the last good file stays.
#include "mapfile/mapfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

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
  const Bytes before = *SerializeMap(*w);
  const std::pair<std::string, LoadResult> refused[] = {
      {"bad.kvl", LoadResult::Invalid}, {"missing.kvl", LoadResult::Unopenable}, {"long.kvl", LoadResult::Unopenable}};
  for (const auto& [name, result] : refused) {
    EXPECT_EQ(LoadMap(*w, p, p, ManualClock{}, dir.File(name)), result) << name;
    EXPECT_EQ(p.Messages().back(), (Message{kInvalidCaption, kInvalidText})) << name;
    EXPECT_EQ(SerializeMap(*w), before) << name;
    EXPECT_EQ(w->CarCount(), 1) << name;
  }
  EXPECT_EQ(LoadMap(*w, p, p, ManualClock{}, ""), LoadResult::Unopenable);  // a cancelled requester: silence
  EXPECT_EQ(p.Messages().size(), 3u);
  ::truncate(dir.File("long.kvl").c_str(), kMaxMapFileBytes);  // the longest a map may be
  EXPECT_EQ(LoadMap(*w, p, p, ManualClock{777}, dir.File("long.kvl")), LoadResult::Loaded);
  EXPECT_EQ(LoadMap(*w, p, p, ManualClock{777}, dir.File("good.kvl")), LoadResult::Loaded);
  EXPECT_EQ(p.Messages().size(), 3u);
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

  EXPECT_EQ(SaveMap(*w, p, p, good + "/inside.kvl"), SaveResult::Failed);
  EXPECT_EQ(p.Messages().back(), (Message{kErrorCaption, kSaveFailedText}));
  auto big = test::NewWorld();
  for (int i = 0; i <= kMaxSectionCount; ++i) test::PutLight(*big, {i % 201, i / 201}, LightState::Yield, 0, 0);
  EXPECT_EQ(SaveMap(*big, p, p, good), SaveResult::TooLarge);
  EXPECT_EQ(p.Messages().back(), (Message{kErrorCaption, kTooLargeText}));
  EXPECT_EQ(SaveMap(*w, p, p, ""), SaveResult::Unopenable);  // cancelled: nothing to report
  EXPECT_EQ(p.Messages().size(), 2u);
  EXPECT_EQ(ReadBytes(good), saved);
}

}  // namespace
}  // namespace kv
