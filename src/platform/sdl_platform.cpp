// Placeholder until the SDL/GTK platform lands.
#include "platform/sdl_platform.h"

#include <cstdio>

namespace kv {

std::unique_ptr<SdlPlatform> SdlPlatform::Create() {
  std::fprintf(stderr, "koravel: no display platform built yet\n");
  return nullptr;
}

}  // namespace kv
