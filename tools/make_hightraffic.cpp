// Builds the start map "hightraffic" through the program's own placing
// operations and saves it. Run from the repository root:
//
//   build/make-hightraffic hightraffic
//
// The network fills the opening screen (view 0, 0): a ring road with two
// avenues and three streets inside it, light-controlled crossings in opposite
// phases, T-junctions with yield and right-of-way signs, curves at the
// corners, and fourteen feeder roads whose emitters send cars across the town
// to the feeders on the other side.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "map_tool.h"
#include "network/placing.h"
#include "network/roads.h"
#include "platform/clock.h"

namespace kv {
namespace {

constexpr int kLeft = 2, kRight = 30, kTop = 3, kBottom = 20;
const std::vector<int> kAvenueRows = {9, 15};
const std::vector<int> kStreetColumns = {9, 16, 23};
const std::vector<int> kSideFeederRows = {6, 12, 18};
const std::vector<int> kEndFeederColumns = {5, 12, 19, 26};
// Emitters in the middle of blocks, for traffic that starts inside the town.
const std::vector<int> kBlockRows = {6, 18};

constexpr RoadType kStraightWE = RoadType::StraightWE, kStraightNS = RoadType::StraightNS;
constexpr LightState kRightOfWay = LightState::RightOfWay, kYield = LightState::Yield, kGreen = LightState::Green,
                     kRed = LightState::Red;

struct Feeder {
  int tileX, tileY;
  Direction inDirection;  // direction of the cars its emitter sends into the town
  int exitX, exitY;  // lane cell where cars leaving the town through it end
};

std::vector<Feeder> Feeders() {
  std::vector<Feeder> f;
  for (int y : kSideFeederRows) f.push_back({kLeft - 1, y, Direction::Right, 2 * (kLeft - 1), 2 * y});
  for (int x : kEndFeederColumns) f.push_back({x, kTop - 1, Direction::Down, 2 * x + 1, 2 * (kTop - 1)});
  for (int y : kSideFeederRows) f.push_back({kRight + 1, y, Direction::Left, 2 * (kRight + 1) + 1, 2 * y + 1});
  for (int x : kEndFeederColumns) f.push_back({x, kBottom + 1, Direction::Up, 2 * x, 2 * (kBottom + 1) + 1});
  return f;
}

void LayRoads(World& w) {
  std::vector<RoadPlacement> roads;
  auto row = [&](int y) {
    for (int x = kLeft; x <= kRight; ++x) roads.push_back({x, y, kStraightWE});
  };
  auto column = [&](int x) {
    for (int y = kTop; y <= kBottom; ++y) roads.push_back({x, y, kStraightNS});
  };
  row(kTop);
  row(kBottom);
  for (int y : kAvenueRows) row(y);
  column(kLeft);
  column(kRight);
  for (int x : kStreetColumns) column(x);
  for (const Feeder& f : Feeders())
    roads.push_back({f.tileX, f.tileY,
                     f.inDirection == Direction::Down || f.inDirection == Direction::Up ? kStraightNS : kStraightWE});
  AddRoads(w, roads);
}

// Lights on every approach of a junction: north-south approaches start red,
// east-west green; all lights restart together, so the two pairs alternate.
void LightJunction(World& w, const Clock& p, int x, int y, bool east = true, bool west = true) {
  AddTrafficLight(w, p, 2 * x, 2 * y - 1, kRed);                  // from the north
  AddTrafficLight(w, p, 2 * x + 1, 2 * y + 2, kRed);              // from the south
  if (east) AddTrafficLight(w, p, 2 * x + 2, 2 * y, kGreen);      // from the east
  if (west) AddTrafficLight(w, p, 2 * x - 1, 2 * y + 1, kGreen);  // from the west
}

// The ring never waits for the roads that join it: its approaches get the
// right of way and the joining road yields. Lights and these signs leave no
// junction where two queues could wait for each other.
void PlaceControls(World& w, const Clock& p) {
  for (int y : kAvenueRows) {
    for (int x : kStreetColumns) LightJunction(w, p, x, y);
    LightJunction(w, p, kLeft, y, true, false);
    LightJunction(w, p, kRight, y, false, true);
  }
  for (int x : kStreetColumns) {
    // Streets meeting the ring: the street's approach and the ring's.
    AddTrafficLight(w, p, 2 * x + 1, 2 * kTop + 2, kRed);        // street up into the top ring
    AddTrafficLight(w, p, 2 * x - 1, 2 * kTop + 1, kGreen);      // top ring eastbound
    AddTrafficLight(w, p, 2 * x + 2, 2 * kTop, kGreen);          // top ring westbound
    AddTrafficLight(w, p, 2 * x, 2 * kBottom - 1, kRed);         // street down into the bottom ring
    AddTrafficLight(w, p, 2 * x + 2, 2 * kBottom, kGreen);       // bottom ring westbound
    AddTrafficLight(w, p, 2 * x - 1, 2 * kBottom + 1, kGreen);   // bottom ring eastbound
  }
  for (int y : kSideFeederRows) {
    AddTrafficLight(w, p, 2 * kLeft, 2 * y - 1, kRightOfWay);      // ring southbound
    AddTrafficLight(w, p, 2 * kLeft - 1, 2 * y + 1, kYield);       // feeder eastbound
    AddTrafficLight(w, p, 2 * kRight + 1, 2 * y + 2, kRightOfWay);  // ring northbound
    AddTrafficLight(w, p, 2 * kRight + 2, 2 * y, kYield);          // feeder westbound
  }
  for (int x : kEndFeederColumns) {
    AddTrafficLight(w, p, 2 * x + 2, 2 * kTop, kRightOfWay);         // ring westbound
    AddTrafficLight(w, p, 2 * x, 2 * kTop - 1, kYield);              // feeder southbound
    AddTrafficLight(w, p, 2 * x - 1, 2 * kBottom + 1, kRightOfWay);  // ring eastbound
    AddTrafficLight(w, p, 2 * x + 1, 2 * kBottom + 2, kYield);       // feeder northbound
  }
}

void PlaceEmitters(World& w) {
  std::vector<Feeder> feeders = Feeders();
  const size_t n = feeders.size();
  for (size_t i = 0; i < n; ++i) {
    // Send each feeder's cars to a feeder on the far side of the town.
    const Feeder& from = feeders[i];
    const Feeder& to = feeders[(i + n / 2 + 1) % n];
    AddEmitter(w, from.tileX, from.tileY, from.inDirection, to.exitX, to.exitY);
  }
  // Southbound and northbound on the outer streets, to feeders on the far side.
  size_t k = 0;
  for (int y : kBlockRows) {
    const Feeder& down = feeders[2 * kSideFeederRows.size() + kEndFeederColumns.size() + (k % kEndFeederColumns.size())];
    const Feeder& up = feeders[kSideFeederRows.size() + ((k + 2) % kEndFeederColumns.size())];
    AddEmitter(w, kStreetColumns.front(), y, Direction::Down, down.exitX, down.exitY);
    AddEmitter(w, kStreetColumns.back(), y, Direction::Up, up.exitX, up.exitY);
    ++k;
  }
}

int Main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-hightraffic OUTPUT\n");
    return 1;
  }
  auto w = std::make_unique<World>();
  LayRoads(*w);
  PlaceControls(*w, ManualClock());
  PlaceEmitters(*w);
  return SaveBuiltMap(*w, "make-hightraffic", argv[1]);
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) { return kv::Main(argc, argv); }
