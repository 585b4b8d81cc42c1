// Where things are on the screen: the window's layout (map area, toolbar
// band, HUD columns, scroll zones, minimap) for its size, and the viewport
// that maps world pixels to screen pixels through the view offset and the
// zoom. Drawing, hit tests and the cursor all go through these two.
#pragma once

#include <algorithm>
#include <cstdint>

#include "world/world.h"

namespace kv {

// Integer division rounding down, and up.
int64_t FloorDiv(int64_t a, int64_t b);
int64_t CeilDiv(int64_t a, int64_t b);

// The window the program opens with; its layout is the classic one.
constexpr int kClassicScreenWidth = 1024;
constexpr int kClassicScreenHeight = 768;
// The smallest window the user may make: the whole toolbar and the HUD fit.
constexpr int kMinScreenWidth = 800;
constexpr int kMinScreenHeight = 600;

// Zoom levels in percent, smallest first; 100 is the classic view.
constexpr int kZoomLevels[] = {25, 50, 100, 200};
constexpr int kUnzoomed = 100;
// The next level in or out (`steps` > 0 zooms in), held at the ends.
int NextZoom(int zoomPercent, int steps);

// The whole map: 100 x 100 tiles.
constexpr int kMapPixels = kTileGridMax * kTileSize;

// The map area's last row: the toolbar band covers the rows below it. Edits
// and the cursor box need the pointer at or above (cursor box: above) it.
constexpr int MapAreaBottom(int screenHeight) { return screenHeight - 64; }

struct ScreenRect {
  int64_t x = 0, y = 0, width = 0, height = 0;
  // Inclusive on all sides, as the editor's hit tests are.
  bool Contains(int64_t px, int64_t py) const { return x <= px && px <= x + width && y <= py && py <= y + height; }
};

// Axis directions of edge scrolling: +1 brings the map's left (top) part
// into view, -1 its right (bottom) part.
struct ScrollDirection {
  int x = 0, y = 0;
};

class ScreenLayout {
  static constexpr int kHelpShiftMin = -200;

 public:
  ScreenLayout(int width, int height) : width_(width), height_(height) {}
  explicit ScreenLayout(const World& w) : ScreenLayout(w.ScreenWidth, w.ScreenHeight) {}

  int width() const { return width_; }
  int height() const { return height_; }
  int MapAreaBottom() const { return kv::MapAreaBottom(height_); }
  // Zooming and Home centre here; the view stops where the map's edge reaches it.
  int MiddleX() const { return width_ / 2; }
  int MiddleY() const { return MapAreaBottom() / 2; }
  // The HUD's help columns keep their distance to the right edge, but leave
  // room for the counts on a narrow screen.
  int HelpColumnX(int classicX) const { return classicX + std::max(width_ - kClassicScreenWidth, kHelpShiftMin); }

  // Scroll zones 32 pixels wide at the left, right and top edges and 15 rows
  // at the bottom. The classic window has them along its whole edges, the
  // bottom one below the toolbar's buttons; any other size keeps them in the
  // map area, the bottom one along its last rows.
  ScrollDirection ScrollAt(int x, int y) const;

  // The overview of the whole map above the toolbar's right end, clear of the
  // HUD and of the scroll zones; one pixel per lane cell, inside a frame.
  static constexpr int kMinimapCell = kCellSize;  // world pixels per minimap pixel
  static constexpr int kMinimapSide = kMapPixels / kMinimapCell;
  ScreenRect Minimap() const;  // inside the frame
  ScreenRect MinimapFrame() const;

  // The toolbar band runs from this row to the bottom edge.
  static constexpr int kToolbarHeight = 65;
  int ToolbarTop() const { return height_ - kToolbarHeight; }
  // Tool i's button (1..kToolCount), where its icon is drawn; clicks hit it
  // inclusively on all sides, and neighbours share no pixel.
  static constexpr int kToolPitch = 35, kToolInset = 15, kToolButtonTop = 50, kToolButtonSize = 32;
  ScreenRect ToolButton(int i) const {
    return {kToolPitch * i - kToolInset, height_ - kToolButtonTop, kToolButtonSize, kToolButtonSize};
  }
  // The tool whose button is at the point, Tool::None between and off them.
  ::kv::Tool ToolAt(int x, int y) const;

 private:
  bool Classic() const { return width_ == kClassicScreenWidth && height_ == kClassicScreenHeight; }
  int width_, height_;
};

// screen = (world + view) * zoom / 100, rounded down, per axis: at 100 % the
// classic screen = world + view. A world span [a, b) covers the screen pixels
// [ScreenX(a), ScreenX(b)), so spans that meet on the map meet on the screen.
class Viewport {
 public:
  Viewport(int32_t viewX, int32_t viewY, int zoomPercent);
  explicit Viewport(const World& w) : Viewport(w.ViewX, w.ViewY, w.ZoomPercent) {}

  int zoom() const { return zoom_; }
  bool Unzoomed() const { return zoom_ == kUnzoomed; }
  float Scale() const { return static_cast<float>(zoom_) / kUnzoomed; }
  // Screen pixels of `length` world pixels, rounded down.
  int64_t Length(int64_t length) const;

  int64_t ScreenX(int64_t worldX) const;
  int64_t ScreenY(int64_t worldY) const;
  // The square of `size` world pixels at (worldX, worldY) on the screen.
  ScreenRect Box(int64_t worldX, int64_t worldY, int64_t size) const;
  // A float position (a car's) on the screen, each coordinate rounded half to
  // even; false for a position far away or not a number.
  bool ScreenOf(float worldX, float worldY, int64_t& x, int64_t& y) const;

  // The world pixel whose span covers a screen pixel: the inverse of the
  // above, so the tile or cell drawn under the pointer is the one hit.
  int64_t WorldX(int64_t screenX) const;
  int64_t WorldY(int64_t screenY) const;

 private:
  // screen = (world + view) * zoom / 100, as (world + view) * num_ / den_ in
  // lowest terms; den_ a power of two for every zoom level, so a shift.
  int64_t Scaled(int64_t v) const { return shift_ >= 0 ? (v * num_) >> shift_ : FloorDiv(v * num_, den_); }

  int64_t viewX_, viewY_;
  int zoom_;
  int64_t num_ = 1, den_ = 1;
  int shift_ = 0;
};

}  // namespace kv
