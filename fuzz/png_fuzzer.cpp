// Feeds arbitrary bytes to the sprite decoder as a PNG file: whatever a file
// under Gfx holds, decoding either gives a well-formed image or none.
//
// Most mutations of a PNG break a chunk's CRC, and the decoder then stops at
// that chunk; so the input is decoded twice, as it is and with every CRC
// made to match, which lets mutated chunk contents reach the decoding.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/draw/image_decode.h"

namespace {

constexpr size_t kSignatureBytes = 8;

uint32_t ReadBigEndian(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void WriteBigEndian(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// Rewrites the CRC of every complete chunk.
void FixChunkCrcs(std::vector<uint8_t>& png) {
  size_t pos = kSignatureBytes;
  while (pos + 12 <= png.size()) {
    const uint32_t length = ReadBigEndian(&png[pos]);
    if (length > png.size() - pos - 12) break;
    const uint8_t* typeAndData = &png[pos + 4];
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, typeAndData, static_cast<uInt>(length + 4));
    WriteBigEndian(&png[pos + 8 + length], static_cast<uint32_t>(crc));
    pos += 12 + length;
  }
}

void Check(const uint8_t* data, size_t size) {
  std::optional<kv::RgbaImage> image = kv::DecodeImage(data, size);
  if (!image) return;
  if (image->width < 1 || image->width > kv::kMaxImageSide || image->height < 1 ||
      image->height > kv::kMaxImageSide)
    std::abort();
  if (image->pixels.size() != static_cast<size_t>(image->width) * image->height * 4)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Check(data, size);
  std::vector<uint8_t> fixed(data, data + size);
  FixChunkCrcs(fixed);
  Check(fixed.data(), fixed.size());
  return 0;
}
