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

#include <nlohmann/json.hpp>

namespace kv {
namespace {

using Json = nlohmann::ordered_json;

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

Json Parse(const std::string& text) { return Json::parse(text, nullptr, false); }

// The JSON of info and run has the same keys, in the same order, and the same
// values as the writer before it; means now come with full precision.
TEST_F(KoravelSim, InfoAndRunWriteTheKeysAndValuesTheyAlwaysWrote) {
  for (const std::string name : {"hightraffic", "junction"}) {
    SCOPED_TRACE(name);
    const std::string data = KV_SOURCE_DIR "/tests/tools/data/" + name;
    const std::string path = name == "junction" ? data + ".kvl" : KV_SOURCE_DIR "/hightraffic";
    for (const std::string& command : {"info '" + path + "'", "run '" + path + "' --frames 3000 --seed 5"}) {
      Result r = Run(command);
      ASSERT_EQ(r.status, 0) << r.err;
      const kvtest::Bytes before = kvtest::ReadBytes(data + (command[0] == 'i' ? ".info.json" : ".run.json"));
      const Json now = Parse(r.out), then = Parse({before.begin(), before.end()});
      ASSERT_FALSE(now.is_discarded() || then.is_discarded()) << r.out;
      std::vector<std::string> keysNow, keysThen;
      for (const auto& [key, value] : now.items()) keysNow.push_back(key);
      for (const auto& [key, value] : then.items()) keysThen.push_back(key);
      ASSERT_EQ(keysNow, keysThen);
      for (const auto& [key, value] : then.items()) {
        if (value.is_number_float())
          EXPECT_NEAR(now[key].get<double>(), value.get<double>(), 0.0005) << key;
        else
          EXPECT_EQ(now[key], value) << key;
      }
    }
  }
}

// The traffic does not depend on the clock's reading at the start, not even
// when the 32-bit clock wraps during the run; it does depend on the seed.
TEST_F(KoravelSim, RunsAreRepeatableFromAnyStartTime) {
  std::vector<std::string> traces;
  for (const char* start : {"1000000", "3000000000", "4294960000", "1000000 --seed 2"}) {
    const std::string trace = dir.File("trace" + std::to_string(traces.size()) + ".csv");
    Result r = Run("run " + map + " --frames 2000 --start-ms " + start + " --trace '" + trace + "'");
    ASSERT_EQ(r.status, 0) << start << ": " << r.err;
    EXPECT_EQ(Parse(r.out)["frames"], 2000) << r.out;
    EXPECT_GT(Parse(r.out)["spawned"], 0) << r.out;
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
  EXPECT_EQ(Parse(r.out)["spawned"], 0) << r.out;
  EXPECT_EQ(Parse(r.out)["cars"], 120) << r.out;
  for (auto [seed, trace] : {std::pair{"4", "a.csv"}, {"4", "b.csv"}, {"5", "c.csv"}})
    ASSERT_EQ(Run("run " + map + " --frames 30 --fill 120 --seed " + seed + " --trace " + dir.File(trace)).status, 0);
  EXPECT_GT(Text("a.csv").size(), 30u * 120 * 20);
  EXPECT_EQ(FirstDifference(Text("a.csv"), Text("b.csv")), "");
  EXPECT_NE(FirstDifference(Text("a.csv"), Text("c.csv")), "");
  // More cars than the routes have cells: as many as fit.
  r = Run("run " + map + " --frames 0 --fill 40401");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_LT(Parse(r.out)["cars"], 40401) << r.out;
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
  kvtest::Bytes bad = kvtest::ReadBytes(KV_SOURCE_DIR "/tests/tools/data/junction.kvl");
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
  for (const char* args :
       {"", "fly map", "info", "render map", "run map --frames ten", "run map --seed -1", "run map --fill",
        "run map --fill -3", "run map --fill 40402", "render map x.png --fill 10", "info map --fill 10",
        "info map --start-ms 5", "run map --start-ms -1", "run map --start-ms 4294967296", "run map --start-ms"})
    EXPECT_EQ(Run(args).status, 1) << args;
  EXPECT_NE(Run("info").err.find("usage"), std::string::npos);
  EXPECT_NE(Run("fly map").err.find("unknown command: fly"), std::string::npos);
}

// Every spelling a script may have used keeps working; each command explains itself.
TEST_F(KoravelSim, EveryDocumentedOptionParsesAndEachCommandHasItsHelp) {
  for (const std::string& args :
       {"info " + map, "run " + map + " --frames 0 --frame-ms 20 --start-ms 5 --seed 4294967295 --fill 3 --trace " +
                           dir.File("t.csv") + " --save " + dir.File("s.kvl"),
        "run --frames=0 " + map, "render " + map + " " + dir.File("r.png") + " --frames 0 --frame-ms 1 --seed 0"})
    EXPECT_EQ(Run(args).status, 0) << args;
  EXPECT_EQ(Run("--version").out, "koravel-sim " KORAVEL_VERSION "\n");
  for (auto [command, words] : {std::pair<std::string, std::vector<std::string>>{"--help", {"info", "run", "render"}},
                                {"run --help", {"--frames", "--frame-ms", "--start-ms", "--seed", "--fill", "--trace",
                                                "--save"}},
                                {"render -h", {"OUT.png", "--start-ms"}},
                                {"info --help", {"MAP"}}}) {
    Result r = Run(command);
    EXPECT_EQ(r.status, 0) << command;
    for (const std::string& word : words) EXPECT_NE(r.out.find(word), std::string::npos) << command << ": " << word;
  }
}

// The desktop program answers --help and --version without a display, and
// refuses what it does not know.
TEST_F(KoravelSim, TheProgramPrintsHelpAndVersionWithoutAWindow) {
  auto program = [&](const std::string& args) {
    const std::string cmd = "cd '" KV_BINARY_DIR "' && env -u DISPLAY -u WAYLAND_DISPLAY ./koravel " + args + " >'" +
                            dir.File("stdout") + "' 2>'" + dir.File("stderr") + "'";
    const int raw = std::system(cmd.c_str());
    return Result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Text("stdout"), Text("stderr")};
  };
  EXPECT_EQ(program("--version").out, "koravel " KORAVEL_VERSION "\n");
  Result r = program("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("MAP"), std::string::npos) << r.out;
  for (const char* bad : {"--bogus", "a.kvl b.kvl"}) {
    r = program(bad);
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_NE(r.err.find("usage"), std::string::npos) << bad << ": " << r.err;
  }
}

}  // namespace
}  // namespace kv
