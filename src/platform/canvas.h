// The drawing role: a screen with sprites, rotatable sprites, overlay
// rectangles and text. Every operation ignores a 0 or unknown handle.
#pragma once

#include <string>
#include <string_view>

#include "platform/types.h"

namespace kv {

class Canvas {
 public:
  virtual ~Canvas() = default;

  // The screen every operation is clipped against. It follows the window,
  // which the user may resize (Windows::AllowResize).
  virtual Size ScreenSize() = 0;
  virtual void ClearFrame(Color color) = 0;
  virtual void PresentFrame() = 0;

  // `path` is the host's, used as given.
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
  // Zoomed forms of the three above: at the sprite's size (a rotatable
  // sprite's set size) times `scale`, rounded, at least one pixel. Shrunk
  // images are filtered, so thin lines and small marks stay visible;
  // enlarged ones keep sharp pixels. At scale 1 they draw what the plain
  // forms draw.
  virtual void DrawSpriteScaled(SpriteHandle sprite, int x, int y, float scale) = 0;
  virtual void DrawSpriteKeyedScaled(SpriteHandle sprite, int x, int y, float scale) = 0;
  virtual void DrawRotSpriteScaled(RotSpriteHandle rot, int x, int y, float scale, int opacity) = 0;

  virtual void BeginOverlay() = 0;
  virtual void EndOverlay() = 0;
  virtual void SetOverlayMode(int flags) = 0;
  virtual void DrawRect(int x, int y, int width, int height, Color color = RGB(0, 0, 0)) = 0;
  // A filled rectangle mixed into what is below it: `opacity` 0 leaves the
  // screen as it was, 255 draws the colour as DrawRect does. Inside or
  // outside an overlay alike, ignoring the overlay mode.
  virtual void FillRectBlended(int x, int y, int width, int height, Color color, int opacity) = 0;
  // Returns the x coordinate just after the text.
  virtual int DrawLabel(int x, int y, std::string_view utf8Text, Color color) = 0;
};

}  // namespace kv
