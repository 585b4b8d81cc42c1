#include "app/game.h"

#include <algorithm>
#include <string>

#include "editor/view.h"
#include "mapfile/mapfile.h"
#include "render/scene.h"
#include "render/sprites.h"
#include "render/viewport.h"

namespace kv {

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
  history_.Reset();
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
  ServeTimeKeys();
  // Paused, the pacer still runs, so that resuming owes the traffic nothing.
  for (int due = pacer_.Due(p_.NowMs()); due > 0; --due)
    for (int k = 0; k < w_.SpeedFactor && !w_.Paused; ++k) TrafficStep();
  EditorIo io{p_, p_, simClock_, &history_, &p_};
  HandleEditorInput(w_, io, mouse_);
  // What the user does from pressing a button or BackSpace until letting go
  // of all of them is one step.
  if (!(p_.IsButtonDown(kLeftButton) || p_.IsButtonDown(kRightButton) || p_.IsKeyDown(Scan::BackSpace)))
    history_.End(w_);
  if (w_.Hint && ElapsedMs(p_.NowMs(), w_.HintSince) >= kHintMs) w_.Hint = nullptr;
  DrawScene(w_, p_, p_.PointerX(), p_.PointerY());

  ServeMapKeys();

  const WindowEvent event = p_.PollWindowEvent();
  const bool escapePressed = Pressed(Scan::Escape);
  const bool escape = p_.IsKeyDown(Scan::Escape);
  if (event == WindowEvent::CloseRequested || escape)
    return !MayQuit(event == WindowEvent::CloseRequested || escapePressed);
  return true;
}

void Game::TrafficStep() {
  simClock_.Advance();
  Step(w_, simClock_, random_);
}

bool Game::Pressed(int scanCode) {
  const bool down = p_.IsKeyDown(scanCode), was = held_[static_cast<size_t>(scanCode)];
  held_[static_cast<size_t>(scanCode)] = down;
  return down && !was;
}

void Game::ServeTimeKeys() {
  if (Pressed(Scan::Space)) w_.Paused = !w_.Paused;
  if (Pressed(Scan::Period) && w_.Paused) TrafficStep();
  // With Ctrl these keys zoom.
  const bool ctrl = p_.IsKeyDown(Scan::LeftCtrl) || p_.IsKeyDown(Scan::RightCtrl);
  const bool faster = Pressed(Scan::Plus) | Pressed(Scan::KeypadPlus);
  const bool slower = Pressed(Scan::Minus) | Pressed(Scan::KeypadMinus);
  if (!ctrl && faster) w_.SpeedFactor = std::min(w_.SpeedFactor * 2, kMaxSpeed);
  if (!ctrl && slower) w_.SpeedFactor = std::max(w_.SpeedFactor / 2, kMinSpeed);
}

void Game::ServeMapKeys() {
  if (p_.IsKeyDown(Scan::S)) {
    history_.End(w_);
    SaveAs();
  }
  if (p_.IsKeyDown(Scan::O)) {
    history_.End(w_);
    p_.SetMouseReleased(true);
    const std::string path = p_.AskOpenPath("Öffnen...", p_.CurrentDirectory(), kMapPattern);
    history_.Begin(w_);
    const LoadResult opened = LoadMap(w_, p_, p_, simClock_, path);
    history_.End(w_, StepKind::WholeMap);
    if (opened == LoadResult::Loaded) history_.MarkSaved();
    p_.SetMouseReleased(false);
  }
  if (p_.IsKeyDown(Scan::D)) {
    history_.End(w_);
    history_.Begin(w_);
    ClearMap(w_);
    history_.End(w_, StepKind::WholeMap);
  }

  const bool ctrl = p_.IsKeyDown(Scan::LeftCtrl) || p_.IsKeyDown(Scan::RightCtrl);
  const bool shift = p_.IsKeyDown(Scan::LeftShift) || p_.IsKeyDown(Scan::RightShift);
  if (Pressed(Scan::Z) && ctrl) {
    if (shift)
      history_.Redo(w_);
    else
      history_.Undo(w_);
  }
  if (Pressed(Scan::Y) && ctrl) history_.Redo(w_);
}

bool Game::SaveAs() {
  p_.SetMouseReleased(true);
  const std::string path = p_.AskSavePath("Speichern...", p_.CurrentDirectory(), kMapPattern);
  const bool saved = SaveMap(w_, p_, p_, path) == SaveResult::Saved;
  if (saved) history_.MarkSaved();
  p_.SetMouseReleased(false);
  return saved;
}

bool Game::MayQuit(bool ask) {
  history_.End(w_);
  if (!history_.Modified()) return true;
  // A held Escape asks once; the next question needs a new press.
  if (!ask) return false;
  p_.SetMouseReleased(true);
  const int answer = p_.AskChoice(kQuitCaption, kQuitText, {"Speichern", "Verwerfen", "Abbrechen"});
  p_.SetMouseReleased(false);
  if (answer == kQuitSave) return SaveAs();
  return answer == kQuitDiscard;
}

void Game::Run() {
  while (Frame()) {
  }
}

}  // namespace kv
