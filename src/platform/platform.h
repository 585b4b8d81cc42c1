// The one interface between the program's logic and the machine it runs on.
// Two implementations: SdlPlatform (window, GTK dialogs) and HeadlessPlatform
// (tests and koravel-sim). Every operation that takes a handle ignores 0 and
// unknown handles and then returns 0 / false / the empty text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/datafile.h"

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

class Platform {
 public:
  virtual ~Platform() = default;

  // Window, screen and frame.
  virtual WindowHandle CreateFrameWindow(int x, int y, int innerWidth, int innerHeight,
                                         const std::string& title, WindowStyle style) = 0;
  virtual void DestroyFrameWindow(WindowHandle window) = 0;
  virtual bool AttachScreen(WindowHandle window, int x, int y, int width, int height) = 0;
  virtual WindowEvent PollWindowEvent() = 0;
  virtual ControlHandle EventControl() = 0;
  virtual void ClearFrame(Color color) = 0;
  virtual void PresentFrame() = 0;
  // Called by modal dialog loops once per pass: lets the real platform sleep
  // until something happens instead of spinning a core. Never required for
  // correctness.
  virtual void WaitForEvents() {}

  // Sprites.
  virtual SpriteHandle LoadSpriteImage(const std::string& path, bool rotatable) = 0;
  virtual void SetSpriteKeyColor(SpriteHandle sprite, Color color) = 0;
  virtual void DrawSprite(SpriteHandle sprite, int x, int y) = 0;
  virtual void DrawSpriteKeyed(SpriteHandle sprite, int x, int y) = 0;
  virtual RotSpriteHandle CreateRotSprite(SpriteHandle sprite) = 0;
  virtual void SetRotSpriteSize(RotSpriteHandle rot, int width, int height) = 0;
  virtual void SetRotSpriteAngle(RotSpriteHandle rot, float degrees) = 0;
  virtual void BeginRotSprites() = 0;
  virtual void EndRotSprites() = 0;
  virtual void DrawRotSprite(RotSpriteHandle rot, int x, int y, int opacity) = 0;

  // Overlay.
  virtual void BeginOverlay() = 0;
  virtual void EndOverlay() = 0;
  virtual void SetOverlayMode(int flags) = 0;
  virtual void DrawRect(int x, int y, int width, int height, Color color = RGB(0, 0, 0)) = 0;
  // Returns the x coordinate just after the text.
  virtual int DrawLabel(int x, int y, std::string_view utf8Text, Color color) = 0;

  // Keyboard and mouse.
  virtual void PollKeyboard() = 0;
  virtual bool IsKeyDown(int scanCode) = 0;
  virtual void PollMouse() = 0;
  virtual int PointerX() = 0;
  virtual int PointerY() = 0;
  virtual bool IsButtonDown(int button) = 0;
  virtual void SetMouseReleased(bool released) = 0;

  // Dialog controls (in ToolStyle windows).
  virtual ControlHandle AddButton(WindowHandle window, int x, int y, int width, int height,
                                  const std::string& text) = 0;
  virtual ControlHandle AddLabel(WindowHandle window, int x, int y, int width, int height,
                                 const std::string& text) = 0;
  virtual ControlHandle AddSlider(WindowHandle window, int x, int y, int width, int height,
                                  int min, int max) = 0;
  virtual ControlHandle AddTextField(WindowHandle window, int x, int y, int width, int height,
                                     const std::string& text) = 0;
  virtual void SetControlValue(ControlHandle control, int value) = 0;
  virtual int GetControlValue(ControlHandle control) = 0;
  virtual void SetControlText(ControlHandle control, const std::string& text) = 0;
  virtual std::string GetControlText(ControlHandle control) = 0;

  // Requesters. Paths use backslashes as in the program's texts; the empty
  // text means cancelled.
  virtual std::string AskOpenPath(const std::string& title, const std::string& defaultPath,
                                  const std::string& pattern) = 0;
  virtual std::string AskSavePath(const std::string& title, const std::string& defaultPath,
                                  const std::string& pattern) = 0;
  virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
  virtual std::string CurrentDirectory() = 0;

  // Numbers and time.
  virtual int32_t RandomUpTo(int32_t max) = 0;
  virtual uint32_t NowMs() = 0;

  // Binary files: shared by both implementations.
  DataFiles& Files() { return files_; }
  FileHandle OpenDataFile(const std::string& path, FileMode mode) { return files_.Open(path, mode); }
  bool CloseDataFile(FileHandle file) { return files_.Close(file); }
  void AbandonDataFile(FileHandle file) { files_.Abandon(file); }
  int ReadInt8(FileHandle file) { return files_.ReadInt8(file); }
  int ReadInt16(FileHandle file) { return files_.ReadInt16(file); }
  void WriteInt8(FileHandle file, int value) { files_.WriteInt8(file, value); }
  void WriteInt16(FileHandle file, int value) { files_.WriteInt16(file, value); }

 private:
  DataFiles files_;
};

}  // namespace kv
