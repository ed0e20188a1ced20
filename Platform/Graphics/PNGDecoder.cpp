#include "Platform/Graphics/PNGDecoder.h"

#include <csetjmp>
#include <vector>

#include <png.h>

#include "Platform/Graphics/ImageDataReader.h"

namespace platform::detail {
namespace {

void readFromSource(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<ImageDataReader*>(png_get_io_ptr(png));
  if (reader->read(out, length) < length) png_error(png, "data ends early");
}

// Quiet: a damaged image from a server is an outcome, not something to print.
void fail(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void ignoreWarning(png_structp, png_const_charp) {
}

// libpng reports failure by longjmp out of its own frames. The functions that set the jump
// point below keep no object with a destructor alive across a libpng call, so the jump
// skips nothing that C++ would have to clean up.

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data)
      : source_(data),
        png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, ignoreWarning)),
        info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr) {
    if (info_ == nullptr) return;
    png_set_read_fn(png_, &source_, readFromSource);
    // The caller's limits are the ones that count; libpng's own (a million pixels a side)
    // would refuse some images those allow, as damaged rather than as too large.
    png_set_user_limits(png_, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  }
  ~Reader() { png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr); }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  [[nodiscard]] bool valid() const { return info_ != nullptr; }
  [[nodiscard]] bool ranOut() const { return source_.ranOut(); }
  [[nodiscard]] png_uint_32 width() const { return png_get_image_width(png_, info_); }
  [[nodiscard]] png_uint_32 height() const { return png_get_image_height(png_, info_); }

  // Reads the chunks up to the image data, and asks for every kind of pixel to come out
  // as 8-bit RGBA.
  bool readHeader() {
    if (setjmp(png_jmpbuf(png_))) return false;
    png_read_info(png_, info_);
    png_set_expand(png_);  // palette and low-bit grey to 8 bits, transparency to alpha
    png_set_strip_16(png_);
    png_set_gray_to_rgb(png_);
    png_set_add_alpha(png_, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png_);
    png_read_update_info(png_, info_);
    return png_get_rowbytes(png_, info_) == png_size_t{width()} * 4;
  }

  // Reads the image into `rows`, then the rest of the file up to IEND.
  bool readImage(png_bytepp rows) {
    if (setjmp(png_jmpbuf(png_))) return false;
    png_read_image(png_, rows);
    png_read_end(png_, nullptr);
    return true;
  }

 private:
  ImageDataReader source_;
  png_structp png_;
  png_infop info_;
};

}  // namespace

std::expected<std::shared_ptr<Image>, ImageDecodeError> decodePNG(
    std::span<const std::uint8_t> data, const Image::DecodeLimits& limits) {
  Reader reader(data);
  if (!reader.valid()) throw std::bad_alloc();
  const auto refusal = [&reader] {
    return std::unexpected(reader.ranOut() ? ImageDecodeError::truncated
                                           : ImageDecodeError::corrupt);
  };
  if (!reader.readHeader()) return refusal();
  const std::size_t width = reader.width();
  const std::size_t height = reader.height();
  if (!limits.admits(width, height)) return std::unexpected(ImageDecodeError::tooLarge);

  std::vector<std::uint8_t> pixels(width * height * 4);
  std::vector<png_bytep> rows(height);
  for (std::size_t y = 0; y < height; ++y) rows[y] = pixels.data() + y * width * 4;
  if (!reader.readImage(rows.data())) return refusal();
  return Image::make(int(width), int(height), std::move(pixels));
}

}  // namespace platform::detail
