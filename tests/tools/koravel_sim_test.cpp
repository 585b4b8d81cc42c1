// koravel-sim as a user's script runs it: a process with arguments, exit
// status, standard output and files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mapfile/mapfile.h"
#include "platform/draw/image_decode.h"
#include "support/builders.h"
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
  const std::string map = "'" KV_SOURCE_DIR "/hightraffic'";

  Result Run(const std::string& args) {
    const std::string cmd = "cd '" KV_BINARY_DIR "' && ./koravel-sim " + args + " >'" + dir.File("stdout") +
                            "' 2>'" + dir.File("stderr") + "'";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Text("stdout"), Text("stderr")};
  }
  std::string Text(const std::string& name) {
    const kvtest::Bytes bytes = kvtest::ReadBytes(dir.File(name));
    return {bytes.begin(), bytes.end()};
  }
  std::string Write(const std::string& name, const kvtest::Bytes& bytes) {
    kvtest::WriteBytes(dir.File(name), bytes);
    return dir.File(name);
  }
};

// The line where two traces part, or "" when they agree: a failure message
// without a diff of megabytes.
std::string FirstDifference(const std::string& a, const std::string& b) {
  const size_t at = static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
  if (a == b) return "";
  const size_t line = a.rfind('\n', at) == std::string::npos ? 0 : a.rfind('\n', at) + 1;
  return a.substr(line, a.find('\n', at) - line) + " | " + b.substr(line, b.find('\n', at) - line);
}

const kvtest::Bytes kExample = {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 0x64, 0, 0x64, 0, 0xC0,
                                0xFF, 0x20, 0, 1, 0, 5, 0, 7, 0, 1, 0, 0, 0, 0, 0};

TEST_F(KoravelSim, InfoPrintsTheLoadedMap) {
  Result r = Run("info '" + Write("example.kvl", kExample) + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"bounds\": [100, 100], \"view\": [-64, 32], \"roads\": [[5, 7, 1]], \"emitters\": [], "
            "\"lights\": [], \"lanes\": [[10, 14, 4], [11, 14, 4], [10, 15, 6], [11, 15, 6]], "
            "\"control\": []}\n");

  // A crossing, a red light and an emitter with a route.
  auto world = test::NewWorld();
  HeadlessPlatform p{DrawMode::CountOnly};
  test::RoadRow(*world, 8, 3, 12);
  test::RoadColumn(*world, 8, 4, 12);
  AddTrafficLight(*world, p, 16, 15, LightState::Red);
  AddEmitter(*world, 3, 8, Direction::Right, 25, 17);
  ASSERT_EQ(SaveMap(*world, p, p, dir.File("junction.kvl")), SaveResult::Saved);
  r = Run("info '" + dir.File("junction.kvl") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* part : {"[8, 8, 7]", "\"lights\": [[16, 15, 4, 15000]]", "[16, 15, 1]",
                           "\"route\": [[25, 17], [24, 17]"})
    EXPECT_NE(r.out.find(part), std::string::npos) << part << " in " << r.out;
}

// The traffic does not depend on the clock's reading at the start, not even
// when the 32-bit clock wraps during the run; it does depend on the seed.
TEST_F(KoravelSim, RunsAreRepeatableFromAnyStartTime) {
  std::vector<std::string> traces;
  for (const char* start : {"1000000", "3000000000", "4294960000", "1000000 --seed 2"}) {
    const std::string trace = dir.File("trace" + std::to_string(traces.size()) + ".csv");
    Result r = Run("run " + map + " --frames 2000 --start-ms " + start + " --trace '" + trace + "'");
    ASSERT_EQ(r.status, 0) << start << ": " << r.err;
    EXPECT_NE(r.out.find("\"frames\": 2000, \"spawned\": "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\"spawned\": 0,"), std::string::npos) << r.out;
    traces.push_back(Text("trace" + std::to_string(traces.size()) + ".csv"));
  }
  EXPECT_EQ(traces[0].rfind("frame,car,emitter,color,cell_x,cell_y,pos_x,pos_y,speed,angle,state,route_index\n", 0), 0u);
  EXPECT_GT(std::count(traces[0].begin(), traces[0].end(), '\n'), 2000);
  EXPECT_EQ(FirstDifference(traces[1], traces[0]), "");
  EXPECT_EQ(FirstDifference(traces[2], traces[0]), "");
  EXPECT_NE(FirstDifference(traces[3], traces[0]), "");
}

TEST_F(KoravelSim, FillPutsTheSameCarsOnTheMapForTheSameSeed) {
  Result r = Run("run " + map + " --frames 0 --fill 120");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"spawned\": 0, "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"cars\": 120, "), std::string::npos) << r.out;
  for (auto [seed, trace] : {std::pair{"4", "a.csv"}, {"4", "b.csv"}, {"5", "c.csv"}})
    ASSERT_EQ(Run("run " + map + " --frames 30 --fill 120 --seed " + seed + " --trace " + dir.File(trace)).status, 0);
  EXPECT_GT(Text("a.csv").size(), 30u * 120 * 20);
  EXPECT_EQ(FirstDifference(Text("a.csv"), Text("b.csv")), "");
  EXPECT_NE(FirstDifference(Text("a.csv"), Text("c.csv")), "");
  // More cars than the routes have cells: as many as fit.
  r = Run("run " + map + " --frames 0 --fill 40401");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("\"cars\": 40401"), std::string::npos) << r.out;
}

// The picture itself is the renderer's tests' business: here, that the tool
// runs the traffic before drawing and depends on nothing but map, frames and seed.
TEST_F(KoravelSim, RenderDrawsTheMapAfterTheFrames) {
  for (auto [frames, shot] : {std::pair{"0", "still.png"}, {"300", "moved.png"}, {"300 --start-ms 4294960000", "late.png"}})
    ASSERT_EQ(Run("render " + map + " " + dir.File(shot) + " --frames " + frames).status, 0) << frames;
  auto still = DecodeImageFile(dir.File("still.png")), moved = DecodeImageFile(dir.File("moved.png"));
  ASSERT_TRUE(still && moved);
  EXPECT_EQ((std::vector<int>{still->width, still->height}), (std::vector<int>{1024, 768}));
  EXPECT_TRUE(still->pixels != moved->pixels) << "cars were drawn";
  EXPECT_TRUE(kvtest::ReadBytes(dir.File("moved.png")) == kvtest::ReadBytes(dir.File("late.png")));
  // Road tile (3, 3) of the start map is drawn with its image from Gfx/.
  auto road = DecodeImageFile(KV_SOURCE_DIR "/Gfx/road1.png");
  ASSERT_TRUE(road);
  for (int k = 0; k < 32 * 32; k += 37)
    for (int c = 0; c < 3; ++c)
      EXPECT_EQ(still->pixels[((3 * 32 + k / 32) * 1024 + 3 * 32 + k % 32) * 4 + c], road->pixels[k * 4 + c]) << k;
}

TEST_F(KoravelSim, RefusedAndMissingMapsExitWithTwoAndCreateNothing) {
  kvtest::Bytes bad = kExample;
  bad[0] = 2;
  const std::string badPath = Write("bad.kvl", bad);
  Result r = Run("run '" + badPath + "' --save '" + dir.File("saved.kvl") + "' --trace '" + dir.File("t.csv") + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(kInvalidText), std::string::npos) << r.err;
  r = Run("info '" + dir.File("missing.kvl") + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(r.err.empty());
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"bad.kvl", "stderr", "stdout"}));
  EXPECT_EQ(kvtest::ReadBytes(badPath), bad);
}

TEST_F(KoravelSim, UsageErrorsExitWithOne) {
  for (const std::string args :
       {"", "fly map", "info", "render map", "run map --frames ten", "run map --seed -1", "run map --fill",
        "run map --fill -3", "run map --fill 40402", "render map x.png --fill 10", "info map --fill 10",
        "info map --start-ms 5", "run map --start-ms -1", "run map --start-ms 4294967296", "run map --start-ms"})
    EXPECT_EQ(Run(args).status, 1) << args;
  EXPECT_NE(Run("info").err.find("usage"), std::string::npos);
  Result r = Run("--help");
  EXPECT_EQ(r.status, 0);
  for (const char* option : {"render MAP OUT.png", "--fill N", "--start-ms T0"})
    EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace kv
