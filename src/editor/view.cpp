#include "editor/view.h"

namespace kv {

namespace {

constexpr int kScrollStep = 32;
constexpr int kLeftZone = 32;    // x 0..31
constexpr int kRightZone = 32;   // x beyond ScreenWidth - 32
constexpr int kTopZone = 32;     // y 0..31
constexpr int kBottomZone = 16;  // y beyond ScreenHeight - 16: narrower than the others

}  // namespace

void UpdateView(World& w, Input& input, const Clock& wallClock) {
  const int mx = input.PointerX(), my = input.PointerY();

  // Each term is divided on its own (truncating), so a view that is not a
  // multiple of the tile size keeps its remainder out of the cursor.
  w.CursorTileX = mx / kTileSize - w.ViewX / kTileSize;
  w.CursorTileY = my / kTileSize - w.ViewY / kTileSize;
  w.CursorCellX = mx / kCellSize - w.ViewX / kCellSize;
  w.CursorCellY = my / kCellSize - w.ViewY / kCellSize;

  const uint32_t now = wallClock.NowMs();
  if (ElapsedMs(now, static_cast<uint32_t>(w.LastScrollTime)) <= kScrollIntervalMs) return;
  w.LastScrollTime = static_cast<int32_t>(now);
  if (mx < kLeftZone) w.ViewX += kScrollStep;
  if (mx > w.ScreenWidth - kRightZone) w.ViewX -= kScrollStep;
  if (my < kTopZone) w.ViewY += kScrollStep;
  if (my > w.ScreenHeight - kBottomZone) w.ViewY -= kScrollStep;
}

}  // namespace kv
