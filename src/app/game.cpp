#include "app/game.h"

#include <string>

#include "editor/view.h"
#include "mapfile/mapfile.h"
#include "render/scene.h"
#include "render/sprites.h"
#include "render/viewport.h"

namespace kv {

namespace {

constexpr const char* kMapPattern = ".kvl";

}  // namespace

// The simulation's clock starts at the wall clock's reading, as a clock that
// counts from the start of the system would read.
Game::Game(Platform& p, uint32_t seed) : p_(p), simClock_(p.NowMs()), random_(seed) { pacer_.Restart(p.NowMs()); }

bool Game::OpenWindow() {
  window_ = p_.CreateFrameWindow(0, 0, w_.ScreenWidth, w_.ScreenHeight, kWindowTitle,
                                 WindowStyle::MainStyle);
  if (window_ == 0 || !p_.AttachScreen(window_, 0, 0, w_.ScreenWidth, w_.ScreenHeight)) return false;
  p_.AllowResize(window_, kMinScreenWidth, kMinScreenHeight);
  return true;
}

bool Game::Start(const std::string& map, const std::string& imagesFolder) {
  if (!OpenWindow()) return false;
  LoadSprites(w_, p_, imagesFolder);
  LoadMap(w_, p_, p_, simClock_, map);
  pacer_.Restart(p_.NowMs());  // the time spent starting up is not owed to the traffic
  return true;
}

bool Game::Frame() {
  p_.PollMouse();
  p_.PollKeyboard();
  const Size screen = p_.ScreenSize();  // the window may have been resized
  w_.ScreenWidth = screen.width, w_.ScreenHeight = screen.height;
  UpdateMouseButtons(mouse_, p_, p_);
  HandleViewInput(w_, p_, viewKeys_);
  UpdateView(w_, p_, p_);
  for (int due = pacer_.Due(p_.NowMs()); due > 0; --due) {
    simClock_.Advance();
    Step(w_, simClock_, random_);
  }
  EditorIo io{p_, p_, simClock_};
  HandleEditorInput(w_, io, mouse_);
  DrawScene(w_, p_, p_.PointerX(), p_.PointerY());

  if (p_.IsKeyDown(Scan::S)) {
    p_.SetMouseReleased(true);
    const std::string path = p_.AskSavePath("Speichern...", p_.CurrentDirectory(), kMapPattern);
    SaveMap(w_, p_, p_, path);
    p_.SetMouseReleased(false);
  }
  if (p_.IsKeyDown(Scan::O)) {
    p_.SetMouseReleased(true);
    const std::string path = p_.AskOpenPath("Öffnen...", p_.CurrentDirectory(), kMapPattern);
    LoadMap(w_, p_, p_, simClock_, path);
    p_.SetMouseReleased(false);
  }
  if (p_.IsKeyDown(Scan::D)) ClearMap(w_);

  const WindowEvent event = p_.PollWindowEvent();
  return !(event == WindowEvent::CloseRequested || p_.IsKeyDown(Scan::Escape));
}

void Game::Run() {
  while (Frame()) {
  }
}

}  // namespace kv
