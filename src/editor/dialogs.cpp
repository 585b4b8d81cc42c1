#include "editor/dialogs.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "network/placing.h"
#include "network/roads.h"
#include "platform/text.h"

namespace kv {

namespace {

constexpr int kDialogX = 500, kDialogY = 500;
constexpr int kDialogWidth = 400, kDialogHeight = 400;

constexpr int kButtonY = 335, kButtonHeight = 30;
constexpr int kCancelX = 280, kCancelWidth = 100;
constexpr int kDeleteX = 130, kDeleteWidth = 135;
constexpr int kOkX = 15, kOkWidth = 100;

// One row: a label above a slider with its number field to the right; rows
// follow each other every kRowPitch pixels.
constexpr int kRowX = 15;
constexpr int kLabelTop = 15, kLabelHeight = 15;
constexpr int kSliderTop = 30, kSliderWidth = 280, kSliderHeight = 20;
constexpr int kFieldX = 300, kFieldWidth = 75, kFieldHeight = 20;
constexpr int kRowPitch = 40;
constexpr const char* kFieldPlaceholder = "NULL";

constexpr const char* kCancelText = "Abbrechen";
constexpr const char* kOkText = "OK";

// Speeds are edited in hundredths on the sliders.
constexpr float kSpeedScale = 100.0f;

struct RowLayout {
  const char* label;
  int labelWidth;
  int min, max;
};

constexpr int kEmitterRows = 6;
constexpr std::array<RowLayout, kEmitterRows> kEmitterRowLayouts = {{
    {"Intervall:", 280, kMinInterval, kMaxInterval},
    // The slider layer raises the negative bound to 0.
    {"Tolerance (random, additional):", 280, -kMaxIntervalTolerance, kMaxIntervalTolerance},
    {"Start speed:", 280, kMinSpeedHundredths, kMaxSpeedHundredths},
    {"Start speed tolerance (random, additional):", 280, kMinSpeedHundredths, kMaxSpeedHundredths},
    {"Color range (from 1 to xx):", 280, 1, kCarColors},
    {"Single Color (null = color range):", 150, 0, kCarColors},
}};
constexpr int kStartSpeedRow = 2, kStartSpeedToleranceRow = 3;

constexpr RowLayout kLightRowLayout = {"Intervall:", 280, kMinLightInterval, kMaxLightInterval};

struct Row {
  ControlHandle slider = 0, field = 0;
};

struct Buttons {
  ControlHandle cancel = 0, del = 0, ok = 0;
};

Buttons AddButtons(Windows& p, WindowHandle win, const char* deleteText) {
  Buttons b;
  b.cancel = p.AddButton(win, kCancelX, kButtonY, kCancelWidth, kButtonHeight, kCancelText);
  b.del = p.AddButton(win, kDeleteX, kButtonY, kDeleteWidth, kButtonHeight, deleteText);
  b.ok = p.AddButton(win, kOkX, kButtonY, kOkWidth, kButtonHeight, kOkText);
  return b;
}

Row AddRow(Windows& p, WindowHandle win, int index, const RowLayout& layout) {
  const int dy = kRowPitch * index;
  p.AddLabel(win, kRowX, kLabelTop + dy, layout.labelWidth, kLabelHeight, layout.label);
  Row row;
  row.slider = p.AddSlider(win, kRowX, kSliderTop + dy, kSliderWidth, kSliderHeight, layout.min, layout.max);
  row.field = p.AddTextField(win, kFieldX, kSliderTop + dy, kFieldWidth, kFieldHeight, kFieldPlaceholder);
  return row;
}

// value * 100 rounded half to even; the slider clamps it to its range, so
// only keep the conversion itself in range.
int SpeedToSlider(float speed) {
  float scaled = std::nearbyint(speed * kSpeedScale);
  constexpr float kLimit = 2.0e9f;
  if (std::isnan(scaled)) return 0;
  if (scaled > kLimit) return std::numeric_limits<int>::max();
  if (scaled < -kLimit) return std::numeric_limits<int>::min();
  return static_cast<int>(scaled);
}

float SliderToSpeed(int position) { return static_cast<float>(position) / kSpeedScale; }

bool IsSpeedRow(int row) { return row == kStartSpeedRow || row == kStartSpeedToleranceRow; }

void CloseDialog(Windows& ui, Input& input, WindowHandle win) {
  ui.DestroyFrameWindow(win);
  input.SetMouseReleased(false);
}

// Makes `record` the current record of `list` so that Delete removes exactly
// it; false when it is no longer in the list.
template <class T>
bool MakeCurrentRecord(RecordList<T>& list, const T& record) {
  return list.Current() == &record || list.MakeCurrent(record);
}

}  // namespace

void ConfigureEmitter(World& w, Windows& p, Input& input, Emitter& emitter) {
  WindowHandle win = p.CreateFrameWindow(kDialogX, kDialogY, kDialogWidth, kDialogHeight,
                                         "Emitter konfigurieren", WindowStyle::ToolStyle);
  // Nobody could ever answer a dialog that did not open.
  if (win == 0) return;
  const Buttons buttons = AddButtons(p, win, "Emitter löschen");
  std::array<Row, kEmitterRows> rows;
  for (int i = 0; i < kEmitterRows; ++i) rows[i] = AddRow(p, win, i, kEmitterRowLayouts[i]);

  p.SetControlValue(rows[0].slider, emitter.Interval);
  p.SetControlValue(rows[1].slider, emitter.IntervalTolerance);
  p.SetControlValue(rows[2].slider, SpeedToSlider(emitter.StartSpeed));
  p.SetControlValue(rows[3].slider, SpeedToSlider(emitter.StartSpeedTolerance));
  p.SetControlValue(rows[4].slider, emitter.ColorRange);
  p.SetControlValue(rows[5].slider, emitter.SingleColor);

  // From the record, not from the sliders: a value outside a slider's range
  // shows as it is until that slider moves.
  p.SetControlText(rows[0].field, FormatInt(emitter.Interval));
  p.SetControlText(rows[1].field, FormatInt(emitter.IntervalTolerance));
  p.SetControlText(rows[2].field, FormatFloat(emitter.StartSpeed));
  p.SetControlText(rows[3].field, FormatFloat(emitter.StartSpeedTolerance));
  p.SetControlText(rows[4].field, FormatInt(emitter.ColorRange));
  p.SetControlText(rows[5].field, FormatInt(emitter.SingleColor));

  for (;;) {
    std::array<int, kEmitterRows> before{};
    for (int i = 0; i < kEmitterRows; ++i) before[i] = p.GetControlValue(rows[i].slider);

    input.SetMouseReleased(true);
    // Before polling, so that a slider moved meanwhile is seen in this pass.
    p.WaitForEvents();
    if (p.PollWindowEvent() == WindowEvent::ControlActivated) {
      const ControlHandle control = p.EventControl();
      if (control == buttons.cancel) {
        CloseDialog(p, input, win);
        return;
      }
      if (control == buttons.ok) {
        emitter.Interval = p.GetControlValue(rows[0].slider);
        emitter.IntervalTolerance = p.GetControlValue(rows[1].slider);
        emitter.StartSpeed = SliderToSpeed(p.GetControlValue(rows[2].slider));
        emitter.StartSpeedTolerance = SliderToSpeed(p.GetControlValue(rows[3].slider));
        emitter.ColorRange = p.GetControlValue(rows[4].slider);
        emitter.SingleColor = p.GetControlValue(rows[5].slider);
        CloseDialog(p, input, win);
        return;
      }
      if (control == buttons.del) {
        // Cars that still drive on it share the record, so removing it here
        // leaves them their route.
        if (MakeCurrentRecord(w.EmitterList, emitter)) w.EmitterList.Delete();
        CloseDialog(p, input, win);
        return;
      }
    }

    for (int i = 0; i < kEmitterRows; ++i) {
      const int position = p.GetControlValue(rows[i].slider);
      if (position == before[i]) continue;
      p.SetControlText(rows[i].field,
                       IsSpeedRow(i) ? FormatFloat(SliderToSpeed(position)) : FormatInt(position));
    }
  }
}

void ConfigureTrafficLight(World& w, Windows& p, Input& input, const Clock& simClock, TrafficLight& light) {
  WindowHandle win = p.CreateFrameWindow(kDialogX, kDialogY, kDialogWidth, kDialogHeight,
                                         "Ampel konfigurieren", WindowStyle::ToolStyle);
  if (win == 0) return;
  const Buttons buttons = AddButtons(p, win, "Ampel löschen");
  const Row row = AddRow(p, win, 0, kLightRowLayout);

  p.SetControlValue(row.slider, light.Interval);
  p.SetControlText(row.field, FormatInt(light.Interval));

  for (;;) {
    const int before = p.GetControlValue(row.slider);
    const int64_t typedBefore = ParseInt(p.GetControlText(row.field));

    input.SetMouseReleased(true);
    p.WaitForEvents();
    if (p.PollWindowEvent() == WindowEvent::ControlActivated) {
      const ControlHandle control = p.EventControl();
      if (control == buttons.cancel) {
        CloseDialog(p, input, win);
        return;
      }
      if (control == buttons.ok) {
        const int interval = p.GetControlValue(row.slider);
        light.Interval = interval;
        w.LastLightInterval = interval;
        // Every light starts its phase anew, so lights stay in step.
        const int32_t now = static_cast<int32_t>(simClock.NowMs());
        for (TrafficLight& other : w.TrafficLightList) other.LastSwitch = now;
        CloseDialog(p, input, win);
        return;
      }
      if (control == buttons.del) {
        if (MakeCurrentRecord(w.TrafficLightList, light)) {
          w.ControlMap.set(light.CellX, light.CellY, control::kNone);
          w.TrafficLightList.Delete();
          // A junction marker the light covered comes back at once.
          RebuildControlMap(w);
        }
        CloseDialog(p, input, win);
        return;
      }
    }

    const int position = p.GetControlValue(row.slider);
    if (position != before) p.SetControlText(row.field, FormatInt(position));
    // A typed number moves the slider, which clamps it; the text stays as typed.
    const int64_t typed = ParseInt(p.GetControlText(row.field));
    if (typed != typedBefore) p.SetControlValue(row.slider, static_cast<int32_t>(typed));
  }
}

}  // namespace kv
