// What a frame asks of the canvas and what it shows: the counts of the HUD,
// culling that never drops anything visible nor reaches outside a grid or an
// array, and every layer in its place, rasterised from small solid-colour
// sprites so that pixel checks do not depend on the shipped graphics.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "editor/input.h"
#include "render/scene.h"
#include "support/builders.h"

namespace kv {
namespace {

using namespace kv::test;
using Spots = std::vector<std::pair<int, int>>;

constexpr Color kGrass = RGB(0, 128, 0), kRoad = RGB(96, 96, 96), kCarBack = RGB(0, 0, 255), kCarFront = RGB(255, 0, 0);
constexpr Color kEmitterColor = RGB(255, 128, 0), kTargetColor = RGB(0, 255, 255), kSignalColor = RGB(0, 0, 255);
constexpr Color kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kMagenta = RGB(255, 0, 255);
constexpr Color kOlive = RGB(128, 128, 0), kGreen = RGB(0, 255, 0), kGrey = RGB(128, 128, 128), kYellow = RGB(255, 255, 0);

Car& CarAt(World& w, float x, float y, int angle = 0) {
  Car& car = PutCar(w, {0, 0}, angle, 0.0f);
  car.PosX = x, car.PosY = y;
  return car;
}

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
    FakeSprites(w);
    w.GrassSprite = 1;
  }
  void DrawSprite(SpriteHandle s, int x, int y) override { calls.push_back({"Sprite", x, y, s, {}}); }
  void DrawRotSprite(RotSpriteHandle r, int x, int y, int) override { calls.push_back({"Rot", x, y, r, {}}); }
  void DrawRect(int x, int y, int, int, Color c) override { calls.push_back({"Rect", x, y, c, {}}); }
  int DrawLabel(int x, int y, std::string_view t, Color c) override {
    calls.push_back({"Label", x, y, c, std::string(t)});
    return x;
  }
  void Frame() {
    calls.clear();
    DrawScene(w, *this, 512, 384);
  }
  // Positions of the calls of one kind, with one value or (0) any.
  Spots Where(const std::string& op, uint32_t value = 0) const {
    Spots out;
    for (const Call& c : calls)
      if (c.op == op && (value == 0 || c.value == value)) out.emplace_back(c.x, c.y);
    return out;
  }

  std::unique_ptr<World> world = NewWorld();
  World& w = *world;
  std::vector<Call> calls;
};

TEST(SceneCalls, HudShowsTheCursorAndTheListsCounts) {
  Recorder p;
  RoadRow(p.w, 5, 1, 3);
  AddEmitter(p.w, 1, 5, Direction::Right, 2, 11);
  CarAt(p.w, 40, 40);
  CarAt(p.w, 80, 40);
  p.w.CursorTileX = -3, p.w.CursorTileY = 120, p.w.CursorCellX = -6, p.w.CursorCellY = 0;
  p.Frame();
  std::string hud;
  for (const Call& c : p.calls)
    if (c.op == "Label") hud += c.text + "\n";
  for (const char* shown : {"TileMap: -3/120\n", "MoveMap: -6/0\n", "Cars: 2\n", "Roads: 3\n", "Emitters: 1\n"})
    EXPECT_NE(hud.find(shown), std::string::npos) << shown << " in\n" << hud;
}

TEST(SceneCalls, RouteLengthsFromAnywhereStayInTheArrays) {
  Recorder p;
  AddRoad(p.w, 1, 1, RoadType::StraightWE);
  AddEmitter(p.w, 1, 1, Direction::Right, 4, 4);
  Emitter& e = *p.w.EmitterList.Last();
  for (int i = 1; i < kRouteCapacity; ++i)
    e.RouteX[i] = static_cast<int16_t>(i % 60), e.RouteY[i] = static_cast<int16_t>(i / 60);
  const struct {
    int selected, length;
    size_t white, squares;
  } cases[] = {{2, 5, 0, 0}, {1, 0, 2, 0}, {1, 5, 2, 5}, {1, 5000, 2, 999}, {1, -7, 2, 0}};
  for (const auto& c : cases) {
    e.Selected = static_cast<int8_t>(c.selected);
    e.RouteLength = c.length;
    p.Frame();
    EXPECT_EQ(p.Where("Rect", kWhite).size(), c.white) << c.selected << " " << c.length;
    EXPECT_EQ(p.Where("Rect", kMagenta).size(), c.squares) << c.selected << " " << c.length;
  }
}

bool OnScreen(int64_t x, int64_t y, int64_t size) { return x < 1024 && y < 768 && x + size > 0 && y + size > 0; }

TEST(SceneCalls, CullingKeepsEverythingThatMeetsTheScreen) {
  Recorder p;
  World& w = p.w;
  std::mt19937 rng(7);
  for (int ty = 0; ty < 100; ++ty)
    for (int tx = 0; tx < 100; ++tx) {
      w.RoadList.Last();
      Road& r = w.RoadList.Add();
      r.TileX = tx, r.TileY = ty, r.PixelX = kTileSize * tx, r.PixelY = kTileSize * ty, r.Sprite = 3001;
    }
  for (int i = 0; i < 4000; ++i) w.ControlMap.set(rng() % 201, rng() % 201, 1 + rng() % 11);
  w.ControlMap.set(0, 0, 2);
  w.ControlMap.set(200, 200, 1);  // the grid's last cell
  for (int c = 0; c <= 200; c += 5) PutLight(w, {c, 200 - c}, static_cast<LightState>(1 + c % 4), 1000, 0);
  w.Tool = Tool::YieldSign;
  const int views[][2] = {{0, 0},         {-1000, -500},  {17, -33},     {-2176, -2432}, {-2177, -2433},
                          {-3199, -3199}, {-3200, -3200}, {-2400, -2600}, {1023, 767},   {1024, 768}, {5000, -40000}};
  for (const auto& v : views) {
    SCOPED_TRACE("view " + std::to_string(v[0]) + "," + std::to_string(v[1]));
    w.ViewX = v[0], w.ViewY = v[1];
    p.Frame();
    Spots roads, expectedRoads, expectedCells, expectedLights;
    size_t grass = 0, expectedGrass = 0;
    for (const Call& c : p.calls) {
      if (c.op == "Label") break;  // the map layers end here
      if (c.op == "Sprite") c.value == w.GrassSprite ? ++grass : (roads.emplace_back(c.x, c.y), 0u);
    }
    for (const Road& r : w.RoadList)
      if (OnScreen(r.PixelX + v[0], r.PixelY + v[1], 32)) expectedRoads.emplace_back(r.PixelX + v[0], r.PixelY + v[1]);
    for (int g = 0; g < 50 * 50; ++g) expectedGrass += OnScreen(64 * (g % 50) + v[0], 64 * (g / 50) + v[1], 64);
    for (int cy = 0; cy <= 200; ++cy)
      for (int cx = 0; cx <= 200; ++cx)
        if (w.ControlMap.at(cx, cy) != 0 && OnScreen(16 * cx + v[0], 16 * cy + v[1], 16))
          expectedCells.emplace_back(16 * cx + v[0], 16 * cy + v[1]);
    for (const TrafficLight& l : w.TrafficLightList)
      if (OnScreen(l.PixelX + v[0], l.PixelY + v[1], 16))
        expectedLights.emplace_back(l.PixelX + v[0] + 2, l.PixelY + v[1] + 2);
    EXPECT_EQ(roads, expectedRoads) << "in list order, none missing, none extra";
    EXPECT_EQ(grass, expectedGrass);
    EXPECT_EQ(p.Where("Rect", kGreen), expectedCells);
    EXPECT_EQ(p.Where("Rot"), expectedLights);
  }
  w.ViewX = w.ViewY = 0, w.TileMapHeight = 0;  // as a map file may give it: no grass at all
  p.Frame();
  EXPECT_TRUE(p.Where("Sprite", w.GrassSprite).empty());
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
  for (const auto& s : hidden) CarAt(p.w, s.x, s.y, s.angle);
  for (const auto& s : shown) {
    CarAt(p.w, s.x, s.y, s.angle);
    expected.emplace_back(static_cast<int>(std::nearbyint(s.x)), static_cast<int>(std::nearbyint(s.y)));
  }
  p.Frame();
  EXPECT_EQ(p.Where("Rot"), expected);
  p.w.CarList.Clear();  // rounded after adding the view: 2.5 + 1 gives 4, not 3
  p.w.ViewX = 1;
  CarAt(p.w, 2.5f, 10.0f);
  p.Frame();
  EXPECT_EQ(p.Where("Rot"), (Spots{{4, 10}}));
}

struct Probe {
  int x, y;
  Color color;
  std::string what;
};

std::string Rgb(Color c) {
  return std::to_string(ColorRed(c)) + "," + std::to_string(ColorGreen(c)) + "," + std::to_string(ColorBlue(c));
}

class ScenePixels : public ::testing::Test {
 protected:
  kvtest::TempDir dir;
  HeadlessPlatform p{DrawMode::Rasterise};
  std::unique_ptr<World> world = NewWorld();
  World& w = *world;

  // Sprites as the program's start-up fills the tables: every road type
  // looks alike, a car's right half (its front at heading 0) is red, emitter
  // and target have a key-coloured hole at 12..19. Roads along tile row 5
  // with a selected emitter on the left end, its target and a three-point
  // route to the right; a red light and a yield sign; four cars, one per
  // heading, one over the HUD and one under the toolbar.
  void SetUp() override {
    auto Image = [&](int size, bool rotatable, auto paint) { return PaintedSprite(p, dir, size, rotatable, paint); };
    auto solid = [](Color c) { return [c](int, int) { return c; }; };
    auto holed = [](Color c) { return [c](int x, int y) { return (x >= 12 && x < 20 && y >= 12 && y < 20) ? kKeyColor : c; }; };
    w.GrassSprite = Image(64, false, solid(kGrass));
    w.TargetSprite = Image(32, false, holed(kTargetColor));
    const SpriteHandle road = Image(32, false, solid(kRoad)), emitter = Image(32, false, holed(kEmitterColor));
    const SpriteHandle signal = Image(16, true, solid(kSignalColor));
    const SpriteHandle car = Image(16, true, [](int x, int) { return x >= 8 ? kCarFront : kCarBack; });
    for (SpriteHandle keyed : {w.TargetSprite, emitter}) p.SetSpriteKeyColor(keyed, kKeyColor);
    for (size_t i = 1; i <= 11; ++i) w.RoadSprites[i] = road;
    for (size_t i = 1; i <= 4; ++i) {
      w.EmitterSprites[i] = emitter, w.LightIcons[i] = signal;
      w.LightSprites[i] = p.CreateRotSprite(signal);
      p.SetRotSpriteSize(w.LightSprites[i], 12, 12);
    }
    for (size_t i = 1; i <= 17; ++i) w.CarSprites[i] = p.CreateRotSprite(car);

    RoadRow(w, 5, 2, 5);
    AddEmitter(w, 2, 5, Direction::Right, 10, 11);
    Emitter& e = *w.EmitterList.Last();
    e.Selected = 1;
    e.RouteLength = 3;
    for (int i = 1; i <= 3; ++i) e.RouteX[i] = static_cast<int16_t>(12 - 2 * i), e.RouteY[i] = 11;
    AddRoad(w, 10, 10, RoadType::StraightWE);
    AddRoad(w, 12, 10, RoadType::StraightWE);
    PutLight(w, {20, 20}, LightState::Red, 1000, 0);
    PutLight(w, {24, 20}, LightState::Yield, 1000, 0);
    for (int i = 0; i < 4; ++i) CarAt(w, 600.0f + 40 * i, 400.0f, 90 * i);
    CarAt(w, 0, 0);
    CarAt(w, 900, 740);
    w.Tool = Tool::RedLight;
    w.CursorTileX = w.CursorTileY = 9;
  }

  void Expect(int pointerX, int pointerY, const std::vector<Probe>& probes) {
    DrawScene(w, p, pointerX, pointerY);
    for (const Probe& q : probes)
      EXPECT_EQ(Rgb(p.PixelAt(q.x, q.y)), Rgb(q.color)) << q.what << " at " << q.x << "," << q.y;
  }
};

TEST_F(ScenePixels, EveryLayerInItsPlace) {
  std::vector<Probe> probes = {
      {500, 600, kGrass, "grass"},
      {112, 170, kRoad, "road"},
      {70, 166, kEmitterColor, "emitter"},
      {80, 176, kRoad, "road through the emitter's key-coloured hole"},
      {64, 160, kWhite, "box around the selected emitter's tile"},
      {191, 207, kWhite, "box around the target"},
      {166, 182, kMagenta, "route square of cell (10, 11)"},
      {138, 182, kRoad, "route squares are 4 x 4"},
      {288, 288, kOlive, "cursor box of tile (9, 9)"},
      {319, 300, kOlive, "right edge of the cursor box"},
      {290, 310, kGrass, "cursor box is an outline"},
      {297, 297, kGrey, "pointer"},
      {900, 702, kGrass, "scene above the toolbar band"},
      {900, 703, kBlack, "toolbar band from row 703"},
      {35 * 12 - 15 + 14, 732, kBlack, "emitter tool icon is keyed"},
      {650, 718, kYellow, "highlight of the red light tool"},
      {681, 749, kYellow, "the highlight's far corner"},
      {654, 722, kSignalColor, "highlight is an outline over the icon"},
      {328, 328, kSignalColor, "light: opaque"},
      {321, 328, kRoad, "light: 12 x 12, 2 px into its cell"},
      {320, 320, kGreen, "the red light tool outlines red lights"},
      {384, 320, kRoad, "no outline at the sign"},
      {12, 8, kCarFront, "car over the HUD text"},
      {912, 748, kBlack, "car under the toolbar band"},
  };
  // Cars: the red half is the front, right at 0, down at 90, left at 180, up at 270.
  const int front[4][2] = {{12, 8}, {8, 12}, {3, 8}, {8, 3}};
  for (int i = 0, x = 600, y = 400; i < 4; ++i, x += 40) {
    const std::string car = "car at angle " + std::to_string(90 * i) + ": ";
    probes.insert(probes.end(), {{x + front[i][0], y + front[i][1], kCarFront, car + "front"},
                                 {x + 15 - front[i][0], y + 15 - front[i][1], kCarBack, car + "back"},
                                 {x - 1, y + 8, kGrass, car + "left of it"},
                                 {x + 16, y + 8, kGrass, car + "right of it"}});
  }
  Expect(300, 300, probes);
  Color sign = p.PixelAt(392, 328);  // half of (0, 0, 255) over the road
  EXPECT_LE(std::abs(ColorRed(sign) - 48) + std::abs(ColorBlue(sign) - 176), 4) << Rgb(sign);

  // HUD: magenta text on an opaque black background, over the grass.
  int magenta = 0;
  for (int y = 0; y < 14; ++y)
    for (int x = 20; x < 130; ++x) {
      Color c = p.PixelAt(x, y);
      magenta += ColorRed(c) > 200 && ColorGreen(c) < 60 && ColorBlue(c) > 200;
      EXPECT_TRUE(y != 5 || x >= 60 || c != kGrass) << "label background at " << x;
    }
  EXPECT_GT(magenta, 20);
}

TEST_F(ScenePixels, ExtrasFollowPointerSelectionAndTool) {
  Expect(10, 703, {{288, 288, kOlive, "cursor box with the pointer on row 703"}});
  w.ViewX = 32, w.ViewY = -64;
  Expect(300, 300, {{320, 224, kOlive, "cursor box moves with the view"},
                    {223, 143, kWhite, "box around the target moves with the view"}});
  w.ViewX = w.ViewY = 0;
  w.EmitterList.begin()->Selected = 0;
  w.Tool = Tool::None;
  w.ControlMap.set(30, 30, control::kYield);
  Expect(10, 704, {{288, 288, kGrass, "no cursor box with the pointer in the toolbar band"},
                   {64, 160, kEmitterColor, "no box at a deselected emitter"},
                   {166, 182, kTargetColor, "no route square"},
                   {650, 718, kSignalColor, "no highlight without a tool"},
                   {320, 320, kRoad, "no light outline without a light tool"},
                   {480, 480, kGrass, "no control cells without a sign tool"}});
  w.Tool = Tool::RightOfWaySign;
  w.EmitterList.Clear();  // nor does an emitter's outline mode carry over
  Expect(10, 704, {{480, 480, kGreen, "control cell outline"},
                   {495, 495, kGreen, "control cell outline"},
                   {488, 488, kGrass, "control cell is an outline"}});
}

// Zoomed, the map's layers and overlay scale while the HUD and the toolbar
// keep their size; a larger screen moves the toolbar down and the minimap
// shows the map and the part on the screen.
TEST_F(ScenePixels, ZoomScalesTheMapAndTheLayoutFollowsTheScreen) {
  w.ZoomPercent = 25;
  Expect(300, 300, {{26, 42, kRoad, "road tile (3, 5)"},
                    {153, 101, kCarFront, "car front"},
                    {154, 101, kGrass, "a car is 4 pixels long"},
                    {79, 76, kOlive, "cursor box of tile (9, 9), 8 pixels"},
                    {800, 600, kBlack, "beyond the map's 800 columns"},
                    {650, 718, kYellow, "the toolbar keeps its size"}});
  w.ZoomPercent = 200;
  Expect(300, 300, {{650, 650, kSignalColor, "red light, 24 pixels"}, {643, 650, kRoad, "4 pixels into its cell"}});

  p.SetScreenSize(1280, 800);
  w.ScreenWidth = 1280, w.ScreenHeight = 800, w.ZoomPercent = 100, w.MinimapShown = true;
  w.CarList.begin()->CellX = 37, w.CarList.begin()->CellY = 25;
  Expect(300, 300, {{1200, 734, kGrass, "scene above the toolbar band"},
                    {1200, 735, kBlack, "the band from row 735"},
                    {650, 750, kYellow, "highlight of the red light tool"},
                    {1045, 521, RGB(150, 150, 150), "road tile (3, 5) on the minimap"},
                    {1039 + 79, 511 + 20, kYellow, "the shown part's right edge: 1280 columns are 80 cells"},
                    {1039 + 80, 511 + 20, RGB(40, 88, 40), "the minimap's ground"},
                    {1039 + 37, 511 + 25, kWhite, "a car on the minimap at its cell"},
                    {1039 + 38, 511 + 25, RGB(40, 88, 40), "one pixel of it"}});
  w.ViewY = -2800;  // the map's bottom edge in the middle of the window
  Expect(300, 300, {{1045, 710, kYellow, "the shown part ends at the minimap's last row"},
                    {1045, 711, RGB(160, 160, 160), "the frame below it"},
                    {1045, 712, kBlack, "and nothing beyond"}});
}

// The congestion overlay tints lane cells by their share of standing still:
// red where cars always stood, pale where they rarely did, clear where they
// never did and off the lanes. A gridlock outlines its cars and cells and is
// named in the toolbar band below the time; the panel darkens its corner;
// without the HUD the map shows where the HUD and the toolbar were.
TEST_F(ScenePixels, HeatGridlocksPanelAndCleanPictures) {
  auto cell = [](int x, int y) { return static_cast<size_t>(y) * CellGrid::kSide + static_cast<size_t>(x); };
  w.Heat.WindowSteps = 100;
  w.Heat.Window[cell(8, 11)] = 100;
  w.Heat.Window[cell(7, 11)] = 10;
  w.Heat.Window[cell(40, 40)] = 100;  // grass
  w.HeatShown = w.StatsShown = true;
  w.Stats.Frame = 5000;
  Gridlock g;
  g.Cars.push_back({1, {20, 30}, 330, 490, WaitKind::CellTaken});
  g.Tile = {10, 15}, g.Formed = 2900;
  w.Gridlocks.Current.push_back(g);
  DrawScene(w, p, 300, 300);
  const Color hot = p.PixelAt(130, 178), mild = p.PixelAt(114, 178);
  EXPECT_TRUE(ColorRed(hot) > 200 && ColorGreen(hot) < 40) << Rgb(hot);
  EXPECT_TRUE(ColorRed(mild) == ColorGreen(mild) && ColorRed(mild) > 110 && ColorBlue(mild) < 90) << Rgb(mild);
  EXPECT_EQ(Rgb(p.PixelAt(146, 178)), Rgb(kRoad));
  EXPECT_EQ(Rgb(p.PixelAt(644, 644)), Rgb(kGrass));
  for (auto [x, y] : {std::pair{320, 485}, {335, 490}, {326, 495}, {349, 500}})
    EXPECT_EQ(Rgb(p.PixelAt(x, y)), Rgb(RGB(255, 0, 0))) << x << "," << y;
  EXPECT_EQ(Rgb(p.PixelAt(327, 487)), Rgb(kGrass));
  const Color panel = p.PixelAt(260, 500);
  EXPECT_TRUE(ColorRed(panel) == 0 && ColorGreen(panel) > 20 && ColorGreen(panel) < 60) << Rgb(panel);
  auto count = [&](int y0, int y1, bool blue) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = 714; x < 1024; ++x) {
        const Color c = p.PixelAt(x, y);
        n += ColorRed(c) > 200 && ColorGreen(c) < 60 && (ColorBlue(c) > 200) == blue;
      }
    return n;
  };
  EXPECT_GT(count(708, 722, true), 10);    // the time, magenta
  EXPECT_EQ(count(690, 703, true), 0);     // in the band, not over the map
  EXPECT_GT(count(723, 738, false), 10);   // the gridlock, red
  w.Hint = kEmitterRefusedHint;  // above the pointer, on a dark box
  DrawScene(w, p, 500, 400);
  EXPECT_TRUE(ColorRed(p.PixelAt(510, 385)) == 0 && ColorGreen(p.PixelAt(510, 385)) < 40) << Rgb(p.PixelAt(510, 385));
  EXPECT_EQ(Rgb(p.PixelAt(510, 425)), Rgb(kGrass));
  w.HudShown = false;
  DrawScene(w, p, 300, 300);
  for (auto [x, y] : {std::pair{30, 5}, {960, 740}, {297, 297}, {288, 288}})
    EXPECT_EQ(Rgb(p.PixelAt(x, y)), Rgb(kGrass)) << x << "," << y;
}

}  // namespace
}  // namespace kv
