// koravel-sim: the program's own world and traffic without a window.
//
//   koravel-sim info MAP
//   koravel-sim run MAP [--frames N] [--frame-ms MS] [--start-ms T0] [--seed S] [--fill N]
//                       [--trace FILE] [--save FILE] [--stats FILE] [--stop-on-gridlock]
//   koravel-sim render MAP OUT.png [--frames N] [--frame-ms MS] [--start-ms T0] [--seed S]
//                          [--zoom PERCENT] [--size WxH] [--heatmap] [--no-hud]
//   koravel-sim compare A B [--seeds N] [--frames F] [--jobs J] [--table]
//                           [--heatmap-diff OUT.png] [--zoom PERCENT] [--size WxH]
//
// Exit status: 0 success, 1 usage error (also an output that would overwrite
// the map or another output), 2 map unreadable or refused, images not found,
// or an output that could not be written.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "app/program_data.h"
#include "compare.h"
#include "mapfile/mapfile.h"
#include "platform/files.h"
#include "render/scene.h"
#include "render/sprites.h"
#include "render/viewport.h"
#include "report.h"
#include "session.h"
#include "stress_map.h"

namespace kv::sim_tool {
namespace {

constexpr int64_t kMaxFrames = int64_t{1} << 40;
// One car per lane cell at most.
constexpr int64_t kMaxFill = int64_t{CellGrid::kSide} * CellGrid::kSide;
constexpr const char* kTraceHeader =
    "frame,car,emitter,color,cell_x,cell_y,pos_x,pos_y,speed,angle,state,route_index\n";
constexpr const char* kStatsHeader = "second,cars,spawned,arrived,standing,mean_speed,mean_trip_frames_last_minute\n";
constexpr int64_t kMsPerSecond = 1000;
// One simulated hour at the default frame length.
constexpr int64_t kHourFrames = 3600 * kMsPerSecond / RunOptions{}.frameMs;

struct Options {
  RunOptions run;
  std::string out, trace, save, stats;
  int64_t fill = 0;
  int zoom = kUnzoomed;
  bool heatmap = false, noHud = false;
  Size size{kClassicScreenWidth, kClassicScreenHeight};
  bool stopOnGridlock = false;
  CompareOptions compare;
};

// The picture's sides, each 1..kMaxPictureSide.
constexpr int kMaxPictureSide = 4096;

// "WxH" with whole numbers; false for anything else.
bool ParseSize(const std::string& text, Size& size) {
  int width = 0, height = 0, used = 0;
  if (std::sscanf(text.c_str(), "%5dx%5d%n", &width, &height, &used) != 2 || used != static_cast<int>(text.size()) ||
      text.find_first_of("+- ") != std::string::npos)
    return false;
  if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide) return false;
  size = {width, height};
  return true;
}

// One row per car; false when the row could not be written.
bool TraceFrame(FileWriter& f, const World& w, uint64_t frame) {
  char row[256];
  for (const Car& c : w.CarList) {
    const int n = std::snprintf(row, sizeof row, "%" PRIu64 ",%" PRIu64 ",%d,%d,%d,%d,%.9g,%.9g,%.9g,%d,%d,%d\n", frame,
                                c.Serial, c.EmitterIndex, c.Color, c.CellX, c.CellY, static_cast<double>(c.PosX),
                                static_cast<double>(c.PosY), static_cast<double>(c.Speed), c.Angle,
                                static_cast<int>(c.State), c.RouteIndex);
    if (n < 0 || n >= static_cast<int>(sizeof row) || !f.Write(row, static_cast<size_t>(n))) return false;
  }
  return true;
}

// The figures of the step just taken, as one row for simulated second `second`.
bool StatsRow(FileWriter& f, const World& w, uint64_t second) {
  const TrafficFigures s = CurrentFigures(w);
  char row[256];
  const int n = std::snprintf(row, sizeof row, "%" PRIu64 ",%d,%" PRIu64 ",%" PRIu64 ",%d,%.4f,%.1f\n", second, s.Cars,
                              s.Spawned, s.Arrived, s.Standing, s.MeanSpeed, s.MeanTripFramesLastMinute);
  return n > 0 && n < static_cast<int>(sizeof row) && f.Write(row, static_cast<size_t>(n));
}

int Usage(const std::string& what) {
  std::fprintf(stderr, "koravel-sim: %s\n", what.c_str());
  std::fputs("usage: koravel-sim info|run|render|compare MAP ... (koravel-sim --help explains every option)\n", stderr);
  return kExitUsage;
}

// An output without a name, or one that names the map or another output,
// would be lost or destroy what is there: refused before anything is written.
int CheckOutputs(const std::string& map, const std::vector<std::pair<std::string, std::string>>& outputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    const auto& [option, path] = outputs[i];
    if (path.empty()) return Usage(option + " needs a file name");
    if (SameFile(path, map)) return Usage(option + " " + path + " is the map " + map + " itself");
    for (size_t j = 0; j < i; ++j)
      if (SameFile(path, outputs[j].second))
        return Usage(outputs[j].first + " and " + option + " name the same file " + path);
  }
  return 0;
}

int Info(const Options& o) {
  Session s(o.run, DrawMode::CountOnly);
  if (!s.Load()) return kExitFailed;
  return PrintJson(MapInfo(s.world())) ? 0 : Failed("cannot write the output");
}

int Run(const Options& o) {
  Session s(o.run, DrawMode::CountOnly);
  if (!s.Load()) return kExitFailed;
  World& w = s.world();

  // Like every file the tool writes, the trace replaces an old one only
  // when it is complete.
  std::unique_ptr<FileWriter> trace;
  if (!o.trace.empty()) {
    trace = std::make_unique<FileWriter>(o.trace);
    if (!trace->Write(kTraceHeader, std::strlen(kTraceHeader))) return CannotWrite(o.trace, trace->Error());
  }
  std::unique_ptr<FileWriter> stats;
  if (!o.stats.empty()) {
    stats = std::make_unique<FileWriter>(o.stats);
    if (!stats->Write(kStatsHeader, std::strlen(kStatsHeader))) return CannotWrite(o.stats, stats->Error());
  }
  if (o.fill > 0) stress::FillWithCars(w, static_cast<int>(o.fill), o.run.seed);

  GridlockTally gridlocks;
  int64_t frames = o.run.frames;
  // A row each time the clock has gone on by a second since the map was loaded.
  int64_t msIntoSecond = 0;
  uint64_t second = 0;
  for (int64_t k = 1; k <= frames; ++k) {
    s.StepTo(k);
    if (trace && !TraceFrame(*trace, w, static_cast<uint64_t>(k))) return CannotWrite(o.trace, trace->Error());
    gridlocks.Update(w);
    for (msIntoSecond += stats ? o.run.frameMs : 0; msIntoSecond >= kMsPerSecond; msIntoSecond -= kMsPerSecond)
      if (!StatsRow(*stats, w, ++second)) return CannotWrite(o.stats, stats->Error());
    if (o.stopOnGridlock && gridlocks.Found() > 0) {
      frames = k;
      break;
    }
  }
  if (trace && !trace->Commit()) return CannotWrite(o.trace, trace->Error());
  if (stats && !stats->Commit()) return CannotWrite(o.stats, stats->Error());

  if (!o.save.empty() && SaveMap(w, s.platform(), s.platform(), o.save) != SaveResult::Saved) {
    ReportMessages(s.platform(), "");
    return Failed("cannot save " + o.save);
  }
  Json summary = RunSummary(w, frames);
  summary["gridlocks"] = gridlocks.Summary();
  return PrintJson(summary) ? 0 : Failed("cannot write the output");
}

int Render(const Options& o, const ProgramData& data) {
  if (!data.images) return Failed(MissingImagesText(data));
  Session s(o.run, DrawMode::Rasterise);
  World& w = s.world();
  s.platform().SetScreenSize(o.size.width, o.size.height);
  LoadSprites(w, s.platform(), *data.images);
  if (!s.Load()) return kExitFailed;
  for (int64_t k = 1; k <= o.run.frames; ++k) s.StepTo(k);
  w.Tool = Tool::None;
  w.ScreenWidth = o.size.width, w.ScreenHeight = o.size.height;
  w.ZoomPercent = o.zoom;
  w.HeatShown = o.heatmap;
  w.HudShown = !o.noHud;
  DrawScene(w, s.platform(), w.ScreenWidth / 2, w.ScreenHeight / 2);
  errno = 0;
  if (!s.platform().WriteFramePng(o.out)) return CannotWrite(o.out, errno);
  return 0;
}

// The options a run and a picture share.
void AddRunOptions(CLI::App& cmd, Options& o, int64_t defaultFrames) {
  o.run.frames = defaultFrames;
  cmd.add_option("--frames", o.run.frames, "Frames to simulate")
      ->check(CLI::Range(int64_t{0}, kMaxFrames))
      ->default_val(defaultFrames);
  cmd.add_option("--frame-ms", o.run.frameMs, "Milliseconds of the simulation's clock per frame")
      ->check(CLI::Range(int64_t{0}, int64_t{1000000000}))
      ->default_val(16);
  cmd.add_option("--start-ms", o.run.startMs,
                 "The clock's reading while the map loads; frame k reads T0 + k * MS, modulo 2^32")
      ->check(CLI::Range(uint32_t{0}, UINT32_MAX))
      ->default_val(1000000);
  cmd.add_option("--seed", o.run.seed, "Seed of the random numbers (std::mt19937): a run is repeatable")
      ->check(CLI::Range(uint32_t{0}, UINT32_MAX))
      ->default_val(1);
}

// The picture's size and zoom, as render and compare take them.
void AddPictureOptions(CLI::App& cmd, int& zoom, Size& size) {
  cmd.add_option("--zoom", zoom, "Zoom in percent: 25, 50, 100 or 200; at 25 a picture of 800x800 holds the "
                                 "whole map of 3200 x 3200 pixels")
      ->check(CLI::IsMember({25, 50, 100, 200}))
      ->default_val(kUnzoomed);
  cmd.add_option_function<std::string>(
         "--size",
         [&size](const std::string& text) {
           if (!ParseSize(text, size)) throw CLI::ValidationError("--size", "must be WxH, each side 1 to 4096");
         },
         "Size of the picture in pixels, as the window's inner size (default 1024x768)")
      ->type_name("WxH");
}

CLI::App* AddMapArgument(CLI::App& cmd, Options& o) {
  cmd.add_option("MAP", o.run.map, "Map file")->required();
  return &cmd;
}

int Command(int argc, char** argv) {
  Options o;
  CLI::App app("koravel-sim runs Koravel's own world and traffic without a window.", "koravel-sim");
  app.set_version_flag("--version", std::string("koravel-sim ") + KORAVEL_VERSION);
  app.require_subcommand(1, 1);
  app.footer(
      "Exit status: 0 success, 1 usage error (also an output that is the map or another output), 2 map "
      "unreadable or refused, images not found, or an output that could not be written.\n"
      "koravel-sim COMMAND --help explains a command.");

  CLI::App* info = app.add_subcommand(
      "info", "Loads the map and prints it as one JSON object: \"bounds\", \"view\", \"roads\" [[x, y, type]] after "
              "re-shaping, \"emitters\" [{\"tile\", \"direction\", \"target\", \"route\" (target first, start cell "
              "last)}], \"lights\" [[cellX, cellY, state, interval]], \"lanes\" and \"control\" [[x, y, value]] for "
              "every lane cell with a non-zero value, row by row.");
  AddMapArgument(*info, o);

  CLI::App* run = app.add_subcommand(
      "run", "Loads the map and simulates N frames: each frame sets the simulation's clock, then switches the "
             "lights, lets the emitters spawn and moves the cars. Prints one JSON object: \"frames\", \"spawned\", "
             "\"arrived\", \"left_grid\", \"cars\", \"roads\", \"emitters\", \"lights\", \"mean_trip_frames\", "
             "\"gridlocks\": one entry per gridlock found, [{\"formed\" (its frame), \"cars\" (numbered as in the "
             "trace), \"tiles\" [[x, y]] (those its cars stand on), \"tile\" (the one it is named by), \"at_end\" "
             "(still there after the last frame)}]. A gridlock: cars that have all stood still for 30 simulated "
             "seconds (1800 frames) and wait for each other in a cycle, directly or through a queue.");
  AddMapArgument(*run, o);
  AddRunOptions(*run, o, 3600);
  run->add_option("--fill", o.fill,
                  "Puts N cars on the map before the first frame, on free lane cells along the routes of the "
                  "emitters that spawn, each heading along its route with a start speed and colour as its emitter "
                  "would give; placed from the seed, fewer when the routes have no more free cells. They do not "
                  "count as spawned.")
      ->check(CLI::Range(int64_t{0}, kMaxFill));
  run->add_option("--trace", o.trace,
                  "Writes one CSV row per car after every frame: "
                  "frame,car,emitter,color,cell_x,cell_y,pos_x,pos_y,speed,angle,state,route_index");
  run->add_option("--save", o.save, "Saves the map after the run");
  run->add_option("--stats", o.stats,
                  "Writes one CSV row per simulated second (1000 ms of the clock): "
                  "second,cars,spawned,arrived,standing (cars at speed 0),mean_speed (pixels per frame),"
                  "mean_trip_frames_last_minute (of the cars that arrived in the last 3600 frames; 0 when none did)");
  run->add_flag("--stop-on-gridlock", o.stopOnGridlock,
                "Ends the run after the frame in which the first gridlock was found");

  CLI::App* render = app.add_subcommand(
      "render", "Runs like run, then draws one frame as the program shows it in a window of the given size, at the "
                "map's view and the given zoom (pointer at the centre, no tool selected), into OUT.png. Images are "
                "read from Gfx/ in the working directory, beside the program or in its installed data directory, the "
                "first of them that has one.");
  AddMapArgument(*render, o);
  render->add_option("OUT.png", o.out, "Picture to write")->required();
  AddRunOptions(*render, o, 0);
  AddPictureOptions(*render, o.zoom, o.size);
  render->add_flag("--heatmap", o.heatmap,
                   "Draws the congestion overlay of the run: every lane cell by the share of the last simulated "
                   "minutes in which a car stood still on it, from clear through yellow to red, with its legend");
  render->add_flag("--no-hud", o.noHud, "Leaves out the HUD, the toolbar and the pointer: a clean picture of the map");

  CLI::App* compare = app.add_subcommand(
      "compare", "Runs map A and map B with the seeds 1 to N for F frames each, as run does, and prints one JSON "
                 "object: for each measure (\"arrivals_per_hour\" of simulated time, \"mean_trip_frames\", "
                 "\"standing_share\" of the car time spent at speed 0, \"gridlocks\" formed) the mean of A and "
                 "of B over the seeds with their 95 % confidence intervals (Student's t), the difference B - A "
                 "with its interval (Welch's t), and \"better\": \"A\" or \"B\" where that interval excludes 0, "
                 "null where it does not. Every run depends only on its map and seed: the report is the same for "
                 "any number of jobs.");
  compare->add_option("A", o.compare.a, "First map")->required();
  compare->add_option("B", o.compare.b, "Second map")->required();
  compare->add_option("--seeds", o.compare.seeds, "Runs each map with the seeds 1 to N")
      ->check(CLI::Range(int64_t{1}, int64_t{100000}))
      ->default_val(20);
  compare->add_option("--frames", o.compare.frames, "Frames of each run (16 ms of the clock each; the default is "
                                                    "one simulated hour)")
      ->check(CLI::Range(int64_t{1}, kMaxFrames))
      ->default_val(kHourFrames);
  compare->add_option("--jobs", o.compare.jobs, "Runs at a time, each on a thread of its own (default: the cores)")
      ->check(CLI::Range(int64_t{1}, int64_t{1024}))
      ->default_val(std::max(1u, std::thread::hardware_concurrency()));
  compare->add_flag("--table", o.compare.table, "Prints the same as an aligned table for people");
  compare->add_option("--heatmap-diff", o.compare.heatmapDiff,
                      "After the report, draws map B as loaded (without cars, HUD, toolbar and pointer, at its "
                      "view) into OUT.png with every lane cell tinted by how much longer cars stood still on it in "
                      "B's runs than in A's, on average over the seeds: red for longer, blue for shorter, the "
                      "stronger the larger the difference against the largest one; differences under 60 frames "
                      "(a simulated second) stay clear. Images as for render.")
      ->type_name("OUT.png");
  AddPictureOptions(*compare, o.compare.zoom, o.compare.size);

  try {
    // A misspelt command is named as such rather than as a missing one.
    if (argc >= 2 && argv[1][0] != '-') {
      try {
        app.get_subcommand(argv[1]);
      } catch (const CLI::OptionNotFound&) {
        throw CLI::ExtrasError(std::string("unknown command: ") + argv[1], CLI::ExitCodes::ExtrasError);
      }
    }
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    return Usage(e.what());
  }

  const ProgramData data = FindProgramData();
  if (compare->parsed()) {
    o.compare.a = MapPath(data, o.compare.a);
    o.compare.b = MapPath(data, o.compare.b);
    if (compare->get_option("--heatmap-diff")->count() > 0) {
      for (const std::string& map : {o.compare.a, o.compare.b})
        if (int status = CheckOutputs(map, {{"--heatmap-diff", o.compare.heatmapDiff}})) return status;
      if (!data.images) return Failed(MissingImagesText(data));
      o.compare.images = *data.images;
    }
    return Compare(o.compare);
  }
  o.run.map = MapPath(data, o.run.map);
  std::vector<std::pair<std::string, std::string>> outputs;
  if (render->parsed()) outputs.emplace_back("OUT.png", o.out);
  if (run->parsed() && run->get_option("--trace")->count() > 0) outputs.emplace_back("--trace", o.trace);
  if (run->parsed() && run->get_option("--save")->count() > 0) outputs.emplace_back("--save", o.save);
  if (run->parsed() && run->get_option("--stats")->count() > 0) outputs.emplace_back("--stats", o.stats);
  if (int status = CheckOutputs(o.run.map, outputs)) return status;

  if (info->parsed()) return Info(o);
  if (run->parsed()) return Run(o);
  return Render(o, data);
}

// Standard output too is an output: what could not be written is an error.
int Main(int argc, char** argv) {
  const int status = Command(argc, argv);
  if (std::fclose(stdout) != 0 && status == 0)
    return Failed(std::string("cannot write the output: ") + std::strerror(errno));
  return status;
}

}  // namespace
}  // namespace kv::sim_tool

int main(int argc, char** argv) { return kv::sim_tool::Main(argc, argv); }
