// A console reporter that also remembers the CPU time per iteration of each
// benchmark, the best over its repetitions (the one least disturbed by other
// load), so a program can print how two of them compare.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace kv::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations <= 0) continue;
      const double perIteration = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      auto [it, added] = seconds_.emplace(run.run_name.function_name, perIteration);
      if (!added && perIteration < it->second) it->second = perIteration;
    }
  }

  // Best CPU seconds per iteration of the named benchmark; 0 when it did not run.
  double SecondsPerIteration(const std::string& name) const {
    auto it = seconds_.find(name);
    return it == seconds_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace kv::bench
