// Koravel: the desktop program. No command line, no settings.
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "app/game.h"
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

int main(int, char**) {
  std::unique_ptr<kv::SdlPlatform> platform = kv::SdlPlatform::Create();
  if (!platform) return 1;  // Create has said why on standard error.
  auto game = std::make_unique<kv::Game>(*platform, FreshSeed());
  if (!game->Start()) {
    std::fprintf(stderr, "koravel: %s\n", platform->LastError().c_str());
    return 1;
  }
  game->Run();
  return 0;
}
