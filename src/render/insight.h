// What the program shows of the traffic beyond the map itself: the simulated
// time and speed, the statistics panel, the congestion overlay and its
// legend, gridlocks, and the hints about tools. All of it reads what the
// step observed (world/observations.h) and never changes the world.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/canvas.h"
#include "world/world.h"

namespace kv {

// How a lane cell is tinted: a colour and its opacity (0 leaves it as it is).
struct CellTint {
  Color color = 0;
  int opacity = 0;
};

// Tints every lane cell on screen by `tint(cellX, cellY)`.
using CellTints = std::function<CellTint(int, int)>;
void DrawCellTints(const World& w, Canvas& p, const CellTints& tint);

// The congestion colour of a share of time standing still, 0 to 1: clear at
// 0, through yellow to red at 1.
CellTint HeatTint(float share);
void DrawHeatOverlay(const World& w, Canvas& p);
// The legend of the overlay, with its lower left corner at (x, bottom).
void DrawHeatLegend(Canvas& p, int x, int bottom);

// The colour of a difference in standing still between two designs, as a
// share of the largest difference, -1 to 1: blue for less standing, red for
// more, stronger as it grows; clear at 0.
CellTint DiffTint(float share);
// The legend of those colours, with its lower left corner at (x, bottom).
void DrawDiffLegend(Canvas& p, int x, int bottom);

// The statistics panel, lower left above the toolbar; its top row.
int DrawStatsPanel(const World& w, Canvas& p);

// The current gridlocks outlined on the map: their cars and the cells they
// wait at.
void DrawGridlockOutlines(const World& w, Canvas& p);

// The toolbar band's right part: the simulated time since the map was loaded
// and the speed or "Pause", and a line for each current gridlock.
void DrawTimeAndAlerts(const World& w, Canvas& p);

// The name of a toolbar tool, for the hint over its button; "" for none.
const char* ToolName(Tool tool);

// Hints next to the pointer: the name of the tool under it, or why the last
// click placed nothing (World::Hint).
void DrawPointerHints(const World& w, Canvas& p, int pointerX, int pointerY);

// Simulated time as h:mm:ss, from traffic steps (60 a second).
void FormatSimTime(uint64_t steps, char (&out)[24]);

}  // namespace kv
