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

// A screen's size in pixels.
struct Size {
  int width = 0, height = 0;
  bool operator==(const Size&) const = default;
};

enum class WindowEvent { NoEvent = 0, CloseRequested, ControlActivated };

enum class WindowStyle { MainStyle, ToolStyle };

// Overlay mode flags.
constexpr int TransparentText = 1;
constexpr int Outline = 4;

// PC keyboard scan codes (set 1). Plus and Minus stand for the keys of the
// main keyboard that type "+" (or "=", where "+" needs Shift) and "-" in the
// user's keyboard layout, wherever they lie; Z and Y likewise for the keys
// that type those letters, which some layouts swap.
namespace Scan {
constexpr int Escape = 0x01;
constexpr int Zero = 0x0B;
constexpr int Minus = 0x0C;
constexpr int Plus = 0x0D;
constexpr int BackSpace = 0x0E;
constexpr int Y = 0x15;
constexpr int O = 0x18;
constexpr int LeftCtrl = 0x1D;
constexpr int S = 0x1F;
constexpr int D = 0x20;
constexpr int H = 0x23;
constexpr int LeftShift = 0x2A;
constexpr int Z = 0x2C;
constexpr int M = 0x32;
constexpr int Period = 0x34;
constexpr int RightShift = 0x36;
constexpr int Space = 0x39;
constexpr int F2 = 0x3C;
constexpr int KeypadMinus = 0x4A;
constexpr int KeypadPlus = 0x4E;
constexpr int RightCtrl = 0x9D;
constexpr int Home = 0xC7;
constexpr int Up = 0xC8;
constexpr int Left = 0xCB;
constexpr int Right = 0xCD;
constexpr int Down = 0xD0;
}  // namespace Scan

// Mouse buttons.
constexpr int kLeftButton = 1;
constexpr int kRightButton = 2;
constexpr int kMiddleButton = 3;

}  // namespace kv
