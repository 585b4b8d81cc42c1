// Car motion: one pass over all cars per frame.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "world/world.h"

namespace kv {

constexpr float kMaxCarSpeed = 99.0f;
constexpr float kCarAcceleration = 0.02f;
constexpr int kHoldMs = 1000;
constexpr int kLookAheadBrakeCells = 5;
constexpr int kUserBrakeCells = 10;

// How a car finds the cars it may have to follow: Near looks only at the
// cars near it that head its way (w.NearCars); Plain compares it with every
// other car. Both give the same result bit for bit; Plain is the yardstick
// for the fast scan in tests and benchmarks.
enum class FollowScan { Near, Plain };

// One frame of every car: control cells, acceleration, braking, moving,
// keeping distance, turning at route points, arriving and leaving the grid.
void MoveCars(World& w, const Clock& clock, FollowScan scan = FollowScan::Near);
void BrakeCar(Car& car, int cells);
void ResumeCar(Car& car);
void HoldCar(Car& car, const Clock& clock, int ms);

// The following check of `car` against one other car. MoveCars applies it
// against every other car in list order, looking only at those near enough
// for it to act on (w.NearCars). startX/startY: the car's position at the
// start of its move, rounded.
void FollowCar(Car& car, const Car& other, int32_t startX, int32_t startY);
// How far ahead (px, in both x and y) a car at this speed looks for others.
float FollowRange(float speed);

float CosDeg(int deg);
float SinDeg(int deg);
// Direction of (dx, dy) in radians, 0 <= result < 2*pi.
float BearingOf(float dy, float dx);
float Distance(int x1, int y1, int x2, int y2);
// Radians to whole degrees, rounded.
int32_t WholeDegrees(float radians);

// Nearest integer, halves to even. Values beyond the int32 range saturate;
// NaN gives INT32_MIN, which lies outside every grid.
int32_t RoundToInt(float v);

}  // namespace kv
