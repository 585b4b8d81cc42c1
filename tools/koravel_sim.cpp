// koravel-sim: the program's own world and procedures without a window.
//
//   koravel-sim info MAP
//   koravel-sim run MAP [--frames N] [--frame-ms MS] [--start-ms T0] [--seed S] [--fill N]
//                       [--trace FILE] [--save FILE]
//   koravel-sim render MAP OUT.png [--frames N] [--frame-ms MS] [--start-ms T0] [--seed S]
//
// Exit status: 0 success, 1 usage error, 2 map unreadable or refused.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapfile/mapfile.h"
#include "platform/clock.h"
#include "platform/headless/headless_platform.h"
#include "render/scene.h"
#include "render/sprites.h"
#include "sim/random.h"
#include "sim/step.h"
#include "stress_map.h"

namespace kv {
namespace {

constexpr uint32_t kDefaultStartMs = 1000000;
// One car per lane cell at most.
constexpr int64_t kMaxFill = int64_t{CellGrid::kMax + 1} * (CellGrid::kMax + 1);

constexpr const char* kUsage =
    "usage:\n"
    "  koravel-sim info MAP\n"
    "  koravel-sim run MAP [--frames N] [--frame-ms MS] [--start-ms T0] [--seed S] [--fill N]\n"
    "                  [--trace FILE] [--save FILE]\n"
    "  koravel-sim render MAP OUT.png [--frames N] [--frame-ms MS] [--start-ms T0] [--seed S]\n"
    "  koravel-sim --help\n";

constexpr const char* kHelp =
    "koravel-sim runs Koravel's own world and traffic without a window.\n"
    "\n"
    "info MAP\n"
    "  Loads the map and prints one JSON object: \"bounds\", \"view\", \"roads\"\n"
    "  [[x, y, type], ...] after re-shaping, \"emitters\" [{\"tile\", \"direction\",\n"
    "  \"target\", \"route\" (target first, start cell last)}], \"lights\"\n"
    "  [[cellX, cellY, state, interval], ...], \"lanes\" and \"control\"\n"
    "  [[x, y, value], ...] for every lane cell with a non-zero code, row by row.\n"
    "\n"
    "run MAP [--frames N] [--frame-ms MS] [--start-ms T0] [--seed S] [--fill N] [--trace FILE]\n"
    "    [--save FILE]\n"
    "  Loads the map and simulates N frames (default 3600): frame k sets the\n"
    "  simulation's clock to T0 + k * MS ms, modulo 2^32 (MS default 16; T0\n"
    "  default 1000000, the clock's reading while the map loads), then switches\n"
    "  the lights, lets the emitters spawn and moves the cars. The traffic does\n"
    "  not depend on T0.\n"
    "  Random numbers come from std::mt19937 seeded with S (default 1), so a run\n"
    "  is repeatable. Prints one JSON object: \"frames\", \"spawned\", \"arrived\",\n"
    "  \"left_grid\", \"cars\", \"roads\", \"emitters\", \"lights\", \"mean_trip_frames\".\n"
    "  --fill N puts N cars on the map before the first frame (for load tests):\n"
    "    on free lane cells along the routes of the emitters that spawn, each\n"
    "    heading along its route with a start speed and colour as its emitter\n"
    "    would give; placed from the seed, so repeatable; fewer when the routes\n"
    "    have no more free cells. They do not count as spawned.\n"
    "  --trace FILE writes one CSV row per car after every frame:\n"
    "    frame,car,emitter,color,cell_x,cell_y,pos_x,pos_y,speed,angle,state,route_index\n"
    "  --save FILE saves the map after the run.\n"
    "\n"
    "render MAP OUT.png [--frames N] [--frame-ms MS] [--start-ms T0] [--seed S]\n"
    "  Runs like run (default N = 0), then draws one 1024 x 768 frame as the\n"
    "  program shows it (pointer at the centre, no tool selected) into OUT.png.\n"
    "  Images are read from Gfx/ in the working directory; missing ones are not drawn.\n"
    "\n"
    "Exit status: 0 success, 1 usage error, 2 map unreadable or refused.\n";

int UsageError(const char* why) {
  if (why) std::fprintf(stderr, "koravel-sim: %s\n", why);
  std::fputs(kUsage, stderr);
  return 1;
}

// Whole decimal number within [lo, hi]; nothing else accepted.
std::optional<int64_t> ParseNumber(const char* text, int64_t lo, int64_t hi) {
  if (!text || !*text) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return std::nullopt;
  return v;
}

struct Options {
  std::string command, map, out, trace, save;
  int64_t frames = -1;
  int64_t fill = 0;
  int64_t frameMs = 16;
  uint32_t startMs = kDefaultStartMs;
  uint32_t seed = 1;
};

// Returns 0 when parsed, else the exit status.
int Parse(int argc, char** argv, Options& o) {
  if (argc < 2) return UsageError("missing command");
  o.command = argv[1];
  if (o.command != "info" && o.command != "run" && o.command != "render")
    return UsageError(("unknown command: " + o.command).c_str());
  std::vector<std::string> positional;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)name;
      return argv[++i];
    };
    if (a == "--frames" || a == "--frame-ms" || a == "--start-ms" || a == "--seed" || a == "--fill" ||
        a == "--trace" || a == "--save") {
      if (o.command == "info") return UsageError(("info takes no option " + a).c_str());
      if (o.command == "render" && (a == "--trace" || a == "--save" || a == "--fill"))
        return UsageError(("render takes no option " + a).c_str());
      const char* v = value(a.c_str());
      if (!v) return UsageError((a + " needs a value").c_str());
      if (a == "--frames") {
        auto n = ParseNumber(v, 0, INT64_C(1) << 40);
        if (!n) return UsageError("--frames takes a whole number of 0 or more");
        o.frames = *n;
      } else if (a == "--frame-ms") {
        auto n = ParseNumber(v, 0, 1000000000);
        if (!n) return UsageError("--frame-ms takes a whole number of milliseconds");
        o.frameMs = *n;
      } else if (a == "--start-ms") {
        auto n = ParseNumber(v, 0, UINT32_MAX);
        if (!n) return UsageError("--start-ms takes a whole number from 0 to 4294967295");
        o.startMs = static_cast<uint32_t>(*n);
      } else if (a == "--seed") {
        auto n = ParseNumber(v, 0, UINT32_MAX);
        if (!n) return UsageError("--seed takes a whole number from 0 to 4294967295");
        o.seed = static_cast<uint32_t>(*n);
      } else if (a == "--fill") {
        auto n = ParseNumber(v, 0, kMaxFill);
        if (!n) return UsageError("--fill takes a whole number of cars from 0 to 40401");
        o.fill = *n;
      } else if (a == "--trace") {
        o.trace = v;
      } else {
        o.save = v;
      }
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError(("unknown option: " + a).c_str());
    } else {
      positional.push_back(a);
    }
  }
  size_t want = o.command == "render" ? 2 : 1;
  if (positional.size() != want) return UsageError("wrong number of arguments");
  o.map = positional[0];
  if (o.command == "render") o.out = positional[1];
  if (o.frames < 0) o.frames = o.command == "run" ? 3600 : 0;
  return 0;
}

class Json {
 public:
  explicit Json(FILE* f) : f_(f) {}
  void Raw(const char* s) { std::fputs(s, f_); }
  void Int(int64_t v) { std::fprintf(f_, "%" PRId64, v); }
  void Pair(int64_t a, int64_t b) { std::fprintf(f_, "[%" PRId64 ", %" PRId64 "]", a, b); }
  void Triple(int64_t a, int64_t b, int64_t c) {
    std::fprintf(f_, "[%" PRId64 ", %" PRId64 ", %" PRId64 "]", a, b, c);
  }

 private:
  FILE* f_;
};

void PrintInfo(const World& w) {
  Json j(stdout);
  j.Raw("{\"bounds\": ");
  j.Pair(w.TileMapWidth, w.TileMapHeight);
  j.Raw(", \"view\": ");
  j.Pair(w.ViewX, w.ViewY);
  j.Raw(", \"roads\": [");
  bool first = true;
  for (const Road& r : w.RoadList) {
    if (!first) j.Raw(", ");
    first = false;
    j.Triple(r.TileX, r.TileY, static_cast<int>(r.Type));
  }
  j.Raw("], \"emitters\": [");
  first = true;
  for (const Emitter& e : w.EmitterList) {
    if (!first) j.Raw(", ");
    first = false;
    j.Raw("{\"tile\": ");
    j.Pair(e.TileX, e.TileY);
    j.Raw(", \"direction\": ");
    j.Int(static_cast<int>(e.Direction));
    j.Raw(", \"target\": ");
    j.Pair(e.TargetX, e.TargetY);
    j.Raw(", \"route\": [");
    int n = e.RouteLength;
    if (n < 0) n = 0;
    if (n > kRouteCapacity - 1) n = kRouteCapacity - 1;
    for (int i = 1; i <= n; ++i) {
      if (i > 1) j.Raw(", ");
      j.Pair(e.RouteX[i], e.RouteY[i]);
    }
    j.Raw("]}");
  }
  j.Raw("], \"lights\": [");
  first = true;
  for (const TrafficLight& l : w.TrafficLightList) {
    if (!first) j.Raw(", ");
    first = false;
    std::printf("[%d, %d, %d, %d]", l.CellX, l.CellY, static_cast<int>(l.State), l.Interval);
  }
  auto cells = [&](const auto& g) {
    bool firstCell = true;
    for (int y = 0; y <= CellGrid::kMax; ++y)
      for (int x = 0; x <= CellGrid::kMax; ++x) {
        const int32_t v = static_cast<int32_t>(g.at(x, y));
        if (v == 0) continue;
        if (!firstCell) j.Raw(", ");
        firstCell = false;
        j.Triple(x, y, v);
      }
  };
  j.Raw("], \"lanes\": [");
  cells(w.MoveMap);
  j.Raw("], \"control\": [");
  cells(w.ControlMap);
  j.Raw("]}\n");
}

void TraceFrame(FILE* f, const World& w, uint64_t frame) {
  for (const Car& c : w.CarList) {
    std::fprintf(f, "%" PRIu64 ",%" PRIu64 ",%d,%d,%d,%d,%.9g,%.9g,%.9g,%d,%d,%d\n", frame,
                 c.Serial, c.EmitterIndex, c.Color, c.CellX, c.CellY,
                 static_cast<double>(c.PosX), static_cast<double>(c.PosY),
                 static_cast<double>(c.Speed), c.Angle, static_cast<int>(c.State), c.RouteIndex);
  }
}

int Main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  Options o;
  if (int status = Parse(argc, argv, o)) return status;

  HeadlessPlatform p(o.command == "render" ? DrawMode::Rasterise : DrawMode::CountOnly);
  auto world = std::make_unique<World>();
  World& w = *world;
  if (o.command == "render") LoadSprites(w, p);

  ManualClock clock(o.startMs);
  SeededRandom random(o.seed);
  LoadResult loaded = LoadMap(w, p, p, clock, o.map);
  if (loaded != LoadResult::Loaded) {
    for (const auto& m : p.Messages()) std::fprintf(stderr, "%s\n", m.second.c_str());
    if (p.Messages().empty())
      std::fprintf(stderr, "koravel-sim: cannot read %s\n", o.map.c_str());
    return 2;
  }

  if (o.command == "info") {
    PrintInfo(w);
    return 0;
  }

  std::unique_ptr<FILE, int (*)(FILE*)> trace(nullptr, &std::fclose);
  if (!o.trace.empty()) {
    trace.reset(std::fopen(o.trace.c_str(), "w"));
    if (!trace) {
      std::fprintf(stderr, "koravel-sim: cannot write %s: %s\n", o.trace.c_str(), std::strerror(errno));
      return 2;
    }
    std::fputs("frame,car,emitter,color,cell_x,cell_y,pos_x,pos_y,speed,angle,state,route_index\n",
               trace.get());
  }

  if (o.fill > 0) stress::FillWithCars(w, static_cast<int>(o.fill), o.seed);

  for (int64_t k = 1; k <= o.frames; ++k) {
    clock.Set(static_cast<uint32_t>(o.startMs + static_cast<uint64_t>(k) * static_cast<uint64_t>(o.frameMs)));
    Step(w, clock, random);
    if (trace) TraceFrame(trace.get(), w, static_cast<uint64_t>(k));
  }

  if (o.command == "render") {
    w.Tool = Tool::None;
    DrawScene(w, p, w.ScreenWidth / 2, w.ScreenHeight / 2);
    if (!p.WriteFramePng(o.out)) {
      std::fprintf(stderr, "koravel-sim: cannot write %s\n", o.out.c_str());
      return 2;
    }
    return 0;
  }

  if (!o.save.empty()) {
    if (SaveMap(w, p, p, o.save) != SaveResult::Saved) {
      for (const auto& m : p.Messages()) std::fprintf(stderr, "%s\n", m.second.c_str());
      std::fprintf(stderr, "koravel-sim: cannot save %s\n", o.save.c_str());
      return 2;
    }
  }

  const TrafficStats& s = w.Stats;
  double meanTrip = s.Arrived ? static_cast<double>(s.ArrivedTripFrames) / static_cast<double>(s.Arrived) : 0.0;
  std::printf(
      "{\"frames\": %" PRId64 ", \"spawned\": %" PRIu64 ", \"arrived\": %" PRIu64
      ", \"left_grid\": %" PRIu64 ", \"cars\": %d, \"roads\": %d, \"emitters\": %d, \"lights\": %d"
      ", \"mean_trip_frames\": %.3f}\n",
      o.frames, s.Spawned, s.Arrived, s.LeftGrid, w.CarCount(), w.RoadCount(), w.EmitterCount(),
      w.LightCount(), meanTrip);
  return 0;
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) { return kv::Main(argc, argv); }
