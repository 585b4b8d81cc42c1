// What a frame asks of the platform: the HUD texts, and off-screen culling
// that never drops anything visible nor reaches outside a grid.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "render/render_fixture.h"
#include "render/scene.h"

namespace kv {
namespace {

using namespace kv::test;
using Spots = std::vector<std::pair<int, int>>;

struct Call {
  std::string op;
  int x, y;
  uint32_t value;  // sprite handle or colour
  std::string text;
};

// Records the drawing calls instead of drawing.
class Recorder : public HeadlessPlatform {
 public:
  Recorder() : HeadlessPlatform(DrawMode::CountOnly) {
    w.GrassSprite = 1;
    w.TargetSprite = 2;
    for (int i = 1; i <= 11; ++i) w.RoadSprites[i] = 100 + i;
    for (int i = 1; i <= 4; ++i) w.EmitterSprites[i] = 200 + i, w.LightIcons[i] = 300 + i, w.LightSprites[i] = 400 + i;
    for (int i = 1; i <= 17; ++i) w.CarSprites[i] = 500 + i;
  }
  void DrawSprite(SpriteHandle s, int x, int y) override { calls.push_back({"Sprite", x, y, s, {}}); }
  void DrawSpriteKeyed(SpriteHandle s, int x, int y) override { calls.push_back({"Keyed", x, y, s, {}}); }
  void DrawRotSprite(RotSpriteHandle r, int x, int y, int) override { calls.push_back({"Rot", x, y, r, {}}); }
  void DrawRect(int x, int y, int, int, Color c) override { calls.push_back({"Rect", x, y, c, {}}); }
  int DrawLabel(int x, int y, std::string_view t, Color c) override {
    calls.push_back({"Label", x, y, c, std::string(t)});
    return x;
  }
  void Frame() {
    calls.clear();
    DrawScene(w, *this);
  }
  // Positions of the calls of one kind whose value lies in [lo, hi].
  Spots Where(const std::string& op, uint32_t lo = 0, uint32_t hi = UINT32_MAX) const {
    Spots out;
    for (const Call& c : calls)
      if (c.op == op && c.value >= lo && c.value <= hi) out.emplace_back(c.x, c.y);
    return out;
  }

  World w;
  std::vector<Call> calls;
};

TEST(SceneCalls, HudTextsInMagenta) {
  Recorder p;
  p.w.CursorTileX = -3, p.w.CursorTileY = 120, p.w.CursorCellX = -6, p.w.CursorCellY = 0;
  p.w.CarCount = 1234;
  p.w.RoadCount = -1;
  PutEmitter(p.w, 1, 1, 2, 2);
  p.Frame();
  std::vector<std::string> labels;
  for (const Call& c : p.calls)
    if (c.op == "Label")
      labels.push_back(std::to_string(c.x) + "," + std::to_string(c.y) + " " + c.text +
                       (c.value == kMagenta ? "" : " (colour!)"));
  EXPECT_EQ(labels, (std::vector<std::string>{
                        "0,0 Cursor TileMap: -3/120", "0,15 Cursor MoveMap: -6/0", "200,0 Cars: 1234",
                        "200,15 Roads: -1", "200,30 Emitters: 1", "500,0 O - Open Map",
                        "500,15 S - Save Map", "500,30 D - Delete Map",
                        "700,0 Left-Click - Select and place / Stop car",
                        "700,15 Right-Click - Delete Cars and Emitters", "700,30 BackSpace - Delete Roads"}));
}

TEST(SceneCalls, RouteLengthsAndToolsFromAnywhereStayInRange) {
  Recorder p;
  Emitter& e = PutEmitter(p.w, 1, 1, 4, 4);
  for (int i = 1; i < kRouteCapacity; ++i)
    e.RouteX[i] = static_cast<int16_t>(i % 60), e.RouteY[i] = static_cast<int16_t>(i / 60);
  const struct {
    int selected, length;
    size_t white, squares;
  } cases[] = {{0, 5, 0, 0}, {2, 5, 0, 0}, {1, 0, 2, 0}, {1, 5000, 2, 999}, {1, -7, 2, 0}};
  for (const auto& c : cases) {
    e.Selected = static_cast<int8_t>(c.selected);
    e.RouteLength = c.length;
    p.Frame();
    EXPECT_EQ(p.Where("Rect", kWhite, kWhite).size(), c.white) << c.selected << " " << c.length;
    EXPECT_EQ(p.Where("Rect", kMagenta, kMagenta).size(), c.squares) << c.selected << " " << c.length;
  }
  p.w.Tool = 20;
  p.Frame();
  EXPECT_TRUE(p.Where("Rect", kYellow, kYellow).empty()) << "no highlight for tool 20";
  // Bounds from a map file can be anything: the grids are never overrun.
  p.w.MoveMapWidth = p.w.MoveMapHeight = 5000;
  p.w.TileMapWidth = 32767;
  p.w.TileMapHeight = -4;
  p.w.Tool = 16;
  p.w.ControlMap.set(200, 200, 1);
  p.w.ViewX = -2400, p.w.ViewY = -2600;
  p.Frame();
  EXPECT_TRUE(p.Where("Sprite", 1, 1).empty()) << "no grass for a negative height";
  EXPECT_EQ(p.Where("Rect", kGreen, kGreen), (Spots{{800, 600}}));
}

bool OnScreen(int64_t x, int64_t y, int64_t size) { return x < 1024 && y < 768 && x + size > 0 && y + size > 0; }

TEST(SceneCalls, CullingKeepsEverythingThatMeetsTheScreen) {
  Recorder p;
  World& w = p.w;
  std::mt19937 rng(7);
  for (int ty = 0; ty < 100; ++ty)
    for (int tx = 0; tx < 100; ++tx) PutRoad(w, tx, ty, 1 + (tx + ty) % 11);
  for (int i = 0; i < 4000; ++i) w.ControlMap.set(rng() % 201, rng() % 201, 1 + rng() % 11);
  w.ControlMap.set(0, 0, 2);
  w.ControlMap.set(200, 200, 1);
  for (int c = 0; c <= 200; c += 5) PutLight(w, c, 200 - c, 1 + c % 4);
  w.Tool = 17;
  const int views[][2] = {{0, 0},        {-1000, -500},  {17, -33},      {-2176, -2432}, {-2177, -2433},
                          {-3199, -3199}, {-3200, -3200}, {1023, 767}, {1024, 768}, {5000, -40000}};
  for (const auto& v : views) {
    SCOPED_TRACE("view " + std::to_string(v[0]) + "," + std::to_string(v[1]));
    w.ViewX = v[0], w.ViewY = v[1];
    p.Frame();
    Spots roads, expectedRoads, expectedCells, expectedLights;
    size_t grass = 0, expectedGrass = 0;
    for (const Call& c : p.calls) {
      if (c.op == "Label") break;  // the map layers end here
      if (c.op != "Sprite") continue;
      if (c.value == w.GrassSprite) ++grass;
      else roads.emplace_back(c.x, c.y);
    }
    for (const Road& r : w.RoadList)
      if (OnScreen(r.PixelX + v[0], r.PixelY + v[1], 32)) expectedRoads.emplace_back(r.PixelX + v[0], r.PixelY + v[1]);
    for (int gy = 0; gy < 50; ++gy)
      for (int gx = 0; gx < 50; ++gx) expectedGrass += OnScreen(64 * gx + v[0], 64 * gy + v[1], 64);
    for (int cy = 0; cy <= 200; ++cy)
      for (int cx = 0; cx <= 200; ++cx)
        if (w.ControlMap.at(cx, cy) != 0 && OnScreen(16 * cx + v[0], 16 * cy + v[1], 16))
          expectedCells.emplace_back(16 * cx + v[0], 16 * cy + v[1]);
    for (const TrafficLight& l : w.TrafficLightList)
      if (OnScreen(l.PixelX + v[0], l.PixelY + v[1], 16))
        expectedLights.emplace_back(l.PixelX + v[0] + 2, l.PixelY + v[1] + 2);
    EXPECT_EQ(roads, expectedRoads) << "in list order, none missing, none extra";
    EXPECT_EQ(grass, expectedGrass);
    EXPECT_EQ(p.Where("Rect", kGreen, kGreen), expectedCells);
    EXPECT_EQ(p.Where("Rot"), expectedLights);
  }
}

TEST(SceneCalls, CarsNearTheEdgesShowAndOddPositionsDoNot) {
  Recorder p;
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const struct {
    float x, y;
    int angle;
  } shown[] = {{-15, 300, 0}, {1023, 300, 180}, {300, -15, 270}, {300, 767.4f, 90}, {-19, 300, 45}},
    hidden[] = {{-200, 300, 0}, {2000, 300, 0}, {300, 5000, 0}, {nan, 300, 0}, {300, inf, 0}, {-3.0e9f, 300, 0}};
  Spots expected;
  for (const auto& s : hidden) PutCar(p.w, s.x, s.y, s.angle);
  for (const auto& s : shown) {
    PutCar(p.w, s.x, s.y, s.angle);
    expected.emplace_back(static_cast<int>(std::nearbyint(s.x)), static_cast<int>(std::nearbyint(s.y)));
  }
  p.Frame();
  EXPECT_EQ(p.Where("Rot"), expected);
  p.w.CarList.Clear();  // rounded after adding the view: 2.5 + 1 gives 4, not 3
  p.w.ViewX = 1;
  PutCar(p.w, 2.5f, 10.0f, 0);
  p.Frame();
  EXPECT_EQ(p.Where("Rot"), (Spots{{4, 10}}));
}

}  // namespace
}  // namespace kv
