// Car motion: one pass over all cars per frame.
#pragma once

#include "app/world.h"
#include "platform/platform.h"

namespace kv {

void MoveCars(World& w, Platform& p);
void BrakeCar(Car& car, int cells);
void ResumeCar(Car& car);
void HoldCar(Car& car, Platform& p, int ms);

float CosDeg(int deg);
float SinDeg(int deg);
float BearingOf(float dy, float dx);
float Distance(int x1, int y1, int x2, int y2);

}  // namespace kv
