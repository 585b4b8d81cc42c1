#include "sim/route.h"

namespace kv {

int FindRoute(World&, int, int, int, int, Emitter&) { return 0; }

}  // namespace kv
