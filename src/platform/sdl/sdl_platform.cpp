// The real platform: one SDL window with its renderer for the simulation,
// GTK 3 for the tool windows, file choosers and the message box.
#include "platform/sdl/sdl_platform.h"

#include <ctime>

#include <SDL.h>
#include <SDL_ttf.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "platform/draw/sdl_canvas.h"
#include "platform/files.h"

namespace kv {

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kFallbackRefreshHz = 60;
// Pacing aims a hair below the refresh interval: the integer refresh rate
// SDL reports is rounded, and a display that is really slightly faster must
// never be made to miss a retrace by our own sleep.
constexpr double kPacingFraction = 0.99;
// A dialog loop sleeps at most this long when nothing happens.
constexpr guint kDialogWakeMs = 20;
// While a requester or message box runs its own loop, the main window is
// looked after this often (repainted when uncovered).
constexpr guint kModalWatchMs = 50;
// The signals that end the program, from anywhere.
constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Bounded GTK work per poll, so that a flood of redraws cannot starve the loop.
constexpr int kGtkIterationsPerPoll = 16;
constexpr int kGtkDrainLimit = 200;
constexpr uint64_t kPumpsPerSecond = 1000;

constexpr const char* kNoDisplayMessage =
    "koravel: no display available (is DISPLAY or WAYLAND_DISPLAY set?)";

// The tool windows are laid out in pixels for a compact classic look; GTK's
// default theme pads controls beyond those rectangles, so trim the padding
// for our own windows only.
constexpr const char* kToolCss =
    ".kv-tool { font-size: 9pt; }"
    ".kv-tool button { min-height: 0; min-width: 0; padding: 0 4px; }"
    ".kv-tool entry { min-height: 0; padding: 0 3px; }"
    ".kv-tool scale { min-height: 0; padding: 0 4px; }"
    ".kv-tool scale slider { min-height: 14px; min-width: 14px; margin: -6px; }"
    ".kv-tool label { min-height: 0; }";

// PC set-1 scan codes by SDL scancode; extended keys carry 0x80 as the
// usual single-byte form of their E0 prefix.
struct ScanPair {
  SDL_Scancode sdl;
  uint8_t set1;
};
constexpr ScanPair kScanTable[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},       {SDL_SCANCODE_1, 0x02},
    {SDL_SCANCODE_2, 0x03},            {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05},            {SDL_SCANCODE_5, 0x06},
    {SDL_SCANCODE_6, 0x07},            {SDL_SCANCODE_7, 0x08},
    {SDL_SCANCODE_8, 0x09},            {SDL_SCANCODE_9, 0x0A},
    {SDL_SCANCODE_0, 0x0B},            {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D},       {SDL_SCANCODE_BACKSPACE, 0x0E},
    {SDL_SCANCODE_TAB, 0x0F},          {SDL_SCANCODE_Q, 0x10},
    {SDL_SCANCODE_W, 0x11},            {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13},            {SDL_SCANCODE_T, 0x14},
    {SDL_SCANCODE_Y, 0x15},            {SDL_SCANCODE_U, 0x16},
    {SDL_SCANCODE_I, 0x17},            {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},            {SDL_SCANCODE_LEFTBRACKET, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B}, {SDL_SCANCODE_RETURN, 0x1C},
    {SDL_SCANCODE_LCTRL, 0x1D},        {SDL_SCANCODE_A, 0x1E},
    {SDL_SCANCODE_S, 0x1F},            {SDL_SCANCODE_D, 0x20},
    {SDL_SCANCODE_F, 0x21},            {SDL_SCANCODE_G, 0x22},
    {SDL_SCANCODE_H, 0x23},            {SDL_SCANCODE_J, 0x24},
    {SDL_SCANCODE_K, 0x25},            {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_SEMICOLON, 0x27},    {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29},        {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x2B},    {SDL_SCANCODE_Z, 0x2C},
    {SDL_SCANCODE_X, 0x2D},            {SDL_SCANCODE_C, 0x2E},
    {SDL_SCANCODE_V, 0x2F},            {SDL_SCANCODE_B, 0x30},
    {SDL_SCANCODE_N, 0x31},            {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_COMMA, 0x33},        {SDL_SCANCODE_PERIOD, 0x34},
    {SDL_SCANCODE_SLASH, 0x35},        {SDL_SCANCODE_RSHIFT, 0x36},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37},  {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_SPACE, 0x39},        {SDL_SCANCODE_CAPSLOCK, 0x3A},
    {SDL_SCANCODE_F1, 0x3B},           {SDL_SCANCODE_F2, 0x3C},
    {SDL_SCANCODE_F3, 0x3D},           {SDL_SCANCODE_F4, 0x3E},
    {SDL_SCANCODE_F5, 0x3F},           {SDL_SCANCODE_F6, 0x40},
    {SDL_SCANCODE_F7, 0x41},           {SDL_SCANCODE_F8, 0x42},
    {SDL_SCANCODE_F9, 0x43},           {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45}, {SDL_SCANCODE_SCROLLLOCK, 0x46},
    {SDL_SCANCODE_KP_7, 0x47},         {SDL_SCANCODE_KP_8, 0x48},
    {SDL_SCANCODE_KP_9, 0x49},         {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_4, 0x4B},         {SDL_SCANCODE_KP_5, 0x4C},
    {SDL_SCANCODE_KP_6, 0x4D},         {SDL_SCANCODE_KP_PLUS, 0x4E},
    {SDL_SCANCODE_KP_1, 0x4F},         {SDL_SCANCODE_KP_2, 0x50},
    {SDL_SCANCODE_KP_3, 0x51},         {SDL_SCANCODE_KP_0, 0x52},
    {SDL_SCANCODE_KP_PERIOD, 0x53},    {SDL_SCANCODE_NONUSBACKSLASH, 0x56},
    {SDL_SCANCODE_F11, 0x57},          {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_KP_ENTER, 0x9C},     {SDL_SCANCODE_RCTRL, 0x9D},
    {SDL_SCANCODE_KP_DIVIDE, 0xB5},    {SDL_SCANCODE_RALT, 0xB8},
    {SDL_SCANCODE_HOME, 0xC7},         {SDL_SCANCODE_UP, 0xC8},
    {SDL_SCANCODE_PAGEUP, 0xC9},       {SDL_SCANCODE_LEFT, 0xCB},
    {SDL_SCANCODE_RIGHT, 0xCD},        {SDL_SCANCODE_END, 0xCF},
    {SDL_SCANCODE_DOWN, 0xD0},         {SDL_SCANCODE_PAGEDOWN, 0xD1},
    {SDL_SCANCODE_INSERT, 0xD2},       {SDL_SCANCODE_DELETE, 0xD3},
    {SDL_SCANCODE_LGUI, 0xDB},         {SDL_SCANCODE_RGUI, 0xDC},
    {SDL_SCANCODE_APPLICATION, 0xDD},
};

int Set1FromSdl(SDL_Scancode code) {
  for (const ScanPair& p : kScanTable)
    if (p.sdl == code) return p.set1;
  return 0;
}

// Keys that count by what they type, not by their place: "+" and "-" lie
// elsewhere on a German keyboard than on an American one, where "+" is the
// "=" key with Shift; Z and Y swap places, and Ctrl+Z must be the key marked Z.
struct LayoutKey {
  SDL_Keycode sym;
  int set1;
};
constexpr LayoutKey kLayoutKeys[] = {
    {SDLK_PLUS, Scan::Plus}, {SDLK_EQUALS, Scan::Plus}, {SDLK_MINUS, Scan::Minus}, {SDLK_z, Scan::Z}, {SDLK_y, Scan::Y}};

int Set1FromKey(const SDL_Keysym& key) {
  for (const LayoutKey& k : kLayoutKeys)
    if (key.sym == k.sym) return k.set1;
  for (SDL_Scancode place : {SDL_SCANCODE_EQUALS, SDL_SCANCODE_MINUS, SDL_SCANCODE_Z, SDL_SCANCODE_Y})
    if (key.scancode == place) return 0;  // types something else
  return Set1FromSdl(key.scancode);
}

// SDL numbers the middle button 2 and the right one 3; the program the other way.
int ProgramButton(uint8_t sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    case SDL_BUTTON_MIDDLE: return 3;
    default: return 0;
  }
}

// True when the comma-separated SDL_VIDEODRIVER names this driver.
bool DriverNamedOnPurpose(const char* driver) {
  const char* env = std::getenv("SDL_VIDEODRIVER");
  if (!env || !driver) return false;
  std::string list = env;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    if (SDL_strcasecmp(list.substr(start, end - start).c_str(), driver) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string ValidUtf8(const std::string& text) {
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
  gchar* fixed = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string out = fixed;
  g_free(fixed);
  return out;
}

// A requester's default path is a directory and a proposed name joined by
// the program's separator, the backslash ("/home/me\\" from
// CurrentDirectory): split at the last one. Both halves are the host's own
// names and stay as they are.
std::pair<std::string, std::string> SplitDefaultPath(const std::string& defaultPath) {
  const size_t cut = defaultPath.rfind('\\');
  if (cut == std::string::npos) return {"", defaultPath};
  return {defaultPath.substr(0, cut), defaultPath.substr(cut + 1)};
}

// "Maps|*.kvl;*.map|All|*" or a bare ".kvl": (name, patterns) pairs.
std::vector<std::pair<std::string, std::vector<std::string>>> ParseFilterPattern(
    const std::string& pattern) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (start <= pattern.size()) {
    size_t end = pattern.find('|', start);
    if (end == std::string::npos) end = pattern.size();
    fields.push_back(pattern.substr(start, end - start));
    start = end + 1;
  }
  auto split = [](const std::string& globs) {
    std::vector<std::string> out;
    size_t s = 0;
    while (s <= globs.size()) {
      size_t e = globs.find(';', s);
      if (e == std::string::npos) e = globs.size();
      std::string g = globs.substr(s, e - s);
      g.erase(0, g.find_first_not_of(' '));
      if (!g.empty() && g[0] == '.') g = "*" + g;  // ".kvl" means files ending so
      if (!g.empty()) out.push_back(g);
      s = e + 1;
    }
    return out;
  };
  std::vector<std::pair<std::string, std::vector<std::string>>> filters;
  if (fields.size() == 1) {
    std::vector<std::string> globs = split(fields[0]);
    if (!globs.empty()) filters.emplace_back(globs[0], globs);
    return filters;
  }
  for (size_t i = 0; i + 1 < fields.size(); i += 2) {
    std::vector<std::string> globs = split(fields[i + 1]);
    if (globs.empty()) continue;
    filters.emplace_back(fields[i].empty() ? globs[0] : fields[i], globs);
  }
  return filters;
}

class SdlPlatformImpl;

struct ToolWindow {
  SdlPlatformImpl* owner = nullptr;
  WindowHandle handle = 0;
  GtkWidget* window = nullptr;  // null when GTK is unavailable
  GtkWidget* fixed = nullptr;
};

enum class ControlKind { Button, Label, Slider, TextField };

struct Control {
  SdlPlatformImpl* owner = nullptr;
  ControlHandle handle = 0;
  WindowHandle window = 0;
  ControlKind kind = ControlKind::Label;
  GtkWidget* widget = nullptr;  // null when GTK is unavailable
  int min = 0, max = 0, value = 0;
  std::string text;  // kept for the GTK-less fallback
};

class SdlPlatformImpl final : public SdlPlatform {
 public:
  SdlPlatformImpl(bool gtkReady) : gtk_(gtkReady) {
    if (gtk_) {
      GtkCssProvider* css = gtk_css_provider_new();
      gtk_css_provider_load_from_data(css, kToolCss, -1, nullptr);
      if (GdkScreen* screen = gdk_screen_get_default())
        gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(css),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
      g_object_unref(css);
    }
    SDL_StopTextInput();  // keys are read by position; no input method needed
    // Through GLib's main loop, which every requester, message box and
    // dialog runs too; never in the middle of writing a file.
    for (int sig : kEndSignals)
      signalSources_.push_back(g_unix_signal_add(sig, &OnEndSignal, GINT_TO_POINTER(sig)));
  }

  ~SdlPlatformImpl() override {
    for (guint source : signalSources_) g_source_remove(source);
    if (captured_) SDL_SetRelativeMouseMode(SDL_FALSE);
    canvas_.reset();
    if (frame_) SDL_DestroyTexture(frame_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (sdlWindow_) SDL_DestroyWindow(sdlWindow_);
    for (auto& [handle, tool] : tools_)
      if (tool->window) gtk_widget_destroy(tool->window);
    tools_.clear();
    controls_.clear();
    if (gtk_) DrainGtk();
    TTF_Quit();
    SDL_Quit();
  }

  std::string LastError() const override { return lastError_; }

  // --- Window, screen and frame ---

  WindowHandle CreateFrameWindow(int x, int y, int innerWidth, int innerHeight,
                                 const std::string& title, WindowStyle style) override {
    if (innerWidth <= 0 || innerHeight <= 0) return 0;
    if (style == WindowStyle::MainStyle) {
      if (sdlWindow_) return 0;  // the program has one main window
      sdlWindow_ = SDL_CreateWindow(ValidUtf8(title).c_str(), SDL_WINDOWPOS_CENTERED,
                                    SDL_WINDOWPOS_CENTERED, innerWidth, innerHeight,
                                    SDL_WINDOW_SHOWN);
      if (!sdlWindow_) {
        lastError_ = std::string("cannot create the window: ") + SDL_GetError();
        return 0;
      }
      sdlHandle_ = NextHandle();
      return sdlHandle_;
    }
    SuspendCapture();  // clicks must reach GTK, not the captured SDL window
    auto tool = std::make_unique<ToolWindow>();
    tool->owner = this;
    tool->handle = NextHandle();
    if (gtk_) {
      GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      gtk_window_set_title(GTK_WINDOW(w), ValidUtf8(title).c_str());
      gtk_window_set_type_hint(GTK_WINDOW(w), GDK_WINDOW_TYPE_HINT_UTILITY);
      gtk_window_set_deletable(GTK_WINDOW(w), FALSE);
      gtk_window_set_resizable(GTK_WINDOW(w), FALSE);
      // Modal for the program, which stops drawing meanwhile: a click on the
      // main window must not bury it.
      gtk_window_set_keep_above(GTK_WINDOW(w), TRUE);
      gtk_style_context_add_class(gtk_widget_get_style_context(w), "kv-tool");
      GtkWidget* fixed = gtk_fixed_new();
      gtk_widget_set_size_request(fixed, innerWidth, innerHeight);
      gtk_container_add(GTK_CONTAINER(w), fixed);
      g_signal_connect(w, "delete-event", G_CALLBACK(&SdlPlatformImpl::OnToolDelete), tool.get());
      gtk_window_move(GTK_WINDOW(w), x, y);
      gtk_widget_show_all(w);
      TakeFocus(w);
      tool->window = w;
      tool->fixed = fixed;
    }
    WindowHandle handle = tool->handle;
    tools_[handle] = std::move(tool);
    return handle;
  }

  void DestroyFrameWindow(WindowHandle window) override {
    if (window == 0) return;
    if (window == sdlHandle_) {
      canvas_.reset();
      if (frame_) SDL_DestroyTexture(frame_);
      frame_ = nullptr;
      if (renderer_) SDL_DestroyRenderer(renderer_);
      renderer_ = nullptr;
      if (captured_) SDL_SetRelativeMouseMode(SDL_FALSE);
      captured_ = false;
      SDL_DestroyWindow(sdlWindow_);
      sdlWindow_ = nullptr;
      sdlHandle_ = 0;
      return;
    }
    auto it = tools_.find(window);
    if (it == tools_.end()) return;
    std::vector<ControlHandle> gone;
    for (auto& [handle, control] : controls_)
      if (control->window == window) gone.push_back(handle);
    for (ControlHandle h : gone) controls_.erase(h);
    // A click still queued for a control that no longer exists means nothing.
    std::erase_if(events_, [&](const std::pair<WindowEvent, ControlHandle>& e) {
      return e.first == WindowEvent::ControlActivated &&
             std::find(gone.begin(), gone.end(), e.second) != gone.end();
    });
    GtkWidget* widget = it->second->window;
    tools_.erase(it);
    if (widget) {
      gtk_widget_destroy(widget);
      DrainGtk();  // so that the window really disappears now
    }
  }

  void AllowResize(WindowHandle window, int minWidth, int minHeight) override {
    if (window == 0 || window != sdlHandle_) return;
    minSize_ = Size{std::max(minWidth, 1), std::max(minHeight, 1)};
    SDL_SetWindowMinimumSize(sdlWindow_, minSize_.width, minSize_.height);
    SDL_SetWindowResizable(sdlWindow_, SDL_TRUE);
  }

  bool AttachScreen(WindowHandle window, int x, int y, int width, int height) override {
    if (window == 0 || window != sdlHandle_ || renderer_ || width <= 0 || height <= 0) return false;
    renderer_ = SDL_CreateRenderer(sdlWindow_, -1,
                                   SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!renderer_) renderer_ = SDL_CreateRenderer(sdlWindow_, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer_) {
      lastError_ = std::string("cannot create a renderer: ") + SDL_GetError();
      return false;
    }
    screenFillsWindow_ = x == 0 && y == 0;
    if (!screenFillsWindow_) {
      SDL_Rect area{x, y, width, height};
      SDL_RenderSetViewport(renderer_, &area);
    }
    SetRefreshInterval();
    canvas_ = std::make_unique<SdlCanvas>(renderer_);
    MakeFramePicture(width, height);
    return true;
  }

  WindowEvent PollWindowEvent() override {
    PumpSdl();
    // Also without GTK: the ending signals arrive through GLib.
    for (int i = 0; i < kGtkIterationsPerPoll && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
    if (events_.empty()) return WindowEvent::NoEvent;
    auto [event, control] = events_.front();
    events_.pop_front();
    if (event == WindowEvent::ControlActivated) eventControl_ = control;
    return event;
  }

  ControlHandle EventControl() override { return eventControl_; }

  Size ScreenSize() override { return canvas_ ? canvas_->ScreenSize() : Size{kScreenWidth, kScreenHeight}; }

  void ClearFrame(Color color) override {
    if (canvas_) canvas_->ClearFrame(color);
  }

  void PresentFrame() override {
    ShowFrame();
    PaceFrame();
    // Between frames: the next one is drawn whole at the new size. Without a
    // window manager nobody holds the window to its minimum: the screen then
    // keeps the minimum, shown in part.
    if (newSize_.width > 0 && screenFillsWindow_ && canvas_) {
      const Size size{std::max(newSize_.width, minSize_.width), std::max(newSize_.height, minSize_.height)};
      if (!(size == canvas_->ScreenSize())) MakeFramePicture(size.width, size.height);
    }
    newSize_ = Size{};
  }

  void WaitForEvents() override {
    if (!gtk_) {
      SDL_WaitEventTimeout(nullptr, static_cast<int>(kDialogWakeMs));
      return;
    }
    bool fired = false;
    guint timer = g_timeout_add(
        kDialogWakeMs,
        [](gpointer flag) -> gboolean {
          *static_cast<bool*>(flag) = true;
          return G_SOURCE_REMOVE;
        },
        &fired);
    g_main_context_iteration(nullptr, TRUE);
    if (!fired) g_source_remove(timer);
  }

  // --- Sprites and overlay: all drawing goes through the canvas ---

  SpriteHandle LoadSpriteImage(const std::string& path, bool rotatable) override {
    return canvas_ ? canvas_->LoadSpriteImage(path, rotatable) : 0;
  }
  void SetSpriteKeyColor(SpriteHandle sprite, Color color) override {
    if (canvas_) canvas_->SetSpriteKeyColor(sprite, color);
  }
  void DrawSprite(SpriteHandle sprite, int x, int y) override {
    if (canvas_) canvas_->DrawSprite(sprite, x, y);
  }
  void DrawSpriteKeyed(SpriteHandle sprite, int x, int y) override {
    if (canvas_) canvas_->DrawSpriteKeyed(sprite, x, y);
  }
  RotSpriteHandle CreateRotSprite(SpriteHandle sprite) override {
    return canvas_ ? canvas_->CreateRotSprite(sprite) : 0;
  }
  void SetRotSpriteSize(RotSpriteHandle rot, int width, int height) override {
    if (canvas_) canvas_->SetRotSpriteSize(rot, width, height);
  }
  void SetRotSpriteAngle(RotSpriteHandle rot, float degrees) override {
    if (canvas_) canvas_->SetRotSpriteAngle(rot, degrees);
  }
  void BeginRotSprites() override {}
  void EndRotSprites() override {}
  void DrawRotSprite(RotSpriteHandle rot, int x, int y, int opacity) override {
    if (canvas_) canvas_->DrawRotSprite(rot, x, y, opacity);
  }
  void DrawSpriteScaled(SpriteHandle sprite, int x, int y, float scale) override {
    if (canvas_) canvas_->DrawSpriteScaled(sprite, x, y, scale, false);
  }
  void DrawSpriteKeyedScaled(SpriteHandle sprite, int x, int y, float scale) override {
    if (canvas_) canvas_->DrawSpriteScaled(sprite, x, y, scale, true);
  }
  void DrawRotSpriteScaled(RotSpriteHandle rot, int x, int y, float scale, int opacity) override {
    if (canvas_) canvas_->DrawRotSpriteScaled(rot, x, y, scale, opacity);
  }
  void BeginOverlay() override {
    if (canvas_) canvas_->BeginOverlay();
  }
  void EndOverlay() override {
    if (canvas_) canvas_->EndOverlay();
  }
  void SetOverlayMode(int flags) override {
    if (canvas_) canvas_->SetOverlayMode(flags);
  }
  void DrawRect(int x, int y, int width, int height, Color color) override {
    if (canvas_) canvas_->DrawRect(x, y, width, height, color);
  }
  void FillRectBlended(int x, int y, int width, int height, Color color, int opacity) override {
    if (canvas_) canvas_->FillRectBlended(x, y, width, height, color, opacity);
  }
  int DrawLabel(int x, int y, std::string_view utf8Text, Color color) override {
    return canvas_ ? canvas_->DrawLabel(x, y, utf8Text, color) : x;
  }

  // --- Keyboard and mouse ---

  void PollKeyboard() override {
    PumpSdl();
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    auto held = [&](SDL_Scancode code) { return code != SDL_SCANCODE_UNKNOWN && static_cast<int>(code) < count && state[code]; };
    for (const ScanPair& p : kScanTable) keys_[p.set1] = held(p.sdl) || keyLatch_[p.set1];
    for (int code : {Scan::Plus, Scan::Minus, Scan::Z, Scan::Y}) keys_[code] = keyLatch_[code];
    for (const LayoutKey& k : kLayoutKeys) keys_[k.set1] = keys_[k.set1] || held(SDL_GetScancodeFromKey(k.sym));
    keyLatch_.fill(false);
  }

  bool IsKeyDown(int scanCode) override {
    return scanCode >= 0 && scanCode < static_cast<int>(keys_.size()) && keys_[scanCode];
  }

  void PollMouse() override {
    PumpSdl();
    if (released_) return;  // the desktop has the pointer
    if (!captured_ && sdlWindow_) {
      // Back from a dialog or requester: the focus went to the root window.
      SDL_RaiseWindow(sdlWindow_);
      SDL_SetWindowInputFocus(sdlWindow_);
      // Where relative mode is refused, SDL still reports the motion between
      // absolute positions, so the pointer keeps working, only unconfined.
      SDL_SetRelativeMouseMode(SDL_TRUE);
      captured_ = true;
      motionX_ = motionY_ = 0;
    }
    const Size screen = ScreenSize();
    pointerX_ = std::clamp(pointerX_ + motionX_, 0, screen.width - 1);
    pointerY_ = std::clamp(pointerY_ + motionY_, 0, screen.height - 1);
    motionX_ = motionY_ = 0;
    for (int b = 1; b <= 3; ++b) buttons_[b] = buttonHeld_[b] || buttonLatch_[b];
    buttonLatch_.fill(false);
  }

  int PointerX() override { return pointerX_; }
  int PointerY() override { return pointerY_; }
  bool IsButtonDown(int button) override { return button >= 1 && button <= 3 && buttons_[button]; }

  int TakeWheelSteps() override {
    PumpSdl();
    const int steps = wheel_;
    wheel_ = 0;
    return steps;
  }

  void SetMouseReleased(bool released) override {
    if (released == released_) return;
    released_ = released;
    if (released) SuspendCapture();
    // Capture resumes at the next PollMouse.
  }

  // --- Dialog controls ---

  ControlHandle AddButton(WindowHandle window, int x, int y, int width, int height,
                          const std::string& text) override {
    Control* c = NewControl(window, ControlKind::Button);
    if (!c) return 0;
    c->text = text;
    if (WidgetFor(window)) {
      c->widget = gtk_button_new_with_label(ValidUtf8(text).c_str());
      g_signal_connect(c->widget, "clicked", G_CALLBACK(&SdlPlatformImpl::OnButtonClicked), c);
      Place(window, c->widget, x, y, width, height);
    } else if (!gtk_ && text == kCancelText) {
      // Without GTK nobody could answer the dialog: it is cancelled at once.
      events_.emplace_back(WindowEvent::ControlActivated, c->handle);
    }
    return c->handle;
  }

  ControlHandle AddLabel(WindowHandle window, int x, int y, int width, int height,
                         const std::string& text) override {
    Control* c = NewControl(window, ControlKind::Label);
    if (!c) return 0;
    c->text = text;
    if (WidgetFor(window)) {
      c->widget = gtk_label_new(ValidUtf8(text).c_str());
      gtk_label_set_xalign(GTK_LABEL(c->widget), 0.0f);
      gtk_label_set_yalign(GTK_LABEL(c->widget), 0.0f);
      gtk_label_set_ellipsize(GTK_LABEL(c->widget), PANGO_ELLIPSIZE_NONE);
      Place(window, c->widget, x, y, width, height);
    }
    return c->handle;
  }

  ControlHandle AddSlider(WindowHandle window, int x, int y, int width, int height, int min,
                          int max) override {
    Control* c = NewControl(window, ControlKind::Slider);
    if (!c) return 0;
    c->min = std::max(min, 0);
    c->max = std::max(max, c->min);
    c->value = c->min;
    if (WidgetFor(window)) {
      const double span = static_cast<double>(c->max) - c->min;
      GtkAdjustment* adj = gtk_adjustment_new(c->min, c->min, c->max, 1.0,
                                              std::max(1.0, std::floor(span / 10.0)), 0.0);
      c->widget = gtk_scale_new(GTK_ORIENTATION_HORIZONTAL, adj);
      gtk_scale_set_draw_value(GTK_SCALE(c->widget), FALSE);
      gtk_scale_set_digits(GTK_SCALE(c->widget), 0);
      gtk_range_set_round_digits(GTK_RANGE(c->widget), 0);
      Place(window, c->widget, x, y, width, height);
    }
    return c->handle;
  }

  ControlHandle AddTextField(WindowHandle window, int x, int y, int width, int height,
                             const std::string& text) override {
    Control* c = NewControl(window, ControlKind::TextField);
    if (!c) return 0;
    c->text = text;
    if (WidgetFor(window)) {
      c->widget = gtk_entry_new();
      gtk_entry_set_text(GTK_ENTRY(c->widget), ValidUtf8(text).c_str());
      gtk_entry_set_has_frame(GTK_ENTRY(c->widget), TRUE);
      gtk_entry_set_width_chars(GTK_ENTRY(c->widget), 1);  // the given width rules, not a text length
      Place(window, c->widget, x, y, width, height);
    }
    return c->handle;
  }

  void SetControlValue(ControlHandle control, int value) override {
    Control* c = FindControl(control);
    if (!c || c->kind != ControlKind::Slider) return;
    c->value = std::clamp(value, c->min, c->max);
    if (c->widget) gtk_range_set_value(GTK_RANGE(c->widget), c->value);
  }

  int GetControlValue(ControlHandle control) override {
    Control* c = FindControl(control);
    if (!c || c->kind != ControlKind::Slider) return 0;
    if (c->widget) c->value = static_cast<int>(std::lrint(gtk_range_get_value(GTK_RANGE(c->widget))));
    return c->value;
  }

  void SetControlText(ControlHandle control, const std::string& text) override {
    Control* c = FindControl(control);
    if (!c || c->kind == ControlKind::Slider) return;
    c->text = text;
    if (!c->widget) return;
    const std::string utf8 = ValidUtf8(text);
    switch (c->kind) {
      case ControlKind::Button: gtk_button_set_label(GTK_BUTTON(c->widget), utf8.c_str()); break;
      case ControlKind::Label: gtk_label_set_text(GTK_LABEL(c->widget), utf8.c_str()); break;
      case ControlKind::TextField: gtk_entry_set_text(GTK_ENTRY(c->widget), utf8.c_str()); break;
      case ControlKind::Slider: break;
    }
  }

  std::string GetControlText(ControlHandle control) override {
    Control* c = FindControl(control);
    if (!c || c->kind == ControlKind::Slider) return "";
    if (!c->widget) return c->text;
    const char* text = nullptr;
    switch (c->kind) {
      case ControlKind::Button: text = gtk_button_get_label(GTK_BUTTON(c->widget)); break;
      case ControlKind::Label: text = gtk_label_get_text(GTK_LABEL(c->widget)); break;
      case ControlKind::TextField: text = gtk_entry_get_text(GTK_ENTRY(c->widget)); break;
      case ControlKind::Slider: break;
    }
    return text ? text : "";
  }

  // --- Requesters ---

  std::string AskOpenPath(const std::string& title, const std::string& defaultPath,
                          const std::string& pattern) override {
    return AskPath(GTK_FILE_CHOOSER_ACTION_OPEN, title, defaultPath, pattern);
  }

  std::string AskSavePath(const std::string& title, const std::string& defaultPath,
                          const std::string& pattern) override {
    return AskPath(GTK_FILE_CHOOSER_ACTION_SAVE, title, defaultPath, pattern);
  }

  void ShowMessage(const std::string& caption, const std::string& text) override {
    if (!gtk_) {
      std::fprintf(stderr, "koravel: %s: %s\n", caption.c_str(), text.c_str());
      return;
    }
    SuspendCapture();
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                            GTK_BUTTONS_OK, "%s", ValidUtf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), ValidUtf8(caption).c_str());
    RunModal(box);
    gtk_widget_destroy(box);
    AfterModal();
  }

  int AskChoice(const std::string& caption, const std::string& text,
                const std::vector<std::string>& buttons) override {
    if (!gtk_) {
      std::fprintf(stderr, "koravel: %s: %s (no dialog available)\n", caption.c_str(), text.c_str());
      return -1;
    }
    SuspendCapture();
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                                            GTK_BUTTONS_NONE, "%s", ValidUtf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), ValidUtf8(caption).c_str());
    // Each button answers to Alt and its first letter.
    for (size_t i = 0; i < buttons.size(); ++i) {
      std::string label = "_";
      label += ValidUtf8(buttons[i]);
      gtk_dialog_add_button(GTK_DIALOG(box), label.c_str(), static_cast<int>(i));
    }
    if (!buttons.empty()) gtk_dialog_set_default_response(GTK_DIALOG(box), 0);
    RunModal(box);
    const int chosen = response_ >= 0 && response_ < static_cast<int>(buttons.size()) ? response_ : -1;
    gtk_widget_destroy(box);
    AfterModal();
    return chosen;
  }

  // The working directory as the host names it, and the separator that
  // SplitDefaultPath looks for.
  std::string CurrentDirectory() override {
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
      if (errno != ERANGE || buf.size() > (1u << 20)) return ".\\";
      buf.resize(buf.size() * 2);
    }
    return std::string(buf.data()) + '\\';
  }

  // --- Time ---

  // Milliseconds since the system started.
  uint32_t NowMs() const override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
  }

  // --- Files ---

  std::optional<Bytes> ReadFile(const std::string& path, size_t maxBytes) override {
    return files_.ReadFile(path, maxBytes);
  }
  bool WriteFile(const std::string& path, const Bytes& bytes) override { return files_.WriteFile(path, bytes); }

 private:
  static constexpr const char* kCancelText = "Abbrechen";

  uint32_t NextHandle() {
    if (++lastHandle_ == 0) ++lastHandle_;
    return lastHandle_;
  }

  Control* NewControl(WindowHandle window, ControlKind kind) {
    if (window == 0 || !tools_.count(window)) return nullptr;
    auto c = std::make_unique<Control>();
    c->owner = this;
    c->handle = NextHandle();
    c->window = window;
    c->kind = kind;
    Control* raw = c.get();
    controls_[c->handle] = std::move(c);
    return raw;
  }

  Control* FindControl(ControlHandle handle) {
    auto it = controls_.find(handle);
    return it == controls_.end() ? nullptr : it->second.get();
  }

  GtkWidget* WidgetFor(WindowHandle window) {
    auto it = tools_.find(window);
    return it == tools_.end() ? nullptr : it->second->fixed;
  }

  void Place(WindowHandle window, GtkWidget* widget, int x, int y, int width, int height) {
    gtk_widget_set_size_request(widget, std::max(width, 1), std::max(height, 1));
    gtk_fixed_put(GTK_FIXED(WidgetFor(window)), widget, x, y);
    gtk_widget_show(widget);
  }

  static void OnButtonClicked(GtkButton*, gpointer data) {
    Control* c = static_cast<Control*>(data);
    c->owner->events_.emplace_back(WindowEvent::ControlActivated, c->handle);
  }

  struct SaveNaming {
    GtkFileChooser* chooser;
    std::string pattern;
  };

  static void OnSaveAccept(GtkButton*, gpointer data) {
    const SaveNaming* naming = static_cast<const SaveNaming*>(data);
    gchar* name = gtk_file_chooser_get_current_name(naming->chooser);
    if (!name) return;
    const std::string typed = name;
    g_free(name);
    if (typed.empty()) return;
    std::string path = typed;
    if (typed[0] != '/') {  // a name in the folder shown
      gchar* folder = gtk_file_chooser_get_current_folder(naming->chooser);
      path = std::string(folder ? folder : ".") + "/" + typed;
      g_free(folder);
    }
    const std::string named = SavePathFor(path, naming->pattern);
    if (named != path) gtk_file_chooser_set_current_name(naming->chooser, (typed + named.substr(path.size())).c_str());
  }

  // The tool windows have no close button; a window manager that closes one
  // anyway gets the same answer as its "Abbrechen" button.
  static gboolean OnToolDelete(GtkWidget*, GdkEvent*, gpointer data) {
    ToolWindow* tool = static_cast<ToolWindow*>(data);
    SdlPlatformImpl* self = tool->owner;
    for (auto& [handle, control] : self->controls_)
      if (control->window == tool->handle && control->kind == ControlKind::Button &&
          self->GetControlText(handle) == kCancelText) {
        self->events_.emplace_back(WindowEvent::ControlActivated, handle);
        break;
      }
    return TRUE;
  }

  // Ends the program as the signal would have, had nobody caught it: at a
  // quiet moment of the loop, so no file is left half-written.
  static gboolean OnEndSignal(gpointer data) {
    const int sig = GPOINTER_TO_INT(data);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    return G_SOURCE_REMOVE;
  }

  // Copies the last drawn frame to the window and shows it.
  void ShowFrame() {
    if (!renderer_) return;
    if (frame_) {
      SDL_SetRenderTarget(renderer_, nullptr);
      SDL_RenderCopy(renderer_, frame_, nullptr, nullptr);
    }
    SDL_RenderPresent(renderer_);
    if (frame_) SDL_SetRenderTarget(renderer_, frame_);
  }

  // The picture frames are drawn into, and the canvas's screen, at a new
  // size; the pointer stays on it.
  void MakeFramePicture(int width, int height) {
    width = std::clamp(width, 1, kMaxScreenSide);
    height = std::clamp(height, 1, kMaxScreenSide);
    SDL_SetRenderTarget(renderer_, nullptr);
    if (frame_) SDL_DestroyTexture(frame_);
    if (screenFillsWindow_) {
      // Whole-pixel scaling only, for drawables larger than the window (HiDPI).
      SDL_RenderSetLogicalSize(renderer_, width, height);
      SDL_RenderSetIntegerScale(renderer_, SDL_TRUE);
    }
    // Frames are drawn into a picture of their own and copied to the window,
    // so that the last one can be shown again while a dialog holds the loop.
    frame_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, width, height);
    if (frame_ && SDL_SetRenderTarget(renderer_, frame_) != 0) {
      SDL_DestroyTexture(frame_);
      frame_ = nullptr;
    }
    if (frame_) SDL_SetTextureBlendMode(frame_, SDL_BLENDMODE_NONE);
    canvas_->SetScreenSize(width, height);
    pointerX_ = std::min(pointerX_, width - 1);
    pointerY_ = std::min(pointerY_, height - 1);
  }

  // A modal GTK loop of ours is running: the frame loop does not draw.
  bool InModal() const { return modalDepth_ > 0 || !tools_.empty(); }

  static gboolean OnModalWatch(gpointer data) {
    static_cast<SdlPlatformImpl*>(data)->PumpSdl();
    return G_SOURCE_CONTINUE;
  }

  // Takes SDL's events into the latches and the window-event queue. Asking
  // the display server costs a system call, and the editor polls the mouse
  // once per record under test, so it is asked at most once a millisecond;
  // what arrives meanwhile waits for the next poll, and presses are latched.
  void PumpSdl() {
    const uint64_t now = SDL_GetPerformanceCounter();
    if (now - lastPump_ >= SDL_GetPerformanceFrequency() / kPumpsPerSecond) {
      SDL_PumpEvents();
      lastPump_ = now;
    }
    SDL_Event e;
    bool closeQueued = false;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
      switch (e.type) {
        case SDL_QUIT:
          // After a window close SDL sends it as well, and one request is
          // enough. (The signals are ours, not SDL's: OnEndSignal.)
          if (!closeQueued) events_.emplace_back(WindowEvent::CloseRequested, 0);
          closeQueued = true;
          break;
        case SDL_WINDOWEVENT:
          if (e.window.event == SDL_WINDOWEVENT_CLOSE && !closeQueued) {
            events_.emplace_back(WindowEvent::CloseRequested, 0);
            closeQueued = true;
          }
          // Uncovered while the loop is held by a dialog: what was there
          // before, not the remains of a closed window.
          if (e.window.event == SDL_WINDOWEVENT_EXPOSED && InModal()) ShowFrame();
          if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) newSize_ = Size{e.window.data1, e.window.data2};
          break;
        case SDL_KEYDOWN:
          if (int code = Set1FromKey(e.key.keysym)) keyLatch_[code] = true;
          // A key pressed with Ctrl or Shift counts with it, however quickly
          // both are let go.
          for (auto [mod, code] : {std::pair{KMOD_LCTRL, Scan::LeftCtrl}, {KMOD_RCTRL, Scan::RightCtrl},
                                   {KMOD_LSHIFT, Scan::LeftShift}, {KMOD_RSHIFT, Scan::RightShift}})
            if (e.key.keysym.mod & mod) keyLatch_[code] = true;
          break;
        case SDL_MOUSEWHEEL:
          if (captured_) wheel_ += e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
          break;
        case SDL_MOUSEMOTION:
          if (captured_) {
            motionX_ += e.motion.xrel;
            motionY_ += e.motion.yrel;
          }
          break;
        case SDL_MOUSEBUTTONDOWN:
          if (int b = ProgramButton(e.button.button)) {
            buttonHeld_[b] = true;
            buttonLatch_[b] = true;
          }
          break;
        case SDL_MOUSEBUTTONUP:
          if (int b = ProgramButton(e.button.button)) buttonHeld_[b] = false;
          break;
        default: break;
      }
    }
  }

  // Gives the pointer back to the desktop where the program's own pointer is.
  void SuspendCapture() {
    if (!captured_) return;
    SDL_SetRelativeMouseMode(SDL_FALSE);
    captured_ = false;
    if (sdlWindow_ && renderer_) {
      int wx = pointerX_, wy = pointerY_;
      SDL_SetRenderTarget(renderer_, nullptr);  // the window's scale, not the frame picture's
      SDL_RenderLogicalToWindow(renderer_, static_cast<float>(pointerX_),
                                static_cast<float>(pointerY_), &wx, &wy);
      if (frame_) SDL_SetRenderTarget(renderer_, frame_);
      SDL_WarpMouseInWindow(sdlWindow_, wx, wy);
    }
    SDL_ShowCursor(SDL_ENABLE);
    motionX_ = motionY_ = 0;
  }

  // Without a window manager neither showing nor clicking moves the keyboard
  // focus. gtk_window_present stamps its request with GTK's last user time,
  // which the server ignores once the main window has taken the focus more
  // recently; a request stamped "now" always succeeds.
  static void TakeFocus(GtkWidget* window) {
    gtk_window_present(GTK_WINDOW(window));
    if (GdkWindow* gdk = gtk_widget_get_window(window)) gdk_window_focus(gdk, GDK_CURRENT_TIME);
  }

  void RunModal(GtkWidget* dialog) {
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_widget_show(dialog);
    TakeFocus(dialog);
    ++modalDepth_;
    const guint watch = g_timeout_add(kModalWatchMs, &OnModalWatch, this);
    response_ = gtk_dialog_run(GTK_DIALOG(dialog));
    g_source_remove(watch);
    --modalDepth_;
  }

  // After a modal GTK window: let it vanish, and give the keyboard back to
  // the main window (without a window manager it falls to the root window).
  void AfterModal() {
    DrainGtk();
    if (sdlWindow_) {
      SDL_RaiseWindow(sdlWindow_);
      SDL_SetWindowInputFocus(sdlWindow_);
    }
  }

  void DrainGtk() {
    for (int i = 0; i < kGtkDrainLimit && g_main_context_pending(nullptr); ++i)
      g_main_context_iteration(nullptr, FALSE);
  }

  std::string AskPath(GtkFileChooserAction action, const std::string& title,
                      const std::string& defaultPath, const std::string& pattern) {
    if (!gtk_) {
      std::fprintf(stderr, "koravel: no file dialog available (GTK could not start)\n");
      return "";
    }
    SuspendCapture();
    const bool save = action == GTK_FILE_CHOOSER_ACTION_SAVE;
    GtkWidget* dialog = gtk_file_chooser_dialog_new(ValidUtf8(title).c_str(), nullptr, action, "_Abbrechen",
                                                    GTK_RESPONSE_CANCEL, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    // Our own accept button, whose handler runs before the chooser's: a name
    // typed without an extension gets it before the chooser looks for a file
    // it would replace.
    SaveNaming naming{chooser, pattern};
    GtkWidget* accept = gtk_button_new_with_mnemonic(save ? "_Speichern" : "_Öffnen");
    if (save) g_signal_connect(accept, "clicked", G_CALLBACK(&SdlPlatformImpl::OnSaveAccept), &naming);
    gtk_widget_set_can_default(accept, TRUE);
    gtk_widget_show(accept);
    gtk_dialog_add_action_widget(GTK_DIALOG(dialog), accept, GTK_RESPONSE_ACCEPT);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, save ? TRUE : FALSE);
    gtk_file_chooser_set_local_only(chooser, TRUE);

    const auto [dir, name] = SplitDefaultPath(defaultPath);
    if (!dir.empty()) {
      gtk_file_chooser_set_current_folder(chooser, dir.c_str());
    } else {
      gchar* cwd = g_get_current_dir();  // not GTK's default, the recent files
      gtk_file_chooser_set_current_folder(chooser, cwd);
      g_free(cwd);
    }
    if (!name.empty()) {
      if (save)
        gtk_file_chooser_set_current_name(chooser, ValidUtf8(name).c_str());
      else
        gtk_file_chooser_set_filename(chooser, (dir.empty() ? name : dir + "/" + name).c_str());
    }

    // The program's own maps first; the start map has no extension, so all
    // files stay one click away, offered here unless the pattern does.
    bool allFiles = false;
    for (const auto& [label, globs] : ParseFilterPattern(pattern)) {
      GtkFileFilter* filter = gtk_file_filter_new();
      gtk_file_filter_set_name(filter, ValidUtf8(label).c_str());
      for (const std::string& glob : globs) gtk_file_filter_add_pattern(filter, glob.c_str());
      allFiles = allFiles || std::find(globs.begin(), globs.end(), "*") != globs.end();
      gtk_file_chooser_add_filter(chooser, filter);
    }
    if (!allFiles) {
      GtkFileFilter* all = gtk_file_filter_new();
      gtk_file_filter_set_name(all, "Alle Dateien");
      gtk_file_filter_add_pattern(all, "*");
      gtk_file_chooser_add_filter(chooser, all);
    }

    RunModal(dialog);
    std::string result;
    if (response_ == GTK_RESPONSE_ACCEPT) {
      if (gchar* chosen = gtk_file_chooser_get_filename(chooser)) {
        result = chosen;  // the host's name, backslashes and all
        g_free(chosen);
      }
    }
    gtk_widget_destroy(dialog);
    AfterModal();
    return result;
  }

  void SetRefreshInterval() {
    int hz = 0;
    SDL_DisplayMode mode;
    const int display = sdlWindow_ ? SDL_GetWindowDisplayIndex(sdlWindow_) : 0;
    if (SDL_GetCurrentDisplayMode(std::max(display, 0), &mode) == 0) hz = mode.refresh_rate;
    if (hz <= 0) hz = kFallbackRefreshHz;
    frameTicks_ = static_cast<uint64_t>(
        static_cast<double>(SDL_GetPerformanceFrequency()) * kPacingFraction / hz);
  }

  // Motion is counted per frame, so frames must come at the display's rate
  // even where presenting does not wait for the retrace (software renderer,
  // swap interval 0). A present that did wait has used the time already and
  // leaves nothing to sleep.
  void PaceFrame() {
    if (frameTicks_ == 0) SetRefreshInterval();
    const uint64_t now = SDL_GetPerformanceCounter();
    if (frameDeadline_ == 0 || now >= frameDeadline_ + frameTicks_) {
      frameDeadline_ = now + frameTicks_;  // first frame, or fell behind: start afresh
      return;
    }
    if (now < frameDeadline_) {
      const double seconds = static_cast<double>(frameDeadline_ - now) /
                             static_cast<double>(SDL_GetPerformanceFrequency());
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
    frameDeadline_ += frameTicks_;
  }

  const bool gtk_;
  std::string lastError_;
  uint32_t lastHandle_ = 0;

  SDL_Window* sdlWindow_ = nullptr;
  WindowHandle sdlHandle_ = 0;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* frame_ = nullptr;  // the frame being drawn, then the last one shown
  bool screenFillsWindow_ = false;  // and follows its size
  Size newSize_{};  // the window's size after a change, until the next frame
  Size minSize_{1, 1};
  std::unique_ptr<SdlCanvas> canvas_;
  int modalDepth_ = 0;
  std::vector<guint> signalSources_;
  uint64_t frameTicks_ = 0;
  uint64_t lastPump_ = 0;
  uint64_t frameDeadline_ = 0;

  std::map<WindowHandle, std::unique_ptr<ToolWindow>> tools_;
  std::map<ControlHandle, std::unique_ptr<Control>> controls_;
  std::deque<std::pair<WindowEvent, ControlHandle>> events_;
  ControlHandle eventControl_ = 0;
  int response_ = GTK_RESPONSE_NONE;

  std::array<bool, 256> keys_{};
  std::array<bool, 256> keyLatch_{};

  int pointerX_ = kScreenWidth / 2, pointerY_ = kScreenHeight / 2;
  int motionX_ = 0, motionY_ = 0;
  int wheel_ = 0;
  std::array<bool, 4> buttons_{}, buttonHeld_{}, buttonLatch_{};
  bool released_ = false;
  bool captured_ = false;  // relative mode asked for and the motion counted

  HostFiles files_;
};

}  // namespace

std::unique_ptr<SdlPlatform> SdlPlatform::Create() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // the platform ends the program on them itself
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "%s\n(%s)\n", kNoDisplayMessage, SDL_GetError());
    return nullptr;
  }
  // Without a display SDL quietly falls back to drivers whose window nobody
  // can see, close or type into.
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || ((SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0) &&
                  !DriverNamedOnPurpose(driver))) {
    SDL_Quit();
    std::fprintf(stderr, "%s\n", kNoDisplayMessage);
    return nullptr;
  }
  if (TTF_Init() != 0) {
    std::fprintf(stderr, "koravel: cannot start the font renderer: %s\n", TTF_GetError());
    SDL_Quit();
    return nullptr;
  }
  // GTK must not switch the number format: texts like "1.500000" are built
  // with the C library. The character type stays "C" too, so that the X
  // window title keeps its plain STRING form beside the UTF-8 one; GTK's own
  // texts may still follow the user's language.
  gtk_disable_setlocale();
  std::setlocale(LC_MESSAGES, "");
  const bool gtkReady = gtk_init_check(nullptr, nullptr);
  if (!gtkReady)
    std::fprintf(stderr, "koravel: GTK could not start: dialogs are cancelled at once\n");
  return std::make_unique<SdlPlatformImpl>(gtkReady);
}

}  // namespace kv

