// Decoding of the sprite images: the PNG flavours the graphics may come in,
// JPEG in colour and grey, and refusal of anything damaged or too large.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include "platform/image_decode.h"
#include "platform/image_samples.h"

namespace {

using Px = std::vector<int>;
using kvtest::EncodeJpeg;
using kvtest::EncodePng;
using kvtest::Spec;

Px At(const kv::RgbaImage& image, int x, int y) {
  const uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

std::optional<kv::RgbaImage> Decode(const std::vector<uint8_t>& bytes) {
  return kv::DecodeImage(bytes.data(), bytes.size());
}

const std::vector<uint8_t> kSmallRgba = {255, 0, 0, 255,   0,  255, 0,  128, 0,   0,   255, 0,
                                         255, 0, 255, 255, 10, 20,  30, 40,  250, 240, 230, 255};

TEST(ImageDecode, EveryPngFlavourComesOutAsRgba8) {
  auto rgba = Decode(kvtest::EncodeRgbaPng(3, 2, kSmallRgba));
  ASSERT_TRUE(rgba);
  EXPECT_EQ(rgba->width, 3);
  EXPECT_EQ(rgba->height, 2);
  EXPECT_EQ(rgba->pixels, kSmallRgba);

  // Four 2-bit palette indices 3, 2, 1, 0; entries beyond tRNS are opaque.
  kvtest::PngSpec palette = Spec(4, 1, PNG_COLOR_TYPE_PALETTE, 2, {0b11100100});
  palette.palette = {255, 0, 255, 1, 2, 3, 100, 150, 200, 7, 8, 9};
  palette.alphas = {0, 77};
  auto pal = Decode(EncodePng(palette));
  ASSERT_TRUE(pal);
  EXPECT_EQ(At(*pal, 0, 0), (Px{7, 8, 9, 255}));
  EXPECT_EQ(At(*pal, 1, 0), (Px{100, 150, 200, 255}));
  EXPECT_EQ(At(*pal, 2, 0), (Px{1, 2, 3, 77}));
  EXPECT_EQ(At(*pal, 3, 0), (Px{255, 0, 255, 0}));

  auto grey = Decode(EncodePng(Spec(2, 1, PNG_COLOR_TYPE_GRAY, 8, {90, 180})));
  ASSERT_TRUE(grey);
  EXPECT_EQ(At(*grey, 1, 0), (Px{180, 180, 180, 255}));
  auto bits = Decode(EncodePng(Spec(2, 1, PNG_COLOR_TYPE_GRAY, 1, {0b10000000})));
  ASSERT_TRUE(bits);
  EXPECT_EQ(At(*bits, 0, 0), (Px{255, 255, 255, 255}));
  EXPECT_EQ(At(*bits, 1, 0), (Px{0, 0, 0, 255}));
  auto greyAlpha = Decode(EncodePng(Spec(1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {60, 200})));
  ASSERT_TRUE(greyAlpha);
  EXPECT_EQ(At(*greyAlpha, 0, 0), (Px{60, 60, 60, 200}));

  // 16-bit samples that are multiples of 257 map exactly onto 8 bits.
  auto deep = Decode(EncodePng(Spec(1, 1, PNG_COLOR_TYPE_RGB, 16, {0xFF, 0xFF, 0, 0, 0x80, 0x80})));
  ASSERT_TRUE(deep);
  EXPECT_EQ(At(*deep, 0, 0), (Px{255, 0, 128, 255}));

  // Adam7 spreads pixels over seven passes: every one must land in place.
  kvtest::PngSpec laced = Spec(13, 11, PNG_COLOR_TYPE_RGB, 8, {});
  laced.interlaced = true;
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 13; ++x) laced.rows.insert(laced.rows.end(), {uint8_t(x * 19), uint8_t(y * 23), uint8_t(x * y)});
  auto l = Decode(EncodePng(laced));
  ASSERT_TRUE(l);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 13; ++x) ASSERT_EQ(At(*l, x, y), (Px{x * 19, y * 23, x * y, 255}));
}

TEST(ImageDecode, JpegInColourAndGrey) {
  std::vector<uint8_t> rgb;  // left half one flat colour, right half another
  for (int k = 0; k < 16 * 16; ++k)
    rgb.insert(rgb.end(), k % 16 < 8 ? std::initializer_list<uint8_t>{200, 40, 40}
                                     : std::initializer_list<uint8_t>{20, 180, 90});
  auto colour = Decode(EncodeJpeg(16, 16, 3, rgb, 95));
  ASSERT_TRUE(colour);
  ASSERT_EQ(colour->width, 16);
  for (auto [x, want] : {std::pair{2, Px{200, 40, 40}}, {13, Px{20, 180, 90}}}) {
    Px got = At(*colour, x, 5);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], 6);
    EXPECT_EQ(got[3], 255);
  }
  auto grey = Decode(EncodeJpeg(8, 8, 1, std::vector<uint8_t>(64, 140), 90));
  ASSERT_TRUE(grey);
  Px g = At(*grey, 4, 4);
  EXPECT_NEAR(g[0], 140, 2);
  EXPECT_EQ(g, (Px{g[0], g[0], g[0], 255}));
}

TEST(ImageDecode, SidesBeyondTheLimitAreRefused) {
  const int limit = kv::kMaxImageSide;
  auto edge = Decode(EncodePng(Spec(limit, 1, PNG_COLOR_TYPE_GRAY, 8, std::vector<uint8_t>(limit, 7))));
  ASSERT_TRUE(edge);
  EXPECT_EQ(edge->width, limit);
  EXPECT_FALSE(Decode(EncodePng(Spec(5000, 10, PNG_COLOR_TYPE_GRAY, 8, std::vector<uint8_t>(50000)))));
  EXPECT_FALSE(Decode(EncodePng(Spec(1, limit + 1, PNG_COLOR_TYPE_GRAY, 8, std::vector<uint8_t>(limit + 1)))));
  EXPECT_FALSE(Decode(EncodeJpeg(5000, 8, 1, std::vector<uint8_t>(5000 * 8, 9), 50)));

  // Only a header claiming 100000 x 100000, with a valid checksum: refused
  // before anything is allocated for it.
  std::vector<uint8_t> head = EncodePng(Spec(1, 1, PNG_COLOR_TYPE_GRAY, 8, {0}));
  head.resize(33);  // signature and IHDR chunk
  for (int at : {16, 20}) head[at + 1] = 0x01, head[at + 2] = 0x86, head[at + 3] = 0xA0;
  uint32_t crc = static_cast<uint32_t>(crc32(0, head.data() + 12, 17));
  for (int k = 0; k < 4; ++k) head[29 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
  EXPECT_FALSE(Decode(head));
}

TEST(ImageDecode, DamagedOrForeignInputGivesNoImage) {
  std::vector<uint8_t> png = kvtest::EncodeRgbaPng(3, 2, kSmallRgba);
  std::vector<uint8_t> jpeg = EncodeJpeg(32, 32, 3, std::vector<uint8_t>(32 * 32 * 3, 100), 80);
  ASSERT_TRUE(Decode(png) && Decode(jpeg));

  EXPECT_FALSE(kv::DecodeImage(nullptr, 0));
  EXPECT_FALSE(kv::DecodeImage(png.data(), 0));
  EXPECT_FALSE(Decode(std::vector<uint8_t>(100, 0x5A)));
  EXPECT_FALSE(Decode({0xFF, 0xD8, 0xFF}));
  // Cut anywhere, from inside the signature to just before the end marker.
  for (size_t keep : {size_t{4}, size_t{8}, size_t{20}, png.size() / 2, png.size() - 12, png.size() - 1})
    EXPECT_FALSE(Decode({png.begin(), png.begin() + keep})) << keep;
  for (size_t keep : {size_t{30}, jpeg.size() / 2, jpeg.size() - 2})
    EXPECT_FALSE(Decode({jpeg.begin(), jpeg.begin() + keep})) << keep;
  // A flipped bit in the compressed pixels breaks the chunk checksum.
  png[png.size() - 20] ^= 0x40;
  EXPECT_FALSE(Decode(png));
  // Noise after a JPEG start marker.
  std::vector<uint8_t> junk = {0xFF, 0xD8};
  for (int k = 0; k < 200; ++k) junk.push_back(static_cast<uint8_t>(k * 37 + 1));
  EXPECT_FALSE(Decode(junk));
}

TEST(ImageDecode, FilesAreDecodedByContentAndOddPathsRefused) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.File("pic.jpg"), kvtest::EncodeRgbaPng(3, 2, kSmallRgba));
  kvtest::WriteBytes(dir.File("empty.png"), {});
  ::mkdir(dir.File("folder.png").c_str(), 0755);
  ::mkfifo(dir.File("pipe.png").c_str(), 0644);
  auto image = kv::DecodeImageFile(dir.File("pic.jpg"));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixels, kSmallRgba);
  for (const char* name : {"missing.png", "empty.png", "folder.png", "pipe.png"})
    EXPECT_FALSE(kv::DecodeImageFile(dir.File(name))) << name;
  EXPECT_FALSE(kv::DecodeImageFile(""));
}

}  // namespace
