// PNG and JPEG decoding into 8-bit RGBA. Never aborts, never leaks: a missing,
// damaged, truncated or unknown file simply gives no image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {

// The program's images are at most 64 x 64; a larger one than this is no
// sprite of ours and would only cost start-up time and memory.
constexpr int kMaxImageSide = 1024;
// A progressive JPEG with more scans than a real image needs is refused
// before its scans cost any time (the standard progressions use 6 to 10).
constexpr int kMaxJpegScans = 64;

struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height * 4, rows top to bottom, R G B A
};

// Decodes by content (PNG signature or JPEG SOI), not by file name.
std::optional<RgbaImage> DecodeImage(const uint8_t* data, size_t size);
// Reads the whole file at a host path and decodes it.
std::optional<RgbaImage> DecodeImageFile(const std::string& hostPath);

// Writes an RGB or RGBA image as PNG; false on any failure.
bool WritePng(const std::string& hostPath, int width, int height, const uint8_t* pixels,
              bool hasAlpha);
// Writes an RGB image as JPEG (used by the graphics generator).
bool WriteJpeg(const std::string& hostPath, int width, int height, const uint8_t* rgb,
               int quality);

}  // namespace kv
