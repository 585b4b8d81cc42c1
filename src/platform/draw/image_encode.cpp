// PNG and JPEG writers. Both libraries report errors by longjmp, so everything
// that needs cleaning up is created before the jump target and released on
// both paths; a failed write never leaves a half-written file behind.
#include <png.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "platform/draw/image_decode.h"

namespace kv {
namespace {

bool ValidSize(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide;
}

// Closes the file and, on failure, deletes what was written so far.
bool FinishFile(FILE* file, const std::string& hostPath, bool ok) {
  if (std::fclose(file) != 0) ok = false;
  if (!ok) std::remove(hostPath.c_str());
  return ok;
}

void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

// Everything between png_create_write_struct and png_write_end; the caller
// owns the structs and the file.
bool EncodePng(png_structp png, png_infop info, FILE* file, int width, int height,
               png_bytep* rows, bool hasAlpha) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

struct JpegErrors {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void JpegError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}
void JpegMessage(j_common_ptr) {}

bool EncodeJpeg(jpeg_compress_struct* cinfo, JpegErrors* errors, FILE* file, int width,
                int height, const uint8_t* rgb, int quality) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_compress(cinfo);
  jpeg_stdio_dest(cinfo, file);
  cinfo->image_width = static_cast<JDIMENSION>(width);
  cinfo->image_height = static_cast<JDIMENSION>(height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  jpeg_start_compress(cinfo, TRUE);
  const size_t stride = static_cast<size_t>(width) * 3;
  while (cinfo->next_scanline < cinfo->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb + stride * cinfo->next_scanline);
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

}  // namespace

bool WritePng(const std::string& hostPath, int width, int height, const uint8_t* pixels,
              bool hasAlpha) {
  if (pixels == nullptr || !ValidSize(width, height)) return false;
  const size_t stride = static_cast<size_t>(width) * (hasAlpha ? 4 : 3);
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (size_t y = 0; y < rows.size(); ++y) rows[y] = const_cast<png_bytep>(pixels + stride * y);

  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  FILE* file = std::fopen(hostPath.c_str(), "wb");
  if (file == nullptr) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  const bool ok = EncodePng(png, info, file, width, height, rows.data(), hasAlpha);
  png_destroy_write_struct(&png, &info);
  return FinishFile(file, hostPath, ok);
}

bool WriteJpeg(const std::string& hostPath, int width, int height, const uint8_t* rgb,
               int quality) {
  constexpr int kMinQuality = 1;
  constexpr int kMaxQuality = 100;
  if (rgb == nullptr || !ValidSize(width, height) || quality < kMinQuality ||
      quality > kMaxQuality) {
    return false;
  }
  FILE* file = std::fopen(hostPath.c_str(), "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct cinfo{};
  JpegErrors errors{};
  cinfo.err = jpeg_std_error(&errors.mgr);
  errors.mgr.error_exit = JpegError;
  errors.mgr.output_message = JpegMessage;
  const bool ok = EncodeJpeg(&cinfo, &errors, file, width, height, rgb, quality);
  jpeg_destroy_compress(&cinfo);
  return FinishFile(file, hostPath, ok);
}

}  // namespace kv
