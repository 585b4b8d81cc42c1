// PNG and JPEG decoding. Both libraries report errors by longjmp; every
// object that owns memory therefore lives in the caller of the function that
// calls setjmp, so a jump skips no destructor and leaks nothing.
#include "platform/draw/image_decode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace kv {

namespace {

// Anything bigger than this cannot hold an image we would accept.
constexpr size_t kMaxImageFileBytes = 16u * 1024u * 1024u;
constexpr size_t kPngSignatureBytes = 8;
// Five bytes per entry: the chunk name and a NUL.
constexpr png_byte kUnusedPngChunks[] = "iCCP\0sPLT\0tEXt\0zTXt\0iTXt\0pCAL\0sCAL\0eXIf";
constexpr int kUnusedPngChunkCount = 8;
static_assert(sizeof kUnusedPngChunks == 5 * kUnusedPngChunkCount);

bool SideAcceptable(uint32_t side) { return side > 0 && side <= static_cast<uint32_t>(kMaxImageSide); }

// --- PNG ---

struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

void PngRead(png_structp png, png_bytep out, png_size_t length) {
  auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
  if (length > src->size - src->pos) png_error(png, "truncated");
  std::memcpy(out, src->data + src->pos, length);
  src->pos += length;
}

[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

// Fills image and rows; false on any libpng error (reported by longjmp).
bool DecodePngInto(png_structp png, png_infop info, RgbaImage& image,
                   std::vector<png_bytep>& rows) {
  if (setjmp(png_jmpbuf(png))) return false;

  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  // libpng reads these chunks into a buffer of the length their header
  // announces (up to 2 GiB for a damaged file) before it finds the data
  // missing. Sprites need none of them: skip them unread.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnusedPngChunks,
                              kUnusedPngChunkCount);
  png_read_info(png, info);
  png_uint_32 width = png_get_image_width(png, info);
  png_uint_32 height = png_get_image_height(png, info);
  if (!SideAcceptable(width) || !SideAcceptable(height)) return false;

  // Normalise every colour type and depth to 8-bit RGBA.
  int colorType = png_get_color_type(png, info);
  if (png_get_bit_depth(png, info) == 16) png_set_scale_16(png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8)
    png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) return false;

  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.resize(static_cast<size_t>(width) * height * 4);
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y)
    rows[y] = image.pixels.data() + static_cast<size_t>(y) * width * 4;
  png_read_image(png, rows.data());
  // A file cut off after the pixel data is still damaged.
  png_read_end(png, nullptr);
  return true;
}

std::optional<RgbaImage> DecodePng(const uint8_t* data, size_t size) {
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png) return std::nullopt;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return std::nullopt;
  }
  PngSource source{data, size, 0};
  png_set_read_fn(png, &source, PngRead);

  RgbaImage image;
  std::vector<png_bytep> rows;
  bool ok = DecodePngInto(png, info, image, rows);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!ok) return std::nullopt;
  return image;
}

// --- JPEG ---

struct JpegErrors {
  jpeg_error_mgr base;  // first member: libjpeg hands back a pointer to it
  std::jmp_buf jump;
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

// Warnings (corrupt data, premature end) are counted by libjpeg and checked
// after decoding; nothing goes to stderr.
void JpegOutputMessage(j_common_ptr) {}

// Called before every step of reading the file, so also at each new scan.
void JpegCountScans(j_common_ptr cinfo) {
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) JpegErrorExit(cinfo);
}

bool DecodeJpegInto(jpeg_decompress_struct& cinfo, JpegErrors& errors, const uint8_t* data,
                    size_t size, RgbaImage& image, std::vector<uint8_t>& row) {
  if (setjmp(errors.jump)) return false;

  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;
  if (!SideAcceptable(cinfo.image_width) || !SideAcceptable(cinfo.image_height)) return false;
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_components != 3 || !SideAcceptable(cinfo.output_width) ||
      !SideAcceptable(cinfo.output_height))
    return false;

  const size_t width = cinfo.output_width;
  image.width = static_cast<int>(cinfo.output_width);
  image.height = static_cast<int>(cinfo.output_height);
  image.pixels.resize(width * cinfo.output_height * 4);
  row.resize(width * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    size_t y = cinfo.output_scanline;
    JSAMPROW rowPointer = row.data();
    if (jpeg_read_scanlines(&cinfo, &rowPointer, 1) != 1) return false;
    uint8_t* out = image.pixels.data() + y * width * 4;
    for (size_t x = 0; x < width; ++x) {
      out[x * 4 + 0] = row[x * 3 + 0];
      out[x * 4 + 1] = row[x * 3 + 1];
      out[x * 4 + 2] = row[x * 3 + 2];
      out[x * 4 + 3] = 255;
    }
  }
  jpeg_finish_decompress(&cinfo);
  // libjpeg pads a cut-off file with grey and only warns: treat it as damaged.
  return errors.base.num_warnings == 0;
}

std::optional<RgbaImage> DecodeJpeg(const uint8_t* data, size_t size) {
  jpeg_decompress_struct cinfo{};
  JpegErrors errors{};
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = JpegErrorExit;
  errors.base.output_message = JpegOutputMessage;
  jpeg_create_decompress(&cinfo);
  jpeg_progress_mgr progress{};
  progress.progress_monitor = JpegCountScans;
  cinfo.progress = &progress;

  RgbaImage image;
  std::vector<uint8_t> row;
  bool ok = DecodeJpegInto(cinfo, errors, data, size, image, row);
  jpeg_destroy_decompress(&cinfo);
  if (!ok) return std::nullopt;
  return image;
}

bool ReadWholeFile(const std::string& hostPath, std::vector<uint8_t>& out) {
  int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
      static_cast<uint64_t>(st.st_size) > kMaxImageFileBytes) {
    ::close(fd);
    return false;
  }
  out.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::read(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the file shrank: decode what is there
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  out.resize(done);
  return done > 0;
}

}  // namespace

std::optional<RgbaImage> DecodeImage(const uint8_t* data, size_t size) {
  if (!data || size == 0) return std::nullopt;
  if (size >= kPngSignatureBytes && png_sig_cmp(data, 0, kPngSignatureBytes) == 0)
    return DecodePng(data, size);
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
    return DecodeJpeg(data, size);
  return std::nullopt;
}

std::optional<RgbaImage> DecodeImageFile(const std::string& hostPath) {
  std::vector<uint8_t> bytes;
  if (hostPath.empty() || !ReadWholeFile(hostPath, bytes)) return std::nullopt;
  return DecodeImage(bytes.data(), bytes.size());
}

}  // namespace kv
