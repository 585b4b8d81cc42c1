// Draws the desktop icon: a crossing seen from above, a traffic light beside it
// and a car leaving it, on a rounded grass tile.
//
//   build/make-icon data/icons     (run in the repository root)
//
// writes koravel-<size>.png for every size the desktop menus ask for. Each size
// is drawn from the same description, with its straight edges snapped to whole
// pixels so that the small sizes stay sharp, and with the finer details (lane
// markings, wheels, lamp highlights) left out where they would only blur.
// No randomness: the output is byte-for-byte reproducible.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/draw/image_decode.h"

namespace kv {
namespace {

// The drawing is described on a square of this many units; each size scales it.
constexpr double kDesign = 256.0;
constexpr int kSamples = 8;  // per pixel side
constexpr std::array<int, 5> kSizes = {32, 48, 64, 128, 256};

// Sizes from which the details appear.
constexpr int kMarkingsFrom = 48;
constexpr int kWheelsFrom = 64;
constexpr int kHighlightsFrom = 64;
constexpr int kCurbsFrom = 128;

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;  // premultiplied, 0..1
};

Rgba Colour(int hex, double alpha = 1.0) {
  return {((hex >> 16) & 0xFF) / 255.0 * alpha, ((hex >> 8) & 0xFF) / 255.0 * alpha,
          (hex & 0xFF) / 255.0 * alpha, alpha};
}

Rgba Mix(Rgba a, Rgba b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
          a.a + (b.a - a.a) * t};
}

// Paints src over dst.
void Over(Rgba& dst, Rgba src) {
  const double keep = 1.0 - src.a;
  dst = {src.r + dst.r * keep, src.g + dst.g * keep, src.b + dst.b * keep, src.a + dst.a * keep};
}

struct Box {
  double x0, y0, x1, y1;
};

bool InRoundBox(double x, double y, Box b, double radius) {
  if (x < b.x0 || x >= b.x1 || y < b.y0 || y >= b.y1) return false;
  const double cx = std::clamp(x, b.x0 + radius, b.x1 - radius);
  const double cy = std::clamp(y, b.y0 + radius, b.y1 - radius);
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

bool InBox(double x, double y, Box b) { return x >= b.x0 && x < b.x1 && y >= b.y0 && y < b.y1; }

bool InCircle(double x, double y, double cx, double cy, double r) {
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

// One size of the icon: the design geometry snapped to that size's pixel grid.
class Icon {
 public:
  explicit Icon(int size) : size_(size), unit_(size / kDesign) {
    tile_ = SnapBox({8, 8, 248, 248});
    outline_ = Px(std::max(1.0, std::round(size / 96.0)));
    // The roads sit off-centre so that the light gets a quarter of its own.
    roadH_ = SnapBox({0, 120, kDesign, 216});
    roadV_ = SnapBox({40, 0, 136, kDesign});
    laneLine_ = std::max(Px(1), Snap(6));
    housing_ = SnapBox({164, 18, 214, 114});
    car_ = SnapBox({156, 176, 236, 208});
  }

  Rgba At(double x, double y) const {
    Rgba c;
    if (!InRoundBox(x, y, tile_, kCornerRadius)) return c;
    Over(c, Grass(y));
    Roads(c, x, y);
    Light(c, x, y);
    Car(c, x, y);
    if (!InRoundBox(x, y, Inset(tile_, outline_), kCornerRadius - outline_)) Over(c, Colour(0x2A5620));
    return c;
  }

  int Size() const { return size_; }

 private:
  static constexpr double kCornerRadius = 44;

  double Snap(double u) const { return std::nearbyint(u * unit_) / unit_; }
  double Px(double pixels) const { return pixels / unit_; }
  double PixelCentre(double u) const { return (std::floor(u * unit_) + 0.5) / unit_; }
  Box SnapBox(Box b) const { return {Snap(b.x0), Snap(b.y0), Snap(b.x1), Snap(b.y1)}; }
  static Box Inset(Box b, double d) { return {b.x0 + d, b.y0 + d, b.x1 - d, b.y1 - d}; }

  Rgba Grass(double y) const {
    return Mix(Colour(0x72C44E), Colour(0x4C9634), (y - tile_.y0) / (tile_.y1 - tile_.y0));
  }

  void Roads(Rgba& c, double x, double y) const {
    const bool h = InBox(x, y, roadH_), v = InBox(x, y, roadV_);
    if (!h && !v) return;
    Over(c, Colour(0x4B5057));
    if (size_ >= kCurbsFrom) {
      // Pale curbs along the edges, broken where the other road joins.
      const double w = Px(std::round(size_ / 64.0));
      const bool curbH = h && !v && (y < roadH_.y0 + w || y >= roadH_.y1 - w);
      const bool curbV = v && !h && (x < roadV_.x0 + w || x >= roadV_.x1 - w);
      if (curbH || curbV) Over(c, Colour(0x9EA3A8));
    }
    if (size_ < kMarkingsFrom || (h && v)) return;
    // Dashed centre lines, stopping short of the crossing. The dash pattern is
    // decided per whole pixel, so that dash ends do not blur into grey.
    constexpr double kGap = 8, kDash = 22, kPeriod = 36;
    const double topH = Snap((roadH_.y0 + roadH_.y1 - laneLine_) / 2);
    const double leftV = Snap((roadV_.x0 + roadV_.x1 - laneLine_) / 2);
    const auto dashed = [&](double from) {
      return from > kGap && std::fmod(from - kGap, kPeriod) < kDash;
    };
    if (h && y >= topH && y < topH + laneLine_) {
      const double px = PixelCentre(x);
      if (dashed(px < roadV_.x0 ? roadV_.x0 - px : px - roadV_.x1)) Over(c, Colour(0xF4F4F0));
    }
    if (v && x >= leftV && x < leftV + laneLine_) {
      const double py = PixelCentre(y);
      if (dashed(py < roadH_.y0 ? roadH_.y0 - py : py - roadH_.y1)) Over(c, Colour(0xF4F4F0));
    }
  }

  void Light(Rgba& c, double x, double y) const {
    const double radius = Px(std::max(1.0, std::round(size_ / 40.0)));
    const Box shadow{housing_.x0 + Px(1), housing_.y0 + Px(1), housing_.x1 + Px(2), housing_.y1 + Px(2)};
    if (size_ >= kHighlightsFrom && InRoundBox(x, y, shadow, radius)) Over(c, Colour(0x000000, 0.28));
    if (!InRoundBox(x, y, housing_, radius)) return;
    Over(c, Colour(0x24272B));
    // Three lamps: red and amber dark, green lit.
    const double cx = (housing_.x0 + housing_.x1) / 2;
    const double pitch = (housing_.y1 - housing_.y0) / 3;
    const double r = std::min(housing_.x1 - housing_.x0, pitch) * 0.34;
    const std::array<int, 3> lamps = {0x7C2620, 0x7A6216, 0x46E060};
    for (int i = 0; i < 3; ++i) {
      const double cy = housing_.y0 + pitch * (i + 0.5);
      if (!InCircle(x, y, cx, cy, r)) continue;
      Over(c, Colour(lamps[i]));
      if (i == 2 && size_ >= kHighlightsFrom && InCircle(x, y, cx - r * 0.35, cy - r * 0.35, r * 0.3))
        Over(c, Colour(0xFFFFFF, 0.7));
    }
  }

  // A car heading right, seen from above: bonnet and windscreen at the right.
  void Car(Rgba& c, double x, double y) const {
    const double len = car_.x1 - car_.x0, wid = car_.y1 - car_.y0;
    const double radius = std::min(wid * 0.3, Px(std::max(1.0, std::round(size_ / 32.0))));
    if (size_ >= kWheelsFrom) {
      const double out = wid * 0.1;
      for (double at : {0.18, 0.68}) {
        const Box wheel{car_.x0 + len * at, car_.y0 - out, car_.x0 + len * (at + 0.16), car_.y1 + out};
        if (InBox(x, y, wheel)) Over(c, Colour(0x17181A));
      }
    }
    if (!InRoundBox(x, y, car_, radius)) return;
    Over(c, Colour(0x2F78E0));
    const Box glassFront{Snap(car_.x0 + len * 0.62), car_.y0 + wid * 0.16, Snap(car_.x0 + len * 0.76),
                         car_.y1 - wid * 0.16};
    const Box glassRear{Snap(car_.x0 + len * 0.10), car_.y0 + wid * 0.2, Snap(car_.x0 + len * 0.20),
                        car_.y1 - wid * 0.2};
    if (InBox(x, y, glassFront) || (size_ >= kMarkingsFrom && InBox(x, y, glassRear)))
      Over(c, Colour(0x1B2A3C));
    if (size_ >= kHighlightsFrom) {
      const double lamp = wid * 0.2;
      const bool front = x >= car_.x1 - len * 0.06;
      if (front && (y < car_.y0 + lamp || y >= car_.y1 - lamp)) Over(c, Colour(0xFFE98A));
    }
  }

  int size_;
  double unit_;  // pixels per design unit
  Box tile_;
  double outline_;
  Box roadH_, roadV_;
  double laneLine_;
  Box housing_;
  Box car_;
};

// Averages kSamples x kSamples points per pixel; the edges of curves get
// partial alpha, the snapped straight edges none.
std::vector<uint8_t> Render(const Icon& icon) {
  const int n = icon.Size();
  const double toDesign = kDesign / n;
  std::vector<uint8_t> rgba(static_cast<size_t>(n) * n * 4);
  for (int py = 0; py < n; ++py) {
    for (int px = 0; px < n; ++px) {
      Rgba sum;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Rgba s = icon.At((px + (sx + 0.5) / kSamples) * toDesign,
                                 (py + (sy + 0.5) / kSamples) * toDesign);
          sum = {sum.r + s.r, sum.g + s.g, sum.b + s.b, sum.a + s.a};
        }
      }
      constexpr double kCount = kSamples * kSamples;
      const double a = sum.a / kCount;
      uint8_t* out = &rgba[(static_cast<size_t>(py) * n + px) * 4];
      // Un-premultiply: PNG stores straight alpha.
      const auto channel = [&](double v) {
        return static_cast<uint8_t>(a > 0 ? std::clamp(std::lrint(v / kCount / a * 255), 0L, 255L) : 0);
      };
      out[0] = channel(sum.r);
      out[1] = channel(sum.g);
      out[2] = channel(sum.b);
      out[3] = static_cast<uint8_t>(std::clamp(std::lrint(a * 255), 0L, 255L));
    }
  }
  return rgba;
}

int Run(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: make-icon OUTDIR\n  writes OUTDIR/koravel-<size>.png for sizes");
    for (int s : kSizes) std::fprintf(stderr, " %d", s);
    std::fprintf(stderr, "\n");
    return 1;
  }
  const std::string dir = argv[1];
  bool ok = true;
  for (int size : kSizes) {
    const std::vector<uint8_t> rgba = Render(Icon(size));
    const std::string path = dir + "/koravel-" + std::to_string(size) + ".png";
    if (!WritePng(path, size, size, rgba.data(), true)) {
      std::fprintf(stderr, "make-icon: could not write %s\n", path.c_str());
      ok = false;
    }
  }
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) { return kv::Run(argc, argv); }
