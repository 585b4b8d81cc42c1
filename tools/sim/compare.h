// koravel-sim compare: two maps run with the same seeds, each measure's means
// with 95 % confidence intervals, and which map is better where the
// difference is clear.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"
#include "render/viewport.h"
#include "report.h"

namespace kv::sim_tool {

struct CompareOptions {
  std::string a, b;
  int64_t seeds = 20;
  int64_t frames = 0;
  int64_t jobs = 1;
  bool table = false;
  // The picture of map B tinted by the difference in standing still; none
  // when empty. Drawn with the images in the folder `images` (holding Gfx/),
  // `size` pixels at B's view and `zoom`.
  std::string heatmapDiff;
  std::string images;
  Size size{kClassicScreenWidth, kClassicScreenHeight};
  int zoom = kUnzoomed;
};

// A mean with its 95 % interval; the interval is NaN when it cannot be told
// (fewer than two values).
struct Estimate {
  double mean = 0.0, low = 0.0, high = 0.0;
  size_t n = 0;
};

// Student's t over the values.
Estimate MeanWithInterval(const std::vector<double>& values);
// Welch's interval for mean(b) - mean(a).
Estimate DifferenceWithInterval(const std::vector<double>& a, const std::vector<double>& b);
// The p-quantile of Student's t distribution with df degrees of freedom
// (df > 0, 0.5 <= p < 1).
double StudentQuantile(double p, double df);

// Loads both maps (as run does: exit 2 when one cannot be read), runs them,
// prints the report and draws the picture; the exit status.
int Compare(const CompareOptions& o);

}  // namespace kv::sim_tool
