#include "Platform/Graphics/JPEGDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace platform::detail {
namespace {

// A progressive stream may hold any number of scans, each a pass over the whole image;
// real encoders write about ten. Crafted streams with thousands would keep a thread busy
// for minutes.
constexpr int kMaximumScans = 100;

// libjpeg reports failure by longjmp out of its own frames. The functions that set the jump
// point below keep no object with a destructor alive across a libjpeg call, so the jump
// skips nothing that C++ would have to clean up.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  bool ranOut = false;
};

ErrorManager& errorManager(j_common_ptr info) {
  return *reinterpret_cast<ErrorManager*>(info->err);
}

[[noreturn]] void fail(j_common_ptr info) {
  std::longjmp(errorManager(info).jump, 1);
}

// The memory source answers reading past the end with a warning and a made-up end of image,
// after which the decoder paints the rest grey; that is a truncated image, and decoding
// stops there. Other warnings (stray bytes between segments, say) are what decoders
// commonly let pass.
void warnOrTrace(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
    errorManager(info).ranOut = true;
    fail(info);
  }
}

void limitScans(j_common_ptr info) {
  if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaximumScans) fail(info);
}

// Photoshop writes CMYK inverted (as its Adobe marker says), 0 meaning full ink; libjpeg
// hands the values over as stored.
void cmykToRGBA(std::vector<std::uint8_t>& pixels, bool inverted) {
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    const unsigned k = inverted ? pixels[i + 3] : 255u - pixels[i + 3];
    for (std::size_t c = 0; c < 3; ++c) {
      const unsigned ink = inverted ? pixels[i + c] : 255u - pixels[i + c];
      pixels[i + c] = std::uint8_t((ink * k + 127) / 255);
    }
    pixels[i + 3] = 255;
  }
}

class Decompressor {
 public:
  explicit Decompressor(std::span<const std::uint8_t> data) : data_(data) {
    info_.err = jpeg_std_error(&errors_.base);
    errors_.base.error_exit = fail;
    errors_.base.emit_message = warnOrTrace;
    progress_.progress_monitor = limitScans;
  }
  // Also when creation failed: libjpeg frees only what it allocated.
  ~Decompressor() { jpeg_destroy_decompress(&info_); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  [[nodiscard]] bool ranOut() const { return errors_.ranOut; }
  [[nodiscard]] JDIMENSION width() const { return info_.image_width; }
  [[nodiscard]] JDIMENSION height() const { return info_.image_height; }
  [[nodiscard]] bool isCMYK() const {
    return info_.jpeg_color_space == JCS_CMYK || info_.jpeg_color_space == JCS_YCCK;
  }
  [[nodiscard]] bool invertedCMYK() const { return info_.saw_Adobe_marker; }

  // Reads the segments up to the first scan, and asks for four bytes a pixel: RGBA, or CMYK
  // for the caller to convert.
  bool readHeader() {
    if (setjmp(errors_.jump)) return false;
    jpeg_create_decompress(&info_);
    info_.progress = &progress_;
    jpeg_mem_src(&info_, data_.data(), static_cast<unsigned long>(data_.size()));
    jpeg_read_header(&info_, TRUE);
    info_.out_color_space = isCMYK() ? JCS_CMYK : JCS_EXT_RGBA;
    return true;
  }

  // Decodes into `pixels` (rows of `width() * 4` bytes), then reads on to the end of image.
  bool readImage(std::uint8_t* pixels) {
    if (setjmp(errors_.jump)) return false;
    jpeg_start_decompress(&info_);
    if (info_.output_width != width() || info_.output_height != height() ||
        info_.output_components != 4) {
      return false;
    }
    while (info_.output_scanline < info_.output_height) {
      JSAMPROW row = pixels + std::size_t(info_.output_scanline) * width() * 4;
      jpeg_read_scanlines(&info_, &row, 1);
    }
    jpeg_finish_decompress(&info_);
    return true;
  }

 private:
  std::span<const std::uint8_t> data_;
  ErrorManager errors_;
  jpeg_progress_mgr progress_{};
  jpeg_decompress_struct info_{};
};

}  // namespace

std::expected<std::shared_ptr<Image>, ImageDecodeError> decodeJPEG(
    std::span<const std::uint8_t> data, const Image::DecodeLimits& limits) {
  Decompressor decompressor(data);
  const auto refusal = [&decompressor] {
    return std::unexpected(decompressor.ranOut() ? ImageDecodeError::truncated
                                                 : ImageDecodeError::corrupt);
  };
  if (!decompressor.readHeader()) return refusal();
  const std::size_t width = decompressor.width();
  const std::size_t height = decompressor.height();
  if (!limits.admits(width, height)) return std::unexpected(ImageDecodeError::tooLarge);

  std::vector<std::uint8_t> pixels(width * height * 4);
  if (!decompressor.readImage(pixels.data())) return refusal();
  if (decompressor.isCMYK()) cmykToRGBA(pixels, decompressor.invertedCMYK());
  return Image::make(int(width), int(height), std::move(pixels));
}

}  // namespace platform::detail
