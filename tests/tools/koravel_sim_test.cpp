// koravel-sim as a user's script runs it: a process with arguments, exit
// status, standard output and files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
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

  // In the build directory, beside the data, unless `shell` (run first) goes
  // elsewhere; `args` may redirect standard output.
  Result Run(const std::string& args, const std::string& shell = "", const std::string& program = kProgram) {
    const std::string cmd = "cd '" KV_BINARY_DIR "' && " + shell + " '" + program + "' >'" + dir.File("stdout") +
                            "' 2>'" + dir.File("stderr") + "' " + args;
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Text("stdout"), Text("stderr")};
  }
  static constexpr const char* kProgram = KV_BINARY_DIR "/koravel-sim";
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
// values as the writer before it; means now come with full precision. The
// start map holds every road type, light kind and emitter direction.
TEST_F(KoravelSim, InfoAndRunWriteTheKeysAndValuesTheyAlwaysWrote) {
  for (const std::string command : {"info", "run"}) {
    Result r = Run(command + " " + map + (command == "run" ? " --frames 3000 --seed 5" : ""));
    ASSERT_EQ(r.status, 0) << r.err;
    const kvtest::Bytes before = kvtest::ReadBytes(KV_SOURCE_DIR "/tests/tools/data/hightraffic." + command + ".json");
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

// The traffic, cars put on the map by --fill included, does not depend on the
// clock's reading at the start, not even when the 32-bit clock wraps during
// the run; it does depend on the seed.
TEST_F(KoravelSim, RunsAreRepeatableFromAnyStartTime) {
  std::vector<std::string> traces;
  for (const char* start : {"1000000", "3000000000", "4294960000", "1000000 --seed 2"}) {
    const std::string trace = dir.File("trace" + std::to_string(traces.size()) + ".csv");
    Result r = Run("run " + map + " --frames 2000 --fill 120 --start-ms " + start + " --trace '" + trace + "'");
    ASSERT_EQ(r.status, 0) << start << ": " << r.err;
    EXPECT_EQ(Parse(r.out)["frames"], 2000) << r.out;
    EXPECT_GT(Parse(r.out)["spawned"], 0) << r.out;
    traces.push_back(Text("trace" + std::to_string(traces.size()) + ".csv"));
  }
  EXPECT_EQ(traces[0].rfind("frame,car,emitter,color,cell_x,cell_y,pos_x,pos_y,speed,angle,state,route_index\n", 0), 0u);
  EXPECT_GT(std::count(traces[0].begin(), traces[0].end(), '\n'), 2000 * 60);  // a row per car and frame
  EXPECT_EQ(FirstDifference(traces[1], traces[0]), "");
  EXPECT_EQ(FirstDifference(traces[2], traces[0]), "");
  EXPECT_NE(FirstDifference(traces[3], traces[0]), "");
  // Filled cars are not spawned; with more than the routes have cells, as many as fit.
  for (auto [fill, cars] : {std::pair{"120", 120}, {"40401", -1}}) {
    Result r = Run("run " + map + " --frames 0 --fill " + fill);
    EXPECT_EQ(Parse(r.out)["spawned"], 0) << r.out;
    EXPECT_TRUE(cars < 0 ? Parse(r.out)["cars"] < 40401 : Parse(r.out)["cars"] == cars) << r.out;
  }
}

// The picture itself is the renderer's tests' business: here, that the tool
// runs the traffic before drawing and depends on nothing but map, frames and
// seed, and that it finds its images and start map from any folder.
TEST_F(KoravelSim, RenderDrawsTheMapAfterTheFrames) {
  for (auto [frames, shot] : {std::pair{"0", "still.png"}, {"300", "moved.png"}, {"300 --start-ms 4294960000", "late.png"}})
    ASSERT_EQ(Run("render hightraffic " + std::string(shot) + " --frames " + frames, "cd '" + dir.path + "' &&").status,
              0)
        << frames << Text("stderr");
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
  // The defaults given: the same picture. At a quarter the map's 3200
  // columns take 800.
  ASSERT_EQ(Run("render hightraffic " + dir.File("same.png") + " --zoom 100 --size 1024x768").status, 0);
  EXPECT_TRUE(kvtest::ReadBytes(dir.File("same.png")) == kvtest::ReadBytes(dir.File("still.png")));
  ASSERT_EQ(Run("render hightraffic " + dir.File("all.png") + " --zoom 25 --size 801x700").status, 0);
  auto all = DecodeImageFile(dir.File("all.png"));
  ASSERT_TRUE(all);
  EXPECT_EQ((std::vector<int>{all->width, all->height}), (std::vector<int>{801, 700}));
  EXPECT_NE(all->pixels[(300 * 801 + 799) * 4 + 1], 0) << "grass in the map's last column";
  EXPECT_EQ(all->pixels[(300 * 801 + 800) * 4 + 1], 0) << "nothing beyond";
}

// An output that has no name, or names the map or another output (also
// through a link), would destroy data or be lost: refused before anything.
TEST_F(KoravelSim, OutputsThatWouldDestroyTheMapOrEachOtherAreUsageErrors) {
  const kvtest::Bytes original = kvtest::ReadBytes(KV_SOURCE_DIR "/hightraffic");
  const std::string m = Write("m.kvl", original);
  ASSERT_EQ(::symlink(m.c_str(), dir.File("link.kvl").c_str()), 0);
  for (const char* args :
       {"run m.kvl --trace m.kvl", "run m.kvl --trace link.kvl", "run m.kvl --save m.kvl", "render m.kvl m.kvl",
        "render link.kvl ./m.kvl", "run m.kvl --trace x --save x", "run m.kvl --trace x --save ./sub/../x",
        "run m.kvl --save ''", "run m.kvl --trace ''", "render m.kvl ''"}) {
    Result r = Run(args, "cd '" + dir.path + "' && mkdir -p sub &&");
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.err.find("usage"), std::string::npos) << args << ": " << r.err;
    EXPECT_EQ(kvtest::ReadBytes(m), original) << args;
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"link.kvl", "m.kvl", "stderr", "stdout", "sub"})) << args;
  }
}

// Nothing the tool writes is reported as written when it was not, and a
// failed write removes no path and leaves an old file as it was. How each
// kind of file refuses a write is the file layer's business (tests/platform).
TEST_F(KoravelSim, FailedWritesExitWithTwoAndRemoveNothing) {
  const kvtest::Bytes old = {1, 2, 3};
  Write("old.csv", old);
  ASSERT_EQ(::symlink("/dev/full", dir.File("full").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0644), 0);  // nobody reads it
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::mknod(dir.File("device").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);  // as /dev/full
  }
  const std::string diskFull = "trap '' XFSZ; ulimit -f 20;";  // writing beyond 10 KB fails
  const std::pair<std::string, std::string> failing[] = {
      {"render " + map + " full", ""}, {"run " + map + " --trace full", ""},
      {"run " + map + " --trace old.csv --frames 600", diskFull}, {"run " + map + " --save full", ""},
      {"run " + map + " >/dev/full", ""},      {"info " + map + " >/dev/full", ""},
      {"render " + map + (root ? " device" : " fifo"), "timeout 20"}};
  for (const auto& [args, shell] : failing) {
    Result r = Run(args, "cd '" + dir.path + "' && " + shell);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find("koravel-sim: "), std::string::npos) << args << ": " << r.err;
  }
  EXPECT_EQ(kvtest::ReadBytes(dir.File("old.csv")), old);
  struct stat st {};
  EXPECT_TRUE(::lstat(dir.File("full").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
  EXPECT_TRUE(::stat(dir.File("fifo").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  EXPECT_TRUE(!root || (::stat(dir.File("device").c_str(), &st) == 0 && S_ISCHR(st.st_mode)));
  // Standard output is written where it goes, not replaced.
  ASSERT_EQ(Run("render " + map + " /dev/stdout").status, 0);
  EXPECT_TRUE(DecodeImageFile(dir.File("stdout")));
}

// Started where neither its images nor any installed copy are, the tool says
// what is missing and where it looked.
TEST_F(KoravelSim, RenderWithoutImagesSaysWhereItLooked) {
  std::filesystem::create_directories(dir.File("bin"));
  std::filesystem::copy_file(kProgram, dir.File("bin/koravel-sim"));
  Result r = Run("render " + map + " out.png", "cd '" + dir.path + "' &&", dir.File("bin/koravel-sim"));
  if (r.status == 0) GTEST_SKIP() << "an installed copy of the images was found";
  EXPECT_EQ(r.status, 2);
  for (const std::string& place : {std::string("Gfx/"), dir.path + "\n", dir.File("bin/"), dir.File("share/koravel/")})
    EXPECT_NE(r.err.find(place), std::string::npos) << place << " in " << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.png")));
}

// A map that cannot be read exits with 2 and creates none of the outputs; a
// file of gigabytes is refused before it is read, in little memory (the peak
// measured by GNU time, which starts the tool from a small process).
TEST_F(KoravelSim, UnreadableMapsExitWithTwoWithoutReadingAHugeFileOrCreatingOutputs) {
  const std::string huge = Write("huge.kvl", kvtest::ReadBytes(KV_SOURCE_DIR "/hightraffic"));
  ASSERT_EQ(::truncate(huge.c_str(), off_t{3} << 30), 0);  // sparse: no disk used
  Result r = Run("info '" + huge + "'", "/usr/bin/time -f %M -o '" + dir.File("peak") + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(kInvalidText), std::string::npos) << r.err;
  const std::string peak = Text("peak");  // the last line, after time's note on the exit status
  EXPECT_LT(std::stol(peak.substr(peak.rfind('\n', peak.size() - 2) + 1)), 50 * 1024) << peak << " KiB at the peak";
  r = Run("run missing.kvl --save s.kvl --trace t.csv", "cd '" + dir.path + "' &&");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(kInvalidText), std::string::npos) << r.err;
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"huge.kvl", "peak", "stderr", "stdout"}));
}

TEST_F(KoravelSim, UsageErrorsExitWithOne) {
  for (const char* args :
       {"", "fly map", "info", "render map", "run map --frames ten", "run map --seed -1", "run map --fill",
        "run map --fill -3", "run map --fill 40402", "render map x.png --fill 10", "info map --fill 10",
        "info map --start-ms 5", "run map --start-ms -1", "run map --start-ms 4294967296", "run map --start-ms",
        "render map x.png --zoom 30", "render map x.png --size 800", "render map x.png --size 0x10",
        "render map x.png --size 5000x10", "render map x.png --size 80x-8", "run map --zoom 25"})
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
                                {"render -h", {"OUT.png", "--start-ms", "--zoom", "--size"}},
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
    return Run(args, "env -u DISPLAY -u WAYLAND_DISPLAY", KV_BINARY_DIR "/koravel");
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
