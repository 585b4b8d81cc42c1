#include "app/view.h"

namespace kv {

void UpdateView(World&, Platform&) {}

}  // namespace kv
