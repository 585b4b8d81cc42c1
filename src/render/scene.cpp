#include "render/scene.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace kv {

namespace {

constexpr Color kHudColor = RGB(255, 0, 255);
constexpr Color kSelectionColor = RGB(255, 255, 255);
constexpr Color kRouteColor = RGB(255, 0, 255);
constexpr Color kCursorColor = RGB(128, 128, 0);
constexpr Color kControlColor = RGB(0, 255, 0);
constexpr Color kPointerColor = RGB(128, 128, 128);
constexpr Color kToolHighlightColor = RGB(255, 255, 0);

// Culling relies on the images' fixed sizes: grass 64, roads, emitters and
// the target 32, signs and lights drawn 12 inside their 16-pixel cell.
constexpr int kGrassSize = 64;
constexpr int kTargetBoxSize = 32;
constexpr int kRouteMarkInset = 6;
constexpr int kRouteMarkSize = 4;
constexpr int kLightInset = 2;  // centres the 12-pixel quad in its 16-pixel cell
constexpr int kLightOpacity = 255;
constexpr int kSignOpacity = 128;
constexpr int kCarOpacity = 255;
// Car images are not measured here: off-screen culling assumes one fits in
// 32 x 32 and allows for any rotation about its centre.
constexpr int kCarCullMargin = 32;
constexpr int kCarCullSize = 16 + 2 * kCarCullMargin;
constexpr float kFarAway = 1.0e9f;


// Toolbar geometry, measured from the bottom of the screen.
constexpr int kToolbarBandTop = 65;
constexpr int kToolbarBandHeight = 80;
constexpr int kToolIconTop = 50;
constexpr int kToolIconStep = 35;
constexpr int kToolIconShift = 15;  // icon of tool i at x = 35 i - 15
constexpr int kToolIconSize = 32;
constexpr int kCursorBoxLimit = 64;  // no cursor box with the pointer this low
constexpr int kPointerHalf = 3;

constexpr int kHudColumn2 = 200;
constexpr int kHudRowStep = 15;

struct FixedLabel {
  int x, y;
  std::string_view text;
};

// Constant texts live once, so drawing them costs no allocation per frame.
const FixedLabel kHelpLabels[] = {
    {500, 0, "O - Open Map"},
    {500, 15, "S - Save Map"},
    {500, 30, "D - Delete Map"},
    {700, 0, "Left-Click - Select and place / Stop car"},
    {700, 15, "Right-Click - Delete Cars and Emitters"},
    {700, 30, "BackSpace - Delete Roads"},
};

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The screen rectangle that culling tests against. Coordinates are widened so
// that no map data, however odd, can overflow the test.
struct ScreenArea {
  int64_t width, height;

  bool Shows(int64_t x, int64_t y, int64_t w, int64_t h) const {
    return x < width && y < height && x + w > 0 && y + h > 0;
  }
  bool Shows(int64_t x, int64_t y, int64_t size) const { return Shows(x, y, size, size); }

  // Indices i in [0, last] whose span [size * i + offset, + size) meets
  // [0, extent), that is offset + size * (i + 1) > 0 and offset + size * i
  // < extent; empty when lo > hi.
  static void VisibleRange(int64_t offset, int64_t size, int64_t extent, int64_t last,
                           int64_t& lo, int64_t& hi) {
    lo = std::max<int64_t>(0, FloorDiv(-offset, size));
    hi = std::min<int64_t>(last, FloorDiv(extent - offset - 1, size));
  }
};

// A HUD line composed in place: the frame allocates nothing for its texts.
class HudText {
 public:
  explicit HudText(std::string_view prefix) { Append(prefix); }
  HudText& Append(std::string_view text) {
    size_t n = std::min(text.size(), sizeof buf_ - len_);
    std::copy_n(text.data(), n, buf_ + len_);
    len_ += n;
    return *this;
  }
  // Decimal with a leading minus, as FormatInt writes it.
  HudText& Append(int32_t value) {
    auto [end, ec] = std::to_chars(buf_ + len_, buf_ + sizeof buf_, value);
    if (ec == std::errc()) len_ = static_cast<size_t>(end - buf_);
    return *this;
  }
  std::string_view view() const { return {buf_, len_}; }

 private:
  char buf_[64];
  size_t len_ = 0;
};

void DrawGrass(const World& w, Canvas& p, const ScreenArea& screen) {
  int64_t gx0, gx1, gy0, gy1;
  ScreenArea::VisibleRange(w.ViewX, kGrassSize, screen.width, w.TileMapWidth / 2 - 1, gx0, gx1);
  ScreenArea::VisibleRange(w.ViewY, kGrassSize, screen.height, w.TileMapHeight / 2 - 1, gy0, gy1);
  for (int64_t gy = gy0; gy <= gy1; ++gy)
    for (int64_t gx = gx0; gx <= gx1; ++gx)
      p.DrawSprite(w.GrassSprite, static_cast<int>(kGrassSize * gx + w.ViewX),
                   static_cast<int>(kGrassSize * gy + w.ViewY));
}

void DrawSelectedEmitter(const World& w, Canvas& p, const ScreenArea& screen, const Emitter& e) {
  p.DrawRect(kCellSize * e.TargetX + w.ViewX, kCellSize * e.TargetY + w.ViewY, kTargetBoxSize,
             kTargetBoxSize, kSelectionColor);
  p.DrawRect(kTileSize * e.TileX + w.ViewX, kTileSize * e.TileY + w.ViewY, kTileSize, kTileSize,
             kSelectionColor);
  // The length may come from anywhere; the arrays end at index 999.
  const int32_t length = std::clamp<int32_t>(e.RouteLength, 0, kRouteCapacity - 1);
  for (int32_t i = 1; i <= length; ++i) {
    const int64_t x = int64_t{kCellSize} * e.RouteX[i] + w.ViewX + kRouteMarkInset;
    const int64_t y = int64_t{kCellSize} * e.RouteY[i] + w.ViewY + kRouteMarkInset;
    if (!screen.Shows(x, y, kRouteMarkSize)) continue;
    p.DrawRect(static_cast<int>(x), static_cast<int>(y), kRouteMarkSize, kRouteMarkSize,
               kRouteColor);
  }
}

void DrawHud(const World& w, Canvas& p) {
  p.DrawLabel(0, 0,
              HudText("Cursor TileMap: ").Append(w.CursorTileX).Append("/").Append(w.CursorTileY).view(),
              kHudColor);
  p.DrawLabel(0, kHudRowStep,
              HudText("Cursor MoveMap: ").Append(w.CursorCellX).Append("/").Append(w.CursorCellY).view(),
              kHudColor);
  p.DrawLabel(kHudColumn2, 0, HudText("Cars: ").Append(w.CarCount()).view(), kHudColor);
  p.DrawLabel(kHudColumn2, kHudRowStep, HudText("Roads: ").Append(w.RoadCount()).view(), kHudColor);
  p.DrawLabel(kHudColumn2, 2 * kHudRowStep, HudText("Emitters: ").Append(w.EmitterCount()).view(),
              kHudColor);
  for (const FixedLabel& label : kHelpLabels) p.DrawLabel(label.x, label.y, label.text, kHudColor);
}

void DrawControlCells(const World& w, Canvas& p, const ScreenArea& screen) {
  const int64_t lastX = std::min<int64_t>(w.MoveMapWidth, CellGrid::kMax);
  const int64_t lastY = std::min<int64_t>(w.MoveMapHeight, CellGrid::kMax);
  int64_t cx0, cx1, cy0, cy1;
  ScreenArea::VisibleRange(w.ViewX, kCellSize, screen.width, lastX, cx0, cx1);
  ScreenArea::VisibleRange(w.ViewY, kCellSize, screen.height, lastY, cy0, cy1);
  for (int64_t cy = cy0; cy <= cy1; ++cy)
    for (int64_t cx = cx0; cx <= cx1; ++cx)
      if (w.ControlMap.at(static_cast<int>(cx), static_cast<int>(cy)) != control::kNone)
        p.DrawRect(static_cast<int>(kCellSize * cx + w.ViewX),
                   static_cast<int>(kCellSize * cy + w.ViewY), kCellSize, kCellSize,
                   kControlColor);
}

void DrawCars(const World& w, Canvas& p, const ScreenArea& screen) {
  const float viewX = static_cast<float>(w.ViewX);
  const float viewY = static_cast<float>(w.ViewY);
  for (const Car& car : w.CarList) {
    const float fx = car.PosX + viewX;
    const float fy = car.PosY + viewY;
    // Written so that NaN fails too: only sane values reach the conversion.
    if (!(std::fabs(fx) < kFarAway && std::fabs(fy) < kFarAway)) continue;
    const int64_t x = static_cast<int64_t>(std::nearbyint(fx));
    const int64_t y = static_cast<int64_t>(std::nearbyint(fy));
    if (!screen.Shows(x - kCarCullMargin, y - kCarCullMargin, kCarCullSize)) continue;
    p.SetRotSpriteAngle(car.Sprite, static_cast<float>(car.Angle));
    p.DrawRotSprite(car.Sprite, static_cast<int>(x), static_cast<int>(y), kCarOpacity);
  }
}

void DrawToolbar(const World& w, Canvas& p) {
  p.BeginOverlay();
  p.DrawRect(0, w.ScreenHeight - kToolbarBandTop, w.ScreenWidth, kToolbarBandHeight);
  p.EndOverlay();

  const int y = w.ScreenHeight - kToolIconTop;
  for (int i = 1; i <= kToolCount; ++i) {
    const Tool tool = ToolNumber(i);
    const int x = kToolIconStep * i - kToolIconShift;
    if (IsRoadTool(tool))
      p.DrawSprite(w.RoadSprites[Index(RoadOf(tool))], x, y);
    else if (IsDirection(EmitterDirectionOf(tool)))
      p.DrawSpriteKeyed(w.EmitterSprites[static_cast<size_t>(i - kRoadTypes)], x, y);
    else
      p.DrawSpriteKeyed(w.LightIcons[Index(LightKindOf(tool))], x, y);
  }
}

}  // namespace

void DrawScene(const World& w, Canvas& p, int pointerX, int pointerY) {
  const ScreenArea screen{w.ScreenWidth, w.ScreenHeight};
  const int viewX = w.ViewX, viewY = w.ViewY;

  p.ClearFrame(RGB(0, 0, 0));
  DrawGrass(w, p, screen);

  for (const Road& road : w.RoadList) {
    const int64_t x = int64_t{road.PixelX} + viewX, y = int64_t{road.PixelY} + viewY;
    if (screen.Shows(x, y, kTileSize)) p.DrawSprite(road.Sprite, static_cast<int>(x), static_cast<int>(y));
  }

  for (const Emitter& e : w.EmitterList) {
    const int64_t x = int64_t{e.PixelX} + viewX, y = int64_t{e.PixelY} + viewY;
    if (screen.Shows(x, y, kTileSize)) p.DrawSpriteKeyed(e.Sprite, static_cast<int>(x), static_cast<int>(y));
    const int64_t tx = int64_t{kCellSize} * e.TargetX + viewX;
    const int64_t ty = int64_t{kCellSize} * e.TargetY + viewY;
    if (screen.Shows(tx, ty, kTargetBoxSize))
      p.DrawSpriteKeyed(w.TargetSprite, static_cast<int>(tx), static_cast<int>(ty));
  }

  p.BeginOverlay();
  for (const Emitter& e : w.EmitterList) {
    p.SetOverlayMode(Outline);
    if (e.Selected == 1) DrawSelectedEmitter(w, p, screen, e);
  }
  DrawHud(w, p);
  if (pointerY < w.ScreenHeight - kCursorBoxLimit) {
    p.SetOverlayMode(Outline);
    p.DrawRect(kTileSize * w.CursorTileX + viewX, kTileSize * w.CursorTileY + viewY, kTileSize,
               kTileSize, kCursorColor);
  }
  if (IsSignTool(w.Tool)) {
    p.SetOverlayMode(Outline);
    DrawControlCells(w, p, screen);
  }
  if (IsLightTool(w.Tool)) {
    p.SetOverlayMode(Outline);
    for (const TrafficLight& light : w.TrafficLightList) {
      if (light.Kind != LightKindOf(w.Tool)) continue;
      const int64_t x = int64_t{light.PixelX} + viewX, y = int64_t{light.PixelY} + viewY;
      if (screen.Shows(x, y, kCellSize))
        p.DrawRect(static_cast<int>(x), static_cast<int>(y), kCellSize, kCellSize, kControlColor);
    }
  }
  p.EndOverlay();

  p.BeginRotSprites();
  for (const TrafficLight& light : w.TrafficLightList) {
    const int64_t x = int64_t{light.PixelX} + viewX, y = int64_t{light.PixelY} + viewY;
    if (!screen.Shows(x, y, kCellSize)) continue;
    const bool isLight = IsTrafficLight(light.State);
    p.DrawRotSprite(light.Sprite, static_cast<int>(x) + kLightInset,
                    static_cast<int>(y) + kLightInset, isLight ? kLightOpacity : kSignOpacity);
  }
  DrawCars(w, p, screen);
  p.EndRotSprites();

  DrawToolbar(w, p);

  p.BeginOverlay();
  p.DrawRect(pointerX - kPointerHalf, pointerY - kPointerHalf, 2 * kPointerHalf, 2 * kPointerHalf,
             kPointerColor);
  if (NumberOf(w.Tool) >= 1 && NumberOf(w.Tool) <= kToolCount) {
    p.SetOverlayMode(Outline);
    p.DrawRect(kToolIconStep * NumberOf(w.Tool) - kToolIconShift, w.ScreenHeight - kToolIconTop,
               kToolIconSize, kToolIconSize, kToolHighlightColor);
  }
  p.EndOverlay();

  p.PresentFrame();
}

}  // namespace kv
