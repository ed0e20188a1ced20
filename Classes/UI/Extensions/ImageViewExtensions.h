#pragma once

#include <memory>
#include <optional>

#include "Platform/Foundation/URL.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/ImageView.h"

namespace brelum {

// Shows `image` in `imageView` at once as a template image (drawn in the view's tint; null
// clears the view), then, with `url`, downloads the image there and shows it as a template
// image in its place. A failed download leaves the placeholder. The download holds the
// image view weakly: one that outlives the view does nothing. A later call supersedes an
// earlier call's download, so a slow old answer never replaces a newer image.
//
// Main thread only; the downloaded image is set on the main queue.
void setTemplateImage(platform::ImageView& imageView,
                      const std::shared_ptr<const platform::Image>& image,
                      const std::optional<platform::URL>& url);

}  // namespace brelum
