// Feeds arbitrary bytes to the sprite decoder as a JPEG file (the grass
// image): decoding either gives a well-formed opaque image or none.
#include <cstdint>
#include <cstdlib>

#include "platform/draw/image_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::optional<kv::RgbaImage> image = kv::DecodeImage(data, size);
  if (!image) return 0;
  if (image->width < 1 || image->width > kv::kMaxImageSide || image->height < 1 ||
      image->height > kv::kMaxImageSide)
    std::abort();
  if (image->pixels.size() != static_cast<size_t>(image->width) * image->height * 4)
    std::abort();
  // A JPEG has no transparency: every alpha byte is 255. (A PNG the mutator
  // made from these seeds may have any alpha.)
  const bool jpeg = size >= 2 && data[0] == 0xFF && data[1] == 0xD8;
  for (size_t i = 3; jpeg && i < image->pixels.size(); i += 4)
    if (image->pixels[i] != 255) std::abort();
  return 0;
}
