// The real platform: SDL2 window, accelerated renderer, keyboard and mouse;
// GTK 3 tool windows, file choosers and message box; SDL2_ttf text.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace kv {

class SdlPlatform : public Platform {
 public:
  // Initialises SDL (refusing to run without a real display: prints a clear
  // message on standard error and returns null) and GTK.
  static std::unique_ptr<SdlPlatform> Create();
  ~SdlPlatform() override = default;
  virtual std::string LastError() const = 0;
};

}  // namespace kv
