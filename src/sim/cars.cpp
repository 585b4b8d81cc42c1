#include "sim/cars.h"

#include "sim/observe.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace kv {

namespace {

constexpr float kDegToRad = 0.017453292f;
constexpr float kRadToDeg = 57.29578f;
constexpr float kPi = 3.14159265f;
constexpr float kHalfPi = kPi / 2.0f;
constexpr float kThreeHalfPi = 3.0f * kPi / 2.0f;
constexpr float kTwoPi = 2.0f * kPi;

constexpr float kCellPixels = 16.0f;
// Below this a car counts as standing.
constexpr float kStandingSpeed = 0.02f;
constexpr int kLookAheadPoints = 4;
constexpr float kLookAheadMinSpeed = 1.0f;
constexpr int32_t kSameHeadingDegrees = 10;
constexpr int32_t kAheadConeDegrees = 45;
constexpr float kFollowDeceleration = 0.34f;
constexpr float kFollowCloseDistance = 20.0f;
// Cars leave the grid at the last row and column, not only beyond them.
constexpr int32_t kLastDrivableCell = CellGrid::kMax - 1;

// The following check looks at most this far in x and in y.
constexpr float kWidestFollowRange = 384.0f;

// The car index files each car heading along an axis by its heading and by
// the square of 64 px it stands in. The squares cover the map and a border
// wide enough for any car that has just driven off it. Cars elsewhere, at NaN
// or at other angles are kept in one list that every check looks at.
constexpr float kSquarePixels = 64.0f;
constexpr float kSquaresOrigin = -256.0f;
constexpr int kSquaresPerSide = 58;  // up to world pixel 3456
constexpr uint32_t kSquaresPerHeading = kSquaresPerSide * kSquaresPerSide;
constexpr int32_t kAxisHeadings[] = {0, 90, 180, 270};
constexpr uint32_t kHeadings = 4;
constexpr uint32_t kNotFiled = kHeadings * kSquaresPerHeading;
// Room each square keeps for cars that drive or turn into it during the pass.
constexpr uint32_t kRoomPerSquare = 1;
// Order of a slot whose car drove on or was removed.
constexpr uint32_t kLeft = UINT32_MAX;

// A line of cells relative to a car's cell: from (x, y), `cells` cells on in
// steps of (dx, dy), the cell nearest the car first.
struct Strip {
  int x, y, dx, dy, cells;
};

// Where a car on a control cell looks for crossing traffic, by the lane code
// of its cell: the lane coming from its right, and the one from its left.
struct CrossLanes {
  LaneCode code;
  Strip right;
  Strip left;
};

constexpr CrossLanes kCrossLanes[] = {
    {LaneCode::Down, {0, 2, -1, 0, 6}, {0, 1, 1, 0, 7}},
    {LaneCode::Left, {-2, 0, 0, -1, 6}, {-1, 0, 0, 1, 7}},
    {LaneCode::Right, {2, 0, 0, 1, 6}, {1, 0, 0, -1, 7}},
    {LaneCode::Up, {0, -2, 1, 0, 6}, {0, -1, -1, 0, 7}},
};

// `found`: the marked cell nearest to the car, the car that will cross first.
bool AnyCarIn(const World& w, int x, int y, const Strip& s, Cell& found) {
  for (int i = 0; i < s.cells; ++i) {
    const int cx = x + s.x + i * s.dx, cy = y + s.y + i * s.dy;
    if (w.CarMap.get(cx, cy) != 0) {
      found = {cx, cy};
      return true;
    }
  }
  return false;
}

// The route point at `index` of the car's route; false when there is none
// (no emitter, or an index outside the arrays or beyond the route).
bool RoutePoint(const Car& car, int64_t index, Cell& out) {
  const Emitter* e = car.Emitter.get();
  if (e == nullptr || index < 0 || index >= kRouteCapacity || index > e->RouteLength) return false;
  out = {e->RouteX[static_cast<size_t>(index)], e->RouteY[static_cast<size_t>(index)]};
  return true;
}

bool IsControlCell(const World& w, const Cell& c) { return w.ControlMap.get(c.x, c.y) != 0; }

// Also notes in car.Wait what blocks it: the light before crossing traffic,
// which a green light no longer asks about.
bool IsBlocked(const World& w, Car& car, LaneCode code, int32_t control) {
  bool blocked = control == control::kStop;
  Cell crossing{};
  bool yielding = false;
  for (const CrossLanes& lanes : kCrossLanes) {
    if (lanes.code != code) continue;
    if (AnyCarIn(w, car.CellX, car.CellY, lanes.right, crossing)) yielding = blocked = true;
    if (!yielding && control == control::kYield && AnyCarIn(w, car.CellX, car.CellY, lanes.left, crossing))
      yielding = blocked = true;
  }
  if (control == control::kStop)
    car.Wait = {WaitKind::RedLight, {car.CellX, car.CellY}, 0};
  else if (yielding)
    car.Wait = {WaitKind::Yielding, crossing, 0};
  return blocked;
}

void Brake(Car& car) {
  int32_t n = car.Speed == 0.0f ? 0 : RoundToInt(car.BrakeDistance / car.Speed);
  if (n == 0) {
    car.Speed = 0.0f;
    ResumeCar(car);
    return;
  }
  float d = car.Speed / static_cast<float>(n);
  car.Speed = car.Speed - d / 2.0f;
  car.BrakeDistance -= car.Speed;
  if (car.Speed == 0.0f) ResumeCar(car);
}

// CarMap counts the marks on a cell, so that a car can tell its own marks
// from those of others; everyone else only tests for non-zero.
void MarkCell(World& w, int32_t x, int32_t y) {
  if (CellGrid::Inside(x, y)) w.CarMap.at(x, y) += 1;
}

// Whether a car other than this one marks the cell. The car's own marks (its
// cell at the start of the pass and its new cell) do not count: otherwise a
// car whose move lands on the point after next, as a new car faster than half
// a cell does, would stop for itself.
bool MarkedByOthers(const World& w, const Car& car, Cell oldCell, Cell c) {
  int32_t marks = w.CarMap.get(c.x, c.y);
  if (c == oldCell) marks -= 1;
  if (c == Cell{car.CellX, car.CellY}) marks -= 1;
  return marks > 0;
}

void PlaceOnCell(World& w, Car& car) {
  car.CellX = RoundToInt(car.PosX / kCellPixels);
  car.CellY = RoundToInt(car.PosY / kCellPixels);
  MarkCell(w, car.CellX, car.CellY);
}

bool OutsideDrivableGrid(const Car& car) {
  return car.CellX < 0 || car.CellX > kLastDrivableCell || car.CellY < 0 ||
         car.CellY > kLastDrivableCell;
}


// Square number along one axis, unclamped; NaN stays NaN.
float SquareAlong(float v) { return std::floor((v - kSquaresOrigin) / kSquarePixels); }

bool OnSquares(float x, float y) {
  const float sx = SquareAlong(x), sy = SquareAlong(y);
  return sx >= 0.0f && sx < kSquaresPerSide && sy >= 0.0f && sy < kSquaresPerSide;
}

uint32_t SquareIndex(uint32_t heading, int x, int y) {
  return heading * kSquaresPerHeading + static_cast<uint32_t>(y) * kSquaresPerSide + static_cast<uint32_t>(x);
}

// The square a car is filed in, or kNotFiled.
uint32_t SquareOf(float x, float y, int32_t angle) {
  if (!OnSquares(x, y)) return kNotFiled;
  for (uint32_t h = 0; h < kHeadings; ++h)
    if (angle == kAxisHeadings[h])
      return SquareIndex(h, static_cast<int>(SquareAlong(x)), static_cast<int>(SquareAlong(y)));
  return kNotFiled;
}

// First and last square along one axis that can hold a position in (lo, hi).
// SquareAlong never decreases with its argument, so this misses none.
void SquareSpan(float lo, float hi, int& first, int& last) {
  first = static_cast<int>(std::clamp(SquareAlong(lo), 0.0f, kSquaresPerSide - 1.0f));
  last = static_cast<int>(std::clamp(SquareAlong(hi), 0.0f, kSquaresPerSide - 1.0f));
}

CarSquares::Entry EntryOf(const Car& car, uint32_t order) {
  return {car.PosX, car.PosY, car.Angle, order};
}

// Files the car of `order` in its square, or Elsewhere when it has no room.
void File(CarSquares& index, uint32_t order, uint32_t square, const CarSquares::Entry& entry) {
  CarSquares::Place& place = index.Places[order];
  place.Square = square;
  if (square != kNotFiled) {
    CarSquares::Square& slots = index.Squares[square];
    if (slots.First + slots.Used < index.Squares[square + 1].First) {
      place.InElsewhere = false;
      place.Slot = slots.First + slots.Used++;
      index.Entries[place.Slot] = entry;
      return;
    }
  }
  place.InElsewhere = true;
  place.Slot = static_cast<uint32_t>(index.Elsewhere.size());
  index.Elsewhere.push_back(entry);
}

void Unfile(CarSquares& index, uint32_t order) {
  const CarSquares::Place& place = index.Places[order];
  if (!place.InElsewhere) {
    index.Entries[place.Slot].Order = kLeft;
    return;
  }
  const CarSquares::Entry moved = index.Elsewhere.back();
  index.Elsewhere[place.Slot] = moved;
  index.Places[moved.Order].Slot = place.Slot;
  index.Elsewhere.pop_back();
}

// Files every car of the list, Order = its place in the list.
void RebuildIndex(World& w) {
  CarSquares& index = w.NearCars;
  index.Squares.resize(kNotFiled + 1);
  for (CarSquares::Square& square : index.Squares) square.Used = 0;
  index.Places.clear();
  index.Elsewhere.clear();
  for (Car& car : w.CarList) {
    const uint32_t square = SquareOf(car.PosX, car.PosY, car.Angle);
    if (square != kNotFiled) index.Squares[square].Used += 1;
    index.Places.push_back({&car, square, 0, false});
  }
  uint32_t first = 0;
  for (uint32_t square = 0; square < kNotFiled; ++square) {
    CarSquares::Square& slots = index.Squares[square];
    slots.First = first;
    first += slots.Used + kRoomPerSquare;
    slots.Used = 0;
  }
  index.Squares[kNotFiled].First = first;
  index.Entries.resize(first);
  for (uint32_t order = 0; order < index.Places.size(); ++order) {
    const CarSquares::Place& place = index.Places[order];
    File(index, order, place.Square, EntryOf(*place.Record, order));
  }
}

// After the car's move: its entry follows its new position and angle.
void Refile(CarSquares& index, uint32_t order, const Car& car) {
  const uint32_t square = SquareOf(car.PosX, car.PosY, car.Angle);
  const CarSquares::Place& place = index.Places[order];
  if (square == place.Square) {
    (place.InElsewhere ? index.Elsewhere : index.Entries)[place.Slot] = EntryOf(car, order);
    return;
  }
  Unfile(index, order);
  File(index, order, square, EntryOf(car, order));
}

// Where FollowCar can find a car ahead, relative to the checking car: dx and
// dy below `reach` in size and, for a heading along an axis, the signs that
// its bearing test leaves (heading right: the bearing rounds to 0..44 only for
// dx >= 0 and dy >= 0; down: dy > 0; left: dx < 0; up: dy < 0). Other headings
// keep the whole square around the car.
struct FrontBox {
  float left, right, up, down;  // extents from the car, at most `reach`
  int32_t angle;

  FrontBox(int32_t heading, float reach) : left(reach), right(reach), up(reach), down(reach), angle(heading) {
    if (angle == 0) left = up = 0.0f;
    if (angle == 90) up = 0.0f;
    if (angle == 180) right = 0.0f;
    if (angle == 270) down = 0.0f;
  }

  bool Contains(float dx, float dy) const {
    if (!(std::fabs(dx) < std::max(left, right) && std::fabs(dy) < std::max(up, down))) return false;
    switch (angle) {
      case 0: return dx >= 0.0f && dy >= 0.0f;
      case 90: return dy > 0.0f;
      case 180: return dx < 0.0f;
      case 270: return dy < 0.0f;
      default: return true;
    }
  }
};

// Collects, in list order, the cars after `after` that the following check
// could act on while the checking car stands at (px, py) or (sx, sy) and
// looks at most `reach` far: those passing FollowCar's angle test and lying in
// the front box, so a car left out would have been passed over there too.
void GatherNearCars(CarSquares& index, int32_t angle, float px, float py, float sx, float sy,
                    float reach, uint32_t self, int64_t after) {
  std::vector<uint32_t>& found = index.Candidates;
  found.clear();
  const FrontBox box(angle, reach);
  auto consider = [&](const CarSquares::Entry* e, const CarSquares::Entry* end) {
    for (; e != end; ++e) {
      if (e->Order == self || e->Order == kLeft || e->Order <= after) continue;
      if (std::llabs(int64_t{e->Angle} - angle) >= kSameHeadingDegrees) continue;
      if (box.Contains(e->PosX - px, e->PosY - py) || box.Contains(e->PosX - sx, e->PosY - sy))
        found.push_back(e->Order);
    }
  };
  // One pixel more on every side covers the rounding of the differences.
  constexpr float kMargin = 1.0f;
  int x0, x1, y0, y1;
  SquareSpan(std::min(px, sx) - box.left - kMargin, std::max(px, sx) + box.right + kMargin, x0, x1);
  SquareSpan(std::min(py, sy) - box.up - kMargin, std::max(py, sy) + box.down + kMargin, y0, y1);
  const CarSquares::Entry* entries = index.Entries.data();
  for (uint32_t h = 0; h < kHeadings; ++h) {
    if (std::llabs(int64_t{kAxisHeadings[h]} - angle) >= kSameHeadingDegrees) continue;
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        const CarSquares::Square& slots = index.Squares[SquareIndex(h, x, y)];
        consider(entries + slots.First, entries + slots.First + slots.Used);
      }
    }
  }
  consider(index.Elsewhere.data(), index.Elsewhere.data() + index.Elsewhere.size());
  std::sort(found.begin(), found.end());
}

// The following check against the cars near this one, in list order, with
// the same outcome as a check against every car: the others cannot pass
// FollowCar's tests. During the check the car stands either where it moved to
// or back at (startX, startY), and its range can only grow when it takes a
// front car's speed; then the search is made again at the widest range.
void FollowEveryCar(World& w, Car& car, int32_t startX, int32_t startY) {
  for (const Car& other : w.CarList)
    if (&other != &car) FollowCar(car, other, startX, startY);
}

void FollowNearCars(World& w, Car& car, uint32_t self, int32_t startX, int32_t startY) {
  const float sx = static_cast<float>(startX), sy = static_cast<float>(startY);
  const float px = car.PosX, py = car.PosY;
  if (!OnSquares(px, py) || !OnSquares(sx, sy)) {
    FollowEveryCar(w, car, startX, startY);
    return;
  }
  CarSquares& index = w.NearCars;
  float reach = FollowRange(car.Speed);
  GatherNearCars(index, car.Angle, px, py, sx, sy, reach, self, -1);
  for (size_t i = 0; i < index.Candidates.size(); ++i) {
    const uint32_t order = index.Candidates[i];
    FollowCar(car, *index.Places[order].Record, startX, startY);
    if (FollowRange(car.Speed) > reach) {
      reach = kWidestFollowRange;
      GatherNearCars(index, car.Angle, px, py, sx, sy, reach, self, order);
      i = static_cast<size_t>(-1);
    }
  }
}

// What became of a car in its move.
enum class Outcome { Moved, Arrived, LeftGrid };

// `order`: the car's place in the list at the start of the pass.
Outcome MoveCar(World& w, const Clock& clock, FollowScan scan, Car& car, uint32_t order) {
  if (OutsideDrivableGrid(car)) return Outcome::LeftGrid;

  const Cell oldCell{car.CellX, car.CellY};
  // Who waits on the same cell as before still waits for the same car: the
  // observation named it (observe.h).
  const CarWait before = car.Wait;
  car.Wait = {};
  const int32_t startX = RoundToInt(car.PosX);
  const int32_t startY = RoundToInt(car.PosY);

  const LaneCode code = w.MoveMap.get(car.CellX, car.CellY);
  const int32_t control = w.ControlMap.get(car.CellX, car.CellY);
  if (control != control::kNone) {
    if (IsBlocked(w, car, code, control))
      HoldCar(car, clock, kHoldMs);
    else
      ResumeCar(car);
  }

  if (car.State == CarState::Driving) {
    if (car.Speed > car.MaxSpeed)
      car.Speed -= car.Acceleration;
    else
      car.Speed += car.Acceleration;
    Cell ahead;
    if (car.RouteIndex > kLookAheadPoints &&
        RoutePoint(car, int64_t{car.RouteIndex} - kLookAheadPoints, ahead) &&
        IsControlCell(w, ahead) && car.Speed > kLookAheadMinSpeed)
      BrakeCar(car, kLookAheadBrakeCells);
  }
  if (car.State == CarState::Held) {
    if (car.HoldTime != 0 &&
        int64_t{ElapsedMs(clock.NowMs(), static_cast<uint32_t>(car.HoldStart))} > car.HoldTime) {
      ResumeCar(car);
      car.HoldTime = 0;
    } else if (car.Wait.Kind == WaitKind::None) {
      car.Wait = {WaitKind::Holding, oldCell, 0};
    }
  }
  if (car.State == CarState::Braking) Brake(car);

  if (car.Speed < kStandingSpeed) car.Speed = 0.0f;
  if (car.Speed > car.MaxSpeed) car.Speed = car.MaxSpeed;

  car.PosX += CosDeg(car.Angle) * car.Speed;
  car.PosY += SinDeg(car.Angle) * car.Speed;
  PlaceOnCell(w, car);

  // Wait while the point after the next one is taken.
  Cell afterNext;
  if (RoutePoint(car, int64_t{car.RouteIndex} - 1, afterNext) &&
      MarkedByOthers(w, car, oldCell, afterNext)) {
    car.Wait = {WaitKind::CellTaken, afterNext, 0};
    car.Speed = 0.0f;
    car.PosX = static_cast<float>(startX);
    car.PosY = static_cast<float>(startY);
  }

  if (scan == FollowScan::Near)
    FollowNearCars(w, car, order, startX, startY);
  else
    FollowEveryCar(w, car, startX, startY);
  if (car.Speed > 0.0f) car.Wait = {};
  if (car.Wait.Kind == before.Kind && car.Wait.Where == before.Where && car.Wait.Car == 0) car.Wait.Car = before.Car;

  Cell next;
  if (RoutePoint(car, car.RouteIndex, next) && next == Cell{car.CellX, car.CellY}) {
    const int32_t oldAngle = car.Angle;
    car.RouteIndex -= 1;
    Cell toward;
    if (RoutePoint(car, car.RouteIndex, toward)) {
      car.Angle = WholeDegrees(BearingOf(static_cast<float>(toward.y - car.CellY),
                                         static_cast<float>(toward.x - car.CellX)));
    }
    if (car.Angle != oldAngle) {
      car.PosX = static_cast<float>(car.CellX * kCellSize);
      car.PosY = static_cast<float>(car.CellY * kCellSize);
    }
  }

  const Emitter* e = car.Emitter.get();
  if (e != nullptr && car.CellX == e->TargetX && car.CellY == e->TargetY) return Outcome::Arrived;
  ObserveCar(w, car, oldCell);
  return Outcome::Moved;
}

}  // namespace

int32_t RoundToInt(float v) {
  float r = std::nearbyint(v);
  if (std::isnan(r)) return std::numeric_limits<int32_t>::min();
  if (r >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (r < -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(r);
}

void MoveCars(World& w, const Clock& clock, FollowScan scan) {
  w.CarMap.Fill(0);
  for (const Car& car : w.CarList) MarkCell(w, car.CellX, car.CellY);
  const bool indexed = scan == FollowScan::Near;
  if (indexed) RebuildIndex(w);
  BeginObservation(w);

  w.CarList.Reset();
  uint32_t order = 0;
  for (Car* car = w.CarList.Next(); car != nullptr; car = w.CarList.Next(), ++order) {
    switch (MoveCar(w, clock, scan, *car, order)) {
      case Outcome::Moved:
        if (indexed) Refile(w.NearCars, order, *car);
        break;
      case Outcome::Arrived:
        w.Stats.Arrived += 1;
        // The step being taken: the count goes up when the step ends.
        if (w.Stats.Frame + 1 >= car->SpawnFrame)
          w.Stats.ArrivedTripFrames += w.Stats.Frame + 1 - car->SpawnFrame;
        if (indexed) Unfile(w.NearCars, order);
        w.CarList.Delete();
        break;
      case Outcome::LeftGrid:
        // The rest of the list stands still this frame.
        w.Stats.LeftGrid += 1;
        w.CarList.Delete();
        while (Car* rest = w.CarList.Next()) ObserveCar(w, *rest, {rest->CellX, rest->CellY});
        return;
    }
  }
}

float FollowRange(float speed) {
  if (speed >= 7.0f) return 64.0f;
  if (speed >= 6.0f) return kWidestFollowRange;
  if (speed >= 5.0f) return 256.0f;
  if (speed >= 4.0f) return 128.0f;
  if (speed >= 3.0f) return 96.0f;
  if (speed >= 2.0f) return 64.0f;
  if (speed >= 1.0f) return 32.0f;
  return 25.0f;
}

void FollowCar(Car& car, const Car& other, int32_t startX, int32_t startY) {
  const float range = FollowRange(car.Speed);
  if (std::llabs(int64_t{other.Angle} - car.Angle) >= kSameHeadingDegrees) return;
  const float dx = other.PosX - car.PosX;
  const float dy = other.PosY - car.PosY;
  if (!(std::fabs(dx) < range && std::fabs(dy) < range)) return;
  const int32_t bearing = WholeDegrees(BearingOf(dy, dx));
  if (std::llabs(int64_t{bearing} - car.Angle) >= kAheadConeDegrees) return;

  const float gap = Distance(RoundToInt(other.PosX), RoundToInt(other.PosY), RoundToInt(car.PosX),
                             RoundToInt(car.PosY));
  const int32_t dist = RoundToInt(gap);
  const float rel = std::fabs(other.Speed - car.Speed);
  const bool slows = other.Speed - kFollowDeceleration < car.Speed;
  if (slows) {
    if (rel == 0.0f) {
      car.Speed -= kFollowDeceleration;
    } else {
      const int32_t n = RoundToInt(static_cast<float>(dist) / rel);
      if (n == 0)
        car.Speed = 0.0f;
      else
        car.Speed -= rel / static_cast<float>(n) + kFollowDeceleration;
    }
  }
  if (gap < kFollowCloseDistance) {
    car.Speed = other.Speed;
    car.PosX = static_cast<float>(startX);
    car.PosY = static_cast<float>(startY);
  }
  if ((slows || gap < kFollowCloseDistance) && !(car.Speed > 0.0f))
    car.Wait = {WaitKind::BehindCar, {other.CellX, other.CellY}, other.Serial};
}

void BrakeCar(Car& car, int cells) {
  car.State = CarState::Braking;
  car.BrakeDistance = static_cast<float>(cells) * kCellPixels;
}

void ResumeCar(Car& car) { car.State = CarState::Driving; }

void HoldCar(Car& car, const Clock& clock, int ms) {
  car.State = CarState::Held;
  car.HoldTime = ms;
  car.HoldStart = static_cast<int32_t>(clock.NowMs());
  car.Speed = 0.0f;
}

float CosDeg(int deg) { return std::cos(static_cast<float>(deg) * kDegToRad); }

float SinDeg(int deg) { return std::sin(static_cast<float>(deg) * kDegToRad); }

float BearingOf(float dy, float dx) {
  if (dx < 0.0f) return std::atan(dy / dx) + kPi;
  if (dx > 0.0f) {
    if (dy >= 0.0f) return std::atan(dy / dx);
    return std::atan(dy / dx) + kTwoPi;
  }
  if (dy > 0.0f) return kHalfPi;
  if (dy < 0.0f) return kThreeHalfPi;
  return 0.0f;
}

float Distance(int x1, int y1, int x2, int y2) {
  const float dx = static_cast<float>(int64_t{x1} - x2);
  const float dy = static_cast<float>(int64_t{y1} - y2);
  return std::sqrt(dx * dx + dy * dy);
}

int32_t WholeDegrees(float radians) { return RoundToInt(radians * kRadToDeg); }

}  // namespace kv
