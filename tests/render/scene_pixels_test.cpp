// What a frame shows: a test scene rasterised by the headless platform, with
// pixels checked at chosen places.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/view.h"
#include "render/render_fixture.h"
#include "render/scene.h"

namespace kv {
namespace {

using namespace kv::test;

struct Probe {
  int x, y;
  Color color;
  const char* what;
};

std::string Rgb(Color c) {
  return std::to_string(ColorRed(c)) + "," + std::to_string(ColorGreen(c)) + "," + std::to_string(ColorBlue(c));
}

class ScenePixels : public ::testing::Test {
 protected:
  kvtest::TempDir dir;
  HeadlessPlatform p{DrawMode::Rasterise};
  World w;

  // Roads along tile row 5 with a selected emitter on the left end, its
  // target and a three-point route to the right; a red light and a yield
  // sign on roads; four cars of one colour (one shared rotatable sprite).
  void SetUp() override {
    LoadTestSprites(w, p, dir);
    for (int tx = 2; tx <= 5; ++tx) PutRoad(w, tx, 5);
    Emitter& e = PutEmitter(w, 2, 5, 10, 11);
    e.Selected = 1;
    e.RouteLength = 3;
    for (int i = 1; i <= 3; ++i) e.RouteX[i] = static_cast<int16_t>(12 - 2 * i), e.RouteY[i] = 11;
    PutRoad(w, 10, 10);
    PutRoad(w, 12, 10);
    PutLight(w, 20, 20, 4);
    PutLight(w, 24, 20, 2);
    for (int i = 0; i < 4; ++i) PutCar(w, 600.0f + 40 * i, 400.0f, 90 * i);
    w.Tool = 19;
  }

  void Draw(int pointerX, int pointerY) {
    p.SetPointer(pointerX, pointerY);
    p.PollMouse();
    p.SetNow(10);  // too early to scroll
    UpdateView(w, p);
    DrawScene(w, p);
  }

  void Expect(std::initializer_list<Probe> probes) {
    for (const Probe& q : probes)
      EXPECT_EQ(Rgb(p.PixelAt(q.x, q.y)), Rgb(q.color)) << q.what << " at " << q.x << "," << q.y;
  }
};

TEST_F(ScenePixels, WhatMustShow) {
  Draw(300, 300);
  Expect({
      {500, 600, kGrass, "grass"},
      {112, 170, kRoad, "road"},
      {70, 166, kEmitterColor, "emitter"},
      {80, 176, kRoad, "road through the emitter's key-coloured hole"},
      {64, 160, kWhite, "box around the selected emitter's tile"},
      {191, 207, kWhite, "box around the target"},
      {166, 182, kMagenta, "route square of cell (10, 11)"},
      {102, 182, kMagenta, "route square of cell (6, 11)"},
      {138, 182, kRoad, "route squares are 4 x 4"},
      {288, 288, kOlive, "cursor box of tile (9, 9)"},
      {319, 300, kOlive, "right edge of the cursor box"},
      {290, 310, kGrass, "cursor box is an outline"},
      {297, 297, kGrey, "pointer"},
      {900, 702, kGrass, "scene above the toolbar band"},
      {900, 703, kBlack, "toolbar band from row 703"},
      {35 * 12 - 15 + 14, 732, kBlack, "emitter tool icon is keyed"},
      {650, 718, kYellow, "highlight of tool 19"},
      {654, 722, kSignalColor, "highlight is an outline over the icon"},
      {328, 328, kSignalColor, "light: opaque"},
      {321, 328, kRoad, "light: 12 x 12, 2 px into its cell"},
      {320, 320, kGreen, "tool 19 outlines lights of kind 4"},
      {384, 320, kRoad, "no outline at the sign"},
  });
  Color sign = p.PixelAt(392, 328);  // half of (0, 0, 255) over the road
  EXPECT_LE(std::abs(ColorRed(sign) - 48) + std::abs(ColorBlue(sign) - 176), 4) << Rgb(sign);

  // Cars: the red half is the front, right at 0, down at 90, left at 180, up at 270.
  const int front[4][2] = {{12, 8}, {8, 12}, {3, 8}, {8, 3}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE("car at angle " + std::to_string(90 * i));
    const int x = 600 + 40 * i, y = 400;
    Expect({{x + front[i][0], y + front[i][1], kCarFront, "front"},
            {x + 15 - front[i][0], y + 15 - front[i][1], kCarBack, "back"},
            {x - 1, y + 8, kGrass, "left of the car"},
            {x + 16, y + 8, kGrass, "right of the car"}});
  }

  // HUD: magenta text on an opaque black background, over the grass.
  int magenta = 0;
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 130; ++x) {
      Color c = p.PixelAt(x, y);
      magenta += ColorRed(c) > 200 && ColorGreen(c) < 60 && ColorBlue(c) > 200;
      EXPECT_TRUE(y != 5 || x >= 60 || c != kGrass) << "label background at " << x;
    }
  EXPECT_GT(magenta, 20);
}

TEST_F(ScenePixels, ExtrasDependOnPointerSelectionAndTool) {
  p.SetPointer(10, 703);
  p.PollMouse();
  w.CursorTileX = w.CursorTileY = 9;
  DrawScene(w, p);
  Expect({{288, 288, kOlive, "cursor box with the pointer on row 703"}});

  p.SetPointer(10, 704);
  p.PollMouse();
  w.EmitterList.begin()->Selected = 0;
  w.Tool = 0;
  w.ControlMap.set(30, 30, 2);
  DrawScene(w, p);
  Expect({{288, 288, kGrass, "no cursor box with the pointer in the toolbar band"},
          {64, 160, kEmitterColor, "no box at a deselected emitter"},
          {166, 182, kTargetColor, "no route square"},
          {650, 718, kSignalColor, "no highlight without a tool"},
          {320, 320, kRoad, "no light outline without a light tool"},
          {480, 480, kGrass, "no control cells without a sign tool"}});

  w.Tool = 16;
  w.ControlMap.set(200, 200, 1);
  DrawScene(w, p);
  Expect({{480, 480, kGreen, "control cell outline"},
          {495, 495, kGreen, "control cell outline"},
          {488, 488, kGrass, "control cell is an outline"}});
  w.ViewX = -2400;
  w.ViewY = -2600;
  DrawScene(w, p);
  Expect({{800, 600, kGreen, "last cell of the grid"}});
}

TEST_F(ScenePixels, CarsRoundHalfToEvenCoverTheHudAndHideUnderTheToolbar) {
  w.CarList.Clear();
  PutCar(w, 600.5f, 500.0f, 0);  // at 600
  PutCar(w, 641.5f, 500.0f, 0);  // at 642
  PutCar(w, 0.0f, 0.0f, 0);
  PutCar(w, 900.0f, 740.0f, 0);
  Draw(300, 300);
  Expect({{600, 508, kCarBack, "600.5 rounds down to even"},
          {599, 508, kGrass, "600.5 rounds down to even"},
          {642, 508, kCarBack, "641.5 rounds up to even"},
          {641, 508, kGrass, "641.5 rounds up to even"},
          {12, 8, kCarFront, "car over the HUD text"},
          {912, 748, kBlack, "car under the toolbar band"}});
}

TEST_F(ScenePixels, OutsideTheMapIsBlack) {
  w.ViewX = -(3200 - 512);
  w.ViewY = -(3200 - 384);
  Draw(300, 300);
  Expect({{511, 383, kGrass, "last world pixel"},
          {512, 300, kBlack, "right of the map"},
          {300, 384, kBlack, "below the map"}});
  w.ViewX = 40;  // off the tile grid, as a map file may leave it
  w.ViewY = 70;
  DrawScene(w, p);
  Expect({{39, 300, kBlack, "left of the map"},
          {40, 300, kGrass, "first world column"},
          {300, 69, kBlack, "above the map"},
          {300, 70, kGrass, "first world row"},
          {16 * 20 + 48, 16 * 20 + 78, kSignalColor, "the light moved with the view"}});
  if (const char* keep = std::getenv("KV_KEEP_FRAME")) p.WriteFramePng(keep);
}

}  // namespace
}  // namespace kv
