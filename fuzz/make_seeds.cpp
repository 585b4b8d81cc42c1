// Writes the generated part of the image fuzzers' seed corpus: small PNG and
// JPEG files in the flavours the decoder has to normalise (grey, palette,
// transparency, 16-bit, interlaced; progressive, grey, restarts, arithmetic
// coding, CMYK). Each input should reach a different path of the libraries.
//
//   make-fuzz-seeds PNG_DIR JPEG_DIR
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace {

using Bytes = std::vector<uint8_t>;

struct PngSeed {
  const char* name;
  int width, height, colorType, bitDepth;
  bool interlaced;
  int paletteSize;      // entries, for palette images
  int transparentCount; // tRNS entries (palette) or 1 for a key colour
  bool text;            // tEXt and zTXt chunks, one before and one after the pixels
};

// Deterministic sample bytes: a pattern with edges and gradients, so that
// every filter type and some compression is exercised.
uint8_t Sample(int x, int y, int c) { return static_cast<uint8_t>((x * 37 + y * 71 + c * 113) ^ (x * y)); }

bool WritePngSeed(const std::string& path, const PngSeed& s) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colorType,
               s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (int i = 0; i < s.paletteSize; ++i)
    palette.push_back({Sample(i, 0, 0), Sample(i, 1, 1), Sample(i, 2, 2)});
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), s.paletteSize);
  std::vector<png_byte> alphas;
  png_color_16 key{};
  if (s.transparentCount > 0) {
    if (s.colorType == PNG_COLOR_TYPE_PALETTE) {
      for (int i = 0; i < s.transparentCount; ++i) alphas.push_back(static_cast<png_byte>(i * 60));
      png_set_tRNS(png, info, alphas.data(), s.transparentCount, nullptr);
    } else {
      key.red = key.green = key.blue = key.gray = 1;
      png_set_tRNS(png, info, nullptr, 0, &key);
    }
  }
  png_set_gAMA(png, info, 0.45455);
  png_text before{};
  char keyWord[] = "Title", value[] = "seed";
  before.compression = PNG_TEXT_COMPRESSION_NONE;
  before.key = keyWord;
  before.text = value;
  if (s.text) png_set_text(png, info, &before, 1);
  png_write_info(png, info);

  const int channels = s.colorType == PNG_COLOR_TYPE_RGB         ? 3
                       : s.colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                       : s.colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                  : 1;
  const size_t rowBytes = (static_cast<size_t>(s.width) * channels * s.bitDepth + 7) / 8;
  Bytes pixels(rowBytes * s.height);
  for (int y = 0; y < s.height; ++y)
    for (size_t i = 0; i < rowBytes; ++i) {
      uint8_t v = Sample(static_cast<int>(i), y, 0);
      // Palette indices must stay below the palette size at every depth.
      if (s.colorType == PNG_COLOR_TYPE_PALETTE && s.bitDepth == 8) v %= s.paletteSize;
      pixels[y * rowBytes + i] = v;
    }
  std::vector<png_bytep> rows;
  for (int y = 0; y < s.height; ++y) rows.push_back(pixels.data() + y * rowBytes);
  png_write_image(png, rows.data());

  png_text after{};
  char afterKey[] = "Comment", afterValue[] = "compressed text after the pixel data";
  after.compression = PNG_TEXT_COMPRESSION_zTXt;
  after.key = afterKey;
  after.text = afterValue;
  png_infop end = png_create_info_struct(png);
  if (s.text) png_set_text(png, end, &after, 1);
  png_write_end(png, end);
  png_destroy_info_struct(png, &end);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

struct JpegSeed {
  const char* name;
  int width, height, components;
  J_COLOR_SPACE space;
  int quality;
  bool progressive, arithmetic, optimize;
  int restartRows;
  int hSample, vSample;  // of the first component; 1, 1 is 4:4:4
};

struct JpegErrors {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void JpegFail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1); }

bool EncodeJpegSeed(jpeg_compress_struct& cinfo, JpegErrors& errors, FILE* f, const JpegSeed& s,
                    Bytes& samples) {
  if (setjmp(errors.jump)) return false;
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = s.width;
  cinfo.image_height = s.height;
  cinfo.input_components = s.components;
  cinfo.in_color_space = s.space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, s.quality, TRUE);
  if (s.progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = s.arithmetic ? TRUE : FALSE;
  cinfo.optimize_coding = s.optimize ? TRUE : FALSE;
  cinfo.restart_in_rows = s.restartRows;
  cinfo.comp_info[0].h_samp_factor = s.hSample;
  cinfo.comp_info[0].v_samp_factor = s.vSample;
  jpeg_start_compress(&cinfo, TRUE);
  const char comment[] = "seed";
  jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(comment), sizeof comment - 1);
  samples.resize(static_cast<size_t>(s.width) * s.height * s.components);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x)
      for (int c = 0; c < s.components; ++c)
        samples[(static_cast<size_t>(y) * s.width + x) * s.components + c] = Sample(x, y, c);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = samples.data() + static_cast<size_t>(cinfo.next_scanline) * s.width * s.components;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

bool WriteJpegSeed(const std::string& path, const JpegSeed& s) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct cinfo{};
  JpegErrors errors{};
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = JpegFail;
  jpeg_create_compress(&cinfo);
  Bytes samples;
  bool ok = EncodeJpegSeed(cinfo, errors, f, s, samples);
  jpeg_destroy_compress(&cinfo);
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::remove(path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PNG_DIR JPEG_DIR\n", argv[0]);
    return 2;
  }
  const std::string pngDir = argv[1], jpegDir = argv[2];
  const PngSeed pngs[] = {
      {"grey8.png", 8, 8, PNG_COLOR_TYPE_GRAY, 8, false, 0, 0, false},
      {"grey1_odd_width.png", 9, 3, PNG_COLOR_TYPE_GRAY, 1, false, 0, 0, false},
      {"grey4_key.png", 6, 5, PNG_COLOR_TYPE_GRAY, 4, false, 0, 1, false},
      {"grey16_interlaced.png", 7, 9, PNG_COLOR_TYPE_GRAY, 16, true, 0, 0, false},
      {"grey_alpha.png", 4, 4, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, 0, 0, true},
      {"palette2_trns.png", 10, 4, PNG_COLOR_TYPE_PALETTE, 2, false, 4, 2, false},
      {"palette8_interlaced.png", 12, 12, PNG_COLOR_TYPE_PALETTE, 8, true, 200, 5, true},
      {"rgb_interlaced.png", 13, 11, PNG_COLOR_TYPE_RGB, 8, true, 0, 0, false},
      {"rgb_key.png", 5, 5, PNG_COLOR_TYPE_RGB, 8, false, 0, 1, false},
      {"rgb16.png", 3, 3, PNG_COLOR_TYPE_RGB, 16, false, 0, 0, false},
      {"rgba16_interlaced.png", 5, 5, PNG_COLOR_TYPE_RGB_ALPHA, 16, true, 0, 0, true},
      {"rgba_1x1.png", 1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, 0, 0, false},
  };
  const JpegSeed jpegs[] = {
      {"baseline_420.jpg", 16, 16, 3, JCS_RGB, 75, false, false, false, 0, 2, 2},
      {"baseline_444_odd.jpg", 17, 9, 3, JCS_RGB, 95, false, false, true, 0, 1, 1},
      {"progressive.jpg", 24, 16, 3, JCS_RGB, 80, true, false, false, 0, 2, 2},
      {"grey.jpg", 12, 12, 1, JCS_GRAYSCALE, 85, false, false, false, 0, 1, 1},
      {"grey_progressive.jpg", 9, 20, 1, JCS_GRAYSCALE, 60, true, false, false, 0, 1, 1},
      {"restarts_422.jpg", 32, 24, 3, JCS_RGB, 70, false, false, false, 1, 2, 1},
      {"arithmetic.jpg", 16, 8, 3, JCS_RGB, 75, false, true, false, 0, 2, 2},
      {"cmyk.jpg", 8, 8, 4, JCS_CMYK, 75, false, false, false, 0, 1, 1},
  };
  int failures = 0;
  for (const PngSeed& s : pngs)
    if (!WritePngSeed(pngDir + "/" + s.name, s)) {
      std::fprintf(stderr, "cannot write %s\n", s.name);
      ++failures;
    }
  for (const JpegSeed& s : jpegs)
    if (!WriteJpegSeed(jpegDir + "/" + s.name, s)) {
      std::fprintf(stderr, "cannot write %s (left out)\n", s.name);
      ++failures;
    }
  return failures == 0 ? 0 : 1;
}
