#include "render/scene.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "render/insight.h"
#include "render/minimap.h"
#include "render/viewport.h"

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

// The toolbar band is drawn past the screen's bottom edge.
constexpr int kToolbarBandHeight = 80;
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

// The map drawn through the viewport: positions and sizes at the zoom, and
// nothing that misses the screen. Coordinates are widened so that no map
// data, however odd, can overflow. At 100 % it asks the canvas for exactly
// what the unzoomed drawing always did.
class MapPainter {
 public:
  MapPainter(Canvas& p, const World& w) : p_(p), view_(w), width_(w.ScreenWidth), height_(w.ScreenHeight) {}

  const Viewport& view() const { return view_; }
  Canvas& canvas() { return p_; }
  bool Shows(const ScreenRect& r) const {
    return r.x < width_ && r.y < height_ && r.x + r.width > 0 && r.y + r.height > 0;
  }

  // A sprite covering `size` world pixels from (x, y).
  void Sprite(SpriteHandle sprite, int64_t x, int64_t y, int64_t size, bool keyed) {
    const ScreenRect r = view_.Box(x, y, size);
    if (!Shows(r)) return;
    const int sx = static_cast<int>(r.x), sy = static_cast<int>(r.y);
    if (view_.Unzoomed())
      keyed ? p_.DrawSpriteKeyed(sprite, sx, sy) : p_.DrawSprite(sprite, sx, sy);
    else
      keyed ? p_.DrawSpriteKeyedScaled(sprite, sx, sy, view_.Scale()) : p_.DrawSpriteScaled(sprite, sx, sy, view_.Scale());
  }

  void RotSprite(RotSpriteHandle sprite, int x, int y, int opacity) {
    if (view_.Unzoomed())
      p_.DrawRotSprite(sprite, x, y, opacity);
    else
      p_.DrawRotSpriteScaled(sprite, x, y, view_.Scale(), opacity);
  }

  // A rectangle over `size` world pixels from (x, y); `cull` leaves it out
  // when it misses the screen.
  void Rect(int64_t x, int64_t y, int64_t size, Color color, bool cull = false) {
    const ScreenRect r = view_.Box(x, y, size);
    if (cull && !Shows(r)) return;
    p_.DrawRect(Narrow(r.x), Narrow(r.y), Narrow(std::max<int64_t>(r.width, 1)),
                Narrow(std::max<int64_t>(r.height, 1)), color);
  }

  // Indices i in [0, last] whose span [size * i, size * (i + 1)) shows in
  // the columns (or rows) of the screen; empty when lo > hi.
  void VisibleColumns(int64_t size, int64_t last, int64_t& lo, int64_t& hi) const {
    lo = std::max<int64_t>(0, FloorDiv(view_.WorldX(0), size));
    hi = std::min<int64_t>(last, FloorDiv(view_.WorldX(width_ - 1), size));
  }
  void VisibleRows(int64_t size, int64_t last, int64_t& lo, int64_t& hi) const {
    lo = std::max<int64_t>(0, FloorDiv(view_.WorldY(0), size));
    hi = std::min<int64_t>(last, FloorDiv(view_.WorldY(height_ - 1), size));
  }

  static int Narrow(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

 private:
  Canvas& p_;
  const Viewport view_;
  const int64_t width_, height_;
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

void DrawGrass(const World& w, MapPainter& map) {
  int64_t gx0, gx1, gy0, gy1;
  map.VisibleColumns(kGrassSize, w.TileMapWidth / 2 - 1, gx0, gx1);
  map.VisibleRows(kGrassSize, w.TileMapHeight / 2 - 1, gy0, gy1);
  for (int64_t gy = gy0; gy <= gy1; ++gy)
    for (int64_t gx = gx0; gx <= gx1; ++gx) map.Sprite(w.GrassSprite, kGrassSize * gx, kGrassSize * gy, kGrassSize, false);
}

void DrawSelectedEmitter(MapPainter& map, const Emitter& e) {
  map.Rect(int64_t{kCellSize} * e.TargetX, int64_t{kCellSize} * e.TargetY, kTargetBoxSize, kSelectionColor);
  map.Rect(int64_t{kTileSize} * e.TileX, int64_t{kTileSize} * e.TileY, kTileSize, kSelectionColor);
  // The length may come from anywhere; the arrays end at index 999.
  const int32_t length = std::clamp<int32_t>(e.RouteLength, 0, kRouteCapacity - 1);
  for (int32_t i = 1; i <= length; ++i)
    map.Rect(int64_t{kCellSize} * e.RouteX[i] + kRouteMarkInset, int64_t{kCellSize} * e.RouteY[i] + kRouteMarkInset,
             kRouteMarkSize, kRouteColor, true);
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
  const ScreenLayout layout(w);
  for (const FixedLabel& label : kHelpLabels)
    p.DrawLabel(layout.HelpColumnX(label.x), label.y, label.text, kHudColor);
}

void DrawControlCells(const World& w, MapPainter& map) {
  const int64_t lastX = std::min<int64_t>(w.MoveMapWidth, CellGrid::kMax);
  const int64_t lastY = std::min<int64_t>(w.MoveMapHeight, CellGrid::kMax);
  int64_t cx0, cx1, cy0, cy1;
  map.VisibleColumns(kCellSize, lastX, cx0, cx1);
  map.VisibleRows(kCellSize, lastY, cy0, cy1);
  for (int64_t cy = cy0; cy <= cy1; ++cy)
    for (int64_t cx = cx0; cx <= cx1; ++cx)
      if (w.ControlMap.at(static_cast<int>(cx), static_cast<int>(cy)) != control::kNone)
        map.Rect(kCellSize * cx, kCellSize * cy, kCellSize, kControlColor);
}

void DrawLightsAndCars(const World& w, MapPainter& map) {
  for (const TrafficLight& light : w.TrafficLightList) {
    if (!map.Shows(map.view().Box(light.PixelX, light.PixelY, kCellSize))) continue;
    const bool isLight = IsTrafficLight(light.State);
    map.RotSprite(light.Sprite, MapPainter::Narrow(map.view().ScreenX(int64_t{light.PixelX} + kLightInset)),
                  MapPainter::Narrow(map.view().ScreenY(int64_t{light.PixelY} + kLightInset)),
                  isLight ? kLightOpacity : kSignOpacity);
  }
  const int64_t margin = map.view().Length(kCarCullMargin);
  const int64_t cullSize = map.view().Length(kCarCullSize - 2 * kCarCullMargin) + 2 * margin;
  for (const Car& car : w.CarList) {
    int64_t x = 0, y = 0;
    if (!map.view().ScreenOf(car.PosX, car.PosY, x, y)) continue;
    if (!map.Shows({x - margin, y - margin, cullSize, cullSize})) continue;
    map.canvas().SetRotSpriteAngle(car.Sprite, static_cast<float>(car.Angle));
    map.RotSprite(car.Sprite, static_cast<int>(x), static_cast<int>(y), kCarOpacity);
  }
}

void DrawToolbar(const World& w, Canvas& p) {
  p.BeginOverlay();
  const ScreenLayout layout(w);
  p.DrawRect(0, layout.ToolbarTop(), w.ScreenWidth, kToolbarBandHeight);
  p.EndOverlay();

  for (int i = 1; i <= kToolCount; ++i) {
    const Tool tool = ToolNumber(i);
    const ScreenRect button = layout.ToolButton(i);
    const int x = static_cast<int>(button.x), y = static_cast<int>(button.y);
    if (IsRoadTool(tool))
      p.DrawSprite(w.RoadSprites[Index(RoadOf(tool))], x, y);
    else if (IsDirection(EmitterDirectionOf(tool)))
      p.DrawSpriteKeyed(w.EmitterSprites[static_cast<size_t>(i - kRoadTypes)], x, y);
    else
      p.DrawSpriteKeyed(w.LightIcons[Index(LightKindOf(tool))], x, y);
  }
}

}  // namespace

void DrawScene(const World& w, Canvas& p, int pointerX, int pointerY, const CellTints* tints) {
  MapPainter map(p, w);

  p.ClearFrame(RGB(0, 0, 0));
  DrawGrass(w, map);
  for (const Road& road : w.RoadList) map.Sprite(road.Sprite, road.PixelX, road.PixelY, kTileSize, false);
  if (w.HeatShown) DrawHeatOverlay(w, p);
  if (tints) DrawCellTints(w, p, *tints);
  for (const Emitter& e : w.EmitterList) {
    map.Sprite(e.Sprite, e.PixelX, e.PixelY, kTileSize, true);
    map.Sprite(w.TargetSprite, int64_t{kCellSize} * e.TargetX, int64_t{kCellSize} * e.TargetY, kTargetBoxSize, true);
  }

  p.BeginOverlay();
  for (const Emitter& e : w.EmitterList) {
    p.SetOverlayMode(Outline);
    if (e.Selected == 1) DrawSelectedEmitter(map, e);
  }
  if (w.HudShown) DrawHud(w, p);
  if (w.HudShown && pointerY < MapAreaBottom(w.ScreenHeight)) {
    p.SetOverlayMode(Outline);
    map.Rect(int64_t{kTileSize} * w.CursorTileX, int64_t{kTileSize} * w.CursorTileY, kTileSize, kCursorColor);
  }
  if (IsSignTool(w.Tool)) {
    p.SetOverlayMode(Outline);
    DrawControlCells(w, map);
  }
  if (IsLightTool(w.Tool)) {
    p.SetOverlayMode(Outline);
    for (const TrafficLight& light : w.TrafficLightList)
      if (light.Kind == LightKindOf(w.Tool)) map.Rect(light.PixelX, light.PixelY, kCellSize, kControlColor, true);
  }
  p.EndOverlay();

  p.BeginRotSprites();
  DrawLightsAndCars(w, map);
  p.EndRotSprites();
  DrawGridlockOutlines(w, p);

  if (w.MinimapShown) DrawMinimap(w, p);
  // Without the toolbar the corner reaches down to the screen's edge.
  const int panelTop = w.StatsShown ? DrawStatsPanel(w, p) : w.HudShown ? MapAreaBottom(w.ScreenHeight) : w.ScreenHeight;
  if (w.HeatShown) DrawHeatLegend(p, 8, panelTop - 8);
  if (!w.HudShown) {
    p.PresentFrame();
    return;
  }
  DrawToolbar(w, p);
  DrawTimeAndAlerts(w, p);

  p.BeginOverlay();
  p.DrawRect(pointerX - kPointerHalf, pointerY - kPointerHalf, 2 * kPointerHalf, 2 * kPointerHalf,
             kPointerColor);
  if (NumberOf(w.Tool) >= 1 && NumberOf(w.Tool) <= kToolCount) {
    p.SetOverlayMode(Outline);
    const ScreenRect button = ScreenLayout(w).ToolButton(NumberOf(w.Tool));
    p.DrawRect(static_cast<int>(button.x), static_cast<int>(button.y), static_cast<int>(button.width),
               static_cast<int>(button.height), kToolHighlightColor);
  }
  p.EndOverlay();
  DrawPointerHints(w, p, pointerX, pointerY);

  p.PresentFrame();
}

}  // namespace kv
