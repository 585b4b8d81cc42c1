#include "editor/input.h"

#include <algorithm>

#include "editor/dialogs.h"
#include "editor/view.h"
#include "network/placing.h"
#include "network/roads.h"
#include "render/viewport.h"
#include "sim/cars.h"

namespace kv {

namespace {

constexpr uint32_t kDoubleClickMs = 400;

constexpr int kEmitterBox = 32;
constexpr int kLightBox = 16;
constexpr int kCarBox = 16;


bool IsLight(const TrafficLight& light) { return IsTrafficLight(light.State); }

int Narrow(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// The pointer in a box of the map as the viewport shows it at the zoom.
bool OverBox(const World& w, Input& p, int64_t worldX, int64_t worldY, int size) {
  const ScreenRect box = Viewport(w).Box(worldX, worldY, size);
  return MouseOver(p, Narrow(box.x), Narrow(box.y), Narrow(box.width), Narrow(box.height)) != 0;
}

bool OverEmitter(const World& w, Input& p, const Emitter& e) { return OverBox(w, p, e.PixelX, e.PixelY, kEmitterBox); }

bool OverLight(const World& w, Input& p, const TrafficLight& light) {
  return OverBox(w, p, light.PixelX, light.PixelY, kLightBox);
}

// A car's box starts at its float position on the screen, rounded half to
// even; one far off the screen cannot contain the pointer.
bool OverCar(const World& w, Input& p, const Car& car) {
  const Viewport view(w);
  int64_t left = 0, top = 0;
  if (!view.ScreenOf(car.PosX, car.PosY, left, top)) return false;
  const int size = Narrow(view.Length(kCarBox));
  return MouseOver(p, Narrow(left), Narrow(top), size, size) != 0;
}

void RemoveEmittersOnCursorTile(World& w) {
  w.EmitterList.Reset();
  while (Emitter* e = w.EmitterList.Next()) {
    if (e->TileX == w.CursorTileX && e->TileY == w.CursorTileY) w.EmitterList.Delete();
  }
}

// Runs a dialog as a step of its own: what was edited before it is closed
// first, and an edit still going on goes on afterwards.
template <class RunDialog>
void DialogStep(World& w, EditHistory* history, RunDialog run) {
  if (!history) return run();
  const bool editing = history->IsOpen();
  history->End(w);
  history->Begin(w);
  run();
  history->End(w);
  if (editing) history->Begin(w);
}

void OpenDialogsUnderPointer(World& w, EditorIo& io) {
  Input& p = io.input;
  // A dialog may delete its record; the list position then lies just before
  // it, so Next still continues with the record that followed.
  w.EmitterList.Reset();
  while (Emitter* e = w.EmitterList.Next())
    if (OverEmitter(w, p, *e)) DialogStep(w, io.history, [&] { ConfigureEmitter(w, io.windows, p, *e); });

  w.TrafficLightList.Reset();
  while (TrafficLight* light = w.TrafficLightList.Next())
    if (IsLight(*light) && OverLight(w, p, *light))
      DialogStep(w, io.history, [&] { ConfigureTrafficLight(w, io.windows, p, io.simClock, *light); });
}

void ClearSelection(World& w) {
  w.Tool = Tool::None;
  for (Emitter& e : w.EmitterList) e.Selected = 0;
}

void DeleteUnderPointer(World& w, Input& p) {
  ClearSelection(w);

  w.EmitterList.Reset();
  while (Emitter* e = w.EmitterList.Next()) {
    if (e->TileX == w.CursorTileX && e->TileY == w.CursorTileY) w.EmitterList.Delete();
  }

  w.CarList.Reset();
  while (Car* car = w.CarList.Next())
    if (OverCar(w, p, *car)) w.CarList.Delete();

  w.TrafficLightList.Reset();
  while (TrafficLight* light = w.TrafficLightList.Next()) {
    if (OverLight(w, p, *light)) {
      w.ControlMap.set(light->CellX, light->CellY, control::kNone);
      w.TrafficLightList.Delete();
      RebuildControlMap(w);
    }
  }
}

// Moving LastSwitch back by one phase makes the light cycle switch it next.
void SwitchLightsUnderPointer(World& w, Input& p) {
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
    if (car->Emitter.get() == &emitter) w.CarList.Delete();
  }
}

void Retarget(World& w, Emitter& e) {
  e.TargetX = w.CursorCellX;
  e.TargetY = w.CursorCellY;
  RemoveCarsOf(w, e);
  FindEmitterRoute(w, e);
  e.Selected = 0;
}

// Selects emitters under the pointer and gives a selected one the cursor cell
// as its target. False when the click was a target click off the roads: the
// rest of this frame's editing is then skipped.
bool SelectAndTarget(World& w, Input& p) {
  w.EmitterList.Reset();
  while (Emitter* e = w.EmitterList.Next()) {
    if (OverEmitter(w, p, *e)) {
      e->Selected = 1;
    } else if (e->Selected == 1) {
      if (!HasRoad(w, w.CursorTileX, w.CursorTileY)) return false;
      Retarget(w, *e);
    }
  }
  return true;
}

// Why the tool would place nothing at the cursor, or nullptr.
const char* RefusalOf(const World& w) {
  if (IsDirection(EmitterDirectionOf(w.Tool)) &&
      (HasEmitter(w, w.CursorTileX, w.CursorTileY) || !HasRoad(w, w.CursorTileX, w.CursorTileY)))
    return kEmitterRefusedHint;
  if (IsLightState(LightKindOf(w.Tool)) && HasLight(w, w.CursorCellX, w.CursorCellY)) return kLightRefusedHint;
  return nullptr;
}

void PlaceWithTool(World& w, const Clock& simClock) {
  const Tool tool = w.Tool;
  if (IsRoadTool(tool)) AddRoad(w, w.CursorTileX, w.CursorTileY, RoadOf(tool));
  if (const Direction d = EmitterDirectionOf(tool); IsDirection(d))
    AddEmitter(w, w.CursorTileX, w.CursorTileY, d, 0, 0);
  if (const LightState kind = LightKindOf(tool); IsLightState(kind))
    AddTrafficLight(w, simClock, w.CursorCellX, w.CursorCellY, kind);
}

}  // namespace

void UpdateMouseButtons(MouseButtonTracker& mouse, Input& input, const Clock& wallClock) {
  for (int b = kLeftButton; b <= kMiddleButton; ++b) {
    mouse.DoubleClick[b] = false;
    mouse.Pressed[b] = false;
    bool down = input.IsButtonDown(b);
    if (down == mouse.Held[b]) continue;
    mouse.Held[b] = down;
    mouse.Pressed[b] = down;
    if (down) continue;
    // Released: a double click is two releases close together.
    const uint32_t now = wallClock.NowMs();
    if (mouse.Released[b] && ElapsedMs(now, mouse.LastRelease[b]) < kDoubleClickMs) mouse.DoubleClick[b] = true;
    mouse.LastRelease[b] = now;
    mouse.Released[b] = true;
  }
}

int MouseOver(Input& p, int x, int y, int width, int height) {
  p.PollMouse();
  // Widen before adding: a box far off the screen must not overflow.
  const int64_t px = p.PointerX(), py = p.PointerY();
  bool inside = x <= px && px <= int64_t{x} + width && y <= py && py <= int64_t{y} + height;
  return inside ? 1 : 0;
}

void HandleEditorInput(World& w, EditorIo& io, MouseButtonTracker& mouse) {
  Input& p = io.input;
  // The minimap covers the map: what the user does there moves the view.
  if (MinimapHasPointer(w, p.PointerX(), p.PointerY())) return;
  // Whatever is edited while a button or BackSpace is held belongs to the
  // step that opens with it; the caller ends the step once all are let go.
  auto editing = [&] {
    if (io.history) io.history->Begin(w);
  };
  // The toolbar hides the tiles behind it.
  const bool onMap = p.PointerY() <= MapAreaBottom(w.ScreenHeight);
  if (p.IsKeyDown(Scan::BackSpace) && onMap) {
    editing();
    DeleteRoad(w, w.CursorTileX, w.CursorTileY);
    RemoveEmittersOnCursorTile(w);
  }

  if (mouse.DoubleClick[kLeftButton] && onMap) OpenDialogsUnderPointer(w, io);

  if (p.IsButtonDown(kRightButton)) {
    editing();
    if (onMap)
      DeleteUnderPointer(w, p);
    else
      ClearSelection(w);
  }

  if (p.IsButtonDown(kMiddleButton) && onMap) SwitchLightsUnderPointer(w, p);

  if (!p.IsButtonDown(kLeftButton)) return;
  editing();

  if (onMap) {
    w.CarList.Reset();
    while (Car* car = w.CarList.Next())
      if (OverCar(w, p, *car)) BrakeCar(*car, kUserBrakeCells);
  }

  if (onMap && w.Tool == Tool::None && !SelectAndTarget(w, p)) return;

  for (int i = 1; i <= kToolCount; ++i) {
    const ScreenRect button = ScreenLayout(w).ToolButton(i);
    if (MouseOver(p, static_cast<int>(button.x), static_cast<int>(button.y), static_cast<int>(button.width),
                  static_cast<int>(button.height)))
      w.Tool = ToolNumber(i);
  }

  if (MouseOver(p, 0, 0, w.ScreenWidth, MapAreaBottom(w.ScreenHeight)) == 0) return;

  if (mouse.Pressed[kLeftButton] && io.wallClock) {
    if (const char* why = RefusalOf(w)) {
      w.Hint = why;
      w.HintSince = io.wallClock->NowMs();
    }
  }
  PlaceWithTool(w, io.simClock);
}

}  // namespace kv
