#include "editor/placing.h"

namespace kv {

void AddEmitter(World&, int, int, int, int, int) {}
void AddTrafficLight(World&, Platform&, int, int, int) {}

}  // namespace kv
