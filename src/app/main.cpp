// Koravel: the desktop program. No command line, no settings.
#include <cstdio>
#include <memory>

#include "app/game.h"
#include "platform/sdl_platform.h"

int main(int, char**) {
  std::unique_ptr<kv::SdlPlatform> platform = kv::SdlPlatform::Create();
  if (!platform) return 1;  // Create has said why on standard error.
  kv::Game game(*platform);
  if (!game.Start()) {
    std::fprintf(stderr, "koravel: %s\n", platform->LastError().c_str());
    return 1;
  }
  game.Run();
  return 0;
}
