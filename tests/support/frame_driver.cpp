#include "support/frame_driver.h"

namespace kv::testing {

FrameDriver::FrameDriver() {
  p.SetNow(kStartMs);
  game.OpenWindow();
}

void FrameDriver::Frame(int count) {
  for (int i = 0; i < count; ++i) {
    p.AdvanceMs(kFrameMs);
    game.Frame();
  }
}

void FrameDriver::FrameAt(uint32_t ms) {
  p.SetNow(ms);
  game.Frame();
}

void FrameDriver::PointAtTile(int tx, int ty, int dx, int dy) {
  PointAt(tx * kTileSize + w.ViewX + dx, ty * kTileSize + w.ViewY + dy);
}

void FrameDriver::PointAtCell(int cx, int cy, int dx, int dy) {
  PointAt(cx * kCellSize + w.ViewX + dx, cy * kCellSize + w.ViewY + dy);
}

void FrameDriver::Click(int button, int times) {
  for (int i = 0; i < times; ++i) {
    p.SetButton(button, true);
    Frame();
    p.SetButton(button, false);
    Frame();
  }
  p.AdvanceMs(kClickPauseMs);
}

void FrameDriver::ChooseTool(int tool) {
  PointAt(35 * tool - 15 + 16, w.ScreenHeight - 50 + 16);
  Click();
}

DialogStep PressButton(const std::string& text) {
  return [=](HeadlessPlatform& p, HeadlessWindow& win) { p.ClickButton(win, text); };
}

DialogStep Slide(int slider, int value) {
  return [=](HeadlessPlatform& p, HeadlessWindow& win) { p.MoveSlider(win, slider, value); };
}

DialogStep Type(const std::string& text) {
  return [=](HeadlessPlatform& p, HeadlessWindow& win) { p.TypeText(win, 0, text); };
}

DialogStep Look(HeadlessWindow& seen) {
  return [&seen](HeadlessPlatform&, HeadlessWindow& win) { seen = win; };
}

Car& AddParkedCar(World& w, std::shared_ptr<Emitter> emitter, float posX, float posY) {
  w.CarList.Last();
  Car& car = w.CarList.Add();
  car.PosX = posX;
  car.PosY = posY;
  car.CellX = static_cast<int32_t>(posX) / kCellSize;
  car.CellY = static_cast<int32_t>(posY) / kCellSize;
  car.State = Held;  // HoldTime 0: never resumes by itself
  car.Emitter = std::move(emitter);
  w.CarCount += 1;
  return car;
}

}  // namespace kv::testing
