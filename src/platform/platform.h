// Everything a program needs from the machine, as one object with one
// interface per role. Callers take only the role they use: the simulation
// none of them, drawing the Canvas, the editor Input and Windows, the map
// files Files and Windows. Two implementations: SdlPlatform (window, GTK
// dialogs) and HeadlessPlatform (tests and koravel-sim).
#pragma once

#include "platform/canvas.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/windows.h"

namespace kv {

class Platform : public Canvas, public Input, public Windows, public Files, public Clock {};

}  // namespace kv
