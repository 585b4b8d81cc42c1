#include "editor/view.h"

#include <algorithm>
#include <cstdint>

#include "render/viewport.h"

namespace kv {

namespace {

constexpr int kScrollStep = 32;  // screen pixels
// The view is stored in 16-bit fields of the map file.
constexpr int64_t kViewMin = INT16_MIN, kViewMax = INT16_MAX;

int32_t Narrow(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// A step of `delta`, unless it would carry the view beyond the bound it moves
// towards.
int32_t Stepped(int32_t view, int64_t delta, int32_t lo, int32_t hi) {
  const int64_t next = int64_t{view} + delta;
  if ((delta > 0 && next > hi) || (delta < 0 && next < lo)) return view;
  return static_cast<int32_t>(next);
}

// At 100 % the cursor is taken term by term (mx / 32 - ViewX / 32), which is
// the tile under the pointer only while the view lies on the tile grid: the
// views the user sets by zooming, Home and the minimap are put on it.
int64_t OnTileGrid(int64_t view) { return FloorDiv(view + kTileSize / 2, kTileSize) * kTileSize; }

// The view on the tile grid that shows the tile of world pixel `world` at
// screen pixel `screen`.
int64_t TileAnchored(int64_t screen, int64_t world) {
  return FloorDiv(screen - FloorDiv(world, kTileSize) * kTileSize, kTileSize) * kTileSize;
}

void PlaceView(World& w, int64_t viewX, int64_t viewY) {
  ViewBounds b = BoundsOf(w);
  if (w.ZoomPercent == kUnzoomed) {
    viewX = OnTileGrid(viewX), viewY = OnTileGrid(viewY);
    b.loX = Narrow(CeilDiv(b.loX, kTileSize) * kTileSize), b.hiX = Narrow(FloorDiv(b.hiX, kTileSize) * kTileSize);
    b.loY = Narrow(CeilDiv(b.loY, kTileSize) * kTileSize), b.hiY = Narrow(FloorDiv(b.hiY, kTileSize) * kTileSize);
  }
  w.ViewX = Narrow(std::clamp<int64_t>(viewX, b.loX, std::max(b.loX, b.hiX)));
  w.ViewY = Narrow(std::clamp<int64_t>(viewY, b.loY, std::max(b.loY, b.hiY)));
}

// Puts world point (x, y) in the middle of the map area.
void CentreOn(World& w, int64_t x, int64_t y) {
  const ScreenLayout layout(w);
  PlaceView(w, FloorDiv(int64_t{layout.MiddleX()} * kUnzoomed, w.ZoomPercent) - x,
            FloorDiv(int64_t{layout.MiddleY()} * kUnzoomed, w.ZoomPercent) - y);
}

// Zooms so that the world pixel at screen pixel (x, y) stays there (at 100 %:
// its tile).
void ZoomAbout(World& w, int x, int y, int zoom) {
  if (zoom == w.ZoomPercent) return;
  const Viewport before(w);
  const int64_t worldX = before.WorldX(x), worldY = before.WorldY(y);
  w.ZoomPercent = zoom;
  if (zoom == kUnzoomed) return PlaceView(w, TileAnchored(x, worldX), TileAnchored(y, worldY));
  // WorldX(x) = ceil((x + 1) * 100 / zoom) - 1 - view, solved for the view.
  PlaceView(w, CeilDiv((int64_t{x} + 1) * kUnzoomed, zoom) - 1 - worldX,
            CeilDiv((int64_t{y} + 1) * kUnzoomed, zoom) - 1 - worldY);
}

bool OnMinimap(const World& w, int x, int y) {
  const ScreenRect frame = ScreenLayout(w).MinimapFrame();
  return w.MinimapShown && x >= frame.x && x < frame.x + frame.width && y >= frame.y && y < frame.y + frame.height;
}

}  // namespace

ViewBounds BoundsOf(const World& w) {
  const ScreenLayout layout(w);
  const int64_t zoom = Viewport(w).zoom();
  auto bounds = [&](int64_t middle, int32_t& lo, int32_t& hi) {
    // The map's first pixel at the middle, or its last one.
    hi = static_cast<int32_t>(std::clamp(FloorDiv(middle * kUnzoomed, zoom), kViewMin, kViewMax));
    lo = static_cast<int32_t>(std::clamp(CeilDiv(middle * kUnzoomed, zoom) - kMapPixels, kViewMin, int64_t{hi}));
  };
  ViewBounds b{};
  bounds(layout.MiddleX(), b.loX, b.hiX);
  bounds(layout.MiddleY(), b.loY, b.hiY);
  return b;
}

void UpdateView(World& w, Input& input, const Clock& wallClock) {
  const int mx = input.PointerX(), my = input.PointerY();
  const Viewport view(w);

  if (view.Unzoomed()) {
    // Each term is divided on its own (truncating), so a view that is not a
    // multiple of the tile size keeps its remainder out of the cursor.
    w.CursorTileX = mx / kTileSize - w.ViewX / kTileSize;
    w.CursorTileY = my / kTileSize - w.ViewY / kTileSize;
    w.CursorCellX = mx / kCellSize - w.ViewX / kCellSize;
    w.CursorCellY = my / kCellSize - w.ViewY / kCellSize;
  } else {
    const int64_t x = view.WorldX(mx), y = view.WorldY(my);
    w.CursorTileX = Narrow(FloorDiv(x, kTileSize)), w.CursorTileY = Narrow(FloorDiv(y, kTileSize));
    w.CursorCellX = Narrow(FloorDiv(x, kCellSize)), w.CursorCellY = Narrow(FloorDiv(y, kCellSize));
  }

  const uint32_t now = wallClock.NowMs();
  if (ElapsedMs(now, static_cast<uint32_t>(w.LastScrollTime)) <= kScrollIntervalMs) return;
  w.LastScrollTime = static_cast<int32_t>(now);
  const ScrollDirection zone = ScreenLayout(w).ScrollAt(mx, my);
  const int dx = std::clamp(zone.x + input.IsKeyDown(Scan::Left) - input.IsKeyDown(Scan::Right), -1, 1);
  const int dy = std::clamp(zone.y + input.IsKeyDown(Scan::Up) - input.IsKeyDown(Scan::Down), -1, 1);
  const int64_t step = FloorDiv(int64_t{kScrollStep} * kUnzoomed, view.zoom());
  const ViewBounds b = BoundsOf(w);
  if (dx != 0) w.ViewX = Stepped(w.ViewX, dx * step, b.loX, b.hiX);
  if (dy != 0) w.ViewY = Stepped(w.ViewY, dy * step, b.loY, b.hiY);
}

void HandleViewInput(World& w, Input& input, ViewKeys& held) {
  const ScreenLayout layout(w);
  const bool ctrl = input.IsKeyDown(Scan::LeftCtrl) || input.IsKeyDown(Scan::RightCtrl);
  const bool zoomIn = ctrl && (input.IsKeyDown(Scan::Plus) || input.IsKeyDown(Scan::KeypadPlus));
  const bool zoomOut = ctrl && (input.IsKeyDown(Scan::Minus) || input.IsKeyDown(Scan::KeypadMinus));
  if (zoomIn && !held.ZoomIn) ZoomAbout(w, layout.MiddleX(), layout.MiddleY(), NextZoom(w.ZoomPercent, 1));
  if (zoomOut && !held.ZoomOut) ZoomAbout(w, layout.MiddleX(), layout.MiddleY(), NextZoom(w.ZoomPercent, -1));
  if (ctrl && input.IsKeyDown(Scan::Zero)) ZoomAbout(w, layout.MiddleX(), layout.MiddleY(), kUnzoomed);
  held.ZoomIn = zoomIn, held.ZoomOut = zoomOut;
  if (const int steps = input.TakeWheelSteps())
    ZoomAbout(w, input.PointerX(), input.PointerY(), NextZoom(w.ZoomPercent, steps));

  if (input.IsKeyDown(Scan::Home)) CentreOn(w, kMapPixels / 2, kMapPixels / 2);

  // Each press shows or hides once, however long the key is held.
  auto toggle = [&input](int key, bool& wasDown, bool& shown) {
    const bool down = input.IsKeyDown(key);
    if (down && !wasDown) shown = !shown;
    wasDown = down;
  };
  toggle(Scan::M, held.Minimap, w.MinimapShown);
  toggle(Scan::F2, held.Stats, w.StatsShown);
  toggle(Scan::H, held.Heat, w.HeatShown);

  const int px = input.PointerX(), py = input.PointerY();
  const bool left = input.IsButtonDown(kLeftButton);
  if (!left || !w.MinimapShown)
    w.MinimapDrag = false;
  else if (!held.Left && OnMinimap(w, px, py))
    w.MinimapDrag = true;
  held.Left = left;
  if (w.MinimapDrag) {
    const ScreenRect map = layout.Minimap();
    const int64_t side = ScreenLayout::kMinimapSide, cell = ScreenLayout::kMinimapCell;
    CentreOn(w, std::clamp<int64_t>(px - map.x, 0, side - 1) * cell + cell / 2,
             std::clamp<int64_t>(py - map.y, 0, side - 1) * cell + cell / 2);
  }
}

bool MinimapHasPointer(const World& w, int x, int y) { return w.MinimapDrag || OnMinimap(w, x, y); }

}  // namespace kv
