// Sprite files whose chunk headers announce far more data than the file
// holds: decoding must refuse them without first reserving what they claim.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/image_decode.h"

// Present under the sanitizers of the test build; absent otherwise.
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void*, size_t), void (*freeHook)(const volatile void*))
    __attribute__((weak));

namespace {

using Bytes = std::vector<uint8_t>;

size_t largestAllocation = 0;
void NoteAllocation(const volatile void*, size_t size) {
  if (size > largestAllocation) largestAllocation = size;
}
void NoteFree(const volatile void*) {}

void PutBigEndian(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// A chunk; `announced` overrides the length field.
void Chunk(Bytes& png, const std::string& type, const Bytes& data, uint32_t announced = 0) {
  PutBigEndian(png, announced ? announced : static_cast<uint32_t>(data.size()));
  Bytes typeAndData(type.begin(), type.end());
  typeAndData.insert(typeAndData.end(), data.begin(), data.end());
  png.insert(png.end(), typeAndData.begin(), typeAndData.end());
  PutBigEndian(png, static_cast<uint32_t>(crc32(0, typeAndData.data(), static_cast<uInt>(typeAndData.size()))));
}

// A 2 x 1 RGB image, red then blue, with `extra` chunks before its pixels.
Bytes TwoPixelPng(const std::vector<std::pair<std::string, Bytes>>& extra, uint32_t lastAnnounced = 0) {
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes header;
  PutBigEndian(header, 2);
  PutBigEndian(header, 1);
  header.insert(header.end(), {8, 2, 0, 0, 0});
  Chunk(png, "IHDR", header);
  for (size_t i = 0; i < extra.size(); ++i)
    Chunk(png, extra[i].first, extra[i].second, i + 1 == extra.size() ? lastAnnounced : 0);
  const Bytes raw = {0, 255, 0, 0, 0, 0, 255};  // filter byte, then the pixels
  Bytes packed(compressBound(raw.size()));
  uLongf packedSize = packed.size();
  compress(packed.data(), &packedSize, raw.data(), raw.size());
  packed.resize(packedSize);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", {});
  return png;
}

TEST(DamagedImages, ChunksAnnouncingGigabytesReserveNothing) {
  const Bytes text(40, 'a');
  // Each alone decodes, the text and profile chunks being of no use to sprites.
  for (const char* type : {"tEXt", "zTXt", "iTXt", "iCCP", "sPLT", "pCAL", "sCAL", "eXIf"}) {
    const Bytes png = TwoPixelPng({{type, text}});
    auto image = kv::DecodeImage(png.data(), png.size());
    ASSERT_TRUE(image) << type;
    EXPECT_EQ(image->pixels, (Bytes{255, 0, 0, 255, 0, 0, 255, 255})) << type;
  }

  if (!__sanitizer_install_malloc_and_free_hooks) GTEST_SKIP() << "needs the sanitizer's allocation hooks";
  __sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteFree);
  for (const char* type : {"tEXt", "zTXt", "iTXt", "iCCP", "sPLT", "pCAL", "sCAL", "eXIf", "abCD"}) {
    largestAllocation = 0;
    const Bytes png = TwoPixelPng({{type, text}}, 0x73000000);
    EXPECT_FALSE(kv::DecodeImage(png.data(), png.size())) << type;
    EXPECT_LT(largestAllocation, size_t{1} << 20) << type;
  }
  __sanitizer_install_malloc_and_free_hooks(nullptr, nullptr);
}

}  // namespace
