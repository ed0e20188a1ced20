#include "Platform/Graphics/GIFDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <gif_lib.h>

#include "Platform/Graphics/ImageDataReader.h"

namespace platform::detail {
namespace {

int readFromSource(GifFileType* gif, GifByteType* out, int length) {
  return int(
      static_cast<ImageDataReader*>(gif->UserData)->read(out, std::size_t(std::max(length, 0))));
}

struct CloseGIF {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GIFFile = std::unique_ptr<GifFileType, CloseGIF>;

using RGBA = std::array<std::uint8_t, 4>;
// Indices the colour table does not reach come out transparent, as does the frame's
// transparent index.
using Palette = std::array<RGBA, 256>;

Palette paletteOf(const ColorMapObject& colors, int transparentIndex) {
  Palette palette{};
  const int count = std::clamp(colors.ColorCount, 0, 256);
  for (int i = 0; i < count; ++i) {
    const auto& c = colors.Colors[i];
    palette[std::size_t(i)] = {c.Red, c.Green, c.Blue, 255};
  }
  if (transparentIndex >= 0 && transparentIndex < 256) palette[std::size_t(transparentIndex)] = {};
  return palette;
}

// The order rows arrive in: interlaced frames send every eighth row from 0, every eighth
// from 4, every fourth from 2, then every second from 1.
std::vector<int> rowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(std::size_t(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  constexpr std::array<std::pair<int, int>, 4> kPasses{{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
  for (const auto& [start, step] : kPasses) {
    for (int y = start; y < height; y += step) rows.push_back(y);
  }
  return rows;
}

// Reads up to the first image's pixels, keeping the transparent index of a graphic control
// block before it; false when the data fails first.
bool findFirstImage(GifFileType* gif, int& transparentIndex) {
  while (true) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
    if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) == GIF_OK;
    if (type != EXTENSION_RECORD_TYPE) return false;  // the trailer before any image
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
      GraphicsControlBlock control{};
      if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
        transparentIndex = control.TransparentColor;
      }
    }
    while (block != nullptr) {
      if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    }
  }
}

}  // namespace

std::expected<std::shared_ptr<Image>, ImageDecodeError> decodeGIF(
    std::span<const std::uint8_t> data, const Image::DecodeLimits& limits) {
  ImageDataReader source(data);
  int error = 0;
  GIFFile gif(DGifOpen(&source, readFromSource, &error));
  const auto refusal = [&source] {
    return std::unexpected(source.ranOut() ? ImageDecodeError::truncated
                                           : ImageDecodeError::corrupt);
  };
  if (!gif) return refusal();
  const int width = gif->SWidth;
  const int height = gif->SHeight;
  if (width <= 0 || height <= 0) return std::unexpected(ImageDecodeError::corrupt);
  if (!limits.admits(std::uint64_t(width), std::uint64_t(height))) {
    return std::unexpected(ImageDecodeError::tooLarge);
  }

  int transparentIndex = NO_TRANSPARENT_COLOR;
  if (!findFirstImage(gif.get(), transparentIndex)) return refusal();
  const GifImageDesc frame = gif->Image;
  // Every row is decoded even where the screen clips it, so the frame is held to the limits
  // too.
  if (!limits.admits(std::uint64_t(frame.Width), std::uint64_t(frame.Height))) {
    return std::unexpected(ImageDecodeError::tooLarge);
  }
  const ColorMapObject* colors = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (colors == nullptr) return std::unexpected(ImageDecodeError::corrupt);
  const Palette palette = paletteOf(*colors, transparentIndex);

  std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(height) * 4);
  // A frame without pixels leaves the screen transparent; it has no rows to read.
  const int rows = frame.Width > 0 ? frame.Height : 0;
  std::vector<GifPixelType> line(std::size_t(frame.Width));
  for (const int row : rowOrder(rows, frame.Interlace)) {
    if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return refusal();
    const int y = frame.Top + row;
    if (y >= height) continue;
    for (int x = 0; x < frame.Width && frame.Left + x < width; ++x) {
      const auto& color = palette[line[std::size_t(x)]];
      std::memcpy(&pixels[(std::size_t(y) * std::size_t(width) + std::size_t(frame.Left + x)) * 4],
                  color.data(), 4);
    }
  }
  return Image::make(width, height, std::move(pixels));
}

}  // namespace platform::detail
