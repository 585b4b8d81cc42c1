#include "platform/draw/sdl_canvas.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "platform/draw/image_decode.h"

#if defined(__SANITIZE_ADDRESS__)
// fontconfig makes a one-time allocation on first use that it never frees and
// that LeakSanitizer cannot trace back to a live pointer; it is not ours, and
// without this every sanitized test that draws text would fail at exit.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
#endif

namespace kv {

namespace {

constexpr int kFontPointSize = 12;
// Asked for by name so the text looks the same on every machine that has it.
constexpr const char* kPreferredFontFamily = "DejaVu Sans";
constexpr const char* kFallbackFontFamily = "sans-serif";
constexpr size_t kMaxFontFilesTried = 64;
// Width per character that DrawLabel reports when no font could be opened.
constexpr int kFallbackAdvance = 7;
// Glyphs beyond Latin-1 live in a map that is dropped when it grows past this.
constexpr size_t kMaxExtraGlyphs = 1024;
constexpr char32_t kReplacementCharacter = 0xFFFD;
// A rotated quad is rasterised through a temporary surface by the software
// renderer: keep absurd sizes from allocating gigabytes.
constexpr int kMaxRotSpriteSide = kMaxImageSide;

uint32_t KeyAsArgbRgb(Color color) {
  return (static_cast<uint32_t>(ColorRed(color)) << 16) |
         (static_cast<uint32_t>(ColorGreen(color)) << 8) | static_cast<uint32_t>(ColorBlue(color));
}

// The screen's size, against which everything is clipped.
struct Screen {
  int width = kCanvasWidth, height = kCanvasHeight;
};

bool RectOffScreen(const Screen& screen, int64_t x, int64_t y, int64_t width, int64_t height) {
  return x + width <= 0 || y + height <= 0 || x >= screen.width || y >= screen.height;
}

// Intersects a rectangle with the screen; false when nothing is left.
bool ClipToScreen(const Screen& screen, int64_t x, int64_t y, int64_t width, int64_t height,
                  SDL_Rect& out) {
  int64_t left = std::max<int64_t>(x, 0);
  int64_t top = std::max<int64_t>(y, 0);
  int64_t right = std::min<int64_t>(x + width, screen.width);
  int64_t bottom = std::min<int64_t>(y + height, screen.height);
  if (right <= left || bottom <= top) return false;
  out = SDL_Rect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                 static_cast<int>(bottom - top)};
  return true;
}

// Decodes one code point and advances i; a malformed sequence yields the
// replacement character and skips one byte.
char32_t NextCodePoint(std::string_view text, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  uint8_t lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  int extra = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, minimum = 0x10000;
  } else {
    ++i;
    return kReplacementCharacter;
  }
  if (text.size() - i <= static_cast<size_t>(extra)) {
    ++i;
    return kReplacementCharacter;
  }
  for (int k = 1; k <= extra; ++k) {
    uint8_t b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kReplacementCharacter;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return kReplacementCharacter;
  }
  i += static_cast<size_t>(extra) + 1;
  return cp;
}

std::string MatchedFontFile(const char* family, bool requireFamily) {
  std::string file;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
  if (!pattern) return file;
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  if (match) {
    FcChar8* path = nullptr;
    FcChar8* matchedFamily = nullptr;
    bool familyOk = !requireFamily ||
                    (FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch &&
                     FcStrCmpIgnoreCase(matchedFamily,
                                        reinterpret_cast<const FcChar8*>(family)) == 0);
    if (familyOk && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
      file = reinterpret_cast<const char*>(path);
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return file;
}

// Every scalable font file known to fontconfig, sorted so the pick is stable.
std::vector<std::string> AllScalableFontFiles() {
  std::vector<std::string> files;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_SCALABLE, nullptr);
  FcFontSet* set = (pattern && objects) ? FcFontList(nullptr, pattern, objects) : nullptr;
  if (set) {
    for (int k = 0; k < set->nfont; ++k) {
      FcBool scalable = FcFalse;
      FcChar8* path = nullptr;
      if (FcPatternGetBool(set->fonts[k], FC_SCALABLE, 0, &scalable) == FcResultMatch &&
          scalable && FcPatternGetString(set->fonts[k], FC_FILE, 0, &path) == FcResultMatch &&
          path)
        files.emplace_back(reinterpret_cast<const char*>(path));
    }
    FcFontSetDestroy(set);
  }
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  std::sort(files.begin(), files.end());
  return files;
}

// A sprite shrunk for zoomed drawing: half, a quarter, ... of its size.
struct Shrunk {
  int width = 0;
  int height = 0;
  SDL_Texture* opaque = nullptr;
  SDL_Texture* keyed = nullptr;
};

struct Sprite {
  int width = 0;
  int height = 0;
  bool rotatable = false;
  bool hasKey = false;
  Color key = 0;
  std::vector<uint32_t> argb;  // opaque pixels, kept to rebuild the keyed texture
  SDL_Texture* opaque = nullptr;
  SDL_Texture* keyed = nullptr;
  std::vector<Shrunk> shrunk;  // halving after halving, made on first use
  float lastScale = 1.0f;      // the size drawn at the last scale asked for
  int scaledWidth = 0, scaledHeight = 0;
};

uint8_t Channel(uint32_t argb, int shift) { return static_cast<uint8_t>((argb >> shift) & 0xFF); }

// Shrinks an image with a box filter onto `width` x `height` pixels; each
// source pixel counts by its alpha, so transparent pixels neither darken nor
// tint the edges that remain.
std::vector<uint32_t> BoxShrink(const std::vector<uint32_t>& src, int srcWidth, int srcHeight,
                                int width, int height) {
  std::vector<uint32_t> out(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const int y0 = y * srcHeight / height, y1 = std::max(y0 + 1, (y + 1) * srcHeight / height);
    for (int x = 0; x < width; ++x) {
      const int x0 = x * srcWidth / width, x1 = std::max(x0 + 1, (x + 1) * srcWidth / width);
      uint64_t alpha = 0, red = 0, green = 0, blue = 0, count = 0;
      for (int sy = y0; sy < y1; ++sy)
        for (int sx = x0; sx < x1; ++sx) {
          const uint32_t p = src[static_cast<size_t>(sy) * srcWidth + sx];
          const uint64_t a = Channel(p, 24);
          alpha += a, red += a * Channel(p, 16), green += a * Channel(p, 8), blue += a * Channel(p, 0);
          ++count;
        }
      if (alpha == 0) continue;  // wholly transparent
      const uint32_t a = static_cast<uint32_t>((alpha + count / 2) / count);
      auto mean = [&](uint64_t sum) { return static_cast<uint32_t>((sum + alpha / 2) / alpha); };
      out[static_cast<size_t>(y) * width + x] = (a << 24) | (mean(red) << 16) | (mean(green) << 8) | mean(blue);
    }
  }
  return out;
}

struct RotSprite {
  SpriteHandle sprite = 0;
  int width = 0;
  int height = 0;
  float degrees = 0.0f;
  float lastScale = 1.0f;  // as in Sprite
  int scaledWidth = 0, scaledHeight = 0;
};

struct Glyph {
  bool known = false;
  int advance = 0;
  int offsetX = 0;  // from the pen position to the left edge of the texture
  int offsetY = 0;  // from the label's top to the top edge of the texture
  int width = 0;
  int height = 0;
  SDL_Texture* texture = nullptr;  // null for blank glyphs and without a renderer
};

}  // namespace

struct SdlCanvas::Impl {
  SDL_Renderer* renderer = nullptr;  // null: count only
  bool ownsRenderer = false;
  SDL_Surface* surface = nullptr;  // the software target, when owned
  Screen screen;
  uint64_t calls = 0;
  int overlayMode = 0;

  std::vector<Sprite> sprites;       // handle = index + 1
  std::vector<RotSprite> rotSprites;  // handle = index + 1

  bool fontTried = false;
  bool ttfStarted = false;
  TTF_Font* font = nullptr;
  int fontAscent = 0;
  int labelHeight = 0;
  std::array<Glyph, 256> latinGlyphs{};
  std::unordered_map<char32_t, Glyph> extraGlyphs;

  ~Impl();
  Sprite* FindSprite(SpriteHandle handle);
  RotSprite* FindRot(RotSpriteHandle handle);
  SDL_Texture* MakeTexture(const std::vector<uint32_t>& argb, int width, int height,
                           SDL_BlendMode blend);
  void FillKeyed(Sprite& sprite, std::vector<uint32_t>& out) const;
  bool MakeSpriteTextures(Sprite& sprite);
  void DropTextures(Sprite& sprite);
  // The shrunk copy that is the smallest not smaller than width x height, or
  // the sprite itself; made on first use.
  void PickForSize(Sprite& sprite, int width, int height, SDL_Texture*& opaque, SDL_Texture*& keyed);
  bool OpenSoftwareScreen(int width, int height);
  bool OffScreen(int64_t x, int64_t y, int64_t width, int64_t height) const {
    return RectOffScreen(screen, x, y, width, height);
  }
  void EnsureFont();
  const Glyph& GlyphFor(char32_t cp);
  void MakeGlyph(char32_t cp, Glyph& glyph);
  void DropGlyph(Glyph& glyph);
  // Width of the text in pixels; 0 for empty text.
  int MeasureLabel(std::string_view text);
};

SdlCanvas::Impl::~Impl() {
  for (Glyph& g : latinGlyphs) DropGlyph(g);
  for (auto& [cp, g] : extraGlyphs) DropGlyph(g);
  for (Sprite& s : sprites) DropTextures(s);
  if (font) TTF_CloseFont(font);
  if (ttfStarted) TTF_Quit();
  if (ownsRenderer && renderer) SDL_DestroyRenderer(renderer);
  if (surface) SDL_FreeSurface(surface);
}

Sprite* SdlCanvas::Impl::FindSprite(SpriteHandle handle) {
  if (handle == 0 || handle > sprites.size()) return nullptr;
  return &sprites[handle - 1];
}

RotSprite* SdlCanvas::Impl::FindRot(RotSpriteHandle handle) {
  if (handle == 0 || handle > rotSprites.size()) return nullptr;
  return &rotSprites[handle - 1];
}

SDL_Texture* SdlCanvas::Impl::MakeTexture(const std::vector<uint32_t>& argb, int width,
                                          int height, SDL_BlendMode blend) {
  SDL_Texture* texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                                           SDL_TEXTUREACCESS_STATIC, width, height);
  if (!texture) return nullptr;
  if (SDL_UpdateTexture(texture, nullptr, argb.data(), width * 4) != 0) {
    SDL_DestroyTexture(texture);
    return nullptr;
  }
  SDL_SetTextureBlendMode(texture, blend);
  // Nearest sampling: filtering would bleed the transparent key pixels into
  // the edges and make the two renderers disagree.
  SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
  return texture;
}

void SdlCanvas::Impl::FillKeyed(Sprite& sprite, std::vector<uint32_t>& out) const {
  out = sprite.argb;
  if (!sprite.hasKey) return;
  uint32_t key = KeyAsArgbRgb(sprite.key);
  for (uint32_t& p : out)
    if ((p & 0x00FFFFFFu) == key) p = 0;
}

bool SdlCanvas::Impl::MakeSpriteTextures(Sprite& sprite) {
  sprite.opaque = MakeTexture(sprite.argb, sprite.width, sprite.height, SDL_BLENDMODE_NONE);
  std::vector<uint32_t> keyed;
  FillKeyed(sprite, keyed);
  sprite.keyed = MakeTexture(keyed, sprite.width, sprite.height, SDL_BLENDMODE_BLEND);
  if (sprite.opaque && sprite.keyed) return true;
  DropTextures(sprite);
  return false;
}

void SdlCanvas::Impl::DropTextures(Sprite& sprite) {
  for (Shrunk& s : sprite.shrunk) {
    if (s.opaque) SDL_DestroyTexture(s.opaque);
    if (s.keyed) SDL_DestroyTexture(s.keyed);
  }
  sprite.shrunk.clear();
  if (sprite.opaque) SDL_DestroyTexture(sprite.opaque);
  if (sprite.keyed) SDL_DestroyTexture(sprite.keyed);
  sprite.opaque = sprite.keyed = nullptr;
}

void SdlCanvas::Impl::PickForSize(Sprite& sprite, int width, int height, SDL_Texture*& opaque,
                                  SDL_Texture*& keyed) {
  opaque = sprite.opaque, keyed = sprite.keyed;
  if (width >= sprite.width && height >= sprite.height) return;
  if (sprite.shrunk.empty() && sprite.opaque) {
    // Each halving is filtered from the one before, the opaque and the keyed
    // pictures alike.
    std::vector<uint32_t> opaquePixels = sprite.argb, keyedPixels;
    FillKeyed(sprite, keyedPixels);
    int w = sprite.width, h = sprite.height;
    while (w > 1 || h > 1) {
      const int nw = std::max(1, w / 2), nh = std::max(1, h / 2);
      opaquePixels = BoxShrink(opaquePixels, w, h, nw, nh);
      keyedPixels = BoxShrink(keyedPixels, w, h, nw, nh);
      w = nw, h = nh;
      Shrunk level{w, h, MakeTexture(opaquePixels, w, h, SDL_BLENDMODE_NONE),
                   MakeTexture(keyedPixels, w, h, SDL_BLENDMODE_BLEND)};
      sprite.shrunk.push_back(level);
      if (!level.opaque || !level.keyed) break;
    }
  }
  for (const Shrunk& level : sprite.shrunk) {
    if (level.width < width || level.height < height || !level.opaque || !level.keyed) break;
    opaque = level.opaque, keyed = level.keyed;
  }
}

bool SdlCanvas::Impl::OpenSoftwareScreen(int width, int height) {
  surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGB888);
  if (!surface) return false;
  renderer = SDL_CreateSoftwareRenderer(surface);
  ownsRenderer = renderer != nullptr;
  return ownsRenderer;
}

void SdlCanvas::Impl::EnsureFont() {
  if (fontTried) return;
  fontTried = true;
  if (TTF_Init() != 0) return;
  ttfStarted = true;
  std::vector<std::string> candidates;
  std::string preferred = MatchedFontFile(kPreferredFontFamily, true);
  if (!preferred.empty()) candidates.push_back(preferred);
  std::string fallback = MatchedFontFile(kFallbackFontFamily, false);
  if (!fallback.empty()) candidates.push_back(fallback);
  for (size_t k = 0; k < candidates.size() && !font; ++k)
    font = TTF_OpenFont(candidates[k].c_str(), kFontPointSize);
  if (!font) {
    std::vector<std::string> all = AllScalableFontFiles();
    for (size_t k = 0; k < all.size() && k < kMaxFontFilesTried && !font; ++k)
      font = TTF_OpenFont(all[k].c_str(), kFontPointSize);
  }
  if (!font) return;
  fontAscent = TTF_FontAscent(font);
  // Ascent to descent inclusive: the rows descenders reach.
  labelHeight = TTF_FontAscent(font) - TTF_FontDescent(font) + 1;
}

void SdlCanvas::Impl::DropGlyph(Glyph& glyph) {
  if (glyph.texture) SDL_DestroyTexture(glyph.texture);
  glyph = Glyph{};
}

void SdlCanvas::Impl::MakeGlyph(char32_t cp, Glyph& glyph) {
  glyph.known = true;
  int minX = 0, maxX = 0, minY = 0, maxY = 0, advance = 0;
  if (!font || TTF_GlyphMetrics32(font, cp, &minX, &maxX, &minY, &maxY, &advance) != 0) return;
  glyph.advance = advance;
  // The rendered surface puts the pen origin at its left edge unless the
  // glyph reaches left of it, and the baseline at the ascent unless the glyph
  // rises above it.
  glyph.offsetX = -std::max(0, -minX);
  glyph.offsetY = -std::max(0, maxY - fontAscent);
  if (!renderer || cp < 0x20) return;
  SDL_Surface* rendered = TTF_RenderGlyph32_Blended(font, cp, SDL_Color{255, 255, 255, 255});
  if (!rendered) return;
  bool blank = false;
  if (rendered->format->format == SDL_PIXELFORMAT_ARGB8888 && SDL_LockSurface(rendered) == 0) {
    blank = true;
    for (int y = 0; y < rendered->h && blank; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(
                                                             rendered->pixels) +
                                                         static_cast<size_t>(y) * rendered->pitch);
      for (int x = 0; x < rendered->w; ++x)
        if (row[x] >> 24) {
          blank = false;
          break;
        }
    }
    SDL_UnlockSurface(rendered);
  }
  if (!blank) {
    glyph.texture = SDL_CreateTextureFromSurface(renderer, rendered);
    if (glyph.texture) {
      SDL_SetTextureBlendMode(glyph.texture, SDL_BLENDMODE_BLEND);
      SDL_SetTextureScaleMode(glyph.texture, SDL_ScaleModeNearest);
      glyph.width = rendered->w;
      glyph.height = rendered->h;
    }
  }
  SDL_FreeSurface(rendered);
}

const Glyph& SdlCanvas::Impl::GlyphFor(char32_t cp) {
  if (cp < latinGlyphs.size()) {
    Glyph& glyph = latinGlyphs[cp];
    if (!glyph.known) MakeGlyph(cp, glyph);
    return glyph;
  }
  auto it = extraGlyphs.find(cp);
  if (it != extraGlyphs.end()) return it->second;
  if (extraGlyphs.size() >= kMaxExtraGlyphs) {
    for (auto& [code, g] : extraGlyphs) DropGlyph(g);
    extraGlyphs.clear();
  }
  Glyph& glyph = extraGlyphs[cp];
  MakeGlyph(cp, glyph);
  return glyph;
}

int SdlCanvas::Impl::MeasureLabel(std::string_view text) {
  int width = 0;
  char32_t previous = 0;
  for (size_t i = 0; i < text.size();) {
    char32_t cp = NextCodePoint(text, i);
    if (!font) {
      width += kFallbackAdvance;
      continue;
    }
    if (previous) width += TTF_GetFontKerningSizeGlyphs32(font, previous, cp);
    width += GlyphFor(cp).advance;
    previous = cp;
  }
  return width;
}

SdlCanvas::SdlCanvas(SDL_Renderer* renderer) : impl_(std::make_unique<Impl>()) {
  impl_->renderer = renderer;
}

SdlCanvas::SdlCanvas(Headless mode) : impl_(std::make_unique<Impl>()) {
  if (mode == kCountOnly) return;
  impl_->OpenSoftwareScreen(kCanvasWidth, kCanvasHeight);
}

Size SdlCanvas::ScreenSize() const { return {impl_->screen.width, impl_->screen.height}; }

void SdlCanvas::SetScreenSize(int width, int height) {
  width = std::clamp(width, 1, kMaxScreenSide);
  height = std::clamp(height, 1, kMaxScreenSide);
  Impl& m = *impl_;
  if (width == m.screen.width && height == m.screen.height) return;
  m.screen = Screen{width, height};
  if (!m.surface) return;
  // Textures belong to their renderer: the glyphs are made again on use, the
  // sprites at once from the pixels they keep.
  for (Glyph& g : m.latinGlyphs) m.DropGlyph(g);
  for (auto& [cp, g] : m.extraGlyphs) m.DropGlyph(g);
  m.extraGlyphs.clear();
  for (Sprite& sprite : m.sprites) m.DropTextures(sprite);
  if (m.renderer) SDL_DestroyRenderer(m.renderer);
  SDL_FreeSurface(m.surface);
  m.renderer = nullptr;
  m.surface = nullptr;
  m.ownsRenderer = false;
  if (!m.OpenSoftwareScreen(width, height)) return;
  for (Sprite& sprite : m.sprites) m.MakeSpriteTextures(sprite);
}

SdlCanvas::~SdlCanvas() = default;

SpriteHandle SdlCanvas::LoadSpriteImage(const std::string& path, bool rotatable) {
  std::optional<RgbaImage> image = DecodeImageFile(path);
  if (!image) return 0;
  Sprite sprite;
  sprite.width = image->width;
  sprite.height = image->height;
  sprite.rotatable = rotatable;
  if (impl_->renderer) {
    // The images' own alpha is ignored: only the key colour makes holes.
    size_t count = static_cast<size_t>(image->width) * image->height;
    sprite.argb.resize(count);
    const uint8_t* p = image->pixels.data();
    for (size_t k = 0; k < count; ++k, p += 4)
      sprite.argb[k] = 0xFF000000u | (static_cast<uint32_t>(p[0]) << 16) |
                       (static_cast<uint32_t>(p[1]) << 8) | p[2];
    if (!impl_->MakeSpriteTextures(sprite)) return 0;
  }
  impl_->sprites.push_back(std::move(sprite));
  return static_cast<SpriteHandle>(impl_->sprites.size());
}

void SdlCanvas::SetSpriteKeyColor(SpriteHandle handle, Color color) {
  Sprite* sprite = impl_->FindSprite(handle);
  if (!sprite) return;
  color &= 0xFFFFFFu;
  if (sprite->hasKey && sprite->key == color) return;
  sprite->hasKey = true;
  sprite->key = color;
  if (!sprite->keyed) return;
  std::vector<uint32_t> keyed;
  impl_->FillKeyed(*sprite, keyed);
  SDL_UpdateTexture(sprite->keyed, nullptr, keyed.data(), sprite->width * 4);
  // The shrunk copies are made again with the new key on their next use.
  for (Shrunk& level : sprite->shrunk) {
    if (level.opaque) SDL_DestroyTexture(level.opaque);
    if (level.keyed) SDL_DestroyTexture(level.keyed);
  }
  sprite->shrunk.clear();
}

void SdlCanvas::DrawSprite(SpriteHandle handle, int x, int y) {
  Sprite* sprite = impl_->FindSprite(handle);
  if (!sprite || impl_->OffScreen(x, y, sprite->width, sprite->height)) return;
  ++impl_->calls;
  if (!impl_->renderer) return;
  SDL_Rect dst{x, y, sprite->width, sprite->height};
  SDL_RenderCopy(impl_->renderer, sprite->opaque, nullptr, &dst);
}

void SdlCanvas::DrawSpriteKeyed(SpriteHandle handle, int x, int y) {
  Sprite* sprite = impl_->FindSprite(handle);
  if (!sprite || impl_->OffScreen(x, y, sprite->width, sprite->height)) return;
  ++impl_->calls;
  if (!impl_->renderer) return;
  SDL_SetTextureAlphaMod(sprite->keyed, 255);  // rotated draws share this texture
  SDL_Rect dst{x, y, sprite->width, sprite->height};
  SDL_RenderCopy(impl_->renderer, sprite->keyed, nullptr, &dst);
}

RotSpriteHandle SdlCanvas::CreateRotSprite(SpriteHandle handle) {
  Sprite* sprite = impl_->FindSprite(handle);
  if (!sprite || !sprite->rotatable) return 0;
  RotSprite rot;
  rot.sprite = handle;
  rot.width = std::min(sprite->width, kMaxRotSpriteSide);
  rot.height = std::min(sprite->height, kMaxRotSpriteSide);
  impl_->rotSprites.push_back(rot);
  return static_cast<RotSpriteHandle>(impl_->rotSprites.size());
}

void SdlCanvas::SetRotSpriteSize(RotSpriteHandle handle, int width, int height) {
  RotSprite* rot = impl_->FindRot(handle);
  if (!rot) return;
  rot->width = std::clamp(width, 0, kMaxRotSpriteSide);
  rot->height = std::clamp(height, 0, kMaxRotSpriteSide);
  rot->scaledWidth = 0;
}

void SdlCanvas::SetRotSpriteAngle(RotSpriteHandle handle, float degrees) {
  RotSprite* rot = impl_->FindRot(handle);
  if (!rot) return;
  rot->degrees = std::isfinite(degrees) ? degrees : 0.0f;
}

namespace {

// True when a quad of the size, turned about its centre, misses the screen:
// tested by its bounding box, with a pixel to spare for rounding in the
// rasteriser.
bool TurnedOffScreen(const Screen& screen, int x, int y, int width, int height, float degrees) {
  double radians = static_cast<double>(degrees) * std::numbers::pi / 180.0;
  double c = std::fabs(std::cos(radians));
  double s = std::fabs(std::sin(radians));
  double halfWidth = (width * c + height * s) / 2.0 + 1.0;
  double halfHeight = (width * s + height * c) / 2.0 + 1.0;
  double centreX = x + width / 2.0;
  double centreY = y + height / 2.0;
  return centreX + halfWidth <= 0.0 || centreY + halfHeight <= 0.0 || centreX - halfWidth >= screen.width ||
         centreY - halfHeight >= screen.height;
}

// As TurnedOffScreen, for the many small quads of a zoomed-out map: a quarter
// turn, as most cars have, needs no trigonometry.
bool ScaledTurnedOffScreen(const Screen& screen, int x, int y, int width, int height, float degrees) {
  const float quarters = degrees / 90.0f;
  if (quarters != std::nearbyint(quarters)) return TurnedOffScreen(screen, x, y, width, height, degrees);
  const bool across = static_cast<int64_t>(std::nearbyint(quarters)) % 2 != 0;
  const int64_t centreX2 = 2 * int64_t{x} + width, centreY2 = 2 * int64_t{y} + height;  // doubled
  const int64_t spanX = (across ? height : width) + 2, spanY = (across ? width : height) + 2;
  return centreX2 + spanX <= 0 || centreY2 + spanY <= 0 || centreX2 - spanX >= 2 * int64_t{screen.width} ||
         centreY2 - spanY >= 2 * int64_t{screen.height};
}

// A side times the scale, rounded, at least 1; 0 for a scale that draws
// nothing (not positive, not finite, or absurdly large).
int ScaledSide(int side, float scale) {
  if (!(scale > 0.0f && scale <= static_cast<float>(kMaxScreenSide))) return 0;
  const double scaled = std::nearbyint(static_cast<double>(side) * scale);
  return static_cast<int>(std::clamp(scaled, 1.0, static_cast<double>(kMaxScreenSide)));
}

// The size of a sprite or rotatable sprite at a scale, remembered for the
// next draw: a zoomed map asks for one scale thousands of times a frame.
template <class Drawable>
void SizeAt(Drawable& d, float scale, int& width, int& height) {
  if (scale != d.lastScale || d.scaledWidth == 0) {
    d.lastScale = scale;
    d.scaledWidth = ScaledSide(d.width, scale), d.scaledHeight = ScaledSide(d.height, scale);
  }
  width = d.scaledWidth, height = d.scaledHeight;
}

}  // namespace

void SdlCanvas::DrawRotSprite(RotSpriteHandle handle, int x, int y, int opacity) {
  RotSprite* rot = impl_->FindRot(handle);
  if (!rot || rot->width <= 0 || rot->height <= 0) return;
  Sprite* sprite = impl_->FindSprite(rot->sprite);
  if (!sprite || TurnedOffScreen(impl_->screen, x, y, rot->width, rot->height, rot->degrees)) return;
  ++impl_->calls;
  if (!impl_->renderer) return;
  SDL_SetTextureAlphaMod(sprite->keyed, static_cast<Uint8>(std::clamp(opacity, 0, 255)));
  SDL_Rect dst{x, y, rot->width, rot->height};
  SDL_RenderCopyEx(impl_->renderer, sprite->keyed, nullptr, &dst, rot->degrees, nullptr,
                   SDL_FLIP_NONE);
}

void SdlCanvas::DrawSpriteScaled(SpriteHandle handle, int x, int y, float scale, bool keyed) {
  if (scale == 1.0f) return keyed ? DrawSpriteKeyed(handle, x, y) : DrawSprite(handle, x, y);
  Sprite* sprite = impl_->FindSprite(handle);
  if (!sprite) return;
  int width = 0, height = 0;
  SizeAt(*sprite, scale, width, height);
  if (width == 0 || height == 0 || impl_->OffScreen(x, y, width, height)) return;
  ++impl_->calls;
  if (!impl_->renderer) return;
  SDL_Texture *opaque = nullptr, *keyedTexture = nullptr;
  impl_->PickForSize(*sprite, width, height, opaque, keyedTexture);
  if (keyed) SDL_SetTextureAlphaMod(keyedTexture, 255);
  SDL_Rect dst{x, y, width, height};
  SDL_RenderCopy(impl_->renderer, keyed ? keyedTexture : opaque, nullptr, &dst);
}

void SdlCanvas::DrawRotSpriteScaled(RotSpriteHandle handle, int x, int y, float scale, int opacity) {
  if (scale == 1.0f) return DrawRotSprite(handle, x, y, opacity);
  RotSprite* rot = impl_->FindRot(handle);
  if (!rot || rot->width <= 0 || rot->height <= 0) return;
  Sprite* sprite = impl_->FindSprite(rot->sprite);
  int width = 0, height = 0;
  SizeAt(*rot, scale, width, height);
  if (!sprite || width == 0 || height == 0 ||
      ScaledTurnedOffScreen(impl_->screen, x, y, width, height, rot->degrees))
    return;
  ++impl_->calls;
  if (!impl_->renderer) return;
  SDL_Texture *opaque = nullptr, *keyed = nullptr;
  impl_->PickForSize(*sprite, width, height, opaque, keyed);
  SDL_SetTextureAlphaMod(keyed, static_cast<Uint8>(std::clamp(opacity, 0, 255)));
  SDL_Rect dst{x, y, width, height};
  SDL_RenderCopyEx(impl_->renderer, keyed, nullptr, &dst, rot->degrees, nullptr, SDL_FLIP_NONE);
}

void SdlCanvas::ClearFrame(Color color) {
  ++impl_->calls;
  if (!impl_->renderer) return;
  SDL_SetRenderDrawColor(impl_->renderer, static_cast<Uint8>(ColorRed(color)),
                         static_cast<Uint8>(ColorGreen(color)),
                         static_cast<Uint8>(ColorBlue(color)), 255);
  SDL_RenderClear(impl_->renderer);
}

void SdlCanvas::BeginOverlay() { impl_->overlayMode = 0; }

void SdlCanvas::EndOverlay() { impl_->overlayMode = 0; }

void SdlCanvas::SetOverlayMode(int flags) { impl_->overlayMode = flags; }

void SdlCanvas::DrawRect(int x, int y, int width, int height, Color color) {
  if (width <= 0 || height <= 0 || impl_->OffScreen(x, y, width, height)) return;
  // Clipped here rather than by SDL so that huge coordinates cannot overflow.
  std::array<SDL_Rect, 4> rects{};
  int count = 0;
  if (impl_->overlayMode & Outline) {
    const int64_t left = x, top = y, right = int64_t{x} + width - 1, bottom = int64_t{y} + height - 1;
    const Screen& screen = impl_->screen;
    if (ClipToScreen(screen, left, top, width, 1, rects[count])) ++count;
    if (height > 1 && ClipToScreen(screen, left, bottom, width, 1, rects[count])) ++count;
    if (height > 2 && ClipToScreen(screen, left, top + 1, 1, height - 2, rects[count])) ++count;
    if (width > 1 && height > 2 && ClipToScreen(screen, right, top + 1, 1, height - 2, rects[count]))
      ++count;
  } else if (ClipToScreen(impl_->screen, x, y, width, height, rects[0])) {
    count = 1;
  }
  if (count == 0) return;
  ++impl_->calls;
  if (!impl_->renderer) return;
  SDL_SetRenderDrawBlendMode(impl_->renderer, SDL_BLENDMODE_NONE);
  SDL_SetRenderDrawColor(impl_->renderer, static_cast<Uint8>(ColorRed(color)),
                         static_cast<Uint8>(ColorGreen(color)),
                         static_cast<Uint8>(ColorBlue(color)), 255);
  SDL_RenderFillRects(impl_->renderer, rects.data(), count);
}

void SdlCanvas::FillRectBlended(int x, int y, int width, int height, Color color, int opacity) {
  if (width <= 0 || height <= 0 || opacity <= 0 || impl_->OffScreen(x, y, width, height)) return;
  SDL_Rect rect;
  if (!ClipToScreen(impl_->screen, x, y, width, height, rect)) return;
  ++impl_->calls;
  if (!impl_->renderer) return;
  SDL_SetRenderDrawBlendMode(impl_->renderer, SDL_BLENDMODE_BLEND);
  SDL_SetRenderDrawColor(impl_->renderer, static_cast<Uint8>(ColorRed(color)), static_cast<Uint8>(ColorGreen(color)),
                         static_cast<Uint8>(ColorBlue(color)), static_cast<Uint8>(std::min(opacity, 255)));
  SDL_RenderFillRect(impl_->renderer, &rect);
  SDL_SetRenderDrawBlendMode(impl_->renderer, SDL_BLENDMODE_NONE);
}

int SdlCanvas::DrawLabel(int x, int y, std::string_view utf8Text, Color color) {
  if (utf8Text.empty()) return x;
  impl_->EnsureFont();
  const int width = impl_->MeasureLabel(utf8Text);
  const int64_t end = int64_t{x} + width;
  const int after = static_cast<int>(std::clamp<int64_t>(end, INT32_MIN, INT32_MAX));
  if (!impl_->font || impl_->OffScreen(x, y, width, impl_->labelHeight)) return after;
  ++impl_->calls;
  SDL_Renderer* renderer = impl_->renderer;
  if (!renderer) return after;

  if (!(impl_->overlayMode & TransparentText)) {
    SDL_Rect background;
    if (ClipToScreen(impl_->screen, x, y, width, impl_->labelHeight, background)) {
      SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
      SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
      SDL_RenderFillRect(renderer, &background);
    }
  }
  const Uint8 red = static_cast<Uint8>(ColorRed(color));
  const Uint8 green = static_cast<Uint8>(ColorGreen(color));
  const Uint8 blue = static_cast<Uint8>(ColorBlue(color));
  int64_t pen = x;
  char32_t previous = 0;
  for (size_t i = 0; i < utf8Text.size();) {
    char32_t cp = NextCodePoint(utf8Text, i);
    if (previous) pen += TTF_GetFontKerningSizeGlyphs32(impl_->font, previous, cp);
    previous = cp;
    const Glyph& glyph = impl_->GlyphFor(cp);
    if (glyph.texture && !impl_->OffScreen(pen + glyph.offsetX, y + glyph.offsetY, glyph.width,
                                           glyph.height)) {
      SDL_SetTextureColorMod(glyph.texture, red, green, blue);
      SDL_Rect dst{static_cast<int>(pen) + glyph.offsetX, y + glyph.offsetY, glyph.width,
                   glyph.height};
      SDL_RenderCopy(renderer, glyph.texture, nullptr, &dst);
    }
    pen += glyph.advance;
  }
  return after;
}

void SdlCanvas::ReadFrame(std::vector<uint8_t>& rgb) {
  int width = 0, height = 0;
  if (!impl_->renderer || SDL_GetRendererOutputSize(impl_->renderer, &width, &height) != 0 ||
      width <= 0 || height <= 0) {
    rgb.clear();
    return;
  }
  // RGB24 is a byte order (R, G, B in memory), unlike the packed 32-bit
  // formats whose byte order depends on the machine.
  rgb.resize(static_cast<size_t>(width) * height * 3);
  if (SDL_RenderReadPixels(impl_->renderer, nullptr, SDL_PIXELFORMAT_RGB24, rgb.data(),
                           width * 3) != 0)
    std::fill(rgb.begin(), rgb.end(), 0);
}

uint64_t SdlCanvas::DrawCalls() const { return impl_->calls; }

}  // namespace kv
