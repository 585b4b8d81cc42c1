// Builds PNG and JPEG files for the decoder and canvas tests with libpng and
// libjpeg directly, so the tests do not depend on the program's own encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

struct PngSpec {
  int width = 0, height = 0;
  int colorType = 2;  // PNG_COLOR_TYPE_*
  int bitDepth = 8;
  std::vector<uint8_t> rows;     // packed rows as stored in the file
  bool interlaced = false;
  std::vector<uint8_t> palette;  // R G B triples
  std::vector<uint8_t> alphas;   // tRNS entries of the palette
};

PngSpec Spec(int width, int height, int colorType, int bitDepth, std::vector<uint8_t> rows);
std::vector<uint8_t> EncodePng(const PngSpec& spec);
std::vector<uint8_t> EncodeRgbaPng(int width, int height, const std::vector<uint8_t>& rgba);
// components 1 (grey) or 3 (RGB), samples interleaved.
std::vector<uint8_t> EncodeJpeg(int width, int height, int components,
                                const std::vector<uint8_t>& samples, int quality);

// A fresh directory under /tmp, removed with its files at the end.
struct TempDir {
  TempDir();
  ~TempDir();
  std::string File(const std::string& name) const { return path + "/" + name; }
  std::vector<std::string> List() const;  // entry names, sorted
  std::string path;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

}  // namespace kvtest
