// Koravel: the desktop program.
//
//   koravel [MAP]      opens MAP instead of the start map
//   koravel --help | --version
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "app/game.h"
#include "app/program_data.h"
#include "mapfile/mapfile.h"
#include "platform/sdl/sdl_platform.h"

namespace {

// Runs differ: the seed mixes the clock, the thread and the system's entropy.
uint32_t FreshSeed() {
  std::random_device device;
  const auto ticks =
      static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
  const auto thread = static_cast<uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
  std::seed_seq seq{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32),
                    static_cast<uint32_t>(thread), static_cast<uint32_t>(thread >> 32), device()};
  uint32_t seed = 0;
  seq.generate(&seed, &seed + 1);
  return seed;
}

}  // namespace

int main(int argc, char** argv) {
  std::string map;  // none: the start map
  CLI::App app("Koravel: a road-traffic simulator with a map editor. Lay out roads, traffic lights and car "
               "sources on a 100 x 100 grid and watch the traffic.",
               "koravel");
  app.set_version_flag("--version", std::string("koravel ") + KORAVEL_VERSION);
  app.add_option("MAP", map, "A map file to open instead of the start map \"hightraffic\"");
  app.footer("Keys and mouse are explained in the manual page koravel(6).");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    std::fprintf(stderr, "koravel: %s\nusage: koravel [MAP] (koravel --help for more)\n", e.what());
    return 1;
  }

  std::unique_ptr<kv::SdlPlatform> platform = kv::SdlPlatform::Create();
  if (!platform) return 1;  // Create has said why on standard error.
  // Images the program cannot run without are said to be missing at once,
  // rather than shown as a black window.
  const kv::ProgramData data = kv::FindProgramData();
  if (!data.images) {
    std::fprintf(stderr, "koravel: %s\n", kv::MissingImagesText(data).c_str());
    platform->ShowMessage(kv::kErrorCaption, kv::MissingImagesText(data, kv::kMissingImagesMessage));
    return 1;
  }
  auto game = std::make_unique<kv::Game>(*platform, FreshSeed());
  if (!game->Start(map.empty() ? data.startMap : kv::MapPath(data, map), *data.images)) {
    std::fprintf(stderr, "koravel: %s\n", platform->LastError().c_str());
    return 1;
  }
  game->Run();
  return 0;
}
