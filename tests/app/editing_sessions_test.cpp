// Long random editing sessions through the whole frame loop: a scripted user
// chooses tools, draws and deletes roads, places, selects, re-targets and
// deletes emitters, places, switches and deletes lights and signs, answers
// dialogs, saves, opens and clears maps, and undoes and redoes, while the
// traffic runs. After every frame the world must hold together.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "mapfile/format.h"
#include "mapfile/mapfile.h"
#include "support/builders.h"
#include "support/temp_files.h"

namespace kv {
namespace {

using kvtest::ReadBytes;
using test::FrameDriver;

constexpr int kRoundTripEvery = 400;  // frames between save, load, save checks

bool ValidLaneCode(LaneCode code) {
  for (Direction d : {Direction::Down, Direction::Left, Direction::Right, Direction::Up})
    if (Admits(code, d)) return true;
  return false;
}

// The first broken rule of the world, or "" when it holds together. Marks and
// lane codes are counted rather than walked cell by cell: each road tile has
// its mark and four codes, and no other cell has any.
std::string Inconsistency(const World& w) {
  if (w.TileMapWidth < 0 || w.TileMapWidth > 100 || w.TileMapHeight < 0 || w.TileMapHeight > 100) return "bounds";
  constexpr int kTiles = TileGrid::kSide, kCells = CellGrid::kSide;
  std::vector<char> road(kTiles * kTiles), emitter(kTiles * kTiles), light(kCells * kCells);
  for (const Road& r : w.RoadList) {
    if (r.TileX < 0 || r.TileX > 99 || r.TileY < 0 || r.TileY > 99 || !IsRoadType(r.Type)) return "road record";
    if (w.TileMap.at(r.TileX, r.TileY) != 1) return "road without its TileMap mark";
    if (road[r.TileY * kTiles + r.TileX]++) return "two roads on one tile";
    for (int c = 0; c < 4; ++c)
      if (!ValidLaneCode(w.MoveMap.at(2 * r.TileX + c % 2, 2 * r.TileY + c / 2))) return "road without its lane codes";
  }
  const int32_t* marks = w.TileMap.data();
  if (std::count(marks, marks + kTiles * kTiles, 0) != kTiles * kTiles - w.RoadCount())
    return "TileMap mark without a road";
  const LaneCode* codes = w.MoveMap.data();
  if (std::count(codes, codes + kCells * kCells, LaneCode::None) != kCells * kCells - 4 * w.RoadCount())
    return "lane code off the roads";
  for (const Emitter& e : w.EmitterList) {
    if (e.TileX < 0 || e.TileX > 99 || e.TileY < 0 || e.TileY > 99 || !road[e.TileY * kTiles + e.TileX])
      return "emitter off the roads";
    if (emitter[e.TileY * kTiles + e.TileX]++) return "two emitters on one tile";
    if (!IsDirection(e.Direction)) return "emitter direction";
  }
  for (const TrafficLight& l : w.TrafficLightList) {
    if (!CellGrid::Inside(l.CellX, l.CellY)) return "light outside the grid";
    if (light[l.CellY * kCells + l.CellX]++) return "two lights on one cell";
    if (IsTrafficLight(l.Kind) ? !IsTrafficLight(l.State) : l.State != l.Kind || !IsLightState(l.Kind))
      return "light kind and state";
    if (w.ControlMap.at(l.CellX, l.CellY) != ControlValueOf(l.State)) return "ControlMap differs at a light";
  }
  for (const Car& car : w.CarList) {
    if (!car.Emitter) return "car without an emitter";
    const Emitter& e = *car.Emitter;
    const size_t n = static_cast<size_t>(e.RouteLength);
    if (e.RouteLength < 1 || e.RouteLength >= kRouteCapacity || car.RouteIndex < 0 || car.RouteIndex > e.RouteLength)
      return "car route index";
    if (e.RouteX[1] != e.TargetX || e.RouteY[1] != e.TargetY) return "car route misses its target";
    if (Cell(e.RouteX[n], e.RouteY[n]) != EmitterStartCell(e)) return "car route misses its start";
    for (size_t i = 1; i < n; ++i)
      if (std::abs(e.RouteX[i] - e.RouteX[i + 1]) + std::abs(e.RouteY[i] - e.RouteY[i + 1]) != 1)
        return "car route jumps";
  }
  return "";
}

// Map file bytes with the road types left out: DeleteRoad does not re-shape
// the neighbours, so a saved type may change when the map is placed again.
Bytes WithoutRoadTypes(Bytes bytes) {
  const int roads = static_cast<int16_t>(bytes[18] | (bytes[19] << 8));
  for (size_t i = 0; i < static_cast<size_t>(roads); ++i) bytes[24 + 6 * i] = bytes[25 + 6 * i] = 0;
  return bytes;
}

class EditingSession {
 public:
  EditingSession(uint32_t seed, bool startMap) : d_(seed), rng_(seed) {
    if (startMap) LoadMap(w_, d_.p, d_.p, d_.game->simClock(), std::string(KV_SOURCE_DIR) + "/hightraffic");
    kvtest::WriteBytes(dir_.File("garbage.kvl"), Bytes(40, 0x55));                      // not a map
    Bytes small = {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 50, 0, 40, 0, 0, 0, 0, 0, 3, 0};  // smaller bounds
    for (int v : {10, 10, 1, 11, 10, 1, 45, 30, 2, 1, 10, 10, 22, 21, 6, 1, 30, 20, 4})
      small.insert(small.end(), {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF)});
    kvtest::WriteBytes(dir_.File("small.kvl"), small);
    kvtest::WriteBytes(dir_.File("short.kvl"), Bytes(small.begin(), small.begin() + 10));  // bounds 0 x 0, nothing else
    std::filesystem::create_directory(dir_.File("folder.kvl"));
  }

  // Runs random actions for `frames` frames; false, with a failure
  // recorded, as soon as the world does not hold together.
  bool Run(int frames) {
    while (frames_ < frames && ok_) Act();
    return ok_;
  }
  int maxCars = 0, roundTrips = 0;

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Pick(1, 100) <= percent; }
  void Fail(const std::string& what) {
    ADD_FAILURE() << what << " after frame " << frames_ << "; last action: " << last_;
    ok_ = false;
  }

  void Frame() {
    if (!ok_) return;
    d_.Frame();
    ++frames_;
    maxCars = std::max(maxCars, w_.CarCount());
    if (std::string broken = Inconsistency(w_); !broken.empty()) return Fail(broken);
    if (frames_ % kRoundTripEvery == 0) CheckRoundTrip();
  }
  void Frames(int n) {
    for (int i = 0; i < n && ok_; ++i) Frame();
  }

  // Save, place into a fresh world, save again, and once more: the second
  // and third files are the same, and the first differs at most in types.
  void CheckRoundTrip() {
    std::optional<Bytes> files[3] = {SerializeMap(w_)};
    for (int i = 1; i < 3; ++i) {
      if (!files[i - 1] || !ParseMap(*files[i - 1]).ok()) return Fail("a saved map does not parse");
      auto again = test::NewWorld();
      PlaceMap(*again, ParseMap(*files[i - 1]).map, ManualClock{});
      files[i] = SerializeMap(*again);
    }
    if (files[1] != files[2]) return Fail("save, load, save is not stable");
    if (WithoutRoadTypes(*files[0]) != WithoutRoadTypes(*files[1])) return Fail("a loaded map saves other records");
    ++roundTrips;
  }

  // Notes the action and points at a world pixel, after resting the pointer
  // at the screen edges until it lies well inside the map area, as a user
  // scrolls there.
  void Go(const std::string& action, std::pair<int, int> at) {
    last_ = action + " at " + std::to_string(at.first) + "," + std::to_string(at.second) + " (frame " +
            std::to_string(frames_) + ")";
    at_ = at;
    for (int i = 0; i < 600 && ok_; ++i) {
      const int sx = at.first + w_.ViewX, sy = at.second + w_.ViewY;
      if (sx >= 48 && sx < 1024 - 48 && sy >= 48 && sy < 704 - 48) break;
      d_.PointAt(sx < 48 ? 0 : sx >= 1024 - 48 ? 1023 : 512, sy < 48 ? 0 : sy >= 704 - 48 ? 767 : 384);
      Frame();
    }
    d_.PointAt(at.first + w_.ViewX, at.second + w_.ViewY);
  }
  void Hold(int button, int frames) {
    d_.p.SetButton(button, true);
    Frames(frames);
    d_.p.SetButton(button, false);
    Frame();
  }
  void Click(int button = kLeftButton) {
    Hold(button, 1);
    d_.p.AdvanceMs(FrameDriver::kClickPauseMs);
  }
  void Key(int scanCode, int frames = 1) {
    d_.p.SetKey(scanCode, true);
    Frames(frames);
    d_.p.SetKey(scanCode, false);
  }
  void ChooseTool(int tool) {
    d_.PointAt(35 * tool - 15 + Pick(0, 32), 718 + Pick(0, 32));
    Click();
  }
  // Holds the left button from where Go pointed, moving up to `steps` times
  // by (dx, dy) with a jitter.
  void Drag(int steps, int dx, int dy, int jitter) {
    d_.p.SetButton(kLeftButton, true);
    Frame();
    for (int i = Pick(0, steps); i > 0 && ok_; --i) {
      at_.first += dx + Pick(-jitter, jitter), at_.second += dy + Pick(-jitter, jitter);
      d_.PointAt(at_.first + w_.ViewX, at_.second + w_.ViewY);
      Frame();
    }
    d_.p.SetButton(kLeftButton, false);
    Frame();
  }

  // A world pixel of a random record, preferring one on the screen so that
  // the session does not spend its frames scrolling; now and then anywhere.
  template <class T>
  std::pair<int, int> At(const RecordList<T>& list, int box) {
    if (list.empty() || Chance(15)) return {Pick(0, 1023) - w_.ViewX, Pick(0, 704) - w_.ViewY};
    std::pair<int, int> at;
    for (int tries = 0; tries < 6; ++tries) {
      const T& r = *std::next(list.begin(), Pick(0, static_cast<int>(list.size()) - 1));
      if constexpr (std::is_same_v<T, Car>)
        at = {static_cast<int>(r.PosX), static_cast<int>(r.PosY)};
      else
        at = {r.PixelX, r.PixelY};
      at.first += Pick(0, box), at.second += Pick(0, box);
      const int sx = at.first + w_.ViewX, sy = at.second + w_.ViewY;
      if (sx >= 0 && sx < 1024 && sy >= 0 && sy <= 704) break;
    }
    return at;
  }
  std::pair<int, int> AtRoad() { return At(w_.RoadList, 31); }

  // What a user does in a dialog: move sliders and type, then OK, cancel or
  // delete; or leave it to the platform, which cancels.
  std::vector<DialogStep> DialogScript() {
    std::vector<DialogStep> steps;
    for (int i = Pick(0, 3); i > 0; --i) steps.push_back(test::Slide(Pick(0, 5), Pick(-20000, 70000)));
    if (Chance(30)) steps.insert(steps.end(), {test::Type(std::to_string(Pick(-5000, 40000))), [](auto&, auto&) {}});
    const DialogStep endings[] = {test::PressButton("OK"), test::PressButton("Abbrechen"),
                                  [](HeadlessPlatform& p, HeadlessWindow& win) {
                                    for (const HeadlessControl& c : win.controls)
                                      if (c.text.find("löschen") != std::string::npos)
                                        return p.ClickButton(win, c.text);
                                  }};
    if (const int ending = Pick(0, 3); ending < 3) steps.push_back(endings[ending]);
    return steps;
  }

  // S answered with a good path, a cancel, or a target that refuses every save.
  void Save() {
    const int kind = Pick(0, 9);
    const std::string refused[] = {"", dir_.File("folder.kvl"), "/dev/full", dir_.File("missing/dir.kvl")};
    const std::string path = kind < 6 ? dir_.File("map" + std::to_string(kind % 3) + ".kvl") : refused[kind - 6];
    last_ = "S, answered '" + path + "'";
    d_.p.QueueRequesterAnswer(path);
    const size_t before = d_.p.Messages().size();
    Key(Scan::S);
    if (!ok_) return;
    // With no button held the editor changed nothing before the key was served.
    if (kind < 6 && ReadBytes(path) != SerializeMap(w_)) return Fail("the saved file does not hold the map");
    if (kind < 6) saved_.push_back(path);
    if (d_.p.Messages().size() - before != (kind < 7 ? 0u : 1u)) return Fail("the save was not reported as it should");
  }

  // O answered with a saved map, another good one, a cancel, or a file that is refused.
  void Open() {
    const int kind = Pick(saved_.empty() ? 5 : 0, 10);
    const std::string others[] = {dir_.File("small.kvl"),   dir_.File("short.kvl"),   "",
                                  dir_.File("garbage.kvl"), dir_.File("nothing.kvl"), dir_.File("folder.kvl")};
    const std::string path =
        kind < 5 ? saved_[static_cast<size_t>(Pick(0, static_cast<int>(saved_.size()) - 1))] : others[kind - 5];
    last_ = "O, answered '" + path + "'";
    d_.p.QueueRequesterAnswer(path);
    const size_t before = d_.p.Messages().size();
    Key(Scan::O);
    if (!ok_) return;
    if (d_.p.Messages().size() - before != (kind < 8 ? 0u : 1u)) return Fail("opening was not reported as it should");
    if (kind >= 5) return;
    Bytes now = WithoutRoadTypes(*SerializeMap(w_)), file = WithoutRoadTypes(ReadBytes(path));
    // A plain file's lights take the phase length last confirmed in a dialog; a settings block keeps it.
    if (now.size() > file.size() && !ParseMap(file).map.hasSettings) now.resize(file.size());
    if (now != file) return Fail("the map is not the file opened");
  }

  void Act() {
    const int roll = Pick(0, 999);
    d_.p.ReleaseAllInput();
    if (roll < 220) {
      const int dx = Pick(-1, 1), dy = dx == 0 ? (Chance(50) ? 1 : -1) : 0;
      ChooseTool(Pick(1, 11));
      Go("road drawn", AtRoad());
      Drag(10, 32 * dx, 32 * dy, 3);
    } else if (roll < 300) {
      ChooseTool(Pick(12, 15));
      Go("emitter placed", AtRoad());
      Click();
    } else if (roll < 400) {  // an emitter, then a target on a road or, now and then, on grass
      Go("emitter selected", At(w_.EmitterList, 32));
      Click();
      Go("target chosen", AtRoad());
      Click();
    } else if (roll < 480) {
      ChooseTool(Pick(16, 19));
      Go("lights placed", AtRoad());
      Drag(4, 0, 0, 16);
    } else if (roll < 540) {
      Go("right button", Chance(25)   ? At(w_.EmitterList, 32)
                         : Chance(33) ? At(w_.TrafficLightList, 16)
                         : Chance(50) ? At(w_.CarList, 15)
                                      : AtRoad());
      Hold(kRightButton, Pick(1, 3));
    } else if (roll < 590) {
      Go("BackSpace", Chance(50) ? At(w_.EmitterList, 32) : AtRoad());
      Key(Scan::BackSpace, Pick(1, 3));
    } else if (roll < 630) {
      Go("middle button", At(w_.TrafficLightList, 16));
      Hold(kMiddleButton, Pick(1, 4));
    } else if (roll < 710) {
      Go("double click", Chance(50) ? At(w_.EmitterList, 32) : At(w_.TrafficLightList, 16));
      d_.p.QueueDialog(DialogScript());
      Hold(kLeftButton, 1), Hold(kLeftButton, 1);
      d_.p.AdvanceMs(FrameDriver::kClickPauseMs);
      if (Chance(50)) Click(kRightButton);  // no selection left behind: the next left click would re-target
    } else if (roll < 750) {
      Save();
    } else if (roll < 780) {
      Open();
    } else if (roll < 783) {
      last_ = "D";
      Key(Scan::D);
      if (ok_ && !(w_.RoadList.empty() && w_.EmitterList.empty() && w_.TrafficLightList.empty() && w_.CarList.empty()))
        Fail("D left something on the map");
    } else if (roll < 810) {
      ChooseTool(Pick(1, 19));
    } else if (roll < 840) {  // a long pause, as in a requester: timers see it all at once
      d_.p.AdvanceMs(static_cast<uint32_t>(Pick(1000, 30000)));
      Frame();
    } else if (roll < 900) {
      last_ = "undo or redo";
      d_.p.SetKey(Scan::LeftCtrl, true);
      Key(Chance(70) ? Scan::Z : Scan::Y, Pick(1, 2));
      d_.p.SetKey(Scan::LeftCtrl, false);
    } else {
      d_.PointAt(Pick(0, 1023), Pick(0, 767));
      Frames(Pick(5, 40));
    }
  }

  FrameDriver d_;
  World& w_ = d_.w;
  std::mt19937 rng_;
  kvtest::TempDir dir_;
  int frames_ = 0;
  bool ok_ = true;
  std::vector<std::string> saved_;
  std::string last_;
  std::pair<int, int> at_;
};

TEST(EditingSessions, RandomUserInputKeepsTheWorldConsistent) {
  constexpr int kFrames = 3000;
  for (auto [seed, startMap] : {std::pair{1u, true}, {2u, false}, {3u, false}}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    auto session = std::make_unique<EditingSession>(seed, startMap);
    ASSERT_TRUE(session->Run(kFrames));
    EXPECT_GE(session->roundTrips, kFrames / kRoundTripEvery);
    if (startMap) {
      EXPECT_GT(session->maxCars, 5) << "the sessions must reach the traffic, or they test little";
    }
  }
}

}  // namespace
}  // namespace kv
