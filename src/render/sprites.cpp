#include "render/sprites.h"

#include <string>

#include "platform/files.h"

namespace kv {

namespace {

constexpr int kSignalSize = 12;  // signs and lights are drawn 12 x 12 whatever their size

std::string Numbered(const char* prefix, int n) {
  return std::string(prefix) + std::to_string(n) + ".png";
}

// Loads one of the program's own images, named as the program names them.
SpriteHandle Load(Canvas& c, const std::string& folder, const std::string& programPath, bool rotatable) {
  return c.LoadSpriteImage(folder + HostPath(programPath), rotatable);
}

// A sign or light image with its rotatable 12 x 12 copy.
void LoadSignal(World& w, Canvas& c, const std::string& folder, size_t i, const std::string& path) {
  w.LightIcons[i] = Load(c, folder, path, true);
  c.SetSpriteKeyColor(w.LightIcons[i], kKeyColor);
  w.LightSprites[i] = c.CreateRotSprite(w.LightIcons[i]);
  c.SetRotSpriteSize(w.LightSprites[i], kSignalSize, kSignalSize);
}

}  // namespace

void LoadSprites(World& w, Canvas& c, const std::string& folder) {
  w.GrassSprite = Load(c, folder, "Gfx\\gras.jpg", false);
  for (int i = 1; i <= 2; ++i) LoadSignal(w, c, folder, static_cast<size_t>(i), Numbered("Gfx\\sign", i));
  for (int i = 3; i <= 4; ++i) LoadSignal(w, c, folder, static_cast<size_t>(i), Numbered("Gfx\\light", i - 2));
  for (size_t i = 1; i <= 4; ++i) {
    w.EmitterSprites[i] = Load(c, folder, Numbered("Gfx\\emitter", static_cast<int>(i)), false);
    c.SetSpriteKeyColor(w.EmitterSprites[i], kKeyColor);
  }
  w.TargetSprite = Load(c, folder, "Gfx\\Target.png", false);
  c.SetSpriteKeyColor(w.TargetSprite, kKeyColor);
  for (size_t i = 1; i <= kRoadTypes; ++i)
    w.RoadSprites[i] = Load(c, folder, Numbered("Gfx\\road", static_cast<int>(i)), false);
  for (size_t i = 1; i <= 17; ++i) {
    w.CarImages[i] = Load(c, folder, Numbered("Gfx\\car", static_cast<int>(i)), true);
    c.SetSpriteKeyColor(w.CarImages[i], kKeyColor);
    w.CarSprites[i] = c.CreateRotSprite(w.CarImages[i]);
  }
}

}  // namespace kv
