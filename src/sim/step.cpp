#include "sim/step.h"

#include "sim/cars.h"
#include "sim/emitters.h"
#include "sim/lights.h"

namespace kv {

void Step(World& w, const Clock& clock, Random& random) {
  UpdateLights(w, clock);
  UpdateEmitters(w, clock, random);
  MoveCars(w, clock);
  w.Stats.Frame += 1;
}

}  // namespace kv
