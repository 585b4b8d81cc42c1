// The frame loop: map keys, requesters, the end of the program, start-up
// without a start map, and traffic paced by real time whatever the display.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "mapfile/format.h"
#include "mapfile/mapfile.h"
#include "support/builders.h"
#include "support/temp_files.h"

namespace kv::test {
namespace {

TEST(FrameLoop, RunsUntilEscapeOrCloseRequestAfterDrawingTheLastFrame) {
  FrameDriver d;
  EXPECT_TRUE(d.game->Frame());
  d.p.SetKey(Scan::Escape, true);
  EXPECT_FALSE(d.game->Frame());
  EXPECT_EQ(d.p.PresentCount(), 2);
  d.p.SetKey(Scan::Escape, false);
  EXPECT_TRUE(d.game->Frame());
  d.p.RequestClose();
  EXPECT_FALSE(d.game->Frame());
}

TEST(FrameLoop, HeldSAndOAskSaveThenOpenEveryFrameAndCancellingChangesNothing) {
  FrameDriver d;
  AddRoad(d.w, 5, 5, RoadType::StraightWE);
  d.p.SetKey(Scan::S, true);
  d.p.SetKey(Scan::O, true);
  d.Frame();
  ASSERT_EQ(d.p.Requesters().size(), 2u);
  const RequesterCall& save = d.p.Requesters()[0];
  EXPECT_TRUE(save.save);
  EXPECT_EQ(save.title, "Speichern...");
  EXPECT_EQ(save.defaultPath, d.p.CurrentDirectory());
  EXPECT_FALSE(d.p.Requesters()[1].save);
  EXPECT_EQ(d.p.Requesters()[1].title, "Öffnen...");
  for (const RequesterCall& r : d.p.Requesters()) EXPECT_EQ(r.pattern, "Koravel-Karten (*.kvl)|*.kvl|Alle Dateien|*");
  d.Frame();
  EXPECT_EQ(d.p.Requesters().size(), 4u);
  EXPECT_FALSE(d.p.MouseReleased());  // captured again after the requesters
  EXPECT_EQ(d.w.RoadCount(), 1);
  EXPECT_TRUE(d.p.Messages().empty());
}

TEST(FrameLoop, SaveComesBeforeHeldDClearsTheMapEveryFrameAndOpenBringsItBack) {
  FrameDriver d;
  kvtest::TempDir dir;
  RoadRow(d.w, 5, 5, 6);
  d.w.ViewX = 64;
  d.p.QueueRequesterAnswer(dir.File("saved.kvl"));
  d.p.SetKey(Scan::S, true);
  d.p.SetKey(Scan::D, true);
  d.Frame();
  EXPECT_EQ(d.w.RoadCount(), 0);
  d.p.SetKey(Scan::S, false);
  AddRoad(d.w, 7, 7, RoadType::StraightNS);
  d.Frame();
  EXPECT_EQ(d.w.RoadCount(), 0);
  EXPECT_EQ(d.w.ViewX, 64);
  d.p.SetKey(Scan::D, false);
  d.p.QueueRequesterAnswer(dir.File("saved.kvl"));
  d.Tap(Scan::O);
  EXPECT_EQ(d.w.RoadCount(), 2);
}

// Names from the requesters are the host's: a backslash is part of a name,
// never a way into another folder; so is one in the working directory.
TEST(FrameLoop, ABackslashInANameIsPartOfTheName) {
  kvtest::TempDir dir;
  const std::string inner = dir.File("in\\ner");
  std::filesystem::create_directory(inner);
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(inner);
  FrameDriver d;
  RoadRow(d.w, 5, 5, 7);
  d.p.QueueRequesterAnswer("..\\escaped.kvl");
  d.Tap(Scan::S);
  d.Tap(Scan::D);
  d.p.QueueRequesterAnswer("..\\escaped.kvl");
  d.Tap(Scan::O);
  std::filesystem::current_path(old);
  EXPECT_EQ(d.w.RoadCount(), 3);
  EXPECT_EQ(d.p.Requesters()[0].defaultPath, inner + "\\");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"in\\ner"});
  EXPECT_TRUE(std::filesystem::exists(inner + "/..\\escaped.kvl"));
}

// With unsaved changes, Escape and the close request ask first; "Speichern"
// quits once the map is saved, and a held Escape asks only once.
TEST(FrameLoop, QuittingWithUnsavedChangesAsksFirst) {
  kvtest::TempDir dir;
  std::filesystem::create_directory(dir.File("folder.kvl"));
  const std::tuple<int, std::string, bool> cases[] = {
      {kQuitCancel, "", false}, {-1, "", false},  // the question's window closed
      {kQuitDiscard, "", true}, {kQuitSave, "", false}, {kQuitSave, dir.File("folder.kvl"), false},
      {kQuitSave, dir.File("kept"), true}};
  for (bool closeRequest : {false, true}) {
    for (const auto& [choice, savePath, quits] : cases) {
      SCOPED_TRACE(testing::Message() << closeRequest << " " << choice << " " << savePath);
      FrameDriver d;
      d.ChooseTool(RoadTool(RoadType::StraightWE)), d.PointAtTile(5, 5), d.Click();
      d.p.QueueChoice(choice);
      d.p.QueueRequesterAnswer(savePath);
      closeRequest ? d.p.RequestClose() : d.p.SetKey(Scan::Escape, true);
      EXPECT_EQ(d.game->Frame(), !quits);
      if (!quits) {
        EXPECT_TRUE(d.game->Frame()) << "asked once";
      }
      ASSERT_EQ(d.p.Choices().size(), 1u);
      EXPECT_EQ(d.p.Choices()[0].caption, "Karte geändert");
      EXPECT_EQ(d.p.Choices()[0].text, "Die Karte wurde geändert. Vor dem Beenden speichern?");
      EXPECT_EQ(d.p.Choices()[0].buttons, (std::vector<std::string>{"Speichern", "Verwerfen", "Abbrechen"}));
      EXPECT_EQ(std::filesystem::exists(dir.File("kept.kvl")), quits && choice == kQuitSave);
      std::filesystem::remove(dir.File("kept.kvl"));
    }
  }
}

// Start-up opens the start map or the map given on the command line; one it
// cannot read gets the message, and the program runs on with an empty map.
TEST(FrameLoop, StartUpOpensTheStartMapOrTheGivenOneAndRunsEmptyWhenItCannot) {
  kvtest::TempDir dir;
  auto small = NewWorld();  // not the shipped start map
  RoadRow(*small, 5, 1, 18);
  kvtest::Bytes bytes = *SerializeMap(*small);
  kvtest::WriteBytes(dir.File("hightraffic"), bytes);
  bytes[3] = 0;
  kvtest::WriteBytes(dir.File("damaged.kvl"), bytes);
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  for (auto [map, roads] : {std::pair<std::string, int>{"", 18}, {dir.File("hightraffic"), 18},
                            {"damaged.kvl", 0}, {"missing.kvl", 0}}) {
    SCOPED_TRACE(map);
    HeadlessPlatform p{DrawMode::CountOnly};
    Game game(p, 1);
    EXPECT_TRUE(map.empty() ? game.Start() : game.Start(map));
    EXPECT_EQ(game.world().RoadCount(), roads);
    EXPECT_EQ(p.Messages().size(), roads == 0 ? 1u : 0u);
    EXPECT_TRUE(game.Frame());
  }
  std::filesystem::current_path(old);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"damaged.kvl", "hightraffic"}));  // nothing created
}

// A car list as numbers, to compare whole runs.
std::vector<float> Snapshot(const World& w) {
  std::vector<float> v;
  for (const Car& c : w.CarList) v.insert(v.end(), {float(c.Serial), c.PosX, c.PosY, c.Speed, float(c.Angle)});
  for (const TrafficLight& l : w.TrafficLightList) v.push_back(float(l.State));
  return v;
}

// Traffic runs 60 steps per second of real time on any display: the same
// steps, in the same states, after the same time.
TEST(FrameLoop, TrafficPerSecondIsTheSameAt30And60And144Hz) {
  std::vector<std::vector<float>> atTenSeconds;
  for (int hz : {30, 60, 144}) {
    SCOPED_TRACE(hz);
    HeadlessPlatform p{DrawMode::CountOnly};
    const uint32_t start = 1'000'000;
    p.SetNow(start);
    Game game(p, 3);
    ASSERT_TRUE(game.OpenWindow());
    ASSERT_EQ(LoadMap(game.world(), p, p, game.simClock(), KV_SOURCE_DIR "/hightraffic"), LoadResult::Loaded);
    std::vector<int> stepsPerFrame;
    for (int frame = 1; game.world().Stats.Frame < 600; ++frame) {
      const uint64_t before = game.world().Stats.Frame;
      p.SetNow(start + static_cast<uint32_t>(int64_t{frame} * 1000 / hz));
      game.Frame();
      stepsPerFrame.push_back(static_cast<int>(game.world().Stats.Frame - before));
    }
    ASSERT_EQ(game.world().Stats.Frame, 600u);
    // Ten seconds of real time make 600 steps, give or take the one in progress.
    EXPECT_NEAR(static_cast<double>(stepsPerFrame.size()), 10.0 * hz, 1.0);
    if (hz == 60) {
      EXPECT_EQ(std::count(stepsPerFrame.begin(), stepsPerFrame.end(), 1), 600);
    }
    EXPECT_EQ(game.simClock().NowMs() - start, 10000u);
    atTenSeconds.push_back(Snapshot(game.world()));
  }
  EXPECT_GT(atTenSeconds[0].size(), 100u);
  EXPECT_EQ(atTenSeconds[1], atTenSeconds[0]);
  EXPECT_EQ(atTenSeconds[2], atTenSeconds[0]);
}

// A slow frame (or a dialog that stood open) takes a few steps, not all it
// missed: the traffic slows down rather than jumps.
TEST(FrameLoop, ALongFrameCatchesUpOnlyAFewSteps) {
  FrameDriver d;
  d.Frame(3);
  const uint64_t before = d.w.Stats.Frame;
  d.FrameAt(d.p.NowMs() + 5000);
  EXPECT_EQ(d.w.Stats.Frame - before, static_cast<uint64_t>(StepPacer::kMaxStepsPerFrame));
  d.Frame(60);
  EXPECT_EQ(d.w.Stats.Frame - before, StepPacer::kMaxStepsPerFrame + 60u);
}

// Paused, nothing of the traffic moves, not even the clock its lights and
// emitters go by; the period then takes exactly one step, and does nothing
// more while the traffic runs.
TEST(FrameLoop, SpacePausesTheTrafficAndThePeriodStepsIt) {
  FrameDriver d;
  ASSERT_EQ(LoadMap(d.w, d.p, d.p, d.game->simClock(), KV_SOURCE_DIR "/hightraffic"), LoadResult::Loaded);
  d.Frame(300);
  d.Tap(Scan::Space);
  const std::vector<float> paused = Snapshot(d.w);
  const uint64_t frame = d.w.Stats.Frame, spawned = d.w.Stats.Spawned;
  const uint64_t clock = d.game->simClock().Steps();
  d.Frame(1200);  // longer than a light's phase
  EXPECT_EQ(Snapshot(d.w), paused);
  EXPECT_EQ(d.w.Stats.Frame, frame);
  EXPECT_EQ(d.w.Stats.Spawned, spawned);
  EXPECT_EQ(d.game->simClock().Steps(), clock);
  AddRoad(d.w, 50, 50, RoadType::StraightWE);  // editing goes on
  d.Tap(Scan::Period);
  d.Frame(30);
  EXPECT_EQ(d.w.Stats.Frame, frame + 1);
  EXPECT_EQ(d.game->simClock().Steps(), clock + 1);
  d.Tap(Scan::Space);
  d.Frame();
  d.Tap(Scan::Period);
  EXPECT_EQ(d.w.Stats.Frame, frame + 4);
}

// At every speed the traffic after the same simulated time is the same as at
// 1x, step for step; + and - (either keyboard) go from 1x to 16x and back,
// and with Ctrl they zoom instead.
TEST(FrameLoop, EverySpeedMakesTheTrafficOfOneSpeed) {
  std::vector<float> reference;
  for (int speed : {1, 2, 4, 8, 16}) {
    SCOPED_TRACE(speed);
    FrameDriver d(3);
    ASSERT_EQ(LoadMap(d.w, d.p, d.p, d.game->simClock(), KV_SOURCE_DIR "/hightraffic"), LoadResult::Loaded);
    const uint32_t start = d.game->simClock().NowMs();
    d.Tap(Scan::Space);
    d.Frame();
    for (int s = 1; s < speed; s *= 2) {
      d.Tap(s % 4 == 1 ? Scan::Plus : Scan::KeypadPlus);
      d.Frame();
    }
    EXPECT_EQ(d.w.SpeedFactor, speed);
    EXPECT_EQ(d.w.Stats.Frame, 0u);
    d.Tap(Scan::Space);
    for (int frame = 0; frame < 1000 && d.w.Stats.Frame < 960; ++frame) d.Frame();
    EXPECT_EQ(d.w.Stats.Frame, 960u);
    EXPECT_EQ(d.game->simClock().NowMs() - start, 16000u);
    if (speed == 1) reference = Snapshot(d.w);
    EXPECT_EQ(Snapshot(d.w), reference);
  }
  FrameDriver d;
  for (int key : {Scan::Plus, Scan::Plus, Scan::Plus, Scan::Plus, Scan::Plus, Scan::Minus}) {
    d.Tap(key);
    d.Frame();
  }
  EXPECT_EQ(d.w.SpeedFactor, 8);
  d.p.SetKey(Scan::LeftCtrl, true);
  d.Tap(Scan::KeypadMinus);
  d.p.SetKey(Scan::LeftCtrl, false);
  EXPECT_EQ(d.w.SpeedFactor, 8);
  EXPECT_EQ(d.w.ZoomPercent, 50);
  for (int i = 0; i < 5; ++i) {
    d.Tap(Scan::Minus);
    d.Frame();
  }
  EXPECT_EQ(d.w.SpeedFactor, 1);
}

// F2 and H only show and hide: pressed twice each, and the period pressed
// while the traffic runs, leave every pixel of the frame as without them.
TEST(FrameLoop, TheViewKeysPressedTwiceLeaveTheFrameAsItWas) {
  std::vector<std::unique_ptr<HeadlessPlatform>> platforms;
  std::vector<std::unique_ptr<Game>> games;
  for (int i = 0; i < 2; ++i) {
    platforms.push_back(std::make_unique<HeadlessPlatform>(DrawMode::Rasterise));
    platforms[i]->SetNow(1'000'000);
    platforms[i]->SetPointer(400, 300);
    games.push_back(std::make_unique<Game>(*platforms[i], 5));
    ASSERT_TRUE(games[i]->Start(KV_SOURCE_DIR "/hightraffic", KV_SOURCE_DIR "/"));
  }
  const int keys[] = {Scan::F2, 0, Scan::H, 0, Scan::Period, 0, Scan::F2, 0, Scan::H, 0};
  for (int frame = 0; frame < 300; ++frame) {
    const int key = frame >= 100 && frame < 110 ? keys[frame - 100] : 0;
    if (key) platforms[1]->SetKey(key, true);
    for (size_t i = 0; i < 2; ++i) {
      platforms[i]->AdvanceMs(frame % 3 == 2 ? 16 : 17);
      games[i]->Frame();
    }
    if (key) platforms[1]->SetKey(key, false);
    if (frame == 103) {
      EXPECT_NE(platforms[1]->Frame(), platforms[0]->Frame());  // panel and overlay show
    }
  }
  EXPECT_EQ(games[1]->world().Stats.Frame, games[0]->world().Stats.Frame);
  EXPECT_TRUE(platforms[1]->Frame() == platforms[0]->Frame());
}

}  // namespace
}  // namespace kv::test
