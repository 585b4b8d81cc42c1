// The drawing half of the platform, on an SDL_Renderer: sprites, rotatable
// sprites, overlay rectangles and text. The real platform gives it the
// window's accelerated renderer, the headless one a software renderer on a
// surface, so both draw the same pixels from the same calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

struct SDL_Renderer;

namespace kv {

// The screen every drawing operation is clipped against, until SetScreenSize
// changes it; a side is kept within 1..kMaxScreenSide.
constexpr int kCanvasWidth = 1024;
constexpr int kCanvasHeight = 768;
constexpr int kMaxScreenSide = 8192;

// Sprites ignore the images' own alpha: DrawSprite paints every pixel, the
// keyed and rotated forms leave out exactly the pixels of the sprite's key
// colour (none until SetSpriteKeyColor is called).
class SdlCanvas {
 public:
  // Draws on the given renderer (owned by the caller).
  explicit SdlCanvas(SDL_Renderer* renderer);
  // kSoftware: a software renderer of its own, on a 1024 x 768 picture (no
  // display needed); kCountOnly: nothing is drawn, operations are only
  // counted.
  enum Headless { kSoftware, kCountOnly };
  explicit SdlCanvas(Headless mode);
  ~SdlCanvas();
  SdlCanvas(const SdlCanvas&) = delete;
  SdlCanvas& operator=(const SdlCanvas&) = delete;

  SpriteHandle LoadSpriteImage(const std::string& path, bool rotatable);
  void SetSpriteKeyColor(SpriteHandle sprite, Color color);
  void DrawSprite(SpriteHandle sprite, int x, int y);
  void DrawSpriteKeyed(SpriteHandle sprite, int x, int y);
  RotSpriteHandle CreateRotSprite(SpriteHandle sprite);
  void SetRotSpriteSize(RotSpriteHandle rot, int width, int height);
  void SetRotSpriteAngle(RotSpriteHandle rot, float degrees);
  void DrawRotSprite(RotSpriteHandle rot, int x, int y, int opacity);
  void DrawSpriteScaled(SpriteHandle sprite, int x, int y, float scale, bool keyed);
  void DrawRotSpriteScaled(RotSpriteHandle rot, int x, int y, float scale, int opacity);

  Size ScreenSize() const;
  // A new screen size. On a renderer of the caller's the caller resizes its
  // target; the software renderer gets a new picture of that size (cleared to
  // black), and the sprites are kept.
  void SetScreenSize(int width, int height);

  void ClearFrame(Color color);
  void BeginOverlay();
  void EndOverlay();
  void SetOverlayMode(int flags);
  void DrawRect(int x, int y, int width, int height, Color color);
  void FillRectBlended(int x, int y, int width, int height, Color color, int opacity);
  int DrawLabel(int x, int y, std::string_view utf8Text, Color color);

  // Copies the current back buffer as RGB rows, 3 bytes per pixel in the
  // order R G B; empty in kCountOnly mode.
  void ReadFrame(std::vector<uint8_t>& rgb);

  // Number of operations (ClearFrame, sprite, rectangle and label draws) that
  // reached the renderer, or would have in kCountOnly mode; what clipping
  // skipped is not counted.
  uint64_t DrawCalls() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kv
