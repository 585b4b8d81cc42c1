#include "platform/headless/headless_platform.h"

#include <unistd.h>

#include <algorithm>

#include "platform/draw/image_decode.h"
#include "platform/draw/sdl_canvas.h"

namespace kv {

struct HeadlessPlatform::Impl {
  DrawMode mode;
  std::unique_ptr<SdlCanvas> canvas;
  // Tool windows currently open with the index of their next script step.
  struct Running {
    WindowHandle window;
    std::vector<DialogStep> steps;
    size_t next = 0;
  };
  std::vector<Running> running;
  ControlHandle nextControl = 1;
  WindowHandle nextWindow = 1;
};

HeadlessPlatform::HeadlessPlatform(DrawMode mode) : impl_(std::make_unique<Impl>()) {
  impl_->mode = mode;
  impl_->canvas = std::make_unique<SdlCanvas>(mode == DrawMode::Rasterise
                                                  ? SdlCanvas::kSoftware
                                                  : SdlCanvas::kCountOnly);
}

HeadlessPlatform::~HeadlessPlatform() = default;

void HeadlessPlatform::SetPointer(int x, int y) {
  pendingX_ = x;
  pendingY_ = y;
}

void HeadlessPlatform::SetButton(int button, bool down) {
  if (button >= 1 && button <= 3) pendingButtons_[button] = down;
}

void HeadlessPlatform::SetKey(int scanCode, bool down) {
  if (scanCode >= 0 && scanCode < 256) pendingKeys_[scanCode] = down;
}

void HeadlessPlatform::SetScreenSize(int width, int height) {
  for (const HeadlessWindow& w : windows_)
    if (w.style == WindowStyle::MainStyle && w.resizable && !w.destroyed)
      width = std::max(width, w.minWidth), height = std::max(height, w.minHeight);
  impl_->canvas->SetScreenSize(width, height);
  const Size size = impl_->canvas->ScreenSize();
  pointerX_ = std::min(pointerX_, size.width - 1);
  pointerY_ = std::min(pointerY_, size.height - 1);
}

void HeadlessPlatform::ReleaseAllInput() {
  std::fill(std::begin(pendingButtons_), std::end(pendingButtons_), false);
  std::fill(std::begin(pendingKeys_), std::end(pendingKeys_), false);
}

void HeadlessPlatform::QueueDialog(std::vector<DialogStep> steps) {
  dialogScripts_.push_back(std::move(steps));
}

void HeadlessPlatform::QueueRequesterAnswer(const std::string& path) {
  requesterAnswers_.push_back(path);
}

void HeadlessPlatform::QueueChoice(int button) { choiceAnswers_.push_back(button); }

void HeadlessPlatform::RequestClose() { events_.push_back({WindowEvent::CloseRequested, 0}); }

HeadlessControl* HeadlessPlatform::FindControl(HeadlessWindow& window, HeadlessControl::Kind kind,
                                               int index) {
  int seen = 0;
  for (HeadlessControl& c : window.controls) {
    if (c.kind != kind) continue;
    if (seen++ == index) return &c;
  }
  return nullptr;
}

void HeadlessPlatform::ClickButton(HeadlessWindow& window, const std::string& text) {
  for (HeadlessControl& c : window.controls)
    if (c.kind == HeadlessControl::Kind::Button && c.text == text) {
      events_.push_back({WindowEvent::ControlActivated, c.handle});
      return;
    }
}

void HeadlessPlatform::MoveSlider(HeadlessWindow& window, int sliderIndex, int value) {
  if (HeadlessControl* c = FindControl(window, HeadlessControl::Kind::Slider, sliderIndex))
    c->value = std::clamp(value, c->min, c->max);
}

void HeadlessPlatform::TypeText(HeadlessWindow& window, int fieldIndex, const std::string& text) {
  if (HeadlessControl* c = FindControl(window, HeadlessControl::Kind::TextField, fieldIndex))
    c->text = text;
}

uint64_t HeadlessPlatform::DrawCalls() const { return impl_->canvas->DrawCalls(); }

Color HeadlessPlatform::PixelAt(int x, int y) const {
  if (frame_.empty() || x < 0 || y < 0 || x >= FrameWidth() || y >= FrameHeight()) return 0;
  size_t i = (static_cast<size_t>(y) * FrameWidth() + x) * 3;
  return RGB(frame_[i], frame_[i + 1], frame_[i + 2]);
}

bool HeadlessPlatform::WriteFramePng(const std::string& hostPath) const {
  if (frame_.empty()) return false;
  return WritePng(hostPath, FrameWidth(), FrameHeight(), frame_.data(), false);
}

// --- Windows and events ---

WindowHandle HeadlessPlatform::CreateFrameWindow(int x, int y, int innerWidth, int innerHeight,
                                                 const std::string& title, WindowStyle style) {
  HeadlessWindow win;
  win.handle = impl_->nextWindow++;
  win.x = x;
  win.y = y;
  win.width = innerWidth;
  win.height = innerHeight;
  win.title = title;
  win.style = style;
  windows_.push_back(win);
  if (style == WindowStyle::ToolStyle) {
    Impl::Running run{win.handle, {}, 0};
    if (!dialogScripts_.empty()) {
      run.steps = std::move(dialogScripts_.front());
      dialogScripts_.pop_front();
    }
    impl_->running.push_back(std::move(run));
  }
  return win.handle;
}

void HeadlessPlatform::DestroyFrameWindow(WindowHandle window) {
  for (HeadlessWindow& w : windows_)
    if (w.handle == window) w.destroyed = true;
  auto& r = impl_->running;
  r.erase(std::remove_if(r.begin(), r.end(), [&](const Impl::Running& x) { return x.window == window; }),
          r.end());
}

bool HeadlessPlatform::AttachScreen(WindowHandle window, int, int, int, int) {
  for (const HeadlessWindow& w : windows_)
    if (w.handle == window && !w.destroyed) return true;
  return false;
}

void HeadlessPlatform::AllowResize(WindowHandle window, int minWidth, int minHeight) {
  for (HeadlessWindow& w : windows_)
    if (w.handle == window && !w.destroyed) w.resizable = true, w.minWidth = minWidth, w.minHeight = minHeight;
}

WindowEvent HeadlessPlatform::PollWindowEvent() {
  // The innermost open tool window acts, one scripted step per poll.
  if (events_.empty() && !impl_->running.empty()) {
    Impl::Running& run = impl_->running.back();
    HeadlessWindow* win = nullptr;
    for (HeadlessWindow& w : windows_)
      if (w.handle == run.window) win = &w;
    if (win) {
      if (run.next < run.steps.size()) {
        DialogStep step = run.steps[run.next++];
        step(*this, *win);
      } else {
        ClickButton(*win, "Abbrechen");
      }
    }
  }
  if (events_.empty()) return WindowEvent::NoEvent;
  auto [event, control] = events_.front();
  events_.pop_front();
  if (event == WindowEvent::ControlActivated) eventControl_ = control;
  return event;
}

ControlHandle HeadlessPlatform::EventControl() { return eventControl_; }

// --- Drawing ---

Size HeadlessPlatform::ScreenSize() { return impl_->canvas->ScreenSize(); }

void HeadlessPlatform::ClearFrame(Color color) { impl_->canvas->ClearFrame(color); }

void HeadlessPlatform::PresentFrame() {
  ++presents_;
  if (impl_->mode != DrawMode::Rasterise) return;
  impl_->canvas->ReadFrame(frame_);
  frameSize_ = frame_.empty() ? Size{} : impl_->canvas->ScreenSize();
}

SpriteHandle HeadlessPlatform::LoadSpriteImage(const std::string& path, bool rotatable) {
  return impl_->canvas->LoadSpriteImage(path, rotatable);
}
void HeadlessPlatform::SetSpriteKeyColor(SpriteHandle s, Color c) { impl_->canvas->SetSpriteKeyColor(s, c); }
void HeadlessPlatform::DrawSprite(SpriteHandle s, int x, int y) { impl_->canvas->DrawSprite(s, x, y); }
void HeadlessPlatform::DrawSpriteKeyed(SpriteHandle s, int x, int y) { impl_->canvas->DrawSpriteKeyed(s, x, y); }
RotSpriteHandle HeadlessPlatform::CreateRotSprite(SpriteHandle s) { return impl_->canvas->CreateRotSprite(s); }
void HeadlessPlatform::SetRotSpriteSize(RotSpriteHandle r, int w, int h) { impl_->canvas->SetRotSpriteSize(r, w, h); }
void HeadlessPlatform::SetRotSpriteAngle(RotSpriteHandle r, float d) { impl_->canvas->SetRotSpriteAngle(r, d); }
void HeadlessPlatform::DrawRotSprite(RotSpriteHandle r, int x, int y, int o) { impl_->canvas->DrawRotSprite(r, x, y, o); }
void HeadlessPlatform::DrawSpriteScaled(SpriteHandle s, int x, int y, float k) {
  impl_->canvas->DrawSpriteScaled(s, x, y, k, false);
}
void HeadlessPlatform::DrawSpriteKeyedScaled(SpriteHandle s, int x, int y, float k) {
  impl_->canvas->DrawSpriteScaled(s, x, y, k, true);
}
void HeadlessPlatform::DrawRotSpriteScaled(RotSpriteHandle r, int x, int y, float k, int o) {
  impl_->canvas->DrawRotSpriteScaled(r, x, y, k, o);
}
void HeadlessPlatform::BeginOverlay() { impl_->canvas->BeginOverlay(); }
void HeadlessPlatform::EndOverlay() { impl_->canvas->EndOverlay(); }
void HeadlessPlatform::SetOverlayMode(int flags) { impl_->canvas->SetOverlayMode(flags); }
void HeadlessPlatform::DrawRect(int x, int y, int w, int h, Color c) { impl_->canvas->DrawRect(x, y, w, h, c); }
void HeadlessPlatform::FillRectBlended(int x, int y, int w, int h, Color c, int opacity) {
  impl_->canvas->FillRectBlended(x, y, w, h, c, opacity);
}
int HeadlessPlatform::DrawLabel(int x, int y, std::string_view t, Color c) { return impl_->canvas->DrawLabel(x, y, t, c); }

// --- Input ---

void HeadlessPlatform::PollKeyboard() { std::copy(std::begin(pendingKeys_), std::end(pendingKeys_), keys_); }

bool HeadlessPlatform::IsKeyDown(int scanCode) {
  return scanCode >= 0 && scanCode < 256 && keys_[scanCode];
}

void HeadlessPlatform::PollMouse() {
  if (mouseReleased_) return;  // the desktop has the pointer
  const Size screen = impl_->canvas->ScreenSize();
  pointerX_ = std::clamp(pendingX_, 0, screen.width - 1);
  pointerY_ = std::clamp(pendingY_, 0, screen.height - 1);
  std::copy(std::begin(pendingButtons_), std::end(pendingButtons_), buttons_);
  wheel_ += pendingWheel_;
  pendingWheel_ = 0;
}

int HeadlessPlatform::TakeWheelSteps() {
  const int steps = wheel_;
  wheel_ = 0;
  return steps;
}

bool HeadlessPlatform::IsButtonDown(int button) { return button >= 1 && button <= 3 && buttons_[button]; }

// --- Controls ---

namespace {
HeadlessControl* FindByHandle(std::vector<HeadlessWindow>& windows, ControlHandle h) {
  if (h == 0) return nullptr;
  for (HeadlessWindow& w : windows) {
    if (w.destroyed) continue;
    for (HeadlessControl& c : w.controls)
      if (c.handle == h) return &c;
  }
  return nullptr;
}
}  // namespace

#define KV_ADD_CONTROL(KIND)                                                             \
  HeadlessWindow* win = nullptr;                                                         \
  for (HeadlessWindow& w : windows_)                                                     \
    if (w.handle == window && !w.destroyed && window != 0) win = &w;                     \
  if (!win) return 0;                                                                    \
  HeadlessControl c;                                                                     \
  c.handle = impl_->nextControl++;                                                       \
  c.kind = HeadlessControl::Kind::KIND;                                                  \
  c.x = x;                                                                               \
  c.y = y;                                                                               \
  c.width = width;                                                                       \
  c.height = height;

ControlHandle HeadlessPlatform::AddButton(WindowHandle window, int x, int y, int width, int height,
                                          const std::string& text) {
  KV_ADD_CONTROL(Button)
  c.text = text;
  win->controls.push_back(c);
  return c.handle;
}

ControlHandle HeadlessPlatform::AddLabel(WindowHandle window, int x, int y, int width, int height,
                                         const std::string& text) {
  KV_ADD_CONTROL(Label)
  c.text = text;
  win->controls.push_back(c);
  return c.handle;
}

ControlHandle HeadlessPlatform::AddSlider(WindowHandle window, int x, int y, int width, int height,
                                          int min, int max) {
  KV_ADD_CONTROL(Slider)
  c.min = std::max(min, 0);
  c.max = std::max(max, 0);
  if (c.max < c.min) c.max = c.min;
  c.value = c.min;
  win->controls.push_back(c);
  return c.handle;
}

ControlHandle HeadlessPlatform::AddTextField(WindowHandle window, int x, int y, int width,
                                             int height, const std::string& text) {
  KV_ADD_CONTROL(TextField)
  c.text = text;
  win->controls.push_back(c);
  return c.handle;
}

#undef KV_ADD_CONTROL

void HeadlessPlatform::SetControlValue(ControlHandle control, int value) {
  if (HeadlessControl* c = FindByHandle(windows_, control))
    if (c->kind == HeadlessControl::Kind::Slider) c->value = std::clamp(value, c->min, c->max);
}

int HeadlessPlatform::GetControlValue(ControlHandle control) {
  HeadlessControl* c = FindByHandle(windows_, control);
  return c && c->kind == HeadlessControl::Kind::Slider ? c->value : 0;
}

void HeadlessPlatform::SetControlText(ControlHandle control, const std::string& text) {
  if (HeadlessControl* c = FindByHandle(windows_, control))
    if (c->kind != HeadlessControl::Kind::Slider) c->text = text;
}

std::string HeadlessPlatform::GetControlText(ControlHandle control) {
  HeadlessControl* c = FindByHandle(windows_, control);
  return c && c->kind != HeadlessControl::Kind::Slider ? c->text : std::string();
}

// --- Requesters ---

std::string HeadlessPlatform::AskOpenPath(const std::string& title, const std::string& defaultPath,
                                          const std::string& pattern) {
  requesters_.push_back({false, title, defaultPath, pattern});
  if (requesterAnswers_.empty()) return "";
  std::string answer = requesterAnswers_.front();
  requesterAnswers_.pop_front();
  return answer;
}

std::string HeadlessPlatform::AskSavePath(const std::string& title, const std::string& defaultPath,
                                          const std::string& pattern) {
  requesters_.push_back({true, title, defaultPath, pattern});
  if (requesterAnswers_.empty()) return "";
  std::string answer = requesterAnswers_.front();
  requesterAnswers_.pop_front();
  return answer.empty() ? answer : SavePathFor(answer, pattern);
}

void HeadlessPlatform::ShowMessage(const std::string& caption, const std::string& text) {
  messages_.emplace_back(caption, text);
}

int HeadlessPlatform::AskChoice(const std::string& caption, const std::string& text,
                                const std::vector<std::string>& buttons) {
  choices_.push_back({caption, text, buttons});
  if (choiceAnswers_.empty()) return -1;
  const int answer = choiceAnswers_.front();
  choiceAnswers_.pop_front();
  return answer;
}

std::string HeadlessPlatform::CurrentDirectory() {
  char buf[4096];
  return std::string(::getcwd(buf, sizeof buf) ? buf : ".") + '\\';
}

}  // namespace kv
