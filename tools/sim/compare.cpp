#include "compare.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

#include "mapfile/format.h"
#include "platform/files.h"
#include "render/insight.h"
#include "render/scene.h"
#include "render/sprites.h"
#include "session.h"
#include "sim/step.h"
#include "world/observations.h"

namespace kv::sim_tool {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kConfidence = 0.95;
constexpr double kMsPerHour = 3600.0 * 1000.0;

struct Measure {
  const char* key;
  const char* label;
  bool higherIsBetter;
  int decimals;  // in the table
};
constexpr Measure kMeasures[] = {
    {"arrivals_per_hour", "arrivals per hour", true, 1},
    {"mean_trip_frames", "mean trip (frames)", false, 1},
    {"standing_share", "share of car time standing", false, 4},
    {"gridlocks", "gridlocks formed", false, 2},
};
constexpr size_t kMeasureCount = std::size(kMeasures);

constexpr size_t kCells = static_cast<size_t>(CellGrid::kSide) * CellGrid::kSide;
// A difference smaller than a simulated second of standing per run stays
// clear: noise between seeds, not a design's doing.
constexpr double kLeastDiffSteps = 60.0;
constexpr int kLegendMargin = 8;

// One run's value of each measure; NaN where it has none (a mean trip
// without arrivals).
struct RunFigures {
  bool ok = false;
  double values[kMeasureCount] = {};
  std::vector<uint64_t> standing;  // StandingSteps by cell, y * side + x, when asked for
};

double Ratio(uint64_t a, uint64_t b) { return b ? static_cast<double>(a) / static_cast<double>(b) : kNaN; }

// One map with one seed, in a world of its own, stepped as run steps it: the
// same traffic as `koravel-sim run MAP --seed S --frames F`.
RunFigures RunOnce(const std::string& path, uint32_t seed, int64_t frames, bool standing) {
  RunFigures out;
  HostFiles files;
  const std::optional<Bytes> bytes = files.ReadFile(path, kMaxMapFileBytes);
  if (!bytes) return out;
  const ParsedMap parsed = ParseMap(*bytes);
  if (!parsed.ok()) return out;
  RunOptions run;
  run.seed = seed;
  ManualClock clock(run.startMs);
  SeededRandom random(seed);
  auto world = std::make_unique<World>();
  World& w = *world;
  PlaceMap(w, parsed.map, clock);
  for (int64_t k = 1; k <= frames; ++k) {
    clock.Set(ClockAt(run, k));
    Step(w, clock, random);
  }
  const double hours = static_cast<double>(frames) * static_cast<double>(run.frameMs) / kMsPerHour;
  out.values[0] = static_cast<double>(w.Stats.Arrived) / hours;
  out.values[1] = Ratio(w.Stats.ArrivedTripFrames, w.Stats.Arrived);
  out.values[2] = Ratio(w.Live.StandingCarSteps, w.Live.CarSteps);
  out.values[3] = static_cast<double>(w.Gridlocks.Found);
  if (standing) {
    out.standing.resize(kCells);
    for (int y = 0; y < CellGrid::kSide; ++y)
      for (int x = 0; x < CellGrid::kSide; ++x)
        out.standing[static_cast<size_t>(y) * CellGrid::kSide + static_cast<size_t>(x)] = StandingSteps(w, x, y);
  }
  out.ok = true;
  return out;
}

// Runs in order map A seeds 1..N, then map B; `jobs` threads take the next
// run as they finish one. Each run writes only its own slot; with a picture
// asked for, its standing is added to its map's sums (whole numbers: the
// same in any order) and let go.
std::vector<RunFigures> RunAll(const CompareOptions& o, std::vector<uint64_t> (&standing)[2]) {
  const size_t seeds = static_cast<size_t>(o.seeds);
  std::vector<RunFigures> results(2 * seeds);
  const bool picture = !o.heatmapDiff.empty();
  for (std::vector<uint64_t>& sums : standing) sums.assign(picture ? kCells : 0, 0);
  std::mutex sumsLock;
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < results.size(); i = next++) {
      try {
        results[i] = RunOnce(i < seeds ? o.a : o.b, static_cast<uint32_t>(i % seeds + 1), o.frames, picture);
      } catch (const std::exception&) {
        results[i].ok = false;  // out of memory: reported as a map that could not be run
      }
      if (!results[i].ok || !picture) continue;
      const std::lock_guard<std::mutex> hold(sumsLock);
      std::vector<uint64_t>& sums = standing[i < seeds ? 0 : 1];
      for (size_t c = 0; c < kCells; ++c) sums[c] += results[i].standing[c];
      results[i].standing = {};
    }
  };
  const size_t threads = std::min(static_cast<size_t>(std::max<int64_t>(o.jobs, 1)), results.size());
  std::vector<std::thread> pool;
  for (size_t t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  return results;
}

double Variance(const std::vector<double>& v, double mean) {
  double sum = 0.0;
  for (double x : v) sum += (x - mean) * (x - mean);
  return sum / static_cast<double>(v.size() - 1);
}

double Mean(const std::vector<double>& v) {
  double sum = 0.0;
  for (double x : v) sum += x;
  return sum / static_cast<double>(v.size());
}

// The continued fraction of the regularized incomplete beta function,
// evaluated from the front (modified Lentz).
double BetaFraction(double a, double b, double x) {
  constexpr double kTiny = 1e-300, kEpsilon = 1e-15;
  auto guard = [](double v) { return std::fabs(v) < kTiny ? kTiny : v; };
  double c = 1.0, d = 1.0 / guard(1.0 - (a + b) * x / (a + 1.0)), h = d;
  for (int m = 1; m <= 500; ++m) {
    const double m2 = 2.0 * m;
    double term = m * (b - m) * x / ((a - 1.0 + m2) * (a + m2));
    d = 1.0 / guard(1.0 + term * d);
    c = guard(1.0 + term / c);
    h *= d * c;
    term = -(a + m) * (a + b + m) * x / ((a + m2) * (a + 1.0 + m2));
    d = 1.0 / guard(1.0 + term * d);
    c = guard(1.0 + term / c);
    h *= d * c;
    if (std::fabs(d * c - 1.0) < kEpsilon) break;
  }
  return h;
}

// I_x(a, b). std::lgamma sets the global signgam: the intervals are worked
// out only once the runs' threads have ended.
double IncompleteBeta(double a, double b, double x) {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  const double front =
      std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
  // The fraction converges fast on this side of the mean; the other side by symmetry.
  if (x < (a + 1.0) / (a + b + 2.0)) return front * BetaFraction(a, b, x) / a;
  return 1.0 - front * BetaFraction(b, a, 1.0 - x) / b;
}

// P(T <= t) for t >= 0.
double StudentCdf(double t, double df) { return 1.0 - 0.5 * IncompleteBeta(df / 2.0, 0.5, df / (df + t * t)); }

Json Number(double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); }

Json EstimateJson(const Estimate& e, bool withRuns) {
  Json j;
  j["mean"] = Number(e.mean);
  j["ci95"] = std::isnan(e.low) ? Json(nullptr) : Json::array({Number(e.low), Number(e.high)});
  if (withRuns) j["runs"] = e.n;
  return j;
}

// "A", "B", or "" when the interval of the difference holds 0.
std::string Better(const Measure& m, const Estimate& diff) {
  if (std::isnan(diff.low) || (diff.low <= 0.0 && diff.high >= 0.0)) return "";
  return (diff.low > 0.0) == m.higherIsBetter ? "B" : "A";
}

std::string Shown(const Estimate& e, int decimals) {
  if (std::isnan(e.mean)) return "-";
  char text[128];
  if (std::isnan(e.low))
    std::snprintf(text, sizeof text, "%.*f", decimals, e.mean);
  else
    std::snprintf(text, sizeof text, "%.*f [%.*f, %.*f]", decimals, e.mean, decimals, e.low, decimals, e.high);
  return text;
}

struct Row {
  const Measure* measure;
  Estimate a, b, diff;
  std::string better;
};

bool PrintTable(const CompareOptions& o, const std::vector<Row>& rows) {
  std::vector<std::vector<std::string>> cells = {{"measure", "A", "B", "B - A", "better"}};
  for (const Row& r : rows) {
    const int d = r.measure->decimals;
    cells.push_back(
        {r.measure->label, Shown(r.a, d), Shown(r.b, d), Shown(r.diff, d), r.better.empty() ? "-" : r.better});
  }
  std::vector<size_t> width(5, 0);
  for (const auto& line : cells)
    for (size_t c = 0; c < line.size(); ++c) width[c] = std::max(width[c], line[c].size());
  std::string text = "A: " + o.a + "\nB: " + o.b + "\n" + std::to_string(o.seeds) + " seeds, " +
                     std::to_string(o.frames) + " frames each; 95 % intervals: Student's t over the seeds, " +
                     "Welch's t for B - A\n\n";
  for (const auto& line : cells) {
    for (size_t c = 0; c < line.size(); ++c)
      text += line[c] + (c + 1 < line.size() ? std::string(width[c] - line[c].size() + 3, ' ') : "\n");
  }
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

// Map B as loaded, without cars, each lane cell tinted by how much longer
// (red) or shorter (blue) cars stood on it in B's runs than in A's, on
// average over the seeds, relative to the largest difference on B's lanes.
int DrawDifference(const CompareOptions& o, const std::vector<uint64_t> (&standing)[2]) {
  RunOptions run;
  run.map = o.b;
  Session s(run, DrawMode::Rasterise);
  World& w = s.world();
  s.platform().SetScreenSize(o.size.width, o.size.height);
  LoadSprites(w, s.platform(), o.images);
  if (!s.Load()) return kExitFailed;
  std::vector<double> diff(kCells, 0.0);
  double largest = 0.0;
  for (int y = 0; y < CellGrid::kSide; ++y)
    for (int x = 0; x < CellGrid::kSide; ++x) {
      const size_t c = static_cast<size_t>(y) * CellGrid::kSide + static_cast<size_t>(x);
      if (w.MoveMap.at(x, y) == LaneCode::None) continue;
      const double more = static_cast<double>(standing[1][c]) - static_cast<double>(standing[0][c]);
      diff[c] = more / static_cast<double>(o.seeds);
      largest = std::max(largest, std::fabs(diff[c]));
    }
  w.Tool = Tool::None;
  w.ScreenWidth = o.size.width, w.ScreenHeight = o.size.height;
  w.ZoomPercent = o.zoom;
  w.HudShown = false;
  Canvas& p = s.platform();
  const CellTints tints = [&](int x, int y) {
    const double d = diff[static_cast<size_t>(y) * CellGrid::kSide + static_cast<size_t>(x)];
    return std::fabs(d) < kLeastDiffSteps ? CellTint{} : DiffTint(static_cast<float>(d / largest));
  };
  DrawScene(w, p, w.ScreenWidth / 2, w.ScreenHeight / 2, &tints);
  // Without the toolbar the map reaches the bottom edge: the legend takes
  // the lower left corner of the picture.
  DrawDiffLegend(p, kLegendMargin, w.ScreenHeight - kLegendMargin);
  p.PresentFrame();
  errno = 0;
  if (!s.platform().WriteFramePng(o.heatmapDiff)) return CannotWrite(o.heatmapDiff, errno);
  return 0;
}

}  // namespace

double StudentQuantile(double p, double df) {
  // StudentCdf grows with t: halve the bracket until it is as narrow as a double allows.
  double low = 0.0, high = 1.0;
  while (StudentCdf(high, df) < p && high < 1e12) high *= 2.0;
  for (int i = 0; i < 200 && high - low > 1e-12 * high; ++i) {
    const double mid = 0.5 * (low + high);
    (StudentCdf(mid, df) < p ? low : high) = mid;
  }
  return 0.5 * (low + high);
}

Estimate MeanWithInterval(const std::vector<double>& values) {
  Estimate e{kNaN, kNaN, kNaN, values.size()};
  if (values.empty()) return e;
  e.mean = Mean(values);
  if (values.size() < 2) return e;
  const double n = static_cast<double>(values.size());
  const double half = StudentQuantile(0.5 + kConfidence / 2.0, n - 1.0) * std::sqrt(Variance(values, e.mean) / n);
  e.low = e.mean - half;
  e.high = e.mean + half;
  return e;
}

Estimate DifferenceWithInterval(const std::vector<double>& a, const std::vector<double>& b) {
  Estimate e{kNaN, kNaN, kNaN, 0};
  if (a.empty() || b.empty()) return e;
  e.mean = Mean(b) - Mean(a);
  if (a.size() < 2 || b.size() < 2) return e;
  const double na = static_cast<double>(a.size()), nb = static_cast<double>(b.size());
  const double va = Variance(a, Mean(a)) / na, vb = Variance(b, Mean(b)) / nb;
  double half = 0.0;
  if (va + vb > 0.0) {
    // Welch-Satterthwaite degrees of freedom.
    const double df = (va + vb) * (va + vb) / (va * va / (na - 1.0) + vb * vb / (nb - 1.0));
    half = StudentQuantile(0.5 + kConfidence / 2.0, df) * std::sqrt(va + vb);
  }
  e.low = e.mean - half;
  e.high = e.mean + half;
  return e;
}

int Compare(const CompareOptions& o) {
  for (const std::string& map : {o.a, o.b}) {
    RunOptions check;
    check.map = map;
    Session s(check, DrawMode::CountOnly);
    if (!s.Load()) return kExitFailed;
  }
  std::vector<uint64_t> standing[2];
  const std::vector<RunFigures> runs = RunAll(o, standing);
  for (size_t i = 0; i < runs.size(); ++i) {
    if (runs[i].ok) continue;
    std::fprintf(stderr, "koravel-sim: cannot run %s with seed %zu\n", (i < runs.size() / 2 ? o.a : o.b).c_str(),
                 i % (runs.size() / 2) + 1);
    return kExitFailed;
  }

  std::vector<Row> rows;
  Json report;
  report["a"] = o.a;
  report["b"] = o.b;
  report["seeds"] = o.seeds;
  report["frames"] = o.frames;
  report["intervals"] = "95 %: Student's t over the per-seed values of each map; Welch's t for B - A";
  Json& measures = report["measures"] = Json::object();
  for (size_t m = 0; m < kMeasureCount; ++m) {
    std::vector<double> a, b;
    for (size_t i = 0; i < runs.size(); ++i)
      if (!std::isnan(runs[i].values[m])) (i < runs.size() / 2 ? a : b).push_back(runs[i].values[m]);
    Row row{&kMeasures[m], MeanWithInterval(a), MeanWithInterval(b), DifferenceWithInterval(a, b), ""};
    row.better = Better(kMeasures[m], row.diff);
    measures[kMeasures[m].key] = Json{{"better_when", kMeasures[m].higherIsBetter ? "higher" : "lower"},
                                      {"a", EstimateJson(row.a, true)},
                                      {"b", EstimateJson(row.b, true)},
                                      {"difference", EstimateJson(row.diff, false)},
                                      {"better", row.better.empty() ? Json(nullptr) : Json(row.better)}};
    rows.push_back(std::move(row));
  }
  // The report first: a picture that cannot be written loses no figures.
  const bool written = o.table ? PrintTable(o, rows) : PrintJson(report);
  if (!written) return Failed("cannot write the output");
  return o.heatmapDiff.empty() ? 0 : DrawDifference(o, standing);
}

}  // namespace kv::sim_tool
