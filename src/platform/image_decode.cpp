// Placeholder until the decoders land.
#include "platform/image_decode.h"

namespace kv {

std::optional<RgbaImage> DecodeImage(const uint8_t*, size_t) { return std::nullopt; }
std::optional<RgbaImage> DecodeImageFile(const std::string&) { return std::nullopt; }

}  // namespace kv
