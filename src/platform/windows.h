// The windows role: the main window, modal tool-window dialogs with their
// controls, file requesters and the message box. Operations that take a
// handle ignore 0 and unknown handles and return 0 / false / the empty text.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace kv {

class Windows {
 public:
  virtual ~Windows() = default;

  virtual WindowHandle CreateFrameWindow(int x, int y, int innerWidth, int innerHeight,
                                         const std::string& title, WindowStyle style) = 0;
  virtual void DestroyFrameWindow(WindowHandle window) = 0;
  virtual bool AttachScreen(WindowHandle window, int x, int y, int width, int height) = 0;
  // Lets the user resize and maximise the main window, down to the given
  // inner size; a screen attached at (0, 0) then follows the window's size
  // from the next frame on (Canvas::ScreenSize).
  virtual void AllowResize(WindowHandle window, int minWidth, int minHeight) = 0;
  virtual WindowEvent PollWindowEvent() = 0;
  virtual ControlHandle EventControl() = 0;
  // Called by modal dialog loops once per pass: lets the real platform sleep
  // until something happens instead of spinning a core. Never required for
  // correctness.
  virtual void WaitForEvents() {}

  virtual ControlHandle AddButton(WindowHandle window, int x, int y, int width, int height,
                                  const std::string& text) = 0;
  virtual ControlHandle AddLabel(WindowHandle window, int x, int y, int width, int height,
                                 const std::string& text) = 0;
  virtual ControlHandle AddSlider(WindowHandle window, int x, int y, int width, int height,
                                  int min, int max) = 0;
  virtual ControlHandle AddTextField(WindowHandle window, int x, int y, int width, int height,
                                     const std::string& text) = 0;
  virtual void SetControlValue(ControlHandle control, int value) = 0;
  virtual int GetControlValue(ControlHandle control) = 0;
  virtual void SetControlText(ControlHandle control, const std::string& text) = 0;
  virtual std::string GetControlText(ControlHandle control) = 0;

  // The default path is a directory and a proposed name joined by a
  // backslash (CurrentDirectory gives "/home/me\\"); the path returned is the
  // host's, used as it is; the empty text means cancelled. The save requester
  // asks before it replaces a file, and gives a name typed without an
  // extension the first pattern's (SavePathFor).
  virtual std::string AskOpenPath(const std::string& title, const std::string& defaultPath,
                                  const std::string& pattern) = 0;
  virtual std::string AskSavePath(const std::string& title, const std::string& defaultPath,
                                  const std::string& pattern) = 0;
  virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
  // Modal message window with one button per text, in order; the index of
  // the button chosen, or -1 when the window was closed without one.
  virtual int AskChoice(const std::string& caption, const std::string& text,
                        const std::vector<std::string>& buttons) = 0;
  // The working directory as the host names it, followed by a backslash.
  virtual std::string CurrentDirectory() = 0;
};

}  // namespace kv
