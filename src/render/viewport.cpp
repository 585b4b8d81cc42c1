#include "render/viewport.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

namespace kv {

namespace {

constexpr int kSideZone = 32;     // columns at the left and right, rows at the top
constexpr int kBottomZone = 15;   // rows at the bottom
constexpr int kMinimapMargin = 8;    // between the minimap and the scroll zones
constexpr float kFarAway = 1.0e9f;

}  // namespace

int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

int NextZoom(int zoomPercent, int steps) {
  const int* level = std::find(std::begin(kZoomLevels), std::end(kZoomLevels), zoomPercent);
  if (level == std::end(kZoomLevels)) return kUnzoomed;
  const auto at = static_cast<int>(level - std::begin(kZoomLevels)) + steps;
  return kZoomLevels[std::clamp(at, 0, static_cast<int>(std::size(kZoomLevels)) - 1)];
}

ScrollDirection ScreenLayout::ScrollAt(int x, int y) const {
  ScrollDirection d;
  const int bandTop = ToolbarTop();
  if (!Classic() && y >= bandTop) return d;
  if (x < kSideZone) d.x = 1;
  if (x > width_ - kSideZone) d.x = -1;
  if (y < kSideZone) d.y = 1;
  if (Classic() ? y > height_ - kBottomZone - 1 : y >= bandTop - kBottomZone) d.y = -1;
  return d;
}

ScreenRect ScreenLayout::MinimapFrame() const {
  constexpr int kSide = kMinimapSide + 2;
  return {width_ - kSideZone - kMinimapMargin - kSide,
          ToolbarTop() - kBottomZone - kMinimapMargin - kSide, kSide, kSide};
}

Tool ScreenLayout::ToolAt(int x, int y) const {
  for (int i = 1; i <= kToolCount; ++i)
    if (ToolButton(i).Contains(x, y)) return ToolNumber(i);
  return Tool::None;
}

ScreenRect ScreenLayout::Minimap() const {
  const ScreenRect frame = MinimapFrame();
  return {frame.x + 1, frame.y + 1, kMinimapSide, kMinimapSide};
}

Viewport::Viewport(int32_t viewX, int32_t viewY, int zoomPercent)
    : viewX_(viewX), viewY_(viewY), zoom_(zoomPercent > 0 ? zoomPercent : kUnzoomed) {
  const int64_t common = std::gcd(int64_t{zoom_}, int64_t{kUnzoomed});
  num_ = zoom_ / common, den_ = kUnzoomed / common;
  shift_ = std::has_single_bit(static_cast<uint64_t>(den_)) ? std::countr_zero(static_cast<uint64_t>(den_)) : -1;
}

int64_t Viewport::Length(int64_t length) const { return Scaled(length); }

int64_t Viewport::ScreenX(int64_t worldX) const { return Scaled(worldX + viewX_); }

int64_t Viewport::ScreenY(int64_t worldY) const { return Scaled(worldY + viewY_); }

ScreenRect Viewport::Box(int64_t worldX, int64_t worldY, int64_t size) const {
  const int64_t x = ScreenX(worldX), y = ScreenY(worldY);
  return {x, y, ScreenX(worldX + size) - x, ScreenY(worldY + size) - y};
}

bool Viewport::ScreenOf(float worldX, float worldY, int64_t& x, int64_t& y) const {
  // The zoom levels are powers of two times 100 %, so the scaling is exact
  // and 100 % is the plain sum.
  const float scale = Scale();
  const float fx = (worldX + static_cast<float>(viewX_)) * scale;
  const float fy = (worldY + static_cast<float>(viewY_)) * scale;
  // Written so that NaN fails too: only sane values reach the conversion.
  if (!(std::fabs(fx) < kFarAway && std::fabs(fy) < kFarAway)) return false;
  x = static_cast<int64_t>(std::nearbyint(fx));
  y = static_cast<int64_t>(std::nearbyint(fy));
  return true;
}

// The last world pixel whose screen position is not beyond the pixel.
int64_t Viewport::WorldX(int64_t screenX) const { return CeilDiv((screenX + 1) * kUnzoomed, zoom_) - 1 - viewX_; }

int64_t Viewport::WorldY(int64_t screenY) const { return CeilDiv((screenY + 1) * kUnzoomed, zoom_) - 1 - viewY_; }

}  // namespace kv
