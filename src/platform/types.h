// Handles, colours and input codes shared by every platform role.
#pragma once

#include <cstdint>

namespace kv {

using WindowHandle = uint32_t;
using SpriteHandle = uint32_t;
using RotSpriteHandle = uint32_t;
using ControlHandle = uint32_t;

// Colour as red + 256 * green + 65536 * blue.
using Color = uint32_t;
constexpr Color RGB(int r, int g, int b) {
  return static_cast<Color>((r & 255) | ((g & 255) << 8) | ((b & 255) << 16));
}
constexpr int ColorRed(Color c) { return static_cast<int>(c & 255); }
constexpr int ColorGreen(Color c) { return static_cast<int>((c >> 8) & 255); }
constexpr int ColorBlue(Color c) { return static_cast<int>((c >> 16) & 255); }
constexpr Color kKeyColor = RGB(255, 0, 255);

enum class WindowEvent { NoEvent = 0, CloseRequested, ControlActivated };

enum class WindowStyle { MainStyle, ToolStyle };

// Overlay mode flags.
constexpr int TransparentText = 1;
constexpr int Outline = 4;

// PC keyboard scan codes (set 1).
namespace Scan {
constexpr int Escape = 0x01;
constexpr int BackSpace = 0x0E;
constexpr int O = 0x18;
constexpr int S = 0x1F;
constexpr int D = 0x20;
}  // namespace Scan

// Mouse buttons.
constexpr int kLeftButton = 1;
constexpr int kRightButton = 2;
constexpr int kMiddleButton = 3;

}  // namespace kv
