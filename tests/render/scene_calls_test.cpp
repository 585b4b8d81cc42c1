// What a frame asks of the platform: the order of the drawing steps, the HUD
// texts, and off-screen culling that never drops anything visible.
#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>
#include <vector>

#include "render/render_fixture.h"
#include "render/scene.h"

namespace kv {
namespace {

using namespace kv::test;

struct Call {
  std::string op;
  uint32_t handle;
  int x, y, w, h;
  int value;  // colour, opacity or overlay mode
  std::string text;
};

// Records the drawing calls instead of drawing.
class RecordingPlatform : public HeadlessPlatform {
 public:
  RecordingPlatform() : HeadlessPlatform(DrawMode::CountOnly) {}
  std::vector<Call> calls;

  void Add(const char* op, uint32_t h = 0, int x = 0, int y = 0, int value = 0, int wd = 0,
           int ht = 0, const std::string& text = {}) {
    calls.push_back(Call{op, h, x, y, wd, ht, value, text});
  }
  void ClearFrame(Color c) override { Add("Clear", 0, 0, 0, static_cast<int>(c)); }
  void PresentFrame() override { Add("Present"); }
  void DrawSprite(SpriteHandle s, int x, int y) override { Add("Sprite", s, x, y); }
  void DrawSpriteKeyed(SpriteHandle s, int x, int y) override { Add("Keyed", s, x, y); }
  void SetRotSpriteAngle(RotSpriteHandle r, float d) override {
    Add("Angle", r, 0, 0, static_cast<int>(d));
  }
  void BeginRotSprites() override { Add("BeginRot"); }
  void EndRotSprites() override { Add("EndRot"); }
  void DrawRotSprite(RotSpriteHandle r, int x, int y, int o) override { Add("Rot", r, x, y, o); }
  void BeginOverlay() override { Add("Begin"); }
  void EndOverlay() override { Add("End"); }
  void SetOverlayMode(int f) override { Add("Mode", 0, 0, 0, f); }
  void DrawRect(int x, int y, int w, int h, Color c) override {
    Add("Rect", 0, x, y, static_cast<int>(c), w, h);
  }
  int DrawLabel(int x, int y, const std::string& t, Color c) override {
    Add("Label", 0, x, y, static_cast<int>(c), 0, 0, t);
    return x;
  }

  // Operation names with runs folded: "Sprite*3".
  std::string Trace() const {
    std::string out;
    for (size_t i = 0, j; i < calls.size(); i = j) {
      for (j = i; j < calls.size() && calls[j].op == calls[i].op;) ++j;
      out += (out.empty() ? "" : " ") + calls[i].op + (j - i > 1 ? "*" + std::to_string(j - i) : "");
    }
    return out;
  }
  // (x, y) of the calls of one kind, optionally only those of one colour.
  std::vector<std::pair<int, int>> Where(const std::string& op, int value = -1) const {
    std::vector<std::pair<int, int>> out;
    for (const Call& c : calls)
      if (c.op == op && (value < 0 || c.value == value)) out.emplace_back(c.x, c.y);
    return out;
  }
  void Frame(const World& w) {
    calls.clear();
    DrawScene(w, *this);
  }
};

void FakeSprites(World& w) {
  w.GrassSprite = 1;
  w.TargetSprite = 2;
  for (int i = 1; i <= 11; ++i) w.RoadSprites[i] = 100 + i;
  for (int i = 1; i <= 4; ++i)
    w.EmitterSprites[i] = 200 + i, w.LightIcons[i] = 300 + i, w.LightSprites[i] = 400 + i;
  for (int i = 1; i <= 17; ++i) w.CarSprites[i] = 500 + i;
}

bool OnScreen(int64_t x, int64_t y, int64_t size) {
  return x < 1024 && y < 768 && x + size > 0 && y + size > 0;
}

TEST(SceneCalls, StepsInOrderWithHudTexts) {
  RecordingPlatform p;
  World w;
  FakeSprites(w);
  PutRoad(w, 3, 4);
  Emitter& e = PutEmitter(w, 3, 4, 8, 9);
  e.Selected = 1;
  e.RouteLength = 2;
  e.RouteX[1] = 8, e.RouteY[1] = 9, e.RouteX[2] = 7, e.RouteY[2] = 9;
  PutLight(w, 7, 8, 2);
  PutCar(w, 100.0f, 120.0f, 90, 5);
  w.Tool = 3;
  w.CursorTileX = -3, w.CursorTileY = 120, w.CursorCellX = -6, w.CursorCellY = 0;
  w.CarCount = 1234;
  w.RoadCount = -1;
  p.SetPointer(300, 200);
  p.PollMouse();
  p.Frame(w);

  EXPECT_EQ(p.Trace(),
            "Clear Sprite*193 Keyed*2 Begin Mode Rect*4 Label*11 Mode Rect End "
            "BeginRot Rot Angle Rot EndRot Begin Rect End Sprite*11 Keyed*8 "
            "Begin Rect Mode Rect End Present");
  std::vector<std::string> labels;
  for (const Call& c : p.calls)
    if (c.op == "Label")
      labels.push_back(std::to_string(c.x) + "," + std::to_string(c.y) + " " + c.text +
                       (c.value == static_cast<int>(kMagenta) ? "" : " (colour!)"));
  EXPECT_EQ(labels, (std::vector<std::string>{
                        "0,0 Cursor TileMap: -3/120", "0,15 Cursor MoveMap: -6/0",
                        "200,0 Cars: 1234", "200,15 Roads: -1", "200,30 Emitters: 1",
                        "500,0 O - Open Map", "500,15 S - Save Map", "500,30 D - Delete Map",
                        "700,0 Left-Click - Select and place / Stop car",
                        "700,15 Right-Click - Delete Cars and Emitters",
                        "700,30 BackSpace - Delete Roads"}));
  std::vector<std::vector<int>> rects;
  for (const Call& c : p.calls)
    if (c.op == "Rect") rects.push_back({c.x, c.y, c.w, c.h, c.value});
  const int white = kWhite, magenta = kMagenta, olive = kOlive, grey = kGrey, yellow = kYellow;
  EXPECT_EQ(rects, (std::vector<std::vector<int>>{
                       {128, 144, 32, 32, white},    // target
                       {96, 128, 32, 32, white},     // emitter tile
                       {134, 150, 4, 4, magenta},    // route point 1
                       {118, 150, 4, 4, magenta},    // route point 2
                       {-96, 3840, 32, 32, olive},   // cursor box from the cursor values
                       {0, 703, 1024, 80, 0},        // toolbar band
                       {297, 197, 6, 6, grey},       // pointer
                       {90, 718, 32, 32, yellow}}));  // tool 3
  std::vector<std::vector<int>> rots;
  for (const Call& c : p.calls) {
    if (c.op == "Mode") {
      EXPECT_EQ(c.value, Outline);
    }
    if (c.op == "Rot" || c.op == "Angle") rots.push_back({int(c.handle), c.x, c.y, c.value});
  }
  EXPECT_EQ(rots, (std::vector<std::vector<int>>{
                      {402, 114, 130, 128},  // sign: 2 px into its cell, half transparent
                      {505, 0, 0, 90},       // car: angle first
                      {505, 100, 120, 255}}));
  // Toolbar icons: roads 1..11 opaque, emitters 1..4 and signs and lights 1..4 keyed.
  std::vector<std::string> icons, expected;
  for (const Call& c : p.calls)
    if ((c.op == "Sprite" || c.op == "Keyed") && c.y == 718)
      icons.push_back(c.op + " " + std::to_string(c.handle) + " " + std::to_string(c.x));
  for (int i = 1; i <= 19; ++i)
    expected.push_back((i <= 11 ? "Sprite " : "Keyed ") +
                       std::to_string(i <= 11 ? 100 + i : i <= 15 ? 189 + i : 285 + i) + " " +
                       std::to_string(35 * i - 15));
  EXPECT_EQ(icons, expected);
}

TEST(SceneCalls, RoutesToolsAndOddBoundsStayInRange) {
  RecordingPlatform p;
  World w;
  FakeSprites(w);
  Emitter& e = PutEmitter(w, 1, 1, 4, 4);
  p.SetPointer(100, 704);
  p.PollMouse();
  for (int i = 1; i < kRouteCapacity; ++i)
    e.RouteX[i] = static_cast<int16_t>(i % 60), e.RouteY[i] = static_cast<int16_t>(i / 60);
  const struct {
    int selected, length;
    size_t white, squares;
  } cases[] = {{0, 5, 0, 0}, {2, 5, 0, 0}, {1, 0, 2, 0}, {1, 5000, 2, 999}, {1, -7, 2, 0}};
  for (const auto& c : cases) {
    e.Selected = static_cast<int8_t>(c.selected);
    e.RouteLength = c.length;
    p.Frame(w);
    EXPECT_EQ(p.Where("Rect", kWhite).size(), c.white) << c.selected << " " << c.length;
    EXPECT_EQ(p.Where("Rect", kMagenta).size(), c.squares) << c.selected << " " << c.length;
  }
  for (int tool : {0, 20}) {
    w.Tool = tool;
    p.Frame(w);
    EXPECT_TRUE(p.Where("Rect", kYellow).empty()) << "no highlight for tool " << tool;
  }

  // A light tool outlines its own kind, in outline mode even when no earlier
  // step of the block switched it on.
  w.EmitterList.Clear();
  PutLight(w, 5, 5, 3), PutLight(w, 6, 5, 4), PutLight(w, 7, 5, 3);
  w.Tool = 18;
  p.Frame(w);
  EXPECT_EQ(p.Where("Rect", kGreen), (std::vector<std::pair<int, int>>{{80, 80}, {112, 80}}));
  EXPECT_NE(p.Trace().find("Begin Label*11 Mode Rect*2 End"), std::string::npos) << p.Trace();

  // Bounds from a map file can be anything: the grids are never overrun and
  // only the visible part of an oversized grass field is drawn.
  w.MoveMapWidth = w.MoveMapHeight = 5000;
  w.TileMapWidth = 32767;
  w.TileMapHeight = -4;
  w.Tool = 16;
  w.ControlMap.set(200, 200, 1);
  w.ViewX = -2400, w.ViewY = -2600;
  p.Frame(w);
  EXPECT_EQ(p.Where("Sprite", -1).size(), 11u) << "no grass for a negative height";
  EXPECT_EQ(p.Where("Rect", kGreen), (std::vector<std::pair<int, int>>{{800, 600}}));
  w.TileMapHeight = 32767;
  w.ViewX = -1000010;
  p.Frame(w);
  EXPECT_EQ(p.Where("Sprite").size(), 17u * 13u + 11u);
}

TEST(SceneCalls, CullingKeepsEverythingThatMeetsTheScreen) {
  RecordingPlatform p;
  World w;
  FakeSprites(w);
  std::mt19937 rng(7);
  for (int ty = 0; ty < 100; ++ty)
    for (int tx = 0; tx < 100; ++tx) PutRoad(w, tx, ty, 1 + (tx + ty) % 11);
  for (int i = 0; i < 4000; ++i) w.ControlMap.set(rng() % 201, rng() % 201, 1 + rng() % 11);
  w.ControlMap.set(0, 0, 2);
  w.ControlMap.set(200, 200, 1);
  for (int c = 0; c <= 200; c += 5) PutLight(w, c, 200 - c, 1 + c % 4);
  w.Tool = 17;
  p.SetPointer(500, 750);
  p.PollMouse();
  const int views[][2] = {{0, 0},       {-1000, -500},  {17, -33},    {-2176, -2432},
                          {-2177, -2433}, {-3199, -3199}, {-3200, -3200}, {1023, 767},
                          {1024, 768},  {5000, -40000}, {9, -7}};
  for (const auto& v : views) {
    SCOPED_TRACE("view " + std::to_string(v[0]) + "," + std::to_string(v[1]));
    w.ViewX = v[0], w.ViewY = v[1];
    p.Frame(w);
    std::vector<std::pair<int, int>> roads, expectedRoads, expectedCells, expectedLights;
    size_t grass = 0, expectedGrass = 0;
    for (const Call& c : p.calls) {
      if (c.op == "Begin") break;  // the map layers end here
      if (c.op == "Sprite" && c.handle == w.GrassSprite) ++grass;
      else if (c.op == "Sprite") roads.emplace_back(c.x, c.y);
    }
    for (const Road& r : w.RoadList)
      if (OnScreen(r.PixelX + v[0], r.PixelY + v[1], 32))
        expectedRoads.emplace_back(r.PixelX + v[0], r.PixelY + v[1]);
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
    EXPECT_EQ(p.Where("Rot"), expectedLights);
    EXPECT_EQ(grass, expectedGrass);
    EXPECT_EQ(p.Where("Rect", kGreen), expectedCells);
  }
}

TEST(SceneCalls, CarsNearTheEdgesAndOddPositions) {
  RecordingPlatform p;
  World w;
  FakeSprites(w);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float x, y;
    int angle;
  } shown[] = {{-15, 300, 0}, {1023, 300, 180}, {300, -15, 270}, {300, 767.4f, 90},
               {-19, 300, 45}},  // a rotated corner reaches column 0
    hidden[] = {{-200, 300, 0}, {2000, 300, 0}, {300, 5000, 0}, {nan, 300, 0}, {300, inf, 0},
                {-3.0e9f, 300, 0}};
  std::vector<std::pair<int, int>> expected;
  for (const auto& s : hidden) PutCar(w, s.x, s.y, s.angle);
  for (const auto& s : shown) {
    PutCar(w, s.x, s.y, s.angle, 2 + w.CarCount % 16);
    expected.emplace_back(static_cast<int>(std::nearbyint(s.x)), static_cast<int>(std::nearbyint(s.y)));
  }
  p.Frame(w);
  EXPECT_EQ(p.Where("Rot"), expected);
  // Each car sets its own angle right before it is drawn.
  std::string trace = p.Trace();
  EXPECT_NE(trace.find("BeginRot Angle Rot Angle Rot Angle Rot Angle Rot Angle Rot EndRot"),
            std::string::npos) << trace;

  // Rounded after adding the view: 2.5 + 1 = 3.5 gives 4, not round(2.5) + 1 = 3.
  w.CarList.Clear();
  w.ViewX = 1;
  PutCar(w, 2.5f, 10.0f, 0);
  p.Frame(w);
  EXPECT_EQ(p.Where("Rot"), (std::vector<std::pair<int, int>>{{4, 10}}));
}

}  // namespace
}  // namespace kv
