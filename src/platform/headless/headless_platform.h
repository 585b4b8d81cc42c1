// A platform without a window: a controlled clock, scripted
// input, scripted dialogs and requesters, drawing rasterised in software.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kv {

class SdlCanvas;

enum class DrawMode {
  Rasterise,  // draws into an RGB image of the screen's size
  CountOnly,  // only counts the operations (benchmarks)
};

// A control of a headless tool window, as a test sees it.
struct HeadlessControl {
  ControlHandle handle = 0;
  enum class Kind { Button, Label, Slider, TextField } kind = Kind::Label;
  int x = 0, y = 0, width = 0, height = 0;
  std::string text;
  int value = 0, min = 0, max = 0;
};

struct HeadlessWindow {
  WindowHandle handle = 0;
  int x = 0, y = 0, width = 0, height = 0;
  std::string title;
  WindowStyle style = WindowStyle::MainStyle;
  bool resizable = false;  // AllowResize was called, with this minimum
  int minWidth = 0, minHeight = 0;
  std::vector<HeadlessControl> controls;  // in creation order
  bool destroyed = false;
};

class HeadlessPlatform;

// One step of a scripted dialog: runs inside one PollWindowEvent call made
// while a tool window is open. It may look at the window and act as a user
// would (ClickButton, MoveSlider, TypeText).
using DialogStep = std::function<void(HeadlessPlatform&, HeadlessWindow&)>;

struct RequesterCall {
  bool save = false;
  std::string title, defaultPath, pattern;
};

struct ChoiceCall {
  std::string caption, text;
  std::vector<std::string> buttons;
};

class HeadlessPlatform : public Platform {
 public:
  explicit HeadlessPlatform(DrawMode mode = DrawMode::Rasterise);
  ~HeadlessPlatform() override;

  // --- Control from tests and tools ---
  void SetNow(uint32_t ms) { now_ = ms; }
  void AdvanceMs(uint32_t ms) { now_ += ms; }
  // Pointer and buttons take effect at the next PollMouse, keys at the next
  // PollKeyboard, as with a real device.
  void SetPointer(int x, int y);
  void SetButton(int button, bool down);
  void SetKey(int scanCode, bool down);
  // Wheel clicks (away from the user positive), counted at the next PollMouse.
  void TurnWheel(int steps) { pendingWheel_ += steps; }
  void ReleaseAllInput();
  // The user resizes the window (not below a resizable window's minimum);
  // the screen follows at once. Also the picture size of koravel-sim.
  void SetScreenSize(int width, int height);

  // Dialog scripts, taken in order: each tool window created gets the next
  // script; each PollWindowEvent while it is open runs the next step. When a
  // dialog runs out of steps (or has no script) the platform presses its
  // button "Abbrechen" so that a forgotten script cannot hang a test.
  void QueueDialog(std::vector<DialogStep> steps);
  // Answers for AskOpenPath / AskSavePath, taken in order; "" when empty. A
  // save answer is the name typed: it gets the pattern's extension as with
  // the real requester, which is taken to confirm any overwriting.
  void QueueRequesterAnswer(const std::string& path);
  // Answers for AskChoice: the index of the button pressed, taken in order;
  // -1 (the window closed) when none is left.
  void QueueChoice(int button);
  // Queues a close request of the main window for the next PollWindowEvent.
  void RequestClose();

  // User actions usable inside dialog steps.
  void ClickButton(HeadlessWindow& window, const std::string& text);
  void MoveSlider(HeadlessWindow& window, int sliderIndex, int value);  // 0-based among sliders
  void TypeText(HeadlessWindow& window, int fieldIndex, const std::string& text);  // replaces
  static HeadlessControl* FindControl(HeadlessWindow& window, HeadlessControl::Kind kind,
                                      int index);

  // What happened.
  const std::vector<RequesterCall>& Requesters() const { return requesters_; }
  const std::vector<std::pair<std::string, std::string>>& Messages() const { return messages_; }
  const std::vector<ChoiceCall>& Choices() const { return choices_; }
  const std::vector<HeadlessWindow>& Windows() const { return windows_; }  // all ever created
  int PresentCount() const { return presents_; }
  uint64_t DrawCalls() const;

  // The last presented frame (RGB, of the screen's size when it was
  // presented); empty in CountOnly mode.
  int FrameWidth() const { return frameSize_.width; }
  int FrameHeight() const { return frameSize_.height; }
  const std::vector<uint8_t>& Frame() const { return frame_; }
  Color PixelAt(int x, int y) const;  // of the last presented frame
  bool WriteFramePng(const std::string& hostPath) const;

  // --- Platform ---
  WindowHandle CreateFrameWindow(int x, int y, int innerWidth, int innerHeight,
                                 const std::string& title, WindowStyle style) override;
  void DestroyFrameWindow(WindowHandle window) override;
  bool AttachScreen(WindowHandle window, int x, int y, int width, int height) override;
  void AllowResize(WindowHandle window, int minWidth, int minHeight) override;
  WindowEvent PollWindowEvent() override;
  ControlHandle EventControl() override;
  Size ScreenSize() override;
  void ClearFrame(Color color) override;
  void PresentFrame() override;

  SpriteHandle LoadSpriteImage(const std::string& path, bool rotatable) override;
  void SetSpriteKeyColor(SpriteHandle sprite, Color color) override;
  void DrawSprite(SpriteHandle sprite, int x, int y) override;
  void DrawSpriteKeyed(SpriteHandle sprite, int x, int y) override;
  RotSpriteHandle CreateRotSprite(SpriteHandle sprite) override;
  void SetRotSpriteSize(RotSpriteHandle rot, int width, int height) override;
  void SetRotSpriteAngle(RotSpriteHandle rot, float degrees) override;
  void BeginRotSprites() override {}
  void EndRotSprites() override {}
  void DrawRotSprite(RotSpriteHandle rot, int x, int y, int opacity) override;
  void DrawSpriteScaled(SpriteHandle sprite, int x, int y, float scale) override;
  void DrawSpriteKeyedScaled(SpriteHandle sprite, int x, int y, float scale) override;
  void DrawRotSpriteScaled(RotSpriteHandle rot, int x, int y, float scale, int opacity) override;

  void BeginOverlay() override;
  void EndOverlay() override;
  void SetOverlayMode(int flags) override;
  void DrawRect(int x, int y, int width, int height, Color color = RGB(0, 0, 0)) override;
  void FillRectBlended(int x, int y, int width, int height, Color color, int opacity) override;
  int DrawLabel(int x, int y, std::string_view utf8Text, Color color) override;

  void PollKeyboard() override;
  bool IsKeyDown(int scanCode) override;
  void PollMouse() override;
  int PointerX() override { return pointerX_; }
  int PointerY() override { return pointerY_; }
  bool IsButtonDown(int button) override;
  void SetMouseReleased(bool released) override { mouseReleased_ = released; }
  int TakeWheelSteps() override;
  bool MouseReleased() const { return mouseReleased_; }

  ControlHandle AddButton(WindowHandle window, int x, int y, int width, int height,
                          const std::string& text) override;
  ControlHandle AddLabel(WindowHandle window, int x, int y, int width, int height,
                         const std::string& text) override;
  ControlHandle AddSlider(WindowHandle window, int x, int y, int width, int height, int min,
                          int max) override;
  ControlHandle AddTextField(WindowHandle window, int x, int y, int width, int height,
                             const std::string& text) override;
  void SetControlValue(ControlHandle control, int value) override;
  int GetControlValue(ControlHandle control) override;
  void SetControlText(ControlHandle control, const std::string& text) override;
  std::string GetControlText(ControlHandle control) override;

  std::string AskOpenPath(const std::string& title, const std::string& defaultPath,
                          const std::string& pattern) override;
  std::string AskSavePath(const std::string& title, const std::string& defaultPath,
                          const std::string& pattern) override;
  void ShowMessage(const std::string& caption, const std::string& text) override;
  int AskChoice(const std::string& caption, const std::string& text,
                const std::vector<std::string>& buttons) override;
  std::string CurrentDirectory() override;

  uint32_t NowMs() const override { return now_; }

  std::optional<Bytes> ReadFile(const std::string& path, size_t maxBytes) override {
    return files_.ReadFile(path, maxBytes);
  }
  bool WriteFile(const std::string& path, const Bytes& bytes) override { return files_.WriteFile(path, bytes); }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  uint32_t now_ = 0;
  HostFiles files_;
  int pointerX_ = 512, pointerY_ = 384;
  int pendingX_ = 512, pendingY_ = 384;
  bool buttons_[4] = {}, pendingButtons_[4] = {};
  int wheel_ = 0, pendingWheel_ = 0;
  bool keys_[256] = {}, pendingKeys_[256] = {};
  bool mouseReleased_ = false;
  std::vector<HeadlessWindow> windows_;
  std::deque<std::vector<DialogStep>> dialogScripts_;
  std::deque<std::string> requesterAnswers_;
  std::vector<RequesterCall> requesters_;
  std::vector<std::pair<std::string, std::string>> messages_;
  std::deque<int> choiceAnswers_;
  std::vector<ChoiceCall> choices_;
  std::deque<std::pair<WindowEvent, ControlHandle>> events_;
  ControlHandle eventControl_ = 0;
  int presents_ = 0;
  std::vector<uint8_t> frame_;
  Size frameSize_{};
};

}  // namespace kv
