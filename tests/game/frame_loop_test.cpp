// The frame loop driven through the headless platform: keys, requesters,
// window close, and start-up without a start map.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/game.h"
#include "editor/roads.h"
#include "mapfile/mapfile.h"
#include "platform/headless_platform.h"

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
  EXPECT_TRUE(game.Frame());
  p.SetKey(Scan::Escape, true);
  EXPECT_FALSE(game.Frame());
  // The frame that ends the loop was still drawn and presented.
  EXPECT_EQ(p.PresentCount(), 3);

  p.SetKey(Scan::Escape, false);
  EXPECT_TRUE(game.Frame());
  p.RequestClose();
  EXPECT_FALSE(game.Frame());
}

TEST_F(FrameLoop, SaveThenOpenInOneFrameWithTheirTitlesAndPattern) {
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
  // Held keys act again in the next frame; the mouse is captured again after.
  EXPECT_TRUE(game.Frame());
  EXPECT_EQ(p.Requesters().size(), 4u);
  EXPECT_FALSE(p.MouseReleased());
}

TEST_F(FrameLoop, CancelledRequestersChangeNothingAndSayNothing) {
  AddRoad(w, 5, 5, 1);
  p.SetKey(Scan::O, true);
  p.SetKey(Scan::S, true);
  game.Frame();
  EXPECT_EQ(w.RoadCount, 1);
  EXPECT_TRUE(p.Messages().empty());
}

TEST_F(FrameLoop, HeldDClearsTheMapEveryFrame) {
  AddRoad(w, 5, 5, 1);
  w.ViewX = 64;
  p.SetKey(Scan::D, true);
  game.Frame();
  EXPECT_EQ(w.RoadCount, 0);
  EXPECT_TRUE(w.RoadList.empty());
  AddRoad(w, 6, 6, 2);
  game.Frame();
  EXPECT_EQ(w.RoadCount, 0);
  EXPECT_EQ(w.ViewX, 64);
}

TEST_F(FrameLoop, SavedMapOpensAgainThroughTheRequesters) {
  char dir[] = "/tmp/kv-frame-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string path = std::string(dir) + "/saved.kvl";
  AddRoad(w, 5, 5, 1);
  AddRoad(w, 6, 5, 1);
  p.QueueRequesterAnswer(path);
  p.SetKey(Scan::S, true);
  game.Frame();
  p.SetKey(Scan::S, false);
  p.SetKey(Scan::D, true);
  game.Frame();
  ASSERT_EQ(w.RoadCount, 0);
  p.SetKey(Scan::D, false);
  p.QueueRequesterAnswer(path);
  p.SetKey(Scan::O, true);
  game.Frame();
  EXPECT_EQ(w.RoadCount, 2);
  unlink(path.c_str());
  rmdir(dir);
}

TEST(StartUp, MissingStartMapShowsTheMessageAndCreatesNoFile) {
  char dir[] = "/tmp/kv-start-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir), 0);
  {
    HeadlessPlatform p{DrawMode::CountOnly};
    Game game{p};
    EXPECT_TRUE(game.Start());
    ASSERT_EQ(p.Messages().size(), 1u);
    EXPECT_EQ(p.Messages()[0].first, "Fehler!");
    EXPECT_EQ(p.Messages()[0].second, "Datei ist ungültig!");
    struct stat st {};
    EXPECT_NE(stat(kStartMap, &st), 0);
    EXPECT_EQ(game.world().RoadCount, 0);
    EXPECT_TRUE(game.Frame());
  }
  ASSERT_EQ(chdir(old), 0);
  rmdir(dir);
}

}  // namespace
}  // namespace kv
