#include "sim/cars.h"

namespace kv {

void MoveCars(World&, Platform&) {}
void BrakeCar(Car&, int) {}
void ResumeCar(Car&) {}
void HoldCar(Car&, Platform&, int) {}
float CosDeg(int) { return 0; }
float SinDeg(int) { return 0; }
float BearingOf(float, float) { return 0; }
float Distance(int, int, int, int) { return 0; }

}  // namespace kv
