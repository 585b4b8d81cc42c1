#include "sim/step.h"

#include "sim/cars.h"
#include "sim/emitters.h"
#include "sim/lights.h"
#include "sim/observe.h"

namespace kv {

void Step(World& w, const Clock& clock, Random& random) {
  UpdateLights(w, clock);
  UpdateEmitters(w, clock, random);
  MoveCars(w, clock);
  w.Stats.Frame += 1;
  FinishObservation(w);
}

static_assert(kMinuteSteps == 60 * kStepsPerSecond);

}  // namespace kv
