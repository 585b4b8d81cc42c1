// Feeds arbitrary bytes to LoadMap as a map file, lets the loaded map run for
// a while and saves it again: nothing a file holds may crash the program or
// leave the world inconsistent.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "app/world.h"
#include "mapfile/mapfile.h"
#include "platform/headless_platform.h"
#include "sim/cars.h"
#include "sim/emitters.h"
#include "sim/lights.h"

namespace {

// Long frames and a clock far from 0 so that emitters spawn at once and
// again, and lights switch, within the few hundred frames.
constexpr int kFrames = 300;
constexpr uint32_t kFrameMs = 50;
constexpr uint32_t kStartMs = 20000;

// One scratch directory per fuzzing process, removed at exit.
std::string MakeScratchDir() {
  std::string tmpl = std::filesystem::temp_directory_path().string() + "/koravel-fuzz-XXXXXX";
  if (::mkdtemp(tmpl.data()) == nullptr) abort();
  return tmpl;
}

const std::string& ScratchDir() {
  static const std::string dir = MakeScratchDir();
  return dir;
}

void RemoveScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(ScratchDir(), ec);
}

void Check(bool condition) {
  if (!condition) abort();
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) abort();
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  std::fclose(f);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ScratchDir();
  std::atexit(RemoveScratchDir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = ScratchDir() + "/input.kvl";
  const std::string output = ScratchDir() + "/output.kvl";
  const std::string resaved = ScratchDir() + "/resaved.kvl";
  {
    FILE* f = std::fopen(input.c_str(), "wb");
    if (f == nullptr) abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) abort();
    std::fclose(f);
  }

  auto w = std::make_unique<kv::World>();
  kv::HeadlessPlatform p(kv::DrawMode::CountOnly, 1);
  p.SetNow(kStartMs);
  kv::LoadResult loaded = kv::LoadMap(*w, p, input);
  Check(loaded != kv::LoadResult::Unopenable);
  Check(w->TileMapWidth >= 0 && w->TileMapWidth <= 100);
  Check(w->TileMapHeight >= 0 && w->TileMapHeight <= 100);

  for (int frame = 0; frame < kFrames; ++frame) {
    p.AdvanceMs(kFrameMs);
    kv::UpdateLights(*w, p);
    kv::UpdateEmitters(*w, p);
    kv::MoveCars(*w, p);
  }
  Check(static_cast<size_t>(w->RoadCount) == w->RoadList.size());
  Check(static_cast<size_t>(w->EmitterCount) == w->EmitterList.size());
  Check(static_cast<size_t>(w->LightCount) == w->TrafficLightList.size());
  Check(static_cast<size_t>(w->CarCount) == w->CarList.size());

  Check(kv::SaveMap(*w, p, output) == kv::SaveResult::Saved);

  // What the program wrote it must read back as the same map.
  auto again = std::make_unique<kv::World>();
  Check(kv::LoadMap(*again, p, output) == kv::LoadResult::Loaded);
  Check(kv::SaveMap(*again, p, resaved) == kv::SaveResult::Saved);
  Check(ReadFile(output) == ReadFile(resaved));
  Check(p.Messages().size() == (loaded == kv::LoadResult::Loaded ? 0u : 1u));
  return 0;
}
