#include "render/scene.h"

namespace kv {

void DrawScene(const World&, Platform& p) { p.PresentFrame(); }

}  // namespace kv
