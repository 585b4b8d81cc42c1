// Long random editing sessions through the whole frame loop: a scripted user
// chooses tools, draws and deletes roads, places, selects, re-targets and
// deletes emitters, places, switches and deletes lights and signs, answers
// dialogs, and saves, opens and clears maps, while the traffic runs. After
// every frame the world must be consistent.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mapfile/mapfile.h"
#include "support/frame_driver.h"
#include "support/temp_files.h"

namespace kv {
namespace {

using kvtest::Bytes;
using kvtest::ReadBytes;
using kvtest::TempDir;
using kvtest::WriteBytes;
using testing::FrameDriver;

constexpr int kRoundTripEvery = 400;  // frames between save/load/save checks
constexpr int kMaxFramesOffTheGrid = 8;

bool ValidLaneCode(int32_t code) {
  switch (code) {
    case 0: case 2: case 4: case 5: case 6: case 8: case 24: case 26: case 48: case 68: return true;
    default: return false;
  }
}

// The first broken rule of the world, or "" when it holds together.
std::string Inconsistency(const World& w) {
  std::ostringstream out;
  if (static_cast<size_t>(w.RoadCount) != w.RoadList.size()) out << "RoadCount " << w.RoadCount << " for " << w.RoadList.size() << " roads";
  else if (static_cast<size_t>(w.EmitterCount) != w.EmitterList.size()) out << "EmitterCount " << w.EmitterCount << " for " << w.EmitterList.size() << " emitters";
  else if (static_cast<size_t>(w.LightCount) != w.TrafficLightList.size()) out << "LightCount " << w.LightCount << " for " << w.TrafficLightList.size() << " lights";
  else if (static_cast<size_t>(w.CarCount) != w.CarList.size()) out << "CarCount " << w.CarCount << " for " << w.CarList.size() << " cars";
  else if (w.TileMapWidth < 0 || w.TileMapWidth > 100 || w.TileMapHeight < 0 || w.TileMapHeight > 100) out << "bounds " << w.TileMapWidth << "x" << w.TileMapHeight;
  if (!out.str().empty()) return out.str();

  constexpr int kTiles = TileGrid::kMax + 1, kCells = CellGrid::kMax + 1;
  std::vector<char> road(kTiles * kTiles, 0), emitter(kTiles * kTiles, 0), light(kCells * kCells, 0);
  for (const Road& r : w.RoadList) {
    if (r.TileX < 0 || r.TileX > 99 || r.TileY < 0 || r.TileY > 99) return "road outside the map";
    if (r.Type < 1 || r.Type > 11) return "road of type " + std::to_string(r.Type);
    if (w.TileMap.at(r.TileX, r.TileY) != 1) return "road without its TileMap mark";
    if (road[r.TileY * kTiles + r.TileX]++) return "two roads on one tile";
  }
  for (int y = 0; y < kTiles; ++y)
    for (int x = 0; x < kTiles; ++x) {
      const int32_t mark = w.TileMap.at(x, y);
      if (mark != 0 && mark != 1) return "TileMap value " + std::to_string(mark);
      if (mark == 1 && !road[y * kTiles + x])
        return "TileMap mark without a road at " + std::to_string(x) + "," + std::to_string(y);
    }
  for (int y = 0; y < kCells; ++y)
    for (int x = 0; x < kCells; ++x) {
      const int32_t code = w.MoveMap.at(x, y);
      if (!ValidLaneCode(code)) return "lane code " + std::to_string(code);
      if (code != 0 && !road[(y / 2) * kTiles + x / 2]) return "lane code off the roads";
    }
  for (const Emitter& e : w.EmitterList) {
    if (e.TileX < 0 || e.TileX > 99 || e.TileY < 0 || e.TileY > 99 || !road[e.TileY * kTiles + e.TileX])
      return "emitter off the roads";
    if (emitter[e.TileY * kTiles + e.TileX]++) return "two emitters on one tile";
    if (e.Direction != 2 && e.Direction != 4 && e.Direction != 6 && e.Direction != 8) return "emitter direction";
  }
  for (const TrafficLight& l : w.TrafficLightList) {
    if (!CellGrid::Inside(l.CellX, l.CellY)) return "light outside the grid";
    if (light[l.CellY * kCells + l.CellX]++) return "two lights on one cell";
    const bool sign = l.Kind == 1 || l.Kind == 2;
    if (sign ? l.State != l.Kind : (l.Kind != 3 && l.Kind != 4) || (l.State != 3 && l.State != 4))
      return "light kind " + std::to_string(l.Kind) + " in state " + std::to_string(l.State);
    if (w.ControlMap.at(l.CellX, l.CellY) != ControlValueOfState(l.State)) return "ControlMap differs at a light";
  }
  for (const Car& car : w.CarList) {
    if (!car.Emitter) return "car without an emitter";
    const Emitter& e = *car.Emitter;
    if (e.RouteLength < 0 || e.RouteLength >= kRouteCapacity) return "route length " + std::to_string(e.RouteLength);
    if (car.RouteIndex < 0 || car.RouteIndex > e.RouteLength) return "RouteIndex beyond the route";
    for (int i = 1; i <= e.RouteLength; ++i)
      if (!CellGrid::Inside(e.RouteX[i], e.RouteY[i])) return "route point outside the grid";
  }
  return "";
}

// Map file bytes with the road types left out: DeleteRoad does not re-shape
// the neighbours, so a saved type may change when the map is loaded again.
Bytes WithoutRoadTypes(Bytes bytes) {
  if (bytes.size() < 20) return bytes;
  const int roads = static_cast<int16_t>(bytes[18] | (bytes[19] << 8));
  for (int i = 0; i < roads; ++i) {
    const size_t type = 20 + 6 * static_cast<size_t>(i) + 4;
    if (type + 1 < bytes.size()) bytes[type] = bytes[type + 1] = 0;
  }
  return bytes;
}

// Contents of a regular file; empty for anything else.
Bytes FileBytes(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) ? ReadBytes(path) : Bytes{};
}

class EditingSession {
 public:
  EditingSession(uint32_t seed, bool startMap) : rng_(seed) {
    d_.p.Seed(seed);
    if (startMap) LoadMap(w_, d_.p, std::string(KV_SOURCE_DIR) + "/hightraffic");
    // A file that is not a map, and maps with smaller bounds.
    WriteBytes(dir_.File("garbage.kvl"), Bytes(40, 0x55));
    Bytes small = {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 50, 0, 40, 0, 0, 0, 0, 0, 3, 0};
    for (int v : {10, 10, 1, 11, 10, 1, 45, 30, 2, 1, 10, 10, 22, 21, 6, 1, 30, 20, 4})
      small.insert(small.end(), {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF)});
    WriteBytes(dir_.File("small.kvl"), small);
    // Cut off after the signature: bounds 0 x 0 and nothing on the map.
    WriteBytes(dir_.File("short.kvl"), Bytes(small.begin(), small.begin() + 10));
    std::filesystem::create_directory(dir_.File("folder.kvl"));
  }

  // Runs random actions until `frames` frames have passed; false with a
  // failure recorded as soon as the world is inconsistent.
  bool Run(int frames) {
    while (frames_ < frames && ok_) Act();
    return ok_;
  }

  int CarsSeen() const { return maxCars_; }
  int SavesChecked() const { return saves_; }

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Pick(1, 100) <= percent; }

  void Note(const std::string& action) {
    history_.push_back("frame " + std::to_string(frames_) + ": " + action);
    if (history_.size() > 12) history_.pop_front();
  }

  void Fail(const std::string& what) {
    std::string trail;
    for (const std::string& h : history_) trail += "\n  " + h;
    ADD_FAILURE() << what << " after frame " << frames_ << "; last actions:" << trail;
    ok_ = false;
  }

  void Frame() {
    if (!ok_) return;
    d_.Frame();
    ++frames_;
    if (w_.CarCount > maxCars_) maxCars_ = w_.CarCount;
    if (std::string broken = Inconsistency(w_); !broken.empty()) return Fail(broken);
    CheckCarsOffTheGrid();
    if (frames_ % kRoundTripEvery == 0) CheckRoundTrip();
  }

  // A car that drives off the grid is removed at its next step; until then,
  // and while other cars leave before it, it stands outside.
  void CheckCarsOffTheGrid() {
    std::map<uint64_t, int> stillOutside;
    for (const Car& car : w_.CarList) {
      if (CellGrid::Inside(car.CellX, car.CellY) && car.CellX < CellGrid::kMax && car.CellY < CellGrid::kMax)
        continue;
      const int frames = outside_[car.Serial] + 1;
      if (frames > kMaxFramesOffTheGrid) return Fail("a car stays off the grid");
      stillOutside[car.Serial] = frames;
    }
    outside_.swap(stillOutside);
  }

  void Frames(int n) {
    for (int i = 0; i < n && ok_; ++i) Frame();
  }

  // Save, load into a fresh world, save again, and once more: the second
  // and third files are the same, and the first differs at most in types.
  void CheckRoundTrip() {
    HeadlessPlatform quiet{DrawMode::CountOnly};
    const std::string a = dir_.File("a.kvl"), b = dir_.File("b.kvl"), c = dir_.File("c.kvl");
    if (SaveMap(w_, quiet, a) != SaveResult::Saved) return Fail("saving failed");
    auto again = std::make_unique<World>();
    if (LoadMap(*again, quiet, a) != LoadResult::Loaded) return Fail("a saved map did not load");
    SaveMap(*again, quiet, b);
    auto third = std::make_unique<World>();
    LoadMap(*third, quiet, b);
    SaveMap(*third, quiet, c);
    if (ReadBytes(b) != ReadBytes(c)) return Fail("save, load, save is not stable");
    if (WithoutRoadTypes(ReadBytes(a)) != WithoutRoadTypes(ReadBytes(b)))
      return Fail("a loaded map saves other records than were saved");
    ++saves_;
  }

  // Screen position of a world pixel.
  int ScreenX(int worldX) const { return worldX + w_.ViewX; }
  int ScreenY(int worldY) const { return worldY + w_.ViewY; }
  static bool OnMapArea(int x, int y) { return x >= 0 && x < 1024 && y >= 0 && y <= 704; }

  // Rests the pointer at the screen edges until the world pixel is on the
  // map area, as a user scrolls there (bounded: the view moves a tile per
  // scroll step).
  void ScrollTo(int worldX, int worldY) {
    for (int i = 0; i < 600 && ok_; ++i) {
      const int sx = ScreenX(worldX), sy = ScreenY(worldY);
      if (sx >= 48 && sx < 1024 - 48 && sy >= 48 && sy < 704 - 48) return;
      const int px = sx < 48 ? 0 : sx >= 1024 - 48 ? 1023 : 512;
      const int py = sy < 48 ? 0 : sy >= 704 - 48 ? 767 : 384;
      d_.PointAt(px, py);
      Frame();
    }
  }

  void PointAtWorld(int worldX, int worldY) {
    ScrollTo(worldX, worldY);
    d_.PointAt(ScreenX(worldX), ScreenY(worldY));
  }

  void Press(int button) {
    d_.p.SetButton(button, true);
    Frame();
  }
  void Release(int button) {
    d_.p.SetButton(button, false);
    Frame();
  }
  void Click(int button = kLeftButton) {
    Press(button);
    Release(button);
    d_.p.AdvanceMs(FrameDriver::kClickPauseMs);
  }
  void Key(int scanCode) {
    d_.p.SetKey(scanCode, true);
    Frame();
    d_.p.SetKey(scanCode, false);
  }

  void ChooseTool(int tool) {
    d_.PointAt(35 * tool - 15 + Pick(0, 32), 718 + Pick(0, 32));
    Click();
  }

  // Somewhere to act on: a road tile, an emitter, a light, a car, or any
  // pixel of the map; as a world pixel.
  // A random record of the list, preferring one on the screen, so that
  // the session does not spend its frames scrolling.
  template <class T, class PixelOf>
  std::pair<int, int> PickFrom(const RecordList<T>& list, PixelOf pixelOf) {
    std::pair<int, int> at{};
    for (int tries = 0; tries < 6; ++tries) {
      auto it = list.begin();
      std::advance(it, Pick(0, static_cast<int>(list.size()) - 1));
      at = pixelOf(*it);
      if (OnMapArea(ScreenX(at.first), ScreenY(at.second))) break;
    }
    return at;
  }
  std::pair<int, int> RandomRoadPixel() {
    // Now and then anywhere on the screen (grass, the map's edge, beyond it).
    if (w_.RoadList.empty() || Chance(15)) return {Pick(0, 1023) - w_.ViewX, Pick(0, 704) - w_.ViewY};
    return PickFrom(w_.RoadList, [&](const Road& r) {
      return std::pair{r.PixelX + Pick(0, 31), r.PixelY + Pick(0, 31)};
    });
  }
  std::pair<int, int> RandomEmitterPixel() {
    if (w_.EmitterList.empty()) return RandomRoadPixel();
    return PickFrom(w_.EmitterList, [&](const Emitter& e) {
      return std::pair{e.PixelX + Pick(0, 32), e.PixelY + Pick(0, 32)};
    });
  }
  std::pair<int, int> RandomLightPixel() {
    if (w_.TrafficLightList.empty()) return RandomRoadPixel();
    return PickFrom(w_.TrafficLightList, [&](const TrafficLight& l) {
      return std::pair{l.PixelX + Pick(0, 16), l.PixelY + Pick(0, 16)};
    });
  }
  std::pair<int, int> RandomCarPixel() {
    if (w_.CarList.empty()) return RandomRoadPixel();
    return PickFrom(w_.CarList, [&](const Car& c) {
      return std::pair{static_cast<int>(c.PosX) + Pick(0, 15), static_cast<int>(c.PosY) + Pick(0, 15)};
    });
  }
  std::pair<int, int> RandomThing() {
    switch (Pick(0, 3)) {
      case 0: return RandomEmitterPixel();
      case 1: return RandomLightPixel();
      case 2: return RandomCarPixel();
      default: return RandomRoadPixel();
    }
  }

  void DrawRoad() {
    const int tool = Pick(1, 11);
    ChooseTool(tool);
    auto [x, y] = RandomRoadPixel();
    PointAtWorld(x, y);
    Note("road tool " + std::to_string(tool) + " dragged from " + std::to_string(x / 32) + "," + std::to_string(y / 32));
    Press(kLeftButton);
    const int dx = Pick(-1, 1), dy = dx == 0 ? (Chance(50) ? 1 : -1) : 0;
    for (int i = Pick(1, 10); i > 0 && ok_; --i) {
      x += 32 * dx + Pick(-3, 3);
      y += 32 * dy + Pick(-3, 3);
      d_.PointAt(ScreenX(x), ScreenY(y));
      Frame();
    }
    Release(kLeftButton);
  }

  void PlaceEmitter() {
    ChooseTool(Pick(12, 15));
    auto [x, y] = RandomRoadPixel();
    PointAtWorld(x, y);
    Note("emitter at " + std::to_string(x / 32) + "," + std::to_string(y / 32));
    Click();
  }

  // Click an emitter, then a lane cell of a road (or, now and then, grass).
  void Retarget() {
    auto [ex, ey] = RandomEmitterPixel();
    PointAtWorld(ex, ey);
    Click();
    auto [tx, ty] = RandomRoadPixel();
    PointAtWorld(tx, ty);
    Note("target " + std::to_string(tx / 16) + "," + std::to_string(ty / 16) + " for the emitter at " +
         std::to_string(ex / 32) + "," + std::to_string(ey / 32));
    Click();
  }

  void PlaceLights() {
    const int tool = Pick(16, 19);
    ChooseTool(tool);
    auto [x, y] = RandomRoadPixel();
    PointAtWorld(x, y);
    Note("light tool " + std::to_string(tool) + " at cell " + std::to_string(x / 16) + "," + std::to_string(y / 16));
    Press(kLeftButton);
    for (int i = Pick(0, 4); i > 0 && ok_; --i) {
      x += Pick(-16, 16);
      y += Pick(-16, 16);
      d_.PointAt(ScreenX(x), ScreenY(y));
      Frame();
    }
    Release(kLeftButton);
  }

  void RightClick() {
    auto [x, y] = RandomThing();
    PointAtWorld(x, y);
    Note("right button at " + std::to_string(x) + "," + std::to_string(y));
    Press(kRightButton);
    Frames(Pick(0, 2));
    Release(kRightButton);
  }

  void BackSpace() {
    auto [x, y] = Chance(50) ? RandomEmitterPixel() : RandomRoadPixel();
    PointAtWorld(x, y);
    Note("BackSpace at tile " + std::to_string(x / 32) + "," + std::to_string(y / 32));
    d_.p.SetKey(Scan::BackSpace, true);
    Frames(Pick(1, 3));
    d_.p.SetKey(Scan::BackSpace, false);
  }

  void MiddleButton() {
    auto [x, y] = RandomLightPixel();
    PointAtWorld(x, y);
    Note("middle button at " + std::to_string(x) + "," + std::to_string(y));
    Press(kMiddleButton);
    Frames(Pick(0, 3));
    Release(kMiddleButton);
  }

  // What a user does in a dialog: move sliders and type, then OK, cancel or
  // delete; or leave it to the platform, which cancels.
  std::vector<DialogStep> DialogScript(std::string& what) {
    std::vector<DialogStep> steps;
    const int ending = Pick(0, 3);
    for (int i = Pick(0, 3); i > 0; --i) {
      const int slider = Pick(0, 5), value = Pick(-20000, 70000);
      steps.push_back([=](HeadlessPlatform& p, HeadlessWindow& win) { p.MoveSlider(win, slider, value); });
    }
    if (Chance(30)) {
      const std::string text = std::to_string(Pick(-5000, 40000));
      steps.push_back([=](HeadlessPlatform& p, HeadlessWindow& win) { p.TypeText(win, 0, text); });
      steps.push_back([](HeadlessPlatform&, HeadlessWindow&) {});  // lets the field move the slider
    }
    switch (ending) {
      case 0: what = "OK"; steps.push_back(testing::PressButton("OK")); break;
      case 1: what = "Abbrechen"; steps.push_back(testing::PressButton("Abbrechen")); break;
      case 2:
        what = "delete";
        steps.push_back([](HeadlessPlatform& p, HeadlessWindow& win) {
          for (const HeadlessControl& c : win.controls)
            if (c.kind == HeadlessControl::Kind::Button && c.text.find("löschen") != std::string::npos)
              return p.ClickButton(win, c.text);
        });
        break;
      default: what = "left open"; break;
    }
    return steps;
  }

  void DoubleClick() {
    auto [x, y] = Chance(50) ? RandomEmitterPixel() : RandomLightPixel();
    PointAtWorld(x, y);
    std::string what;
    d_.p.QueueDialog(DialogScript(what));
    Note("double click at " + std::to_string(x) + "," + std::to_string(y) + ", dialog " + what);
    Press(kLeftButton);
    Release(kLeftButton);
    Press(kLeftButton);
    Release(kLeftButton);
    d_.p.AdvanceMs(FrameDriver::kClickPauseMs);
    // Leave any selection behind: the next left click would re-target.
    if (Chance(50)) Click(kRightButton);
  }

  size_t Messages() const { return d_.p.Messages().size(); }

  void Save() {
    const int kind = Pick(0, 9);
    std::string path = kind < 6 ? dir_.File("map" + std::to_string(Pick(0, 2)) + ".kvl")
                       : kind == 6 ? ""
                       : kind == 7 ? dir_.File("folder.kvl")
                       : kind == 8 ? "/dev/full"
                                   : dir_.File("missing/dir.kvl");
    Note("S, answered " + (path.empty() ? std::string("with Cancel") : path));
    d_.p.QueueRequesterAnswer(path);
    const size_t before = Messages();
    Key(Scan::S);
    if (!ok_) return;
    if (kind < 6) {
      // The map as that frame left it: with no button held the editor
      // changed nothing before the key was served.
      if (Messages() != before) return Fail("saving to a good path showed a message");
      if (ReadBytes(path).size() != 24 + 6 * w_.RoadList.size() + 10 * w_.EmitterList.size() + 6 * w_.TrafficLightList.size())
        return Fail("the saved file does not hold the map");
      saved_.push_back(path);
    } else if (kind == 6) {
      if (Messages() != before) return Fail("a cancelled save showed a message");
    } else {
      if (Messages() != before + 1) return Fail("a failed save was not reported");
      struct stat st {};
      if (kind == 7 && (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) return Fail("the folder was replaced");
      if (kind == 8 && (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))) return Fail("/dev/full was replaced");
    }
  }

  void Open() {
    const int kind = Pick(0, 9);
    std::string path = kind < 5 && !saved_.empty() ? saved_[Pick(0, static_cast<int>(saved_.size()) - 1)]
                       : kind == 5 ? dir_.File(Chance(70) ? "small.kvl" : "short.kvl")
                       : kind == 6 ? ""
                       : kind == 7 ? dir_.File("garbage.kvl")
                       : kind == 8 ? dir_.File("nothing.kvl")
                                   : dir_.File("folder.kvl");
    Note("O, answered " + (path.empty() ? std::string("with Cancel") : path));
    d_.p.QueueRequesterAnswer(path);
    const size_t before = Messages();
    const Bytes fileBefore = FileBytes(path);
    Key(Scan::O);
    if (!ok_) return;
    const bool good = kind < 6 && !path.empty() && (kind == 5 || !saved_.empty());
    if (good && Messages() != before) return Fail("opening a good map showed a message");
    if (kind >= 7 && Messages() != before + 1) return Fail("a bad map was not reported");
    if (FileBytes(path) != fileBefore) return Fail("opening changed the file");
    if (kind == 8 && std::filesystem::exists(path)) return Fail("opening a missing file created it");
  }

  void Act() {
    const int roll = Pick(0, 999);
    d_.p.ReleaseAllInput();
    if (roll < 220) DrawRoad();
    else if (roll < 300) PlaceEmitter();
    else if (roll < 400) Retarget();
    else if (roll < 480) PlaceLights();
    else if (roll < 540) RightClick();
    else if (roll < 590) BackSpace();
    else if (roll < 630) MiddleButton();
    else if (roll < 710) DoubleClick();
    else if (roll < 750) Save();
    else if (roll < 780) Open();
    else if (roll < 783) {
      Note("D");
      Key(Scan::D);
      if (ok_ && w_.RoadCount + w_.EmitterCount + w_.LightCount + w_.CarCount != 0)
        Fail("D left something on the map");
    } else if (roll < 810) {
      Note("tool chosen");
      ChooseTool(Pick(1, 19));
    } else if (roll < 840) {
      // A long pause, as in a requester: timers see it all at once.
      const int ms = Pick(1000, 30000);
      Note("pause of " + std::to_string(ms) + " ms");
      d_.p.AdvanceMs(static_cast<uint32_t>(ms));
      Frame();
    } else {
      const int n = Pick(5, 40);
      d_.PointAt(Pick(0, 1023), Pick(0, 767));
      Note("watching for " + std::to_string(n) + " frames");
      Frames(n);
    }
  }

  FrameDriver d_;
  World& w_ = d_.w;
  std::mt19937 rng_;
  TempDir dir_;
  int frames_ = 0;
  bool ok_ = true;
  int maxCars_ = 0;
  int saves_ = 0;
  std::vector<std::string> saved_;
  std::deque<std::string> history_;
  std::map<uint64_t, int> outside_;  // frames off the grid, by car serial
};

TEST(EditingSessions, RandomUserInputKeepsTheWorldConsistent) {
  constexpr int kFrames = 3000;
  const struct {
    uint32_t seed;
    bool startMap;
  } sessions[] = {{1, true}, {2, false}, {3, false}};
  for (const auto& s : sessions) {
    SCOPED_TRACE("seed " + std::to_string(s.seed));
    auto session = std::make_unique<EditingSession>(s.seed, s.startMap);
    ASSERT_TRUE(session->Run(kFrames));
    EXPECT_GE(session->SavesChecked(), kFrames / kRoundTripEvery);
    // The sessions must reach the traffic, or they test little.
    if (s.startMap) {
      EXPECT_GT(session->CarsSeen(), 5);
    }
  }
}

}  // namespace
}  // namespace kv
