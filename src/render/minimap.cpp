#include "render/minimap.h"

#include <algorithm>

#include "render/viewport.h"

namespace kv {

namespace {

constexpr Color kGroundColor = RGB(40, 88, 40);
constexpr Color kRoadColor = RGB(150, 150, 150);
constexpr Color kEmitterColor = RGB(255, 160, 0);
constexpr Color kGreenColor = RGB(0, 255, 0);
constexpr Color kRedColor = RGB(255, 0, 0);
constexpr Color kCarColor = RGB(255, 255, 255);
constexpr Color kShownColor = RGB(255, 255, 0);
constexpr Color kFrameColor = RGB(160, 160, 160);

constexpr int kTileMark = kTileSize / ScreenLayout::kMinimapCell;  // a tile is 2 x 2 minimap pixels

}  // namespace

void DrawMinimap(const World& w, Canvas& p) {
  const ScreenLayout layout(w);
  const ScreenRect frame = layout.MinimapFrame(), area = layout.Minimap();
  const int left = static_cast<int>(area.x), top = static_cast<int>(area.y);
  auto inside = [](int64_t v, int64_t side) { return v >= 0 && v < side; };
  constexpr int kTiles = ScreenLayout::kMinimapSide / kTileMark;
  constexpr int kCells = ScreenLayout::kMinimapSide;

  p.BeginOverlay();
  p.DrawRect(left, top, ScreenLayout::kMinimapSide, ScreenLayout::kMinimapSide, kGroundColor);
  for (const Road& r : w.RoadList)
    if (inside(r.TileX, kTiles) && inside(r.TileY, kTiles))
      p.DrawRect(left + kTileMark * r.TileX, top + kTileMark * r.TileY, kTileMark, kTileMark, kRoadColor);
  for (const Emitter& e : w.EmitterList)
    if (inside(e.TileX, kTiles) && inside(e.TileY, kTiles))
      p.DrawRect(left + kTileMark * e.TileX, top + kTileMark * e.TileY, kTileMark, kTileMark, kEmitterColor);
  for (const TrafficLight& light : w.TrafficLightList)
    if (IsTrafficLight(light.State) && inside(light.CellX, kCells) && inside(light.CellY, kCells))
      p.DrawRect(left + light.CellX, top + light.CellY, 1, 1, light.State == LightState::Green ? kGreenColor : kRedColor);
  for (const Car& car : w.CarList)
    if (inside(car.CellX, kCells) && inside(car.CellY, kCells)) p.DrawRect(left + car.CellX, top + car.CellY, 1, 1, kCarColor);

  p.SetOverlayMode(Outline);
  p.DrawRect(static_cast<int>(frame.x), static_cast<int>(frame.y), static_cast<int>(frame.width),
             static_cast<int>(frame.height), kFrameColor);
  // The map area as the viewport shows it, cut to the minimap.
  const Viewport view(w);
  const int64_t cell = ScreenLayout::kMinimapCell;
  const int64_t x0 = std::max<int64_t>(FloorDiv(view.WorldX(0), cell), 0);
  const int64_t y0 = std::max<int64_t>(FloorDiv(view.WorldY(0), cell), 0);
  const int64_t x1 = std::min<int64_t>(FloorDiv(view.WorldX(layout.width() - 1), cell), kCells - 1);
  const int64_t y1 = std::min<int64_t>(FloorDiv(view.WorldY(layout.MapAreaBottom()), cell), kCells - 1);
  if (x0 <= x1 && y0 <= y1)
    p.DrawRect(left + static_cast<int>(x0), top + static_cast<int>(y0), static_cast<int>(x1 - x0 + 1),
               static_cast<int>(y1 - y0 + 1), kShownColor);
  p.EndOverlay();
}

}  // namespace kv
