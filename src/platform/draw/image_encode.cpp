// PNG and JPEG writers. Both libraries report errors by longjmp, so everything
// that needs cleaning up is created before the jump target and released on
// both paths. The picture is encoded in memory and then written as any file
// is (FileWriter): a failed write leaves the old file, and removes nothing.
#include <png.h>
#include <jpeglib.h>

#include <cerrno>
#include <csetjmp>
#include <vector>

#include "platform/draw/image_decode.h"
#include "platform/files.h"

namespace kv {
namespace {

// The writers serve the program's own pictures and the generators' sheets.
constexpr int kMaxWrittenSide = 4096;

bool ValidSize(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxWrittenSide && height <= kMaxWrittenSide;
}

// Writes the encoded bytes; errno tells why when it could not.
bool WriteEncoded(const std::string& hostPath, const Bytes& bytes) {
  FileWriter out(hostPath);
  if (out.Write(bytes.data(), bytes.size()) && out.Commit()) return true;
  errno = out.Error();
  return false;
}

void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

void AppendPngBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void FlushNothing(png_structp) {}

// Everything between png_create_write_struct and png_write_end; the caller
// owns the structs and the bytes.

bool EncodePng(png_structp png, png_infop info, Bytes& out, int width, int height, png_bytep* rows,
               bool hasAlpha) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &out, AppendPngBytes, FlushNothing);
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

// A destination that appends libjpeg's output to bytes owned by the caller.
struct JpegSink {
  jpeg_destination_mgr mgr;  // first member: libjpeg hands back a pointer to it
  Bytes* out;
  JOCTET block[4096];
};
void SinkStart(j_compress_ptr cinfo) {
  auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
  sink->mgr.next_output_byte = sink->block;
  sink->mgr.free_in_buffer = sizeof sink->block;
}
boolean SinkFull(j_compress_ptr cinfo) {
  auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
  sink->out->insert(sink->out->end(), sink->block, sink->block + sizeof sink->block);
  SinkStart(cinfo);
  return TRUE;
}
void SinkEnd(j_compress_ptr cinfo) {
  auto* sink = reinterpret_cast<JpegSink*>(cinfo->dest);
  sink->out->insert(sink->out->end(), sink->block, sink->block + (sizeof sink->block - sink->mgr.free_in_buffer));
}

bool EncodeJpeg(jpeg_compress_struct* cinfo, JpegErrors* errors, JpegSink* sink, int width, int height,
                const uint8_t* rgb, int quality) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_compress(cinfo);
  sink->mgr.init_destination = SinkStart;
  sink->mgr.empty_output_buffer = SinkFull;
  sink->mgr.term_destination = SinkEnd;
  cinfo->dest = &sink->mgr;
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
  Bytes encoded;
  const bool ok = EncodePng(png, info, encoded, width, height, rows.data(), hasAlpha);
  png_destroy_write_struct(&png, &info);
  return ok && WriteEncoded(hostPath, encoded);
}

bool WriteJpeg(const std::string& hostPath, int width, int height, const uint8_t* rgb,
               int quality) {
  constexpr int kMinQuality = 1;
  constexpr int kMaxQuality = 100;
  if (rgb == nullptr || !ValidSize(width, height) || quality < kMinQuality ||
      quality > kMaxQuality) {
    return false;
  }
  jpeg_compress_struct cinfo{};
  JpegErrors errors{};
  cinfo.err = jpeg_std_error(&errors.mgr);
  errors.mgr.error_exit = JpegError;
  errors.mgr.output_message = JpegMessage;
  Bytes encoded;
  JpegSink sink{};
  sink.out = &encoded;
  const bool ok = EncodeJpeg(&cinfo, &errors, &sink, width, height, rgb, quality);
  jpeg_destroy_compress(&cinfo);
  return ok && WriteEncoded(hostPath, encoded);
}

}  // namespace kv
