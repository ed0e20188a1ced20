#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/Graphics/Image.h"

namespace brelum {

// Colours from whole-number components, each a fraction of 255: 255 is full, and values
// outside 0...255 are kept as they are (510 gives a red of 2.0), as the platform's colour
// keeps them.
[[nodiscard]] platform::Color color(std::int64_t red, std::int64_t green, std::int64_t blue,
                                    std::int64_t alpha) noexcept;

// 0xRRGGBB, opaque; bits above the 24 colour bits are ignored.
[[nodiscard]] platform::Color color(std::int64_t rgb) noexcept;

// 0xAARRGGBB; bits above 32 are ignored.
[[nodiscard]] platform::Color colorWithHex4(std::int64_t hex4) noexcept;

// "#RRGGBB" text with `alpha` as a fraction (0...1, passed through). Surrounding blanks
// and line breaks are trimmed, letters may be of either case and one leading "#" is
// dropped; then the leading hexadecimal digits are read as a number (after an optional
// "0x"), whose low 24 bits are the colour. No digits gives black; more digits than 64 bits
// hold read as the largest 64-bit value, as the platform's scanner reads them (white).
[[nodiscard]] platform::Color colorWithHex(std::string_view hex, double alpha) noexcept;

// An image of `size` points at the screen's scale, filled entirely with `color`; null when
// no image can be drawn (a size that is empty, not finite or too large).
[[nodiscard]] std::shared_ptr<platform::Image> image(const platform::Color& color,
                                                     platform::Size size);

}  // namespace brelum
