// koravel-sim as a user's script runs it: a process with arguments, exit
// status, standard output and files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/game.h"
#include "editor/placing.h"
#include "editor/roads.h"
#include "mapfile/mapfile.h"
#include "platform/headless_platform.h"
#include "platform/image_decode.h"
#include "render/scene.h"
#include "sim/cars.h"
#include "sim/emitters.h"
#include "sim/lights.h"
#include "support/temp_files.h"

namespace kv {
namespace {

struct Result {
  int status = -1;
  std::string out, err;
};

class KoravelSim : public ::testing::Test {
 protected:
  kvtest::TempDir dir;

  Result Run(const std::string& args) {
    const std::string cmd = "cd '" KV_BINARY_DIR "' && ./koravel-sim " + args + " >'" + dir.File("stdout") +
                            "' 2>'" + dir.File("stderr") + "'";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Text(dir.File("stdout")), Text(dir.File("stderr"))};
  }
  static std::string Text(const std::string& path) {
    const kvtest::Bytes bytes = kvtest::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
  }
  std::string Write(const std::string& name, const kvtest::Bytes& bytes) {
    kvtest::WriteBytes(dir.File(name), bytes);
    return dir.File(name);
  }

  // A small network with a crossing, a red light and an emitter with a route.
  std::string WriteJunctionMap() {
    World w;
    HeadlessPlatform p{DrawMode::CountOnly};
    for (int x = 3; x <= 12; ++x) AddRoad(w, x, 8, 1);
    for (int y = 4; y <= 12; ++y) AddRoad(w, 8, y, 2);
    AddTrafficLight(w, p, 2 * 8, 2 * 8 - 1, 4);
    AddEmitter(w, 3, 8, 6, 2 * 12 + 1, 2 * 8 + 1);
    EXPECT_EQ(SaveMap(w, p, dir.File("junction.kvl")), SaveResult::Saved);
    return dir.File("junction.kvl");
  }
};

const kvtest::Bytes kExample = {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 0x64, 0, 0x64, 0, 0xC0,
                                0xFF, 0x20, 0, 1, 0, 5, 0, 7, 0, 1, 0, 0, 0, 0, 0};

TEST_F(KoravelSim, InfoPrintsTheLoadedMap) {
  Result r = Run("info '" + Write("example.kvl", kExample) + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"bounds\": [100, 100], \"view\": [-64, 32], \"roads\": [[5, 7, 1]], \"emitters\": [], "
            "\"lights\": [], \"lanes\": [[10, 14, 4], [11, 14, 4], [10, 15, 6], [11, 15, 6]], "
            "\"control\": []}\n");

  r = Run("info '" + WriteJunctionMap() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("[8, 8, 7]"), std::string::npos) << r.out;            // the crossing
  EXPECT_NE(r.out.find("\"lights\": [[16, 15, 4, 15000]]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("[16, 15, 1]"), std::string::npos) << r.out;          // red light
  EXPECT_NE(r.out.find("\"route\": [[25, 17], [24, 17]"), std::string::npos) << r.out;
}

TEST_F(KoravelSim, RunIsRepeatableForASeed) {
  std::string map = WriteJunctionMap();
  Result a = Run("run '" + map + "' --frames 1500 --seed 7 --trace '" + dir.File("a.csv") + "'");
  Result b = Run("run '" + map + "' --frames 1500 --seed 7 --trace '" + dir.File("b.csv") + "'");
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(a.out, b.out);
  const std::string ta = Text(dir.File("a.csv"));
  EXPECT_EQ(ta, Text(dir.File("b.csv")));
  EXPECT_EQ(ta.rfind("frame,car,emitter,color,cell_x,cell_y,pos_x,pos_y,speed,angle,state,route_index\n", 0), 0u);
  EXPECT_GT(std::count(ta.begin(), ta.end(), '\n'), 100);
  EXPECT_NE(a.out.find("\"frames\": 1500"), std::string::npos) << a.out;
  EXPECT_EQ(a.out.find("\"spawned\": 0,"), std::string::npos) << a.out;
}

TEST_F(KoravelSim, RefusedAndMissingMapsExitWithTwoAndCreateNothing) {
  kvtest::Bytes bad = kExample;
  bad[0] = 2;
  const std::string badPath = Write("bad.kvl", bad);
  Result r = Run("run '" + badPath + "' --save '" + dir.File("saved.kvl") + "' --trace '" + dir.File("t.csv") + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Datei ist ungültig!"), std::string::npos) << r.err;
  r = Run("info '" + dir.File("missing.kvl") + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(r.err.empty());
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"bad.kvl", "stderr", "stdout"}));
  EXPECT_EQ(kvtest::ReadBytes(badPath), bad);
}

TEST_F(KoravelSim, UsageErrors) {
  EXPECT_EQ(Run("").status, 1);
  EXPECT_EQ(Run("fly map").status, 1);
  EXPECT_EQ(Run("run map --frames ten").status, 1);
  EXPECT_EQ(Run("run map --seed -1").status, 1);
  EXPECT_EQ(Run("render map").status, 1);
  Result r = Run("info");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("usage"), std::string::npos);
  r = Run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("render MAP OUT.png"), std::string::npos);
}

TEST_F(KoravelSim, RenderMatchesADirectRenderOfTheSameScene) {
  std::string map = WriteJunctionMap();
  const std::string png = dir.File("shot.png");
  Result r = Run("render '" + map + "' '" + png + "' --frames 40 --seed 3");
  ASSERT_EQ(r.status, 0) << r.err;
  std::optional<RgbaImage> image = DecodeImageFile(png);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, 1024);
  ASSERT_EQ(image->height, 768);

  // The same run drawn here, with the images of the build directory's Gfx/.
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(KV_BINARY_DIR);
  HeadlessPlatform p{DrawMode::Rasterise, 3};
  Game game(p);
  game.LoadSprites();
  std::filesystem::current_path(old);
  World& w = game.world();
  p.SetNow(1000000);
  ASSERT_EQ(LoadMap(w, p, map), LoadResult::Loaded);
  for (int k = 1; k <= 40; ++k) {
    p.SetNow(1000000 + 16 * k);
    w.Stats.Frame = k;
    UpdateLights(w, p);
    UpdateEmitters(w, p);
    MoveCars(w, p);
  }
  ASSERT_GT(w.CarCount, 0);
  DrawScene(w, p);
  int differing = 0;
  for (int y = 0; y < 768; ++y)
    for (int x = 0; x < 1024; ++x) {
      const uint8_t* px = &image->pixels[(static_cast<size_t>(y) * 1024 + x) * 4];
      if (RGB(px[0], px[1], px[2]) != p.PixelAt(x, y)) ++differing;
    }
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace kv
