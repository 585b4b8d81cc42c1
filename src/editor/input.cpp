#include "editor/input.h"

namespace kv {

void UpdateMouseButtons(MouseButtonTracker&, Platform&) {}
int MouseOver(Platform&, int, int, int, int) { return 0; }
void HandleEditorInput(World&, Platform&, MouseButtonTracker&) {}

}  // namespace kv
