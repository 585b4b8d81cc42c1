// Sprite images come out as RGBA whatever their PNG or JPEG flavour, and
// anything damaged, foreign or too large gives no image at all.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include "platform/image_decode.h"
#include "platform/image_samples.h"

namespace {

using kvtest::Bytes;
using kvtest::EncodeJpeg;
using kvtest::EncodePng;
using kvtest::Png;
using Px = std::vector<int>;

Px At(const kv::RgbaImage& image, int x, int y) {
  const uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

std::optional<kv::RgbaImage> Decode(const Bytes& bytes) { return kv::DecodeImage(bytes.data(), bytes.size()); }

const Bytes kSmallRgba = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0,
                          255, 0, 255, 255, 10, 20, 30, 40, 250, 240, 230, 255};

TEST(ImageDecode, PngFlavoursAndJpegComeOutAsRgba8) {
  // 2-bit palette indices 3, 2, 1, 0; entries beyond tRNS are opaque.
  kvtest::PngImage palette = Png(4, 1, PNG_COLOR_TYPE_PALETTE, 2, {0b11100100});
  palette.palette = {255, 0, 255, 1, 2, 3, 100, 150, 200, 7, 8, 9};
  palette.alphas = {0, 77};
  const struct {
    kvtest::PngImage png;
    int x;
    Px want;
  } flavours[] = {
      {palette, 0, {7, 8, 9, 255}},
      {palette, 2, {1, 2, 3, 77}},
      {palette, 3, {255, 0, 255, 0}},
      {Png(2, 1, PNG_COLOR_TYPE_GRAY, 1, {0b10000000}), 0, {255, 255, 255, 255}},
      {Png(2, 1, PNG_COLOR_TYPE_GRAY, 1, {0b10000000}), 1, {0, 0, 0, 255}},
      {Png(1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {60, 200}), 0, {60, 60, 60, 200}},
      {Png(1, 1, PNG_COLOR_TYPE_RGB, 16, {0xFF, 0xFF, 0, 0, 0x80, 0x80}), 0, {255, 0, 128, 255}},
  };
  for (const auto& f : flavours) {
    auto image = Decode(EncodePng(f.png));
    ASSERT_TRUE(image) << f.png.colorType;
    EXPECT_EQ(At(*image, f.x, 0), f.want) << f.png.colorType << " pixel " << f.x;
  }

  // Adam7 spreads pixels over seven passes: every one must land in place.
  kvtest::PngImage laced = Png(9, 9, PNG_COLOR_TYPE_RGB, 8, {});
  laced.interlaced = true;
  for (int k = 0; k < 81; ++k) laced.rows.insert(laced.rows.end(), {uint8_t(k), uint8_t(k / 9), 7});
  auto l = Decode(EncodePng(laced));
  ASSERT_TRUE(l);
  for (int k = 0; k < 81; ++k) ASSERT_EQ(At(*l, k % 9, k / 9), (Px{k, k / 9, 7, 255})) << k;

  Bytes halves;  // left half one colour, right half another
  for (int k = 0; k < 16 * 16; ++k)
    halves.insert(halves.end(), k % 16 < 8 ? std::initializer_list<uint8_t>{200, 40, 40}
                                           : std::initializer_list<uint8_t>{20, 180, 90});
  auto colour = Decode(EncodeJpeg(16, 16, 3, halves, 95));
  ASSERT_TRUE(colour);
  for (auto [x, want] : {std::pair{2, Px{200, 40, 40, 255}}, {13, Px{20, 180, 90, 255}}})
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(At(*colour, x, 5)[k], want[k], 6) << x;
  auto grey = Decode(EncodeJpeg(8, 8, 1, Bytes(64, 140), 90));
  ASSERT_TRUE(grey);
  EXPECT_EQ(At(*grey, 4, 4), (Px{140, 140, 140, 255}));
}

TEST(ImageDecode, DamagedForeignOrOversizedInputGivesNoImage) {
  Bytes png = kvtest::EncodeRgbaPng(3, 2, kSmallRgba);
  Bytes jpeg = EncodeJpeg(32, 32, 3, Bytes(32 * 32 * 3, 100), 80);
  ASSERT_TRUE(Decode(png) && Decode(jpeg));
  EXPECT_FALSE(kv::DecodeImage(nullptr, 0));
  EXPECT_FALSE(Decode(Bytes(100, 0x5A)));
  for (size_t keep : {size_t{8}, png.size() / 2, png.size() - 1}) EXPECT_FALSE(Decode({png.begin(), png.begin() + keep}));
  for (size_t keep : {size_t{3}, jpeg.size() / 2, jpeg.size() - 2}) EXPECT_FALSE(Decode({jpeg.begin(), jpeg.begin() + keep}));
  png[png.size() - 20] ^= 0x40;  // breaks the chunk checksum
  EXPECT_FALSE(Decode(png));
  Bytes junk = {0xFF, 0xD8};  // noise after a JPEG start marker
  for (int k = 0; k < 200; ++k) junk.push_back(static_cast<uint8_t>(k * 37 + 1));
  EXPECT_FALSE(Decode(junk));

  const int limit = kv::kMaxImageSide;
  auto edge = Decode(EncodePng(Png(limit, 1, PNG_COLOR_TYPE_GRAY, 8, Bytes(limit, 7))));
  ASSERT_TRUE(edge);
  EXPECT_EQ(edge->width, limit);
  EXPECT_FALSE(Decode(EncodePng(Png(1, limit + 1, PNG_COLOR_TYPE_GRAY, 8, Bytes(limit + 1)))));
  EXPECT_FALSE(Decode(EncodeJpeg(limit + 1, 8, 1, Bytes((limit + 1) * 8, 9), 50)));
  // Only a header claiming 100000 x 100000, checksum valid: refused before
  // anything is allocated for it.
  Bytes head = EncodePng(Png(1, 1, PNG_COLOR_TYPE_GRAY, 8, {0}));
  head.resize(33);
  for (int at : {16, 20}) head[at + 1] = 0x01, head[at + 2] = 0x86, head[at + 3] = 0xA0;
  uint32_t crc = static_cast<uint32_t>(crc32(0, head.data() + 12, 17));
  for (int k = 0; k < 4; ++k) head[29 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
  EXPECT_FALSE(Decode(head));
}

TEST(ImageDecode, FilesAreDecodedByContentAndOddPathsRefused) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.File("pic.jpg"), kvtest::EncodeRgbaPng(3, 2, kSmallRgba));
  kvtest::WriteBytes(dir.File("empty.png"), {});
  ::mkdir(dir.File("folder.png").c_str(), 0755);
  ::mkfifo(dir.File("pipe.png").c_str(), 0644);
  auto image = kv::DecodeImageFile(dir.File("pic.jpg"));
  ASSERT_TRUE(image);
  EXPECT_EQ((Px{image->width, image->height}), (Px{3, 2}));
  EXPECT_EQ(image->pixels, kSmallRgba);
  for (const char* name : {"missing.png", "empty.png", "folder.png", "pipe.png", ""})
    EXPECT_FALSE(kv::DecodeImageFile(*name ? dir.File(name) : "")) << name;
}

}  // namespace
