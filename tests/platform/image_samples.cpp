// Inputs are always valid, so the libraries' default error handling (abort)
// is good enough here.
#include "platform/image_samples.h"

#include <jpeglib.h>
#include <png.h>

#include <cstdlib>

namespace kvtest {

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
               image.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!image.palette.empty())
    png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(image.palette.data()),
                 static_cast<int>(image.palette.size() / 3));
  if (!image.alphas.empty())
    png_set_tRNS(png, info, image.alphas.data(), static_cast<int>(image.alphas.size()), nullptr);
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (int y = 0; y < image.height; ++y)
    rows.push_back(const_cast<png_bytep>(image.rows.data()) + image.rows.size() / image.height * y);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes EncodeRgbaPng(int width, int height, const Bytes& rgba) {
  return EncodePng(Png(width, height, PNG_COLOR_TYPE_RGB_ALPHA, 8, rgba));
}

Bytes EncodeJpeg(int width, int height, int components, const Bytes& samples, int quality) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data()) +
                   static_cast<size_t>(cinfo.next_scanline) * width * components;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

}  // namespace kvtest
