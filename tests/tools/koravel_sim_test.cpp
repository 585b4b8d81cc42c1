// koravel-sim as a user's script runs it: a process with arguments, exit
// status, standard output and files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "mapfile/format.h"
#include "mapfile/mapfile.h"
#include "platform/draw/image_decode.h"
#include "sim/compare.h"
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

// Pixels redder and bluer in compare's picture than in the plain one, off the
// legend in the lower left; whether the legend is there.
struct Tints {
  int red = 0, blue = 0;
  bool legend = false;
};
Tints TintsAgainst(const std::string& picture, const std::string& plain) {
  auto t = DecodeImageFile(picture), p = DecodeImageFile(plain);
  if (!t || !p || t->width != p->width || t->height != p->height) return {-1, -1, false};
  Tints out;
  for (size_t i = 0, w = static_cast<size_t>(t->width); i < t->pixels.size(); i += 4) {
    const int d = (t->pixels[i] - t->pixels[i + 2]) - (p->pixels[i] - p->pixels[i + 2]);
    if (i / 4 % w < 210 && i / 4 / w + 62 >= static_cast<size_t>(t->height)) out.legend |= d != 0;
    else out.red += d > 0, out.blue += d < 0;
  }
  return out;
}

// The JSON of info and run has the same keys, in the same order, and the same
// values as the writer before it; means now come with full precision, and
// emitters carry their settings besides. On the start map and on a junction.
TEST_F(KoravelSim, InfoAndRunWriteTheKeysAndValuesTheyAlwaysWrote) {
  for (const std::string name : {"hightraffic", "junction"}) {
    for (const std::string command : {"info", "run"}) {
      SCOPED_TRACE(name);
      const std::string data = KV_SOURCE_DIR "/tests/tools/data/" + name;
      const std::string path = name == "junction" ? "'" + data + ".kvl'" : map;
      Result r = Run(command + " " + path + (command == "run" ? " --frames 3000 --seed 5" : ""));
      ASSERT_EQ(r.status, 0) << r.err;
      const kvtest::Bytes before = kvtest::ReadBytes(data + "." + command + ".json");
      const Json now = Parse(r.out), then = Parse({before.begin(), before.end()});
      ASSERT_FALSE(now.is_discarded() || then.is_discarded()) << r.out;
      std::vector<std::string> keysNow, keysThen;
      for (const auto& [key, value] : now.items()) keysNow.push_back(key);
      for (const auto& [key, value] : then.items()) keysThen.push_back(key);
      keysNow.resize(std::min(keysNow.size(), keysThen.size()));  // keys added since do not count
      ASSERT_EQ(keysNow, keysThen);
      for (const auto& [key, value] : then.items()) {
        if (value.is_number_float()) {
          EXPECT_NEAR(now[key].get<double>(), value.get<double>(), 0.0005) << key;
        } else if (key == "emitters" && value.is_array()) {
          ASSERT_EQ(now[key].size(), value.size());
          for (size_t i = 0; i < value.size(); ++i)
            for (const auto& [field, v] : value[i].items()) EXPECT_EQ(now[key][i][field], v) << field;
        } else {
          EXPECT_EQ(now[key], value) << key;
        }
      }
    }
  }
}

TEST_F(KoravelSim, InfoShowsEachEmittersSettings) {
  auto w = test::NewWorld();
  test::RoadRow(*w, 5, 3, 6);
  AddEmitter(*w, 3, 5, Direction::Right, 12, 11);
  ApplySettings(*w->EmitterList.Last(), {9000, 0, 0.3f, 6.0f, 5, 2});
  const Result r = Run("info '" + Write("set.kvl", *SerializeMap(*w)) + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  Json e = Parse(r.out)["emitters"][0];
  for (const char* key : {"tile", "direction", "target", "route"}) e.erase(key);
  EXPECT_EQ(e.dump(), R"({"interval":9000,"interval_tolerance":0,"start_speed":0.3,)"
                      R"("start_speed_tolerance":6.0,"color_range":5,"single_color":2})");
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

// Every row of --stats holds the figures after the frame in which the clock
// passed a whole second (62.5 frames of 16 ms), as counted from the trace.
TEST_F(KoravelSim, StatsRowsAgreeWithTheTraceOfTheRun) {
  Result r = Run("run " + map + " --frames 4000 --trace " + dir.File("t.csv") + " --stats " + dir.File("s.csv"));
  ASSERT_EQ(r.status, 0) << r.err;
  std::map<int64_t, std::vector<double>> speeds;  // by frame
  std::map<uint64_t, std::pair<int64_t, int64_t>> seen;  // by car: first and last frame
  std::istringstream trace(Text("t.csv"));
  std::string line;
  std::getline(trace, line);
  while (std::getline(trace, line)) {
    long long frame = 0, car = 0;
    double speed = 0.0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lld,%lld,%*d,%*d,%*d,%*d,%*f,%*f,%lf", &frame, &car, &speed), 3) << line;
    speeds[frame].push_back(speed);
    auto [at, added] = seen.try_emplace(static_cast<uint64_t>(car), frame, frame);
    at->second.second = frame;
  }
  std::istringstream stats(Text("s.csv"));
  std::getline(stats, line);
  EXPECT_EQ(line, "second,cars,spawned,arrived,standing,mean_speed,mean_trip_frames_last_minute");
  int rows = 0;
  while (std::getline(stats, line)) {
    const int64_t k = (1000 * ++rows + 15) / 16;  // the frame in which second `rows` was passed
    long long standing = 0, spawned = 0, arrived = 0, tripCars = 0;
    double speed = 0.0, trips = 0.0;
    for (double v : speeds[k]) standing += v <= 0.0, speed += std::max(v, 0.0);
    for (const auto& [car, frames] : seen) {
      spawned += frames.first <= k;
      if (frames.second >= k) continue;
      ++arrived;  // a car of the start map leaves only by arriving, the step after its last row
      if (frames.second + 1 > k - 3600) ++tripCars, trips += static_cast<double>(frames.second + 1 - frames.first);
    }
    char expected[160];
    std::snprintf(expected, sizeof expected, "%d,%zu,%lld,%lld,%lld,%.4f,%.1f", rows, speeds[k].size(), spawned,
                  arrived, standing, speed / static_cast<double>(speeds[k].size()),
                  tripCars ? trips / static_cast<double>(tripCars) : 0.0);
    EXPECT_EQ(line, expected);
  }
  EXPECT_EQ(rows, 4000 * 16 / 1000);
  EXPECT_GT(Parse(r.out)["arrived"], 20);
}

TEST_F(KoravelSim, RunReportsGridlocksAndCanStopAtTheFirst) {
  auto w = test::NewWorld();
  test::FourWayCrossing(*w);
  const std::string cross = Write("cross.kvl", *SerializeMap(*w));
  Result r = Run("run '" + cross + "' --frames 20000 --stop-on-gridlock --trace " + dir.File("t.csv"));
  ASSERT_EQ(r.status, 0) << r.err;
  const Json stopped = Parse(r.out);
  ASSERT_EQ(stopped["gridlocks"].size(), 1u) << r.out;
  const Json& g = stopped["gridlocks"][0];
  const int64_t formed = g["formed"], frames = stopped["frames"];
  EXPECT_TRUE(formed > 1800 && frames >= formed && frames < formed + 60) << formed << " " << frames;
  std::vector<int> cars = g["cars"];
  std::sort(cars.begin(), cars.end());
  EXPECT_EQ(cars, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(g["tile"], Json::parse("[10, 10]"));
  EXPECT_EQ(g["tiles"], Json::parse("[[10, 9], [9, 10], [11, 10], [10, 11]]"));
  EXPECT_EQ(g["at_end"], true);
  const std::string trace = Text("t.csv"), last = std::to_string(frames) + ",";
  EXPECT_EQ(trace.substr(trace.rfind('\n', trace.size() - 2) + 1, last.size()), last);

  r = Run("run '" + cross + "' --frames " + std::to_string(formed + 100));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Parse(r.out)["frames"], formed + 100);
  EXPECT_EQ(Parse(r.out)["gridlocks"], stopped["gridlocks"]);
  EXPECT_EQ(Parse(Run("run '" + cross + "' --frames 1000").out)["gridlocks"], Json::array());
}

// Student's t as the tables give it, for few seeds and for many.
TEST(StudentT, QuantilesAreThoseOfTheTables) {
  for (auto [p, df, t] : {std::tuple{0.975, 1.0, 12.7062}, {0.975, 2.0, 4.3027}, {0.975, 5.0, 2.5706},
                          {0.975, 19.0, 2.0930}, {0.975, 200.0, 1.9719}, {0.95, 10.0, 1.8125}, {0.75, 10.0, 0.6998}})
    EXPECT_NEAR(sim_tool::StudentQuantile(p, df), t, 1e-4) << p << " " << df;
}

// compare runs each map with each seed as run does; the report and the
// picture are the same for any number of jobs; a cut road makes a map clearly
// worse, the same map is no better than itself; intervals are Student's and
// Welch's.
TEST_F(KoravelSim, CompareTellsAWorseMapFromAnEqualOne) {
  MapContents start = ParseMap(kvtest::ReadBytes(KV_SOURCE_DIR "/hightraffic")).map;
  MapContents cut = start, empty = start;
  std::erase_if(cut.roads, [](const RoadPlacement& r) { return r.tileX == 14 && r.tileY == 3; });
  ASSERT_EQ(cut.roads.size() + 1, start.roads.size());
  empty.emitters.clear();
  for (auto [name, contents] : {std::pair{"cut.kvl", &cut}, {"empty.kvl", &empty}}) {
    auto w = test::NewWorld();
    ManualClock clock(0);
    PlaceMap(*w, *contents, clock);
    Write(name, *SerializeMap(*w));
  }
  const std::string args = "compare " + map + " " + dir.File("cut.kvl") + " --seeds 3 --frames 2500 --jobs ";
  Result one = Run(args + "1 --heatmap-diff " + dir.File("1.png"));
  Result two = Run(args + "2 --heatmap-diff " + dir.File("2.png"));
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.out, two.out);
  EXPECT_TRUE(kvtest::ReadBytes(dir.File("1.png")) == kvtest::ReadBytes(dir.File("2.png")));
  const Json worse = Parse(one.out)["measures"];
  EXPECT_EQ(worse["arrivals_per_hour"]["better"], "A") << one.out;
  EXPECT_EQ(worse["mean_trip_frames"]["better"], "A") << one.out;
  EXPECT_EQ(worse["gridlocks"]["better"], nullptr);

  // The picture is B as loaded, tinted where B's cars stood longer (red) or
  // shorter (blue) than A's: nowhere for the same map, everywhere blue
  // without B's traffic, red the other way round, at any size and zoom.
  const std::string small = " --size 800x600 --zoom 50";
  ASSERT_EQ(Run("render " + map + " " + dir.File("plain.png") + " --no-hud" + small).status, 0);
  ASSERT_EQ(Run("render " + dir.File("empty.kvl") + " " + dir.File("plain-empty.png") + " --no-hud").status, 0);
  ASSERT_EQ(Run("compare " + dir.File("empty.kvl") + " " + map + " --seeds 1 --frames 2000 --heatmap-diff " +
                dir.File("more.png") + small).status, 0);
  Tints t = TintsAgainst(dir.File("more.png"), dir.File("plain.png"));
  EXPECT_TRUE(t.red > 1000 && t.blue == 0 && t.legend) << t.red << " " << t.blue;
  const Json same = Parse(Run("compare " + map + " " + map + " --seeds 2 --frames 2000 --heatmap-diff " +
                              dir.File("same.png") + small).out)["measures"];
  t = TintsAgainst(dir.File("same.png"), dir.File("plain.png"));
  EXPECT_TRUE(t.red == 0 && t.blue == 0 && t.legend) << t.red << " " << t.blue;
  for (const char* measure : {"arrivals_per_hour", "mean_trip_frames", "standing_share", "gridlocks"}) {
    EXPECT_EQ(same[measure]["better"], nullptr) << measure;
    EXPECT_EQ(same[measure]["difference"]["mean"], 0.0) << measure;
  }

  // Two seeds: one degree of freedom, t = 12.7062; a map without emitters
  // arrives nowhere, without spread, so Welch's interval has one too.
  std::vector<double> perHour;
  for (const char* seed : {"1", "2"})
    perHour.push_back(Parse(Run("run " + map + " --frames 2000 --seed " + seed).out)["arrived"].get<double>() *
                      3600000.0 / (2000 * 16));
  Result r = Run("compare " + map + " " + dir.File("empty.kvl") + " --seeds 2 --frames 2000 --heatmap-diff " +
                 dir.File("less.png"));
  ASSERT_EQ(r.status, 0) << r.err;
  t = TintsAgainst(dir.File("less.png"), dir.File("plain-empty.png"));
  EXPECT_TRUE(t.red == 0 && t.blue > 1000) << t.red << " " << t.blue;
  const Json arrivals = Parse(r.out)["measures"]["arrivals_per_hour"];
  const double mean = (perHour[0] + perHour[1]) / 2, half = 12.7062 * std::fabs(perHour[0] - perHour[1]) / 2;
  EXPECT_NEAR(arrivals["a"]["mean"].get<double>(), mean, 1e-9);
  EXPECT_NEAR(arrivals["a"]["ci95"][1].get<double>(), mean + half, 1e-3 * half);
  EXPECT_NEAR(arrivals["difference"]["ci95"][0].get<double>(), -mean - half, 1e-3 * half);
  EXPECT_EQ(arrivals["better"], "A");
  EXPECT_EQ(Parse(r.out)["measures"]["mean_trip_frames"]["b"]["mean"], nullptr);  // no trip at all
  // In 110 frames no car has stood a simulated second on a cell: too little to tint.
  ASSERT_EQ(Run("compare " + map + " " + dir.File("empty.kvl") + " --seeds 1 --frames 110 --heatmap-diff " +
                dir.File("less.png")).status, 0);
  t = TintsAgainst(dir.File("less.png"), dir.File("plain-empty.png"));
  EXPECT_TRUE(t.red == 0 && t.blue == 0) << t.red << " " << t.blue;

  r = Run("compare " + map + " " + map + " --seeds 2 --frames 10 --table");
  EXPECT_NE(r.out.find("arrivals per hour"), std::string::npos) << r.out;
  EXPECT_NE(Run("compare --help").out.find("--jobs"), std::string::npos);
  EXPECT_NE(Run("run --help").out.find("--stop-on-gridlock"), std::string::npos);
  for (const char* bad : {"compare", "compare a.kvl", "compare a b --seeds 0", "compare a b --jobs 0",
                          "run map --stats", "run map --stats ''"})
    EXPECT_EQ(Run(bad).status, 1) << bad;
  r = Run("compare " + map + " '" + dir.File("missing.kvl") + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.out.empty());
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
  EXPECT_EQ(still->pixels[(384 * 1024 + 512) * 4], 128) << "the grey pointer in the middle";
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
  // --no-hud leaves out the magenta HUD; --heatmap tints where cars stood.
  for (auto [extra, shot] : {std::pair{" --no-hud", "clean.png"}, {" --no-hud --heatmap", "heat.png"}})
    ASSERT_EQ(Run("render hightraffic " + dir.File(shot) + " --frames 300" + extra).status, 0) << extra;
  auto clean = DecodeImageFile(dir.File("clean.png")), heat = DecodeImageFile(dir.File("heat.png"));
  ASSERT_TRUE(clean && heat);
  auto magenta = [](const auto& image) {
    int n = 0;
    for (size_t i = 0; i < 1024 * 15 * 4; i += 4) n += image->pixels[i] > 200 && image->pixels[i + 1] < 60;
    return n;
  };
  EXPECT_GT(magenta(moved), 50);
  EXPECT_EQ(magenta(clean), 0);
  EXPECT_TRUE(clean->pixels != heat->pixels);
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
        "run m.kvl --save ''", "run m.kvl --trace ''", "render m.kvl ''", "compare x m.kvl --heatmap-diff link.kvl",
        "compare m.kvl x --heatmap-diff ''"}) {
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
      {"compare " + map + " " + map + " --seeds 1 --frames 1 --heatmap-diff full", ""},
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
                                {"render -h", {"OUT.png", "--start-ms", "--zoom", "--size", "--heatmap", "--no-hud"}},
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
