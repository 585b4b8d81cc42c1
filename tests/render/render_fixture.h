// Test worlds for the renderer. Sprites come from small solid-colour PNGs, so
// pixel checks do not depend on the program's own graphics; the record
// builders fill only what drawing reads.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/world.h"
#include "platform/headless_platform.h"
#include "platform/image_decode.h"
#include "support/temp_files.h"

namespace kv::test {

constexpr Color kGrass = RGB(0, 128, 0), kRoad = RGB(96, 96, 96);
constexpr Color kCarBack = RGB(0, 0, 255), kCarFront = RGB(255, 0, 0);
constexpr Color kEmitterColor = RGB(255, 128, 0), kTargetColor = RGB(0, 255, 255);
constexpr Color kSignalColor = RGB(0, 0, 255);  // signs and lights alike
constexpr Color kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kMagenta = RGB(255, 0, 255);
constexpr Color kOlive = RGB(128, 128, 0), kGreen = RGB(0, 255, 0), kGrey = RGB(128, 128, 128);
constexpr Color kYellow = RGB(255, 255, 0);

// As the program's start-up fills the tables: every road type looks alike,
// the car's right half (its front at heading 0) is red, emitter and target
// have a key-coloured hole at 12..19.
inline void LoadTestSprites(World& w, Platform& p, const kvtest::TempDir& dir) {
  auto image = [&](const std::string& name, int size, const std::function<Color(int, int)>& color) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        for (int part : {ColorRed(color(x, y)), ColorGreen(color(x, y)), ColorBlue(color(x, y))})
          rgb.push_back(static_cast<uint8_t>(part));
    EXPECT_TRUE(WritePng(dir.File(name), size, size, rgb.data(), false));
    return dir.File(name);
  };
  auto solid = [](Color c) { return [c](int, int) { return c; }; };
  auto holed = [](Color c) {
    return [c](int x, int y) { return (x >= 12 && x < 20 && y >= 12 && y < 20) ? kKeyColor : c; };
  };
  const std::string road = image("road.png", 32, solid(kRoad));
  const std::string car = image("car.png", 16, [](int x, int) { return x >= 8 ? kCarFront : kCarBack; });
  const std::string emitter = image("emitter.png", 32, holed(kEmitterColor));
  const std::string signal = image("signal.png", 16, solid(kSignalColor));
  w.GrassSprite = p.LoadSpriteImage(image("grass.png", 64, solid(kGrass)), false);
  w.TargetSprite = p.LoadSpriteImage(image("target.png", 32, holed(kTargetColor)), false);
  p.SetSpriteKeyColor(w.TargetSprite, kKeyColor);
  for (int i = 1; i <= 11; ++i) w.RoadSprites[i] = p.LoadSpriteImage(road, false);
  for (int i = 1; i <= 4; ++i) {
    w.EmitterSprites[i] = p.LoadSpriteImage(emitter, false);
    p.SetSpriteKeyColor(w.EmitterSprites[i], kKeyColor);
    w.LightIcons[i] = p.LoadSpriteImage(signal, true);
    w.LightSprites[i] = p.CreateRotSprite(w.LightIcons[i]);
    p.SetRotSpriteSize(w.LightSprites[i], 12, 12);
  }
  for (int i = 1; i <= 17; ++i) {
    w.CarImages[i] = p.LoadSpriteImage(car, true);
    w.CarSprites[i] = p.CreateRotSprite(w.CarImages[i]);
  }
}

template <class T>
T& Append(RecordList<T>& list, int32_t& count) {
  list.Last();
  ++count;
  return list.Add();
}

inline Road& PutRoad(World& w, int tx, int ty, int type = 1) {
  Road& r = Append(w.RoadList, w.RoadCount);
  r.TileX = tx, r.TileY = ty, r.PixelX = 32 * tx, r.PixelY = 32 * ty, r.Type = type;
  r.Sprite = w.RoadSprites[type];
  return r;
}

inline Emitter& PutEmitter(World& w, int tx, int ty, int targetX, int targetY) {
  Emitter& e = Append(w.EmitterList, w.EmitterCount);
  e.TileX = tx, e.TileY = ty, e.PixelX = 32 * tx, e.PixelY = 32 * ty;
  e.Sprite = w.EmitterSprites[1];
  e.TargetX = targetX, e.TargetY = targetY;
  return e;
}

inline TrafficLight& PutLight(World& w, int cx, int cy, int state) {
  TrafficLight& l = Append(w.TrafficLightList, w.LightCount);
  l.CellX = cx, l.CellY = cy, l.PixelX = 16 * cx, l.PixelY = 16 * cy;
  l.Kind = l.State = state;
  l.Sprite = w.LightSprites[state];
  return l;
}

inline Car& PutCar(World& w, float x, float y, int angle, int color = 1) {
  Car& c = Append(w.CarList, w.CarCount);
  c.PosX = x, c.PosY = y, c.Angle = angle;
  c.Sprite = w.CarSprites[color];
  return c;
}

}  // namespace kv::test
