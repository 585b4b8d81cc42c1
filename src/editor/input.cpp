#include "editor/input.h"

#include <cmath>

#include "editor/dialogs.h"
#include "editor/placing.h"
#include "editor/roads.h"
#include "sim/cars.h"
#include "sim/route.h"

namespace kv {

namespace {

constexpr int32_t kDoubleClickMs = 400;

constexpr int kEmitterBox = 32;
constexpr int kLightBox = 16;
constexpr int kCarBox = 16;

// Toolbar: button i (1..19) has its left edge at kToolPitch * i - kToolInset.
constexpr int kToolCount = 19;
constexpr int kToolPitch = 35;
constexpr int kToolInset = 15;
constexpr int kToolTopFromBottom = 50;
constexpr int kToolButtonSize = 32;
// The map area ends this far above the bottom of the screen.
constexpr int kToolbarHeight = 64;

constexpr int kFirstRoadTool = 1, kLastRoadTool = 11;

bool IsLight(const TrafficLight& light) { return light.State == 3 || light.State == 4; }

bool OverEmitter(const World& w, Platform& p, const Emitter& e) {
  return MouseOver(p, e.PixelX + w.ViewX, e.PixelY + w.ViewY, kEmitterBox, kEmitterBox) != 0;
}

bool OverLight(const World& w, Platform& p, const TrafficLight& light) {
  return MouseOver(p, light.PixelX + w.ViewX, light.PixelY + w.ViewY, kLightBox, kLightBox) != 0;
}

// A car's box starts at its float position on the screen, rounded half to even.
bool OverCar(const World& w, Platform& p, const Car& car) {
  float left = std::nearbyint(car.PosX + static_cast<float>(w.ViewX));
  float top = std::nearbyint(car.PosY + static_cast<float>(w.ViewY));
  // A position far off the screen cannot contain the pointer; keep the
  // conversion to int within range.
  constexpr float kFar = 1.0e9f;
  if (!(std::fabs(left) < kFar && std::fabs(top) < kFar)) return false;
  return MouseOver(p, static_cast<int>(left), static_cast<int>(top), kCarBox, kCarBox) != 0;
}

bool RoadOnTile(const World& w, int tileX, int tileY) {
  for (const Road& road : w.RoadList)
    if (road.TileX == tileX && road.TileY == tileY) return true;
  return false;
}

void RemoveEmittersOnCursorTile(World& w) {
  w.EmitterList.Reset();
  while (Emitter* e = w.EmitterList.Next()) {
    if (e->TileX == w.CursorTileX && e->TileY == w.CursorTileY) {
      w.EmitterList.Delete();
      w.EmitterCount -= 1;
    }
  }
}

void OpenDialogsUnderPointer(World& w, Platform& p) {
  // A dialog may delete its record; the list position then lies just before
  // it, so Next still continues with the record that followed.
  w.EmitterList.Reset();
  while (Emitter* e = w.EmitterList.Next())
    if (OverEmitter(w, p, *e)) ConfigureEmitter(w, p, *e);

  w.TrafficLightList.Reset();
  while (TrafficLight* light = w.TrafficLightList.Next())
    if (IsLight(*light) && OverLight(w, p, *light)) ConfigureTrafficLight(w, p, *light);
}

void DeleteUnderPointer(World& w, Platform& p) {
  w.Tool = 0;

  w.EmitterList.Reset();
  while (Emitter* e = w.EmitterList.Next()) {
    e->Selected = 0;
    if (e->TileX == w.CursorTileX && e->TileY == w.CursorTileY) {
      w.EmitterList.Delete();
      w.EmitterCount -= 1;
    }
  }

  w.CarList.Reset();
  while (Car* car = w.CarList.Next()) {
    if (OverCar(w, p, *car)) {
      w.CarList.Delete();
      w.CarCount -= 1;
    }
  }

  w.TrafficLightList.Reset();
  while (TrafficLight* light = w.TrafficLightList.Next()) {
    if (OverLight(w, p, *light)) {
      w.ControlMap.set(light->CellX, light->CellY, 0);
      w.LightCount -= 1;
      w.TrafficLightList.Delete();
      RebuildControlMap(w);
    }
  }
}

// Moving LastSwitch back by one phase makes the light cycle switch it next.
void SwitchLightsUnderPointer(World& w, Platform& p) {
  w.TrafficLightList.Reset();
  while (TrafficLight* light = w.TrafficLightList.Next()) {
    if (IsLight(*light) && OverLight(w, p, *light)) {
      // On the wrapping clock: subtract without signed overflow.
      light->LastSwitch = static_cast<int32_t>(static_cast<uint32_t>(light->LastSwitch) -
                                               static_cast<uint32_t>(light->Interval));
    }
  }
}

void RemoveCarsOf(World& w, const Emitter& emitter) {
  w.CarList.Reset();
  while (Car* car = w.CarList.Next()) {
    if (car->Emitter.get() == &emitter) {
      w.CarList.Delete();
      w.CarCount -= 1;
    }
  }
}

void Retarget(World& w, Emitter& e) {
  e.TargetX = w.CursorCellX;
  e.TargetY = w.CursorCellY;
  RemoveCarsOf(w, e);
  Cell start = EmitterStartCell(e);
  e.RouteLength = FindRoute(w, start.x, start.y, e.TargetX, e.TargetY, e);
  e.Selected = 0;
}

// Selects emitters under the pointer and gives a selected one the cursor cell
// as its target. False when the click was a target click off the roads: the
// rest of this frame's editing is then skipped.
bool SelectAndTarget(World& w, Platform& p) {
  w.EmitterList.Reset();
  while (Emitter* e = w.EmitterList.Next()) {
    if (OverEmitter(w, p, *e)) {
      e->Selected = 1;
    } else if (e->Selected == 1) {
      if (!RoadOnTile(w, w.CursorTileX, w.CursorTileY)) return false;
      Retarget(w, *e);
    }
  }
  return true;
}

void PlaceWithTool(World& w, Platform& p) {
  const int tool = w.Tool;
  if (tool >= kFirstRoadTool && tool <= kLastRoadTool) AddRoad(w, w.CursorTileX, w.CursorTileY, tool);
  switch (tool) {
    case 12: AddEmitter(w, w.CursorTileX, w.CursorTileY, 6, 0, 0); break;
    case 13: AddEmitter(w, w.CursorTileX, w.CursorTileY, 2, 0, 0); break;
    case 14: AddEmitter(w, w.CursorTileX, w.CursorTileY, 8, 0, 0); break;
    case 15: AddEmitter(w, w.CursorTileX, w.CursorTileY, 4, 0, 0); break;
    case 16: AddTrafficLight(w, p, w.CursorCellX, w.CursorCellY, 1); break;
    case 17: AddTrafficLight(w, p, w.CursorCellX, w.CursorCellY, 2); break;
    case 18: AddTrafficLight(w, p, w.CursorCellX, w.CursorCellY, 3); break;
    case 19: AddTrafficLight(w, p, w.CursorCellX, w.CursorCellY, 4); break;
    default: break;
  }
}

}  // namespace

void UpdateMouseButtons(MouseButtonTracker& mouse, Platform& p) {
  for (int b = kLeftButton; b <= kMiddleButton; ++b) {
    mouse.DoubleClick[b] = false;
    bool down = p.IsButtonDown(b);
    if (down == mouse.Held[b]) continue;
    mouse.Held[b] = down;
    if (down) continue;
    // Released: a double click is two releases close together.
    uint32_t now = p.NowMs();
    if (ElapsedMs(now, mouse.LastRelease[b]) < kDoubleClickMs) mouse.DoubleClick[b] = true;
    mouse.LastRelease[b] = static_cast<int32_t>(now);
  }
}

int MouseOver(Platform& p, int x, int y, int width, int height) {
  p.PollMouse();
  // Widen before adding: a box far off the screen must not overflow.
  const int64_t px = p.PointerX(), py = p.PointerY();
  bool inside = x <= px && px <= int64_t{x} + width && y <= py && py <= int64_t{y} + height;
  return inside ? 1 : 0;
}

void HandleEditorInput(World& w, Platform& p, MouseButtonTracker& mouse) {
  if (p.IsKeyDown(Scan::BackSpace)) {
    DeleteRoad(w, w.CursorTileX, w.CursorTileY);
    RemoveEmittersOnCursorTile(w);
  }

  if (mouse.DoubleClick[kLeftButton]) OpenDialogsUnderPointer(w, p);

  if (p.IsButtonDown(kRightButton)) DeleteUnderPointer(w, p);

  if (p.IsButtonDown(kMiddleButton)) SwitchLightsUnderPointer(w, p);

  if (!p.IsButtonDown(kLeftButton)) return;

  w.CarList.Reset();
  while (Car* car = w.CarList.Next())
    if (OverCar(w, p, *car)) BrakeCar(*car, kUserBrakeCells);

  if (!SelectAndTarget(w, p)) return;

  for (int i = 1; i <= kToolCount; ++i) {
    if (MouseOver(p, kToolPitch * i - kToolInset, w.ScreenHeight - kToolTopFromBottom,
                  kToolButtonSize, kToolButtonSize))
      w.Tool = i;
  }

  if (MouseOver(p, 0, 0, w.ScreenWidth, w.ScreenHeight - kToolbarHeight) == 0) return;

  PlaceWithTool(w, p);
}

}  // namespace kv
