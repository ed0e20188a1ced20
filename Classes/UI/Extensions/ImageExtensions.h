#pragma once

#include <memory>

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Image.h"

namespace brelum {

// A square image of side `diameter` points at the screen's scale holding a disc of `color`;
// the corners are transparent. Never null: a diameter of zero or less, not finite or too
// large to draw gives an empty image of size zero.
[[nodiscard]] std::shared_ptr<platform::Image> circle(double diameter,
                                                      const platform::Color& color);

}  // namespace brelum
