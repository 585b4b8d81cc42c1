// Draws every image of the Gfx directory from code.
//
//   build/make-gfx Gfx                      (run in the repository root)
//   build/make-gfx OUTDIR --sheet sheet.png (also writes an enlarged contact sheet)
//
// Output is byte-for-byte reproducible: the only randomness is a fixed-seed
// std::mt19937, whose sequence the standard fixes.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/draw/image_decode.h"

namespace kv {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kSeed = 20240611;
constexpr int kSamples = 8;  // per pixel side when supersampling shapes
constexpr int kGrassSide = 64;
constexpr int kTile = 32;
constexpr int kCell = 16;
constexpr int kIconSide = 32;
constexpr int kJpegQuality = 92;

struct Rgb {
  double r = 0, g = 0, b = 0;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb Scale(Rgb a, double f) { return {a.r * f, a.g * f, a.b * f}; }
Rgb Add(Rgb a, double d) { return {a.r + d, a.g + d, a.b + d}; }

uint8_t Channel(double v) { return static_cast<uint8_t>(std::clamp(std::lrint(v), 0L, 255L)); }

const Rgb kKey{255, 0, 255};

// An RGB image; keyed images mark transparent pixels with the key colour.
struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  Image(int w, int h) : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3, 0) {}
  uint8_t* At(int x, int y) { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  const uint8_t* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  void Set(int x, int y, Rgb c) {
    uint8_t* p = At(x, y);
    p[0] = Channel(c.r);
    p[1] = Channel(c.g);
    p[2] = Channel(c.b);
  }
  bool IsKey(int x, int y) const {
    const uint8_t* p = At(x, y);
    return p[0] == 255 && p[1] == 0 && p[2] == 255;
  }
};

// A shape returns the colour at a point, or nothing where it is transparent.
using Shader = std::function<std::optional<Rgb>(double x, double y)>;

// Supersamples a shader. Keyed images get a hard edge (a pixel is opaque when
// at least half of it is covered) because the key colour has no partial
// transparency; the colour of an opaque pixel averages only its covered samples.
Image Render(int w, int h, const Shader& shade) {
  Image img(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      Rgb sum;
      int covered = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          auto c = shade(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples);
          if (!c) continue;
          sum = {sum.r + c->r, sum.g + c->g, sum.b + c->b};
          ++covered;
        }
      }
      if (covered * 2 < kSamples * kSamples) {
        img.Set(x, y, kKey);
        continue;
      }
      img.Set(x, y, Scale(sum, 1.0 / covered));
      if (img.IsKey(x, y)) img.Set(x, y, {254, 0, 254});  // never transparent by accident
    }
  }
  return img;
}

// ---------------------------------------------------------------- geometry
// Signed distances: negative inside.

double RoundRect(double x, double y, double cx, double cy, double hw, double hh, double r) {
  const double qx = std::abs(x - cx) - hw + r;
  const double qy = std::abs(y - cy) - hh + r;
  const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  return outside + std::min(std::max(qx, qy), 0.0) - r;
}

double Circle(double x, double y, double cx, double cy, double r) {
  return std::hypot(x - cx, y - cy) - r;
}

struct Pt {
  double x, y;
};

// Convex polygon, vertices clockwise on screen (y down). Corners of the
// offset shapes come out mitred, which suits signs and arrow heads.
double ConvexPolygon(double x, double y, const std::vector<Pt>& v) {
  double d = -1e9;
  for (size_t i = 0; i < v.size(); ++i) {
    const Pt a = v[i], b = v[(i + 1) % v.size()];
    const double ex = b.x - a.x, ey = b.y - a.y, len = std::hypot(ex, ey);
    // Outward normal of a clockwise (screen) polygon.
    d = std::max(d, ((x - a.x) * ey - (y - a.y) * ex) / len);
  }
  return d;
}

// ---------------------------------------------------------------- noise

double Unit(std::mt19937& rng) { return rng() / 4294967296.0; }

// Value noise on an n x n lattice that wraps around a side-pixel square.
struct PeriodicNoise {
  int n;
  int side;
  std::vector<double> v;
  PeriodicNoise(int lattice, int sidePixels, std::mt19937& rng) : n(lattice), side(sidePixels) {
    for (int i = 0; i < n * n; ++i) v.push_back(Unit(rng));
  }
  double operator()(double x, double y) const {
    const double fx = x * n / side, fy = y * n / side;
    const double x0 = std::floor(fx), y0 = std::floor(fy);
    double tx = fx - x0, ty = fy - y0;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto at = [&](double ix, double iy) {
      const int i = ((static_cast<int>(ix) % n) + n) % n;
      const int j = ((static_cast<int>(iy) % n) + n) % n;
      return v[static_cast<size_t>(j) * n + i];
    };
    const double top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * tx;
    const double bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * tx;
    return top + (bottom - top) * ty;
  }
};

// ---------------------------------------------------------------- grass

// The grass texture wraps at 64 pixels in both directions: every term is
// periodic with a period that divides 64, and the blades wrap around.
std::vector<Rgb> MakeGrass() {
  std::mt19937 rng(kSeed);
  const PeriodicNoise coarse(4, kGrassSide, rng), mid(8, kGrassSide, rng), fine(16, kGrassSide, rng),
      tint(4, kGrassSide, rng);
  std::vector<double> shade(kGrassSide * kGrassSide), warm(kGrassSide * kGrassSide);
  for (int y = 0; y < kGrassSide; ++y) {
    for (int x = 0; x < kGrassSide; ++x) {
      const double waves = std::sin(2 * kPi * (x + 2 * y) / kGrassSide) * 0.5 +
                           std::sin(2 * kPi * (3 * x - y) / kGrassSide) * 0.5;
      const size_t i = static_cast<size_t>(y) * kGrassSide + x;
      shade[i] = 0.12 + 0.18 * coarse(x, y) + 0.30 * mid(x, y) + 0.28 * fine(x, y) + 0.04 * waves +
                 0.15 * (Unit(rng) - 0.5);
      warm[i] = tint(x, y);
    }
  }
  // Short slanted blades, lighter or darker than their surroundings.
  constexpr int kBlades = 420;
  for (int b = 0; b < kBlades; ++b) {
    const int x0 = static_cast<int>(Unit(rng) * kGrassSide);
    const int y0 = static_cast<int>(Unit(rng) * kGrassSide);
    const int length = 2 + static_cast<int>(Unit(rng) * 3);
    const int lean = Unit(rng) < 0.5 ? -1 : 1;
    const double delta = Unit(rng) < 0.55 ? 0.16 : -0.14;
    for (int k = 0; k < length; ++k) {
      const int x = ((x0 + (k / 2) * lean) % kGrassSide + kGrassSide) % kGrassSide;
      const int y = ((y0 - k) % kGrassSide + kGrassSide) % kGrassSide;
      shade[static_cast<size_t>(y) * kGrassSide + x] += delta * (1.0 - 0.2 * k);
    }
  }
  const Rgb dark{58, 104, 44}, light{112, 158, 72}, dry{14, 6, -8};
  std::vector<Rgb> out(shade.size());
  for (size_t i = 0; i < out.size(); ++i) {
    const Rgb c = Mix(dark, light, std::clamp(shade[i], 0.0, 1.0));
    const double w = warm[i] - 0.5;
    out[i] = {c.r + dry.r * w, c.g + dry.g * w, c.b + dry.b * w};
  }
  return out;
}

// ---------------------------------------------------------------- roads

enum Side { kNorth = 1, kEast = 2, kSouth = 4, kWest = 8 };

struct RoadShape {
  int sides;  // arms of the road, as Side bits
  bool curve;
};

// Indexed by road type 1..11.
const std::array<RoadShape, 12> kRoadShapes = {{
    {0, false},
    {kWest | kEast, false},
    {kNorth | kSouth, false},
    {kEast | kSouth, true},
    {kWest | kSouth, true},
    {kNorth | kEast, true},
    {kNorth | kWest, true},
    {kNorth | kWest | kEast | kSouth, false},
    {kWest | kEast | kSouth, false},
    {kNorth | kEast | kSouth, false},
    {kNorth | kWest | kEast, false},
    {kNorth | kWest | kSouth, false},
}};

// Marking geometry in pixels from the roadway's edge; all tiles share it so
// that neighbours meet seamlessly.
constexpr double kKerbWidth = 1.0;
constexpr double kEdgeLineWidth = 1.0;
constexpr double kCentreHalfWidth = 1.0;
constexpr double kDashStart = 4.0;  // straight dashes: [4, 12) and [20, 28) of each tile
constexpr double kDashLength = 8.0;
constexpr double kStubLength = 6.0;  // solid centre line where an arm enters a junction

const Rgb kKerb{70, 72, 74};
const Rgb kEdgeLine{214, 214, 206};
const Rgb kCentreLine{236, 236, 230};

struct RoadPainter {
  std::vector<Rgb> grass;
  std::vector<double> grain;  // per-pixel asphalt grain, wraps at 32
  PeriodicNoise patches;

  explicit RoadPainter(std::mt19937& rng)
      : grass(MakeGrass()), grain(kTile * kTile), patches(4, kTile, rng) {
    for (double& g : grain) g = Unit(rng) - 0.5;
  }

  Rgb Asphalt(double x, double y) const {
    const int px = std::clamp(static_cast<int>(x), 0, kTile - 1);
    const int py = std::clamp(static_cast<int>(y), 0, kTile - 1);
    const Rgb base{88, 90, 95};
    return Add(base, 9.0 * grain[static_cast<size_t>(py) * kTile + px] + 8.0 * (patches(x, y) - 0.5));
  }
  Rgb Grass(double x, double y) const {
    const int px = std::clamp(static_cast<int>(x), 0, kTile - 1);
    const int py = std::clamp(static_cast<int>(y), 0, kTile - 1);
    return grass[static_cast<size_t>(py) * kGrassSide + px];
  }

  // Edge marking at distance d inside the roadway, if any.
  static std::optional<Rgb> EdgeAt(double d) {
    if (d < kKerbWidth) return kKerb;
    if (d < kKerbWidth + kEdgeLineWidth) return kEdgeLine;
    return std::nullopt;
  }
  static bool OnDash(double s) {
    const double phase = std::fmod(s - kDashStart + 2 * kTile, 2 * kDashLength);
    return phase < kDashLength;
  }

  Rgb Straight(double x, double y, bool horizontal) const {
    const double along = horizontal ? x : y;
    const double across = horizontal ? y : x;
    if (auto e = EdgeAt(std::min(across, kTile - across))) return *e;
    if (std::abs(across - kTile / 2.0) < kCentreHalfWidth && OnDash(along)) return kCentreLine;
    return Asphalt(x, y);
  }

  // A quarter circle about the corner where the two arms meet.
  Rgb Curve(double x, double y, int sides) const {
    const double cx = (sides & kEast) ? kTile : 0;
    const double cy = (sides & kSouth) ? kTile : 0;
    const double r = std::hypot(x - cx, y - cy);
    if (r > kTile) return Grass(x, y);
    if (auto e = EdgeAt(std::min(r, kTile - r))) return *e;
    if (std::abs(r - kTile / 2.0) < kCentreHalfWidth) {
      // Two dashes spread over the arc, with gaps at both ends as on a straight.
      const double arc = kPi / 2 * kTile / 2;
      const double angle = std::atan2(std::abs(y - cy), std::abs(x - cx));
      const double s = angle * kTile / 2;
      const double dash = (arc - 3 * kDashStart) / 2;
      if ((s > kDashStart && s < kDashStart + dash) || (s > arc - kDashStart - dash && s < arc - kDashStart))
        return kCentreLine;
    }
    return Asphalt(x, y);
  }

  Rgb Junction(double x, double y, int sides) const {
    // Closed sides get the edge of a straight road.
    if (!(sides & kNorth)) { if (auto e = EdgeAt(y)) return *e; }
    if (!(sides & kSouth)) { if (auto e = EdgeAt(kTile - y)) return *e; }
    if (!(sides & kWest)) { if (auto e = EdgeAt(x)) return *e; }
    if (!(sides & kEast)) { if (auto e = EdgeAt(kTile - x)) return *e; }
    // Where two arms meet, the kerbs of both turn round the corner.
    for (int corner = 0; corner < 4; ++corner) {
      const bool east = corner & 1, south = corner & 2;
      const int needed = (east ? kEast : kWest) | (south ? kSouth : kNorth);
      if ((sides & needed) != needed) continue;
      if (auto e = EdgeAt(std::hypot(x - (east ? kTile : 0), y - (south ? kTile : 0)))) return *e;
    }
    // Solid centre line stubs on each arm.
    const double mid = kTile / 2.0;
    const bool onHorizontal = std::abs(y - mid) < kCentreHalfWidth;
    const bool onVertical = std::abs(x - mid) < kCentreHalfWidth;
    if (onHorizontal && (((sides & kWest) && x < kStubLength) || ((sides & kEast) && x > kTile - kStubLength)))
      return kCentreLine;
    if (onVertical && (((sides & kNorth) && y < kStubLength) || ((sides & kSouth) && y > kTile - kStubLength)))
      return kCentreLine;
    return Asphalt(x, y);
  }

  Image Tile(int type) const {
    const RoadShape shape = kRoadShapes[static_cast<size_t>(type)];
    return Render(kTile, kTile, [&](double x, double y) -> std::optional<Rgb> {
      if (shape.curve) return Curve(x, y, shape.sides);
      if (shape.sides == (kWest | kEast)) return Straight(x, y, true);
      if (shape.sides == (kNorth | kSouth)) return Straight(x, y, false);
      return Junction(x, y, shape.sides);
    });
  }
};

// ---------------------------------------------------------------- markers

// Emitter n: 1 right, 2 down, 3 up, 4 left.
Image Emitter(int n) {
  const Rgb outline{22, 24, 30}, base{38, 70, 128}, rim{150, 176, 220}, arrow{255, 198, 36};
  return Render(kIconSide, kIconSide, [&](double x, double y) -> std::optional<Rgb> {
    // Turn the point so that the arrow can be drawn pointing right.
    double u = x - 16, v = y - 16;
    if (n == 2) std::swap(u, v);
    if (n == 3) { const double t = u; u = -v; v = t; }
    if (n == 4) u = -u;
    const double box = RoundRect(u, v, 0, 0, 14, 14, 6);
    const double shaft = RoundRect(u, v, -4.25, 0, 5.25, 3, 1);
    const double head = ConvexPolygon(u, v, {{0, -8.5}, {9.5, 0}, {0, 8.5}});
    const double a = std::min(shaft, head);
    if (a < 0) return arrow;
    if (a < 1.5) return outline;
    if (box < -2) return base;
    if (box < -1) return rim;
    if (box < 0) return outline;
    return std::nullopt;
  });
}

Image Target() {
  const Rgb dark{40, 8, 8}, red{224, 32, 36}, white{250, 250, 250};
  return Render(kCell, kCell, [&](double x, double y) -> std::optional<Rgb> {
    const double r = std::hypot(x - 8, y - 8);
    if (r < 2.3) return red;
    if (r < 4.3) return white;
    if (r < 6.6) return red;
    if (r < 7.7) return dark;
    return std::nullopt;
  });
}

// ---------------------------------------------------------------- cars

const std::array<Rgb, 17> kCarColours = {{
    {212, 36, 36},    // red
    {38, 92, 224},    // blue
    {246, 214, 38},   // yellow
    {34, 150, 62},    // green
    {242, 242, 238},  // white
    {52, 52, 58},     // black
    {246, 132, 24},   // orange
    {128, 56, 184},   // purple
    {40, 204, 224},   // cyan
    {248, 132, 184},  // pink
    {126, 78, 40},    // brown
    {164, 232, 48},   // lime
    {26, 38, 112},    // navy
    {176, 182, 192},  // silver
    {122, 18, 40},    // maroon
    {16, 128, 128},   // teal
    {206, 164, 48},   // gold
}};

// Seen from above, front to the right (+x), centred in its 16-pixel cell:
// body 14 x 10 with a dark rim, bonnet, windscreen, roof and rear window,
// headlights at the front corners.
Image Car(Rgb body) {
  const double lum = 0.3 * body.r + 0.59 * body.g + 0.11 * body.b;
  const bool darkBody = lum < 70;
  const Rgb outline = darkBody ? Rgb{14, 14, 16} : Scale(body, 0.32);
  const Rgb windscreen = darkBody ? Rgb{96, 114, 142} : Rgb{30, 38, 54};
  const Rgb glass = darkBody ? Rgb{120, 140, 168} : Rgb{52, 64, 86};
  const Rgb roof = lum > 200 ? Scale(body, 0.92) : Add(body, 16);
  const Rgb headlight{255, 244, 176}, taillight{156, 18, 18};
  return Render(kCell, kCell, [&](double x, double y) -> std::optional<Rgb> {
    const double shell = RoundRect(x, y, 8, 8, 7, 5, 2.5);
    if (shell > 0) return std::nullopt;
    const bool lampRow = (y > 4 && y < 5) || (y > 11 && y < 12);
    if (lampRow && x > 13 && x < 15) return headlight;
    if (shell > -1) return outline;
    if (lampRow && x < 3) return taillight;
    // Windscreen leaning back from the bonnet, roof, narrow rear window.
    const double screen = ConvexPolygon(x, y, {{9, 4.6}, {11, 5.2}, {11, 10.8}, {9, 11.4}});
    if (screen < 0) return windscreen;
    if (y > 5 && y < 11) {
      if (x > 5 && x < 9) return roof;
      if (x > 4 && x < 5.9) return glass;
    }
    return body;
  });
}

// ---------------------------------------------------------------- signs, lights

Image RightOfWay() {
  const Rgb dark{36, 36, 36}, white{250, 250, 250}, yellow{252, 196, 0};
  return Render(kIconSide, kIconSide, [&](double x, double y) -> std::optional<Rgb> {
    const double d = (std::abs(x - 16) + std::abs(y - 16)) / std::sqrt(2.0);  // to the edge, scaled
    const double edge = 15.5 / std::sqrt(2.0);
    if (d < edge - 4.2) return yellow;
    if (d < edge - 1) return white;
    if (d < edge) return dark;
    return std::nullopt;
  });
}

Image Yield() {
  const Rgb dark{40, 10, 10}, red{214, 22, 30}, white{250, 250, 250};
  const std::vector<Pt> triangle = {{1, 4}, {31, 4}, {16, 30}};
  return Render(kIconSide, kIconSide, [&](double x, double y) -> std::optional<Rgb> {
    const double d = ConvexPolygon(x, y, triangle);
    if (d < -5) return white;
    if (d < -0.8) return red;
    if (d < 0) return dark;
    return std::nullopt;
  });
}

Image Light(bool green) {
  const Rgb housing{40, 42, 46}, rim{12, 12, 14}, hood{64, 66, 72};
  const Rgb redOn{255, 48, 36}, redOff{92, 30, 30}, greenOn{48, 236, 88}, greenOff{26, 74, 40};
  return Render(kIconSide, kIconSide, [&](double x, double y) -> std::optional<Rgb> {
    const double body = RoundRect(x, y, 16, 16, 10, 15.5, 5);
    if (body > 0) return std::nullopt;
    if (body > -1.2) return rim;
    auto lamp = [&](double cy, Rgb on, Rgb off, bool lit) -> std::optional<Rgb> {
      const double d = Circle(x, y, 16, cy, 7.2);
      if (d > 1) return std::nullopt;
      if (d > 0) return hood;
      if (!lit) return off;
      // A bright spot towards the top left makes the lit lamp glow.
      const double spot = std::hypot(x - 13.8, y - (cy - 2.4));
      return Mix(Mix(on, Rgb{255, 255, 255}, 0.55), on, std::clamp(spot / 4.0, 0.0, 1.0));
    };
    if (auto c = lamp(8.8, redOn, redOff, !green)) return c;
    if (auto c = lamp(23.2, greenOn, greenOff, green)) return c;
    return housing;
  });
}

// ---------------------------------------------------------------- output

struct Named {
  std::string name;
  Image image;
  bool keyed;
};

std::vector<Named> MakeAll(std::vector<Rgb>& grassOut) {
  std::vector<Named> all;
  grassOut = MakeGrass();
  std::mt19937 rng(kSeed + 1);
  const RoadPainter roads(rng);
  for (int t = 1; t <= 11; ++t) all.push_back({"road" + std::to_string(t) + ".png", roads.Tile(t), false});
  for (int n = 1; n <= 4; ++n) all.push_back({"emitter" + std::to_string(n) + ".png", Emitter(n), true});
  all.push_back({"Target.png", Target(), true});
  for (size_t i = 0; i < kCarColours.size(); ++i)
    all.push_back({"car" + std::to_string(i + 1) + ".png", Car(kCarColours[i]), true});
  all.push_back({"sign1.png", RightOfWay(), true});
  all.push_back({"sign2.png", Yield(), true});
  all.push_back({"light1.png", Light(true), true});
  all.push_back({"light2.png", Light(false), true});
  return all;
}

Image GrassImage(const std::vector<Rgb>& grass) {
  Image img(kGrassSide, kGrassSide);
  for (int y = 0; y < kGrassSide; ++y)
    for (int x = 0; x < kGrassSide; ++x) img.Set(x, y, grass[static_cast<size_t>(y) * kGrassSide + x]);
  return img;
}

// ---------------------------------------------------------------- contact sheet

// Copies src into dst at (x, y) enlarged by scale, leaving key pixels out.
void Blit(Image& dst, const Image& src, int x, int y, int scale, bool keyed) {
  for (int sy = 0; sy < src.height * scale; ++sy) {
    for (int sx = 0; sx < src.width * scale; ++sx) {
      const int ix = sx / scale, iy = sy / scale;
      if (keyed && src.IsKey(ix, iy)) continue;
      const int dx = x + sx, dy = y + sy;
      if (dx < 0 || dy < 0 || dx >= dst.width || dy >= dst.height) continue;
      std::copy_n(src.At(ix, iy), 3, dst.At(dx, dy));
    }
  }
}

// Box-filtered shrink of a keyed image, as the map shows signs and lights.
Image Shrink(const Image& src, int side, const Image& background) {
  Image out(side, side);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      Rgb sum;
      int n = 0;
      for (int sy = y * src.height / side; sy < (y + 1) * src.height / side; ++sy) {
        for (int sx = x * src.width / side; sx < (x + 1) * src.width / side; ++sx) {
          const uint8_t* p = src.IsKey(sx, sy) ? background.At(x, y) : src.At(sx, sy);
          sum = {sum.r + p[0], sum.g + p[1], sum.b + p[2]};
          ++n;
        }
      }
      out.Set(x, y, Scale(sum, 1.0 / n));
    }
  }
  return out;
}

Image Sheet(const std::vector<Named>& all, const Image& grass) {
  constexpr int kZoom = 4;
  constexpr int kStep = (kTile + 4) * kZoom;
  auto find = [&](const std::string& name) -> const Image& {
    for (const Named& n : all)
      if (n.name == name) return n.image;
    return all.front().image;
  };
  Image sheet(11 * kStep + 8, 780);
  for (int y = 0; y < sheet.height; ++y)
    for (int x = 0; x < sheet.width; ++x) sheet.Set(x, y, {150, 150, 150});
  int col = 0;
  for (const Named& n : all) {
    if (n.name.rfind("road", 0) == 0) Blit(sheet, n.image, 8 + kStep * col++, 8, kZoom, false);
  }
  col = 0;
  for (const Named& n : all) {
    if (n.name.rfind("road", 0) == 0 || n.name.rfind("car", 0) == 0) continue;
    Blit(sheet, n.image, 8 + kStep * col++, 8 + kStep, kZoom, true);
  }
  col = 0;
  for (const Named& n : all) {
    if (n.name.rfind("car", 0) != 0) continue;
    Blit(sheet, n.image, 8 + 72 * col++, 8 + 2 * kStep, kZoom, true);
  }
  // After the cars: the signs and lights as the map shows them, 12 x 12 on asphalt.
  const Image asphalt = find("road7.png");
  for (const char* name : {"sign1.png", "sign2.png", "light1.png", "light2.png"}) {
    const Image small = Shrink(find(name), 12, asphalt);
    Blit(sheet, small, 8 + 72 * col, 8 + 2 * kStep, kZoom, false);
    Blit(sheet, small, 8 + 72 * col + 16, 8 + 2 * kStep + 56, 1, false);
    ++col;
  }
  // A small map at 2x: grass, a network of all road types, cars in their lanes.
  constexpr int kMapZoom = 2;
  const int mapY = 8 + 2 * kStep + 80;
  Image map(9 * kTile, 6 * kTile);
  for (int y = 0; y < map.height; y += kGrassSide)
    for (int x = 0; x < map.width; x += kGrassSide) Blit(map, grass, x, y, 1, false);
  const int layout[6][9] = {
      {3, 1, 8, 1, 1, 4, 0, 3, 4},
      {2, 0, 2, 0, 0, 2, 0, 5, 6},
      {9, 1, 7, 1, 1, 11, 0, 0, 0},
      {2, 0, 2, 0, 0, 2, 0, 3, 4},
      {5, 1, 10, 1, 1, 6, 0, 5, 6},
      {0, 0, 0, 0, 0, 0, 0, 0, 0},
  };
  for (int ty = 0; ty < 6; ++ty)
    for (int tx = 0; tx < 9; ++tx)
      if (layout[ty][tx] != 0)
        Blit(map, find("road" + std::to_string(layout[ty][tx]) + ".png"), tx * kTile, ty * kTile, 1, false);
  Blit(map, find("car1.png"), 16 * 3, 16 * 5, 1, true);    // eastbound: lower half
  Blit(map, find("car7.png"), 16 * 7, 16 * 5, 1, true);
  Blit(map, find("car5.png"), 16 * 9, 16 * 9, 1, true);
  Blit(map, find("emitter1.png"), 32 * 1, 32 * 4, 1, true);
  Blit(map, find("Target.png"), 16 * 8, 16 * 4, 1, true);
  Blit(sheet, map, 8, mapY, kMapZoom, false);
  Blit(sheet, grass, 8 + map.width * kMapZoom + 16, mapY, 1, false);
  Blit(sheet, grass, 8 + map.width * kMapZoom + 16 + kGrassSide, mapY, 1, false);
  Blit(sheet, grass, 8 + map.width * kMapZoom + 16, mapY + kGrassSide, 1, false);
  Blit(sheet, grass, 8 + map.width * kMapZoom + 16 + kGrassSide, mapY + kGrassSide, 1, false);
  return sheet;
}

int Run(int argc, char** argv) {
  std::string dir = "Gfx";
  std::string sheetPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--sheet" && i + 1 < argc) {
      sheetPath = argv[++i];
    } else {
      dir = arg;
    }
  }
  std::vector<Rgb> grass;
  const std::vector<Named> all = MakeAll(grass);
  const Image grassImage = GrassImage(grass);
  bool ok = WriteJpeg(dir + "/gras.jpg", kGrassSide, kGrassSide, grassImage.rgb.data(), kJpegQuality);
  for (const Named& n : all)
    ok = WritePng(dir + "/" + n.name, n.image.width, n.image.height, n.image.rgb.data(), false) && ok;
  if (!sheetPath.empty()) {
    const Image sheet = Sheet(all, grassImage);
    ok = WritePng(sheetPath, sheet.width, sheet.height, sheet.rgb.data(), false) && ok;
  }
  if (!ok) {
    std::fprintf(stderr, "make-gfx: could not write all images into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) { return kv::Run(argc, argv); }
