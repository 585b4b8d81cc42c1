// The frame loop driven through the headless platform: keys, requesters,
// window close, and start-up without a start map.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/game.h"
#include "editor/roads.h"
#include "platform/headless_platform.h"
#include "support/temp_files.h"

namespace kv {
namespace {

class FrameLoop : public ::testing::Test {
 protected:
  HeadlessPlatform p{DrawMode::CountOnly};
  Game game{p};
  World& w = game.world();

  void SetUp() override { ASSERT_TRUE(game.OpenWindow()); }
};

TEST_F(FrameLoop, RunsUntilEscapeOrCloseRequest) {
  EXPECT_TRUE(game.Frame());
  p.SetKey(Scan::Escape, true);
  EXPECT_FALSE(game.Frame());
  EXPECT_EQ(p.PresentCount(), 2);  // the last frame was still drawn
  p.SetKey(Scan::Escape, false);
  EXPECT_TRUE(game.Frame());
  p.RequestClose();
  EXPECT_FALSE(game.Frame());
}

TEST_F(FrameLoop, HeldSAndOAskSaveThenOpenEveryFrameAndCancellingChangesNothing) {
  AddRoad(w, 5, 5, 1);
  p.SetKey(Scan::S, true);
  p.SetKey(Scan::O, true);
  EXPECT_TRUE(game.Frame());
  ASSERT_EQ(p.Requesters().size(), 2u);
  const RequesterCall& save = p.Requesters()[0];
  const RequesterCall& open = p.Requesters()[1];
  EXPECT_TRUE(save.save);
  EXPECT_EQ(save.title, "Speichern...");
  EXPECT_EQ(save.pattern, ".kvl");
  EXPECT_EQ(save.defaultPath, p.CurrentDirectory());
  EXPECT_EQ(save.defaultPath.back(), '\\');
  EXPECT_FALSE(open.save);
  EXPECT_EQ(open.title, "Öffnen...");
  EXPECT_TRUE(game.Frame());
  EXPECT_EQ(p.Requesters().size(), 4u);
  EXPECT_FALSE(p.MouseReleased());  // captured again after the requesters
  EXPECT_EQ(w.RoadCount, 1);
  EXPECT_TRUE(p.Messages().empty());
}

TEST_F(FrameLoop, SaveComesBeforeHeldDClearsTheMapEveryFrameAndOpenBringsItBack) {
  kvtest::TempDir dir;
  AddRoad(w, 5, 5, 1);
  AddRoad(w, 6, 5, 1);
  w.ViewX = 64;
  p.QueueRequesterAnswer(dir.File("saved.kvl"));
  p.SetKey(Scan::S, true);
  p.SetKey(Scan::D, true);
  game.Frame();
  EXPECT_EQ(w.RoadCount, 0);
  p.SetKey(Scan::S, false);
  AddRoad(w, 7, 7, 2);
  game.Frame();
  EXPECT_TRUE(w.RoadList.empty());
  EXPECT_EQ(w.ViewX, 64);
  p.SetKey(Scan::D, false);
  p.QueueRequesterAnswer(dir.File("saved.kvl"));
  p.SetKey(Scan::O, true);
  game.Frame();
  EXPECT_EQ(w.RoadCount, 2);
}

TEST(StartUp, MissingStartMapShowsTheMessageAndCreatesNoFile) {
  kvtest::TempDir dir;
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  HeadlessPlatform p{DrawMode::CountOnly};
  Game game{p};
  EXPECT_TRUE(game.Start());
  std::filesystem::current_path(old);
  ASSERT_EQ(p.Messages().size(), 1u);
  EXPECT_EQ(p.Messages()[0], (std::pair<std::string, std::string>{"Fehler!", "Datei ist ungültig!"}));
  EXPECT_TRUE(dir.List().empty());
  EXPECT_EQ(game.world().RoadCount, 0);
  EXPECT_TRUE(game.Frame());
}

}  // namespace
}  // namespace kv
