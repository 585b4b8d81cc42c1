#include "session.h"

#include <cstdio>
#include <cstring>

#include "mapfile/mapfile.h"
#include "sim/step.h"

namespace kv::sim_tool {

Session::Session(const RunOptions& o, DrawMode mode)
    : o_(o), platform_(mode), clock_(o.startMs), random_(o.seed) {}

bool Session::Load() {
  if (LoadMap(*world_, platform_, platform_, clock_, o_.map) == LoadResult::Loaded) return true;
  ReportMessages(platform_, "koravel-sim: cannot read " + o_.map);
  return false;
}

void Session::StepTo(int64_t k) {
  clock_.Set(ClockAt(o_, k));
  Step(*world_, clock_, random_);
}

int Failed(const std::string& what) {
  std::fprintf(stderr, "koravel-sim: %s\n", what.c_str());
  return kExitFailed;
}

int CannotWrite(const std::string& path, int error) {
  return Failed("cannot write " + path + (error ? std::string(": ") + std::strerror(error) : std::string()));
}

void ReportMessages(const HeadlessPlatform& p, const std::string& fallback) {
  for (const auto& m : p.Messages()) std::fprintf(stderr, "%s\n", m.second.c_str());
  if (p.Messages().empty()) std::fprintf(stderr, "%s\n", fallback.c_str());
}

}  // namespace kv::sim_tool
