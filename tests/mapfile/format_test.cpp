// The map format as bytes: what SerializeMap writes, what ParseMap reads or
// refuses and why, and what PlaceMap makes of it.
#include "mapfile/format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <tuple>
#include <vector>

#include "support/builders.h"

namespace kv {
namespace {

// Map file bytes: the signature, then little-endian 16-bit values.
Bytes MapBytes(std::initializer_list<int> values) {
  Bytes bytes;
  for (int n = 1; n <= 10; ++n) bytes.push_back(static_cast<uint8_t>(2 * n - 1));
  for (int v : values)
    bytes.insert(bytes.end(), {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF)});
  return bytes;
}

std::vector<int> Counts(const World& w) { return {w.RoadCount(), w.EmitterCount(), w.LightCount(), w.CarCount()}; }

// A map that placing must replace whole, with marks a stale grid would keep.
void FillWithOldMap(World& w) {
  test::RoadRow(w, 40, 40, 42);
  test::PlaceEmitter(w, 40, 40, Direction::Right, 85, 81);
  AddTrafficLight(w, ManualClock{}, 90, 90, LightState::Red);
  test::ParkedCar(w, {80, 81});
  w.TileMap.at(100, 100) = 1;
  w.ControlMap.at(150, 150) = 9;
  w.ViewX = -300;
}

TEST(MapFormat, SerializedBytesFollowTheFormat) {
  auto w = test::NewWorld();
  EXPECT_EQ(SerializeMap(*w), MapBytes({100, 100, 0, 0, 0, 0, 0}));  // 24 bytes
  w->ViewX = -64, w->ViewY = 32;
  AddRoad(*w, 5, 7, RoadType::StraightWE);
  EXPECT_EQ(SerializeMap(*w),
            (Bytes{0x01, 0x03, 0x05, 0x07, 0x09, 0x0B, 0x0D, 0x0F, 0x11, 0x13, 0x64, 0x00, 0x64, 0x00, 0xC0,
                   0xFF, 0x20, 0x00, 0x01, 0x00, 0x05, 0x00, 0x07, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));
  w->TileMapWidth = 60, w->TileMapHeight = 70, w->ViewX = 70000, w->ViewY = -40000;  // only the low 16 bits are stored
  AddEmitter(*w, 5, 7, Direction::Right, 33, 21);                                    // tile, target, direction
  AddTrafficLight(*w, ManualClock{}, 12, 13, LightState::Red);
  const Bytes three = MapBytes({60, 70, 0x1170, 0x63C0, 1, 5, 7, 1, 1, 5, 7, 33, 21, 6, 1, 12, 13, 4});
  EXPECT_EQ(three.size(), 46u);
  EXPECT_EQ(SerializeMap(*w), three);
  const ParsedMap back = ParseMap(three);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ((std::vector<int>{back.map.width, back.map.height, back.map.viewX, back.map.viewY}),
            (std::vector<int>{60, 70, 4464, 25536}));
}

TEST(MapFormat, ListsBeyondA16BitCountAreNotSerialized) {
  auto w = test::NewWorld();
  for (int i = 0; i < kMaxSectionCount; ++i)
    test::PutLight(*w, {i % 201, i / 201}, LightState::Yield, kDefaultLightInterval, 0);
  const std::optional<Bytes> most = SerializeMap(*w);
  ASSERT_TRUE(most.has_value());
  ASSERT_EQ(most->size(), 24u + 6 * 32767);
  EXPECT_EQ(std::pair((*most)[22], (*most)[23]), std::pair(uint8_t{0xFF}, uint8_t{0x7F}));
  test::PutLight(*w, {0, 200}, LightState::Yield, 0, 0);
  EXPECT_FALSE(SerializeMap(*w).has_value());
}

TEST(MapFormat, RefusedBytesGiveTheirReasonAndNoContents) {
  Bytes wrongFirst = MapBytes({100, 100, 0, 0, 0, 0, 0}), wrongLast = wrongFirst;
  wrongFirst[0] = 0x02;
  wrongLast[9] = 0x12;
  const std::pair<Bytes, MapRefusal> cases[] = {
      {wrongFirst, MapRefusal::BadSignature},
      {wrongLast, MapRefusal::BadSignature},
      {{}, MapRefusal::BadSignature},
      {Bytes(wrongFirst.begin() + 1, wrongFirst.begin() + 10), MapRefusal::BadSignature},
      {MapBytes({101, 100, 0, 0, 1, 5, 5, 1, 0, 0}), MapRefusal::BoundsOutOfRange},
      {MapBytes({100, 101, 0, 0, 0, 0, 0}), MapRefusal::BoundsOutOfRange},
      {MapBytes({-1, 50, 0, 0, 0, 0, 0}), MapRefusal::BoundsOutOfRange},
      {MapBytes({50, -1, 0, 0, 0, 0, 0}), MapRefusal::BoundsOutOfRange},
  };
  for (const auto& [bytes, refusal] : cases) {
    const ParsedMap parsed = ParseMap(bytes);
    EXPECT_EQ(parsed.refusal, refusal) << bytes.size() << " bytes";
    EXPECT_FALSE(parsed.ok());
    EXPECT_TRUE(parsed.map.roads.empty());
  }
  // A count below 1 is an empty section, whatever follows.
  const ParsedMap negative = ParseMap(MapBytes({0, 100, 0, 0, -3, 1, 5, 7, 33, 21, 6}));
  ASSERT_TRUE(negative.ok());
  EXPECT_TRUE(negative.map.roads.empty());
  ASSERT_EQ(negative.map.emitters.size(), 1u);
  EXPECT_EQ(negative.map.emitters[0].direction, Direction::Right);
}

TEST(MapFormat, PlacingReplacesTheWholeMapAndSkipsWhatPlacingRefuses) {
  auto w = test::NewWorld();
  FillWithOldMap(*w);
  const ParsedMap mixed = ParseMap(MapBytes({50, 50, 32, -32,
                                             6,                  // roads
                                             10, 10, 1,          // placed
                                             10, 10, 2,          // second record on the same tile
                                             13, 10, 12,         // no such type
                                             51, 10, 1,          // beyond the file's bounds
                                             -1, 3, 1,           //
                                             11, 10, 1,          // placed, after the others
                                             4,                  // emitters
                                             10, 10, 22, 21, 5,  // no such direction
                                             20, 20, 0, 0, 6,    // no road
                                             10, 10, 23, 21, 6,  // placed, with its route
                                             10, 10, 0, 0, 4,    // tile taken
                                             5,                  // lights
                                             30, 30, 7,          // no such kind
                                             31, 30, 0,          //
                                             201, 0, 4,          // outside the grid
                                             24, 21, 4,          // placed
                                             24, 21, 3}));       // cell taken
  ASSERT_TRUE(mixed.ok());
  PlaceMap(*w, mixed.map, ManualClock{777});
  ASSERT_EQ(Counts(*w), (std::vector<int>{2, 1, 1, 0}));
  EXPECT_EQ((std::vector<int>{w->TileMapWidth, w->TileMapHeight, w->ViewX, w->ViewY}),
            (std::vector<int>{50, 50, 32, -32}));
  EXPECT_EQ(w->TileMap.at(40, 40) + w->TileMap.at(100, 100) + w->ControlMap.at(90, 90) + w->ControlMap.at(150, 150), 0);
  EXPECT_EQ(w->MoveMap.at(80, 81), LaneCode::None);
  EXPECT_EQ(w->RoadList.begin()->Type, RoadType::StraightWE);
  const Emitter& e = *w->EmitterList.begin();
  EXPECT_EQ(e.RouteLength, 4) << "searched once all roads lie";
  const TrafficLight& red = *w->TrafficLightList.begin();
  EXPECT_EQ((std::vector<int>{static_cast<int>(red.Kind), static_cast<int>(red.State), red.LastSwitch}),
            (std::vector<int>{4, 4, 777}));
  EXPECT_EQ(w->ControlMap.at(24, 21), control::kStop);
  EXPECT_EQ(SerializeMap(*w), MapBytes({50, 50, 32, -32, 2, 10, 10, 1, 11, 10, 1, 1, 10, 10, 23, 21, 6, 1, 24, 21, 4}));
}

// CRC-32 of the first n bytes, to forge blocks whose checksum holds.
uint32_t Crc(const Bytes& bytes, size_t n) {
  uint32_t crc = ~0u;
  for (size_t i = 0; i < n; ++i)
    for (int bit = 0, b = bytes[i]; bit < 8; ++bit, b >>= 1) crc = (crc >> 1) ^ (((crc ^ b) & 1) ? 0xEDB88320u : 0);
  return ~crc;
}

// Settings travel in a block after the lights; a map without any is the plain
// format to the byte, and a block that does not belong to the map before it
// is ignored whole.
TEST(MapFormat, SettingsBlockKeepsSettingsAndOnlyTheMapItBelongsToTakesThem) {
  auto w = test::NewWorld();
  test::RoadRow(*w, 5, 3, 6);
  AddEmitter(*w, 3, 5, Direction::Right, 12, 11);
  AddEmitter(*w, 4, 5, Direction::Right, 12, 11);
  AddTrafficLight(*w, ManualClock{}, 14, 11, LightState::Red);
  const Bytes plain = *SerializeMap(*w);
  ASSERT_EQ(plain.size(), 24u + 6 * 4 + 10 * 2 + 6);
  w->TrafficLightList.Last()->Interval = 20000;
  EXPECT_EQ(SerializeMap(*w)->size(), plain.size() + SettingsBlockBytes(2, 1));
  ApplySettings(*w->EmitterList.Last(), {9000, 0, 0.3f, 6.0f, 5, 2});
  const Bytes full = *SerializeMap(*w);
  ASSERT_EQ(full.size(), plain.size() + SettingsBlockBytes(2, 1));
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), full.begin()));
  MapContents read = ParseMap(full).map;
  ASSERT_TRUE(read.hasSettings);
  const EmitterPlacement refused = {50, 50, 0, 0, Direction::Right, {60000, 1, 6.0f, 6.0f, 1, 1}};
  read.emitters.insert(read.emitters.begin(), refused);
  auto again = test::NewWorld();
  PlaceMap(*again, read, ManualClock{});
  EXPECT_EQ(SerializeMap(*again), full);

  const size_t at = plain.size();
  const std::tuple<size_t, uint8_t, bool> damages[] = {
      // offset, bits flipped, checksum forged to match
      {14, 1, false},                                        // the view: an old tail of an otherwise equal map
      {full.size() - 1, 0x80, false},                        // the checksum
      {at, 1, true},          {at + 4, 2, true},             // tag, version
      {at + 6, 1, true},      {at + 8, 1, true},  {at + 10, 1, true},  // road, emitter and light counts
      {at + 12 + 24 + 16, 0x10, true},                       // a colour range beyond 17
      {at + 12 + 48 + 1, 0x80, true},                        // a phase length beyond 30 s
  };
  for (auto [offset, flip, forged] : damages) {
    SCOPED_TRACE(offset);
    Bytes bytes = full;
    bytes[offset] ^= flip;
    const uint32_t crc = Crc(bytes, bytes.size() - 4);
    for (int i = 0; forged && i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<uint8_t>(crc >> 8 * i);
    const ParsedMap parsed = ParseMap(bytes);
    ASSERT_TRUE(parsed.ok());
    EXPECT_FALSE(parsed.map.hasSettings);
    auto placed = test::NewWorld();
    PlaceMap(*placed, parsed.map, ManualClock{});
    EXPECT_EQ(Counts(*placed), (std::vector<int>{4, 2, 1, 0}));
    EXPECT_EQ(SerializeMap(*placed)->size(), plain.size()) << "settings as a plain map loads them";
  }
  EXPECT_FALSE(ParseMap(std::span(full).first(full.size() - 1)).map.hasSettings);
}

TEST(MapFormat, TruncatedBytesHoldTheRecordsWhoseValuesAllBegan) {
  auto source = test::NewWorld();
  AddRoad(*source, 5, 7, RoadType::StraightWE);
  AddRoad(*source, 6, 7, RoadType::StraightWE);
  AddEmitter(*source, 5, 7, Direction::Right, 13, 15);
  AddTrafficLight(*source, ManualClock{}, 12, 13, LightState::Red);
  AddTrafficLight(*source, ManualClock{}, 14, 13, LightState::Yield);
  const Bytes full = *SerializeMap(*source);
  ASSERT_EQ(full.size(), 58u);
  for (size_t length = 0; length <= full.size(); ++length) {
    SCOPED_TRACE(length);
    const ParsedMap parsed = ParseMap(std::span(full).first(length));
    ASSERT_EQ(parsed.ok(), length >= 10);
    if (!parsed.ok()) continue;
    auto w = test::NewWorld();
    FillWithOldMap(*w);
    PlaceMap(*w, parsed.map, ManualClock{});
    // A record counts once the low byte of its last value is there.
    const int n = static_cast<int>(length);
    EXPECT_EQ(Counts(*w), (std::vector<int>{(n >= 25) + (n >= 31), n >= 43, (n >= 51) + (n >= 57), 0}));
    if (length == 10) {
      EXPECT_EQ(std::pair(w->TileMapWidth, w->ViewX), std::pair(0, 0));
    }
  }
}

}  // namespace
}  // namespace kv
