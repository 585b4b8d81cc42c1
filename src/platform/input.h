// The input role: a keyboard snapshot by scan code and a polled mouse that
// the program captures, except while the desktop needs it (dialogs).
#pragma once

#include "platform/types.h"

namespace kv {

class Input {
 public:
  virtual ~Input() = default;

  virtual void PollKeyboard() = 0;
  virtual bool IsKeyDown(int scanCode) = 0;
  virtual void PollMouse() = 0;
  virtual int PointerX() = 0;
  virtual int PointerY() = 0;
  virtual bool IsButtonDown(int button) = 0;
  virtual void SetMouseReleased(bool released) = 0;
  // Wheel clicks turned since the last call, away from the user positive,
  // towards the user negative; none are counted while the mouse is released.
  virtual int TakeWheelSteps() = 0;
};

}  // namespace kv
