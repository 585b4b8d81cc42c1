// Sprite images: every PNG and JPEG flavour comes out as RGBA, the program's
// writers give back what they were given, and damaged, foreign or lying files
// give no image without reserving what they claim. PNG samples are encoded
// with libpng directly, not with the program's own writer.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "platform/draw/image_decode.h"
#include "platform/headless/headless_platform.h"
#include "render/sprites.h"
#include "support/builders.h"
#include "support/temp_files.h"

// Present under the sanitizers of the test build; absent otherwise.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*)) __attribute__((weak));

namespace kv {
namespace {

using kvtest::Bytes;
using kvtest::ReadBytes;
using Px = std::vector<int>;

struct PngImage {
  int width, height, colorType, bitDepth;
  Bytes rows;  // packed as stored in the file
  Bytes palette = {}, alphas = {};  // R G B triples; tRNS entries
  int key = -1;                     // transparent grey level of every channel
  std::string extra = "";           // a 40-byte chunk of this type right after the header
  bool headerOnly = false;
};

Bytes EncodePng(const PngImage& image) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      [](png_structp) {});
  png_set_user_limits(png, 0x7fffffff, 0x7fffffff);  // oversized images are wanted
  png_set_IHDR(png, info, image.width, image.height, image.bitDepth, image.colorType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!image.palette.empty())
    png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(image.palette.data()),
                 static_cast<int>(image.palette.size() / 3));
  if (!image.alphas.empty())
    png_set_tRNS(png, info, image.alphas.data(), static_cast<int>(image.alphas.size()), nullptr);
  png_color_16 key{0, png_uint_16(image.key), png_uint_16(image.key), png_uint_16(image.key), png_uint_16(image.key)};
  if (image.key >= 0) png_set_tRNS(png, info, nullptr, 0, &key);
  png_write_info(png, info);
  if (!image.extra.empty())
    png_write_chunk(png, reinterpret_cast<png_const_bytep>(image.extra.c_str()), Bytes(40, 'a').data(), 40);
  std::vector<png_bytep> rows;
  for (int y = 0; y < image.height && !image.headerOnly; ++y)
    rows.push_back(const_cast<png_bytep>(image.rows.data()) + image.rows.size() / image.height * y);
  if (!image.headerOnly) png_write_image(png, rows.data()), png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// A JPEG file whose frame header claims another size.
Bytes WithJpegSize(Bytes jpeg, uint16_t width, uint16_t height) {
  for (size_t i = 0; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = height >> 8, jpeg[i + 6] = height & 255, jpeg[i + 7] = width >> 8, jpeg[i + 8] = width & 255;
      break;
    }
  return jpeg;
}

Px At(const RgbaImage& image, int x, int y) {
  const uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

std::optional<RgbaImage> Decode(const Bytes& bytes) { return DecodeImage(bytes.data(), bytes.size()); }

TEST(Images, PngFlavoursAndJpegComeOutAsRgba8) {
  // 2-bit palette indices 3, 2, 1, 0; entries beyond tRNS are opaque.
  PngImage palette{4, 1, PNG_COLOR_TYPE_PALETTE, 2, {0b11100100}};
  palette.palette = {255, 0, 255, 1, 2, 3, 100, 150, 200, 7, 8, 9};
  palette.alphas = {0, 77};
  const PngImage grey1{2, 1, PNG_COLOR_TYPE_GRAY, 1, {0b10000000}};
  PngImage keyed{2, 1, PNG_COLOR_TYPE_RGB, 8, {9, 9, 9, 9, 9, 8}};
  keyed.key = 9;
  const struct {
    PngImage png;
    int x;
    Px want;
  } flavours[] = {
      {palette, 0, {7, 8, 9, 255}},
      {palette, 2, {1, 2, 3, 77}},
      {palette, 3, {255, 0, 255, 0}},
      {grey1, 0, {255, 255, 255, 255}},
      {grey1, 1, {0, 0, 0, 255}},
      {keyed, 0, {9, 9, 9, 0}},
      {keyed, 1, {9, 9, 8, 255}},
      {{1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {60, 200}}, 0, {60, 60, 60, 200}},
      {{1, 1, PNG_COLOR_TYPE_RGB, 16, {0xFF, 0xFF, 0, 0, 0x80, 0x80}}, 0, {255, 0, 128, 255}},
  };
  for (const auto& f : flavours) {
    auto image = Decode(EncodePng(f.png));
    ASSERT_TRUE(image) << f.png.colorType;
    EXPECT_EQ(At(*image, f.x, 0), f.want) << f.png.colorType << " pixel " << f.x;
  }

  // Grey JPEG comes out as RGB only because the decoder asks for it.
  auto grey = DecodeImageFile(KV_SOURCE_DIR "/fuzz/corpus/jpeg/grey.jpg");
  ASSERT_TRUE(grey);
  std::set<Px> shades;
  for (int k = 0; k < grey->width * grey->height; ++k) shades.insert(At(*grey, k % grey->width, k / grey->width));
  for (const Px& px : shades) EXPECT_TRUE(px[0] == px[1] && px[1] == px[2] && px[3] == 255);
  EXPECT_GT(shades.size(), 10u);

  // The largest side allowed (sprites are 64 x 64) still decodes; one more is refused.
  const int limit = 1024;
  auto edge = Decode(EncodePng({limit, 1, PNG_COLOR_TYPE_GRAY, 8, Bytes(limit, 7)}));
  ASSERT_TRUE(edge);
  EXPECT_EQ(edge->width, limit);
  EXPECT_FALSE(Decode(EncodePng({1, limit + 1, PNG_COLOR_TYPE_GRAY, 8, Bytes(limit + 1)})));
}

// What the writers write is checked where the tools' output is compared
// with the committed images, and how a write fails where the files are; here,
// that a JPEG's colours come back in their channels, and that the writers
// refuse what they cannot encode.
TEST(Images, WrittenJpegComesBackAndImpossibleImagesAreNotWritten) {
  kvtest::TempDir dir;
  Bytes smooth(24 * 16 * 3);
  for (size_t i = 0; i < smooth.size(); ++i) smooth[i] = static_cast<uint8_t>(i % 3 * 90 + i / 64);
  ASSERT_TRUE(WriteJpeg(dir.File("g.jpg"), 24, 16, smooth.data(), 95));
  auto g = DecodeImageFile(dir.File("g.jpg"));
  ASSERT_TRUE(g);
  long diff = 0;
  for (size_t i = 0; i < smooth.size(); ++i) diff += std::abs(g->pixels[i / 3 * 4 + i % 3] - smooth[i]);
  EXPECT_LT(diff / static_cast<long>(smooth.size()), 4);
  std::filesystem::remove(dir.File("g.jpg"));
  EXPECT_FALSE(WritePng(dir.File("null.png"), 16, 16, nullptr, false));
  EXPECT_FALSE(WritePng(dir.File("empty.png"), 0, 16, smooth.data(), false));
  EXPECT_FALSE(WriteJpeg(dir.File("q.jpg"), 16, 16, smooth.data(), 0));
  EXPECT_TRUE(dir.List().empty());
}

TEST(DamagedImages, CutGarbledForeignOrOddFilesGiveNoImage) {
  Bytes png = EncodePng({2, 1, PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 0, 0, 255}});
  const Bytes jpeg = ReadBytes(KV_SOURCE_DIR "/Gfx/gras.jpg");
  ASSERT_TRUE(Decode(png) && Decode(jpeg));
  EXPECT_FALSE(DecodeImage(nullptr, 0));
  EXPECT_FALSE(Decode(Bytes(100, 0x5A)));
  for (size_t keep : {size_t{8}, png.size() / 2, png.size() - 1}) EXPECT_FALSE(Decode({png.begin(), png.begin() + keep}));
  for (size_t keep : {size_t{3}, jpeg.size() / 2, jpeg.size() - 2}) EXPECT_FALSE(Decode({jpeg.begin(), jpeg.begin() + keep}));
  png[png.size() - 20] ^= 0x40;  // breaks the chunk checksum
  EXPECT_FALSE(Decode(png));
  Bytes junk = {0xFF, 0xD8, 0xFF};  // noise after a JPEG start marker
  for (int k = 0; k < 200; ++k) junk.push_back(static_cast<uint8_t>(k * 37 + 1));
  EXPECT_FALSE(Decode(junk));

  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.File("pic.jpg"), EncodePng({2, 1, PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 0, 0, 255}}));
  EXPECT_EQ(DecodeImageFile(dir.File("pic.jpg"))->pixels, (Bytes{255, 0, 0, 255, 0, 0, 255, 255}));
  kvtest::WriteBytes(dir.File("empty.png"), {});
  ::mkdir(dir.File("folder.png").c_str(), 0755);
  ::mkfifo(dir.File("pipe.png").c_str(), 0644);
  for (const char* name : {"missing.png", "empty.png", "folder.png", "pipe.png", ""})
    EXPECT_FALSE(DecodeImageFile(*name ? dir.File(name) : "")) << name;
}

// A grey progressive 1024 x 1024 JPEG, all coefficients zero: one DC scan,
// then `acScans` AC scans that each end every block at once (one run of
// 2^14 end-of-blocks) yet cost a pass over the whole image.
Bytes ScanBomb(int acScans) {
  Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
  jpeg.resize(jpeg.size() + 64, 1);  // quantisation table of ones
  const Bytes frame = {0xFF, 0xC2, 0, 11, 8, 4, 0, 4, 0, 1, 1, 0x11, 0};
  // One Huffman code each, "0": DC difference 0, AC run of 2^14 end-of-blocks.
  const Bytes tables = {0xFF, 0xC4, 0, 20, 0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,
                        0xFF, 0xC4, 0, 20, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0};
  jpeg.insert(jpeg.end(), frame.begin(), frame.end());
  jpeg.insert(jpeg.end(), tables.begin(), tables.end());
  const Bytes dcScan = {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 0, 0};
  jpeg.insert(jpeg.end(), dcScan.begin(), dcScan.end());
  jpeg.resize(jpeg.size() + 128 * 128 / 8, 0);  // 16384 blocks, one bit each
  const Bytes acScan = {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 1, 63, 0, 0x00, 0x01};  // 15 bits and padding
  for (int i = 0; i < acScans; ++i) jpeg.insert(jpeg.end(), acScan.begin(), acScan.end());
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

// Images that decode, given time: no sprite of ours is one of them, and
// start-up must not wait for them.
TEST(DamagedImages, ImagesThatWouldStallStartUpAreRefused) {
  auto plain = Decode(ScanBomb(9));
  ASSERT_TRUE(plain);
  EXPECT_EQ(At(*plain, 1023, 1023), (Px{128, 128, 128, 255}));
  EXPECT_FALSE(Decode(ScanBomb(3000)));
}

size_t largestAllocation = 0;
void NoteAllocation(const volatile void*, size_t size) { largestAllocation = std::max(largestAllocation, size); }
void NoteFree(const volatile void*) {}

TEST(DamagedImages, HeadersAndChunksClaimingGigabytesReserveNothing) {
  // Each alone decodes: text and profile chunks are of no use to sprites.
  std::vector<std::pair<std::string, Bytes>> lies;
  for (const char* type : {"tEXt", "zTXt", "iTXt", "iCCP", "sPLT", "pCAL", "sCAL", "eXIf", "abCD"}) {
    PngImage image{2, 1, PNG_COLOR_TYPE_RGB, 8, Bytes(6, 9)};
    image.extra = type;
    Bytes bytes = EncodePng(image);
    ASSERT_EQ(std::string(bytes.begin() + 37, bytes.begin() + 41), type);
    EXPECT_TRUE(Decode(bytes)) << type;
    bytes[33] = 0x73;  // its length field, outside the checksum
    lies.emplace_back(type, bytes);
  }
  PngImage huge{100000, 100000, PNG_COLOR_TYPE_RGB, 8, {}};
  huge.headerOnly = true;
  lies.emplace_back("100000 x 100000 PNG header", EncodePng(huge));
  const uint16_t side = kMaxImageSide + 1;
  lies.emplace_back("JPEG header one pixel too large", WithJpegSize(ReadBytes(KV_SOURCE_DIR "/Gfx/gras.jpg"), side, side));

  if (!__sanitizer_install_malloc_and_free_hooks) GTEST_SKIP() << "needs the sanitizer's allocation hooks";
  __sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteFree);
  for (const auto& [what, bytes] : lies) {
    largestAllocation = 0;
    EXPECT_FALSE(Decode(bytes)) << what;
    EXPECT_LT(largestAllocation, size_t{1} << 20) << what;
  }
  __sanitizer_install_malloc_and_free_hooks(nullptr, nullptr);
}

// The program started beside a damaged Gfx directory: what failed to load
// stays 0 (never drawn), everything else is there.
TEST(DamagedImages, BrokenGfxFilesLeaveExactlyTheirSpritesOut) {
  kvtest::TempDir dir;
  std::filesystem::copy(KV_SOURCE_DIR "/Gfx", dir.File("Gfx"));
  std::set<std::string> damaged = {"car2.png"};
  std::filesystem::remove(dir.File("Gfx/car2.png"));
  std::filesystem::create_directory(dir.File("Gfx/car2.png"));  // not a file at all
  const struct {
    const char* name;
    bool garble;  // from byte `at` on; else cut off there
    size_t at;
  } damage[] = {{"road1.png", false, 300},  // inside the pixel data
                {"road2.png", true, 40},    // a good header, then garbage
                {"car1.png", false, 0},     {"sign1.png", true, 0},
                {"emitter1.png", false, 8},  // the signature alone
                {"light2.png", true, 100},  {"Target.png", false, 60}};
  for (const auto& d : damage) {
    Bytes bytes = ReadBytes(dir.File("Gfx/") + d.name);
    for (size_t i = d.at; d.garble && i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
    if (!d.garble) bytes.resize(d.at);
    kvtest::WriteBytes(dir.File("Gfx/") + d.name, bytes);
    damaged.insert(d.name);
  }

  HeadlessPlatform p;
  auto world = test::NewWorld();
  World& w = *world;
  LoadSprites(w, p, dir.path + "/");

  std::vector<std::pair<std::string, SpriteHandle>> table = {{"gras.jpg", w.GrassSprite}, {"Target.png", w.TargetSprite}};
  auto numbered = [](const char* prefix, size_t n) { return prefix + std::to_string(n) + ".png"; };
  for (size_t i = 1; i <= 11; ++i) table.emplace_back(numbered("road", i), w.RoadSprites[i]);
  for (size_t i = 1; i <= 17; ++i)
    table.insert(table.end(), {{numbered("car", i), w.CarImages[i]}, {numbered("car", i), w.CarSprites[i]}});
  for (size_t i = 1; i <= 4; ++i) {
    const std::string signal = i <= 2 ? numbered("sign", i) : numbered("light", i - 2);
    table.insert(table.end(), {{numbered("emitter", i), w.EmitterSprites[i]}, {signal, w.LightIcons[i]},
                               {signal, w.LightSprites[i]}});
  }
  for (const auto& [name, handle] : table) EXPECT_EQ(handle == 0, damaged.count(name) == 1) << name;

}

}  // namespace
}  // namespace kv
