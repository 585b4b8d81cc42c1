#include "render/insight.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "render/viewport.h"
#include "world/observations.h"

namespace kv {

namespace {

constexpr Color kHudColor = RGB(255, 0, 255);
constexpr Color kPanelColor = RGB(0, 0, 0);
constexpr int kPanelOpacity = 170;
constexpr Color kTextColor = RGB(255, 255, 255);
constexpr Color kCarsColor = RGB(80, 200, 255);
constexpr Color kArrivalsColor = RGB(255, 220, 0);
constexpr Color kGridlockColor = RGB(255, 0, 0);
constexpr Color kHintColor = RGB(255, 255, 160);

constexpr int kRow = 15;        // a label's height
constexpr int kHudBottom = 35;  // the HUD's last row
constexpr int kCarHalf = 8;     // half a car image
constexpr int kMargin = 8;      // from the screen's left edge and the toolbar band

// The toolbar band's free right part begins after the last button.
constexpr int kBandFreeX = ScreenLayout::kToolPitch * kToolCount - ScreenLayout::kToolInset +
                           ScreenLayout::kToolButtonSize + 18;
constexpr int kBandTextWidth = 310;

// The statistics panel.
constexpr int kPanelWidth = 262;
constexpr int kValueX = 180;
constexpr int kPlotHeight = 60;
constexpr int kPlotBar = 4;  // pixels per history sample
constexpr int kPanelRows = 7;
constexpr int kPanelHeight = 6 + kPanelRows * kRow + 6 + kPlotHeight + 4 + kRow + 6;

// The congestion scale ends at this share of time standing.
constexpr float kHeatFull = 0.6f;

// The legend.
constexpr int kLegendWidth = 200;
constexpr int kLegendHeight = 6 + kRow + 12 + kRow + 4;
constexpr int kLegendSteps = 10;

void Label(Canvas& p, int x, int y, const char* text, Color color) { p.DrawLabel(x, y, text, color); }

// Width of a text in pixels: drawn far above the screen, where nothing shows.
int TextWidth(Canvas& p, const char* text) { return p.DrawLabel(0, -100000, text, kTextColor); }

}  // namespace

void FormatSimTime(uint64_t steps, char (&out)[24]) {
  const uint64_t seconds = steps / 60;
  std::snprintf(out, sizeof out, "%" PRIu64 ":%02u:%02u", seconds / 3600, static_cast<unsigned>(seconds / 60 % 60),
                static_cast<unsigned>(seconds % 60));
}

void DrawCellTints(const World& w, Canvas& p, const CellTints& tint) {
  const Viewport view(w);
  const int64_t lastX = std::min<int64_t>(w.MoveMapWidth, CellGrid::kMax);
  const int64_t lastY = std::min<int64_t>(w.MoveMapHeight, CellGrid::kMax);
  const int64_t x0 = std::max<int64_t>(0, FloorDiv(view.WorldX(0), kCellSize));
  const int64_t x1 = std::min<int64_t>(lastX, FloorDiv(view.WorldX(w.ScreenWidth - 1), kCellSize));
  const int64_t y0 = std::max<int64_t>(0, FloorDiv(view.WorldY(0), kCellSize));
  const int64_t y1 = std::min<int64_t>(lastY, FloorDiv(view.WorldY(w.ScreenHeight - 1), kCellSize));
  for (int64_t cy = y0; cy <= y1; ++cy)
    for (int64_t cx = x0; cx <= x1; ++cx) {
      const int x = static_cast<int>(cx), y = static_cast<int>(cy);
      if (w.MoveMap.at(x, y) == LaneCode::None) continue;
      const CellTint t = tint(x, y);
      if (t.opacity <= 0) continue;
      const ScreenRect r = view.Box(kCellSize * cx, kCellSize * cy, kCellSize);
      p.FillRectBlended(static_cast<int>(r.x), static_cast<int>(r.y), static_cast<int>(std::max<int64_t>(r.width, 1)),
                        static_cast<int>(std::max<int64_t>(r.height, 1)), t.color, t.opacity);
    }
}

CellTint HeatTint(float share) {
  if (!(share > 0.0f)) return {};
  // A jammed lane holds a car on about every other cell, so its cells stand
  // full about half the time: the scale is red from kHeatFull on. Yellow
  // fades in over the first quarter of it, then turns red.
  const float s = std::min(share / kHeatFull, 1.0f);
  if (s <= 0.25f) return {RGB(255, 255, 0), static_cast<int>(std::nearbyint(40.0f + 600.0f * s))};
  return {RGB(255, static_cast<int>(std::nearbyint(255.0f * (1.0f - s) / 0.75f)), 0), 190};
}

void DrawHeatOverlay(const World& w, Canvas& p) {
  DrawCellTints(w, p, [&w](int x, int y) { return HeatTint(StandingShare(w, x, y)); });
}

// A legend: a title, a bar of kLegendSteps tints over grey, and words
// under its ends. `tintAt` gets the middle of each step, 0 to 1.
template <class TintAt>
void DrawTintLegend(Canvas& p, int x, int bottom, const char* title, TintAt tintAt, const char* left,
                    const char* right) {
  const int top = bottom - kLegendHeight;
  p.FillRectBlended(x, top, kLegendWidth, kLegendHeight, kPanelColor, kPanelOpacity);
  p.BeginOverlay();
  p.SetOverlayMode(TransparentText);
  Label(p, x + 6, top + 4, title, kTextColor);
  const int barY = top + 6 + kRow + 2, barWidth = (kLegendWidth - 12) / kLegendSteps;
  for (int i = 0; i < kLegendSteps; ++i) {
    const CellTint t = tintAt((static_cast<float>(i) + 0.5f) / kLegendSteps);
    p.FillRectBlended(x + 6 + i * barWidth, barY, barWidth, 8, RGB(128, 128, 128), 255);
    p.FillRectBlended(x + 6 + i * barWidth, barY, barWidth, 8, t.color, t.opacity);
  }
  Label(p, x + 6, barY + 10, left, kTextColor);
  Label(p, x + kLegendWidth - 6 - TextWidth(p, right), barY + 10, right, kTextColor);
  p.EndOverlay();
}

void DrawHeatLegend(Canvas& p, int x, int bottom) {
  DrawTintLegend(p, x, bottom, "Time a car stood still", [](float f) { return HeatTint(kHeatFull * (f + 0.05f)); },
                 "0 %", "60 % or more");
}

CellTint DiffTint(float share) {
  if (share == 0.0f || std::isnan(share)) return {};
  const float s = std::min(std::fabs(share), 1.0f);
  return {share > 0.0f ? RGB(230, 0, 0) : RGB(0, 60, 255), static_cast<int>(std::nearbyint(40.0f + 180.0f * s))};
}

void DrawDiffLegend(Canvas& p, int x, int bottom) {
  // Less standing to the left, more to the right, strongest at the ends.
  DrawTintLegend(p, x, bottom, "Standing still, B against A", [](float f) { return DiffTint(2.0f * f - 1.0f); },
                 "less", "more");
}

int DrawStatsPanel(const World& w, Canvas& p) {
  const int x = kMargin, top = MapAreaBottom(w.ScreenHeight) - kMargin - kPanelHeight;
  const TrafficFigures f = CurrentFigures(w);
  p.FillRectBlended(x, top, kPanelWidth, kPanelHeight, kPanelColor, kPanelOpacity);
  p.BeginOverlay();
  p.SetOverlayMode(TransparentText);
  char value[48];
  int y = top + 6;
  auto row = [&](const char* name, Color color = kTextColor) {
    Label(p, x + 6, y, name, color);
    Label(p, x + kValueX, y, value, color);
    y += kRow;
  };
  char time[24];
  FormatSimTime(f.Steps, time);
  std::snprintf(value, sizeof value, "%s", time);
  row("Statistics (F2)", kHudColor);
  std::snprintf(value, sizeof value, "%d", f.Cars);
  row("Cars on the map", kCarsColor);
  std::snprintf(value, sizeof value, "%" PRIu64, f.Spawned);
  row("Cars spawned");
  std::snprintf(value, sizeof value, "%" PRIu64, f.Arrived);
  row("Cars arrived");
  if (f.ArrivedLastMinute > 0)
    std::snprintf(value, sizeof value, "%.1f s", f.MeanTripFramesLastMinute / 60.0);
  else
    std::snprintf(value, sizeof value, "-");
  row("Mean trip, last minute");
  std::snprintf(value, sizeof value, "%d", f.Standing);
  row("Standing still now");
  std::snprintf(value, sizeof value, "%.2f px/step", f.MeanSpeed);
  row("Mean speed");

  // The last ten simulated minutes: cars as bars, arrivals per minute as
  // dots, each on its own scale.
  const LiveStats& live = w.Live;
  const int plotX = x + 6 + 8, plotTop = y + 6, plotBottom = plotTop + kPlotHeight;
  // The i-th oldest sample of the ring.
  auto sample = [&live](size_t i) -> const StatsSample& {
    return live.History[(live.HistoryNext + LiveStats::kSamples - live.HistoryCount + i) % LiveStats::kSamples];
  };
  int32_t maxCars = 1;
  uint32_t maxArrivals = 1;
  for (size_t i = 0; i < live.HistoryCount; ++i) {
    const StatsSample& s = sample(i);
    maxCars = std::max(maxCars, s.Cars);
    maxArrivals = std::max(maxArrivals, s.ArrivedLastMinute);
  }
  p.FillRectBlended(plotX - 1, plotTop - 1, kPlotBar * static_cast<int>(LiveStats::kSamples) + 2, kPlotHeight + 2,
                    RGB(60, 60, 60), 200);
  for (size_t i = 0; i < live.HistoryCount; ++i) {
    const StatsSample& s = sample(i);
    // The newest sample at the right end.
    const int bx = plotX + kPlotBar * static_cast<int>(LiveStats::kSamples - live.HistoryCount + i);
    const int bar = static_cast<int>(int64_t{kPlotHeight} * std::max(s.Cars, 0) / maxCars);
    p.FillRectBlended(bx, plotBottom - bar, kPlotBar - 1, bar, kCarsColor, 200);
    const int dot = static_cast<int>(int64_t{kPlotHeight - 2} * s.ArrivedLastMinute / maxArrivals);
    p.FillRectBlended(bx, plotBottom - 2 - dot, kPlotBar - 1, 3, kArrivalsColor, 255);
  }
  std::snprintf(value, sizeof value, "cars, up to %d", maxCars);
  Label(p, x + 6, plotBottom + 4, value, kCarsColor);
  std::snprintf(value, sizeof value, "arrived/min, up to %u", maxArrivals);
  Label(p, x + kPanelWidth - 6 - TextWidth(p, value), plotBottom + 4, value, kArrivalsColor);
  p.EndOverlay();
  return top;
}

void DrawGridlockOutlines(const World& w, Canvas& p) {
  if (w.Gridlocks.Current.empty()) return;
  const Viewport view(w);
  p.BeginOverlay();
  p.SetOverlayMode(Outline);
  auto box = [&](int64_t x, int64_t y, int64_t size) {
    for (int grow = 0; grow < 2; ++grow) {
      const ScreenRect r = view.Box(x - grow, y - grow, size + 2 * grow);
      p.DrawRect(static_cast<int>(std::clamp<int64_t>(r.x, -100000, 100000)),
                 static_cast<int>(std::clamp<int64_t>(r.y, -100000, 100000)),
                 static_cast<int>(std::clamp<int64_t>(r.width, 1, 100000)),
                 static_cast<int>(std::clamp<int64_t>(r.height, 1, 100000)), kGridlockColor);
    }
  };
  for (const Gridlock& g : w.Gridlocks.Current)
    for (const GridlockCar& car : g.Cars) {
      box(int64_t{kCellSize} * car.At.x, int64_t{kCellSize} * car.At.y, kCellSize);
      // A car's position is its image's corner; the box goes round its middle.
      box(int64_t{car.X} + kCarHalf - 12, int64_t{car.Y} + kCarHalf - 12, 24);
    }
  p.EndOverlay();
}

void DrawTimeAndAlerts(const World& w, Canvas& p) {
  const int x = std::max(kBandFreeX, w.ScreenWidth - kBandTextWidth);
  const int top = ScreenLayout(w).ToolbarTop() + 5;
  char time[24], line[96];
  FormatSimTime(CurrentFigures(w).Steps, time);
  if (w.Paused)
    std::snprintf(line, sizeof line, "%s  Pause", time);
  else
    std::snprintf(line, sizeof line, "%s  %d\xC3\x97", time, w.SpeedFactor);  // U+00D7, the times sign
  p.BeginOverlay();
  Label(p, x, top, line, kHudColor);
  // Gridlocks go below the time; where the band is too narrow for them, at
  // the right edge below the HUD, on the HUD's black.
  const size_t count = w.Gridlocks.Current.size();
  for (size_t i = 0; i < count && i < 3; ++i) {
    const Gridlock& g = w.Gridlocks.Current[i];
    if (i == 2 && count > 3) {
      std::snprintf(line, sizeof line, "and %zu more gridlocks", count - 2);
    } else {
      FormatSimTime(w.Stats.Frame - std::min(g.Formed, w.Stats.Frame), time);
      std::snprintf(line, sizeof line, "Gridlock at tile %d/%d for %s", g.Tile.x, g.Tile.y, time);
    }
    const int width = TextWidth(p, line);
    const int row = static_cast<int>(i) + 1;
    if (x + width < w.ScreenWidth)
      Label(p, x, top + row * kRow, line, kGridlockColor);
    else
      Label(p, w.ScreenWidth - width - 2, kHudBottom + row * kRow, line, kGridlockColor);
  }
  p.EndOverlay();
}

const char* ToolName(Tool tool) {
  switch (tool) {
    case Tool::None: return "";
    case Tool::EmitterRight: return "Emitter, cars leave to the right";
    case Tool::EmitterDown: return "Emitter, cars leave downwards";
    case Tool::EmitterUp: return "Emitter, cars leave upwards";
    case Tool::EmitterLeft: return "Emitter, cars leave to the left";
    case Tool::RightOfWaySign: return "Right-of-way sign";
    case Tool::YieldSign: return "Yield sign";
    case Tool::GreenLight: return "Traffic light, starts green";
    case Tool::RedLight: return "Traffic light, starts red";
    default: break;
  }
  switch (RoadOf(tool)) {
    case RoadType::StraightWE: return "Straight road, horizontal";
    case RoadType::StraightNS: return "Straight road, vertical";
    case RoadType::CurveES: return "Curve from the right down";
    case RoadType::CurveWS: return "Curve from the left down";
    case RoadType::CurveNE: return "Curve from the top to the right";
    case RoadType::CurveNW: return "Curve from the top to the left";
    case RoadType::Crossing: return "Crossing";
    case RoadType::TeeNoNorth: return "T-junction, no road up";
    case RoadType::TeeNoWest: return "T-junction, no road to the left";
    case RoadType::TeeNoSouth: return "T-junction, no road down";
    case RoadType::TeeNoEast: return "T-junction, no road to the right";
    default: return "";
  }
}

void DrawPointerHints(const World& w, Canvas& p, int pointerX, int pointerY) {
  const char* text = w.Hint;
  if (!text) text = ToolName(ScreenLayout(w).ToolAt(pointerX, pointerY));
  if (!text || !*text) return;
  // Beside the pointer, above it and above the toolbar's buttons, and kept
  // on the screen.
  const int width = TextWidth(p, text);
  const int x = std::clamp(pointerX + 12, 0, std::max(0, w.ScreenWidth - width - 2));
  const int y = std::clamp(std::min(pointerY - 22, static_cast<int>(ScreenLayout(w).ToolButton(1).y) - kRow - 3), 0,
                           std::max(0, w.ScreenHeight - kRow));
  p.FillRectBlended(x - 3, y - 1, width + 6, kRow + 2, kPanelColor, 220);
  p.BeginOverlay();
  p.SetOverlayMode(TransparentText);
  Label(p, x, y, text, w.Hint ? kHintColor : kTextColor);
  p.EndOverlay();
}

}  // namespace kv
