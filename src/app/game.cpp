#include "app/game.h"

#include <string>

#include "app/view.h"
#include "editor/input.h"
#include "mapfile/mapfile.h"
#include "render/scene.h"
#include "sim/cars.h"
#include "sim/emitters.h"
#include "sim/lights.h"

namespace kv {

namespace {

constexpr const char* kMapPattern = ".kvl";

std::string Numbered(const char* prefix, int n) {
  return std::string(prefix) + std::to_string(n) + ".png";
}

}  // namespace

bool Game::OpenWindow() {
  window_ = p_.CreateFrameWindow(0, 0, w_.ScreenWidth, w_.ScreenHeight, kWindowTitle,
                                 WindowStyle::MainStyle);
  if (window_ == 0) return false;
  return p_.AttachScreen(window_, 0, 0, w_.ScreenWidth, w_.ScreenHeight);
}

void Game::LoadSprites() {
  w_.GrassSprite = p_.LoadSpriteImage("Gfx\\gras.jpg", false);
  for (int i = 1; i <= 2; ++i) {
    w_.LightIcons[i] = p_.LoadSpriteImage(Numbered("Gfx\\sign", i), true);
    p_.SetSpriteKeyColor(w_.LightIcons[i], kKeyColor);
    w_.LightSprites[i] = p_.CreateRotSprite(w_.LightIcons[i]);
    p_.SetRotSpriteSize(w_.LightSprites[i], 12, 12);
  }
  for (int i = 3; i <= 4; ++i) {
    w_.LightIcons[i] = p_.LoadSpriteImage(Numbered("Gfx\\light", i - 2), true);
    p_.SetSpriteKeyColor(w_.LightIcons[i], kKeyColor);
    w_.LightSprites[i] = p_.CreateRotSprite(w_.LightIcons[i]);
    p_.SetRotSpriteSize(w_.LightSprites[i], 12, 12);
  }
  for (int i = 1; i <= 4; ++i) {
    w_.EmitterSprites[i] = p_.LoadSpriteImage(Numbered("Gfx\\emitter", i), false);
    p_.SetSpriteKeyColor(w_.EmitterSprites[i], kKeyColor);
  }
  w_.TargetSprite = p_.LoadSpriteImage("Gfx\\Target.png", false);
  p_.SetSpriteKeyColor(w_.TargetSprite, kKeyColor);
  for (int i = 1; i <= 11; ++i) w_.RoadSprites[i] = p_.LoadSpriteImage(Numbered("Gfx\\road", i), false);
  for (int i = 1; i <= 17; ++i) {
    w_.CarImages[i] = p_.LoadSpriteImage(Numbered("Gfx\\car", i), true);
    p_.SetSpriteKeyColor(w_.CarImages[i], kKeyColor);
    w_.CarSprites[i] = p_.CreateRotSprite(w_.CarImages[i]);
  }
}

bool Game::Start() {
  if (!OpenWindow()) return false;
  LoadSprites();
  LoadMap(w_, p_, kStartMap);
  return true;
}

bool Game::Frame() {
  p_.PollMouse();
  p_.PollKeyboard();
  UpdateMouseButtons(mouse_, p_);
  UpdateView(w_, p_);
  UpdateLights(w_, p_);
  UpdateEmitters(w_, p_);
  MoveCars(w_, p_);
  HandleEditorInput(w_, p_, mouse_);
  DrawScene(w_, p_);

  if (p_.IsKeyDown(Scan::S)) {
    p_.SetMouseReleased(true);
    std::string path = p_.AskSavePath("Speichern...", p_.CurrentDirectory(), kMapPattern);
    SaveMap(w_, p_, path);
    p_.SetMouseReleased(false);
  }
  if (p_.IsKeyDown(Scan::O)) {
    p_.SetMouseReleased(true);
    std::string path = p_.AskOpenPath("Öffnen...", p_.CurrentDirectory(), kMapPattern);
    LoadMap(w_, p_, path);
    p_.SetMouseReleased(false);
  }
  if (p_.IsKeyDown(Scan::D)) ClearMap(w_);

  WindowEvent event = p_.PollWindowEvent();
  return !(event == WindowEvent::CloseRequested || p_.IsKeyDown(Scan::Escape));
}

void Game::Run() {
  while (Frame()) {
  }
}

}  // namespace kv
