// PNG and JPEG files made with libpng and libjpeg directly, so that the
// decoder is checked against the libraries rather than the program's encoder.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "support/temp_files.h"

namespace kvtest {

struct PngImage {
  int width = 0, height = 0;
  int colorType = 2;  // PNG_COLOR_TYPE_*
  int bitDepth = 8;
  Bytes rows;  // packed rows as stored in the file
  bool interlaced = false;
  Bytes palette;  // R G B triples
  Bytes alphas;   // tRNS entries of the palette
};

inline PngImage Png(int width, int height, int colorType, int bitDepth, Bytes rows) {
  PngImage image;
  image.width = width, image.height = height, image.colorType = colorType, image.bitDepth = bitDepth;
  image.rows = std::move(rows);
  return image;
}
Bytes EncodePng(const PngImage& image);
Bytes EncodeRgbaPng(int width, int height, const Bytes& rgba);
// components 1 (grey) or 3 (RGB), samples interleaved.
Bytes EncodeJpeg(int width, int height, int components, const Bytes& samples, int quality);

}  // namespace kvtest
