#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <vector>

#include "Platform/Graphics/Image.h"
#include "Platform/Network/HTTPURLResponse.h"
#include "Platform/Network/ImageDownloadError.h"

namespace platform {

// The outcome of one image download, handed to its completion once.
//   - response: the final response's status and headers, when one arrived;
//   - data: the body as received (empty when nothing arrived);
//   - result: the decoded image (never null), or why there is none.
struct ImageResponse {
  std::optional<HTTPURLResponse> response;
  std::vector<std::uint8_t> data;
  std::expected<std::shared_ptr<Image>, ImageDownloadError> result;

  // The image, or nullptr after any failure.
  [[nodiscard]] std::shared_ptr<Image> image() const { return result ? *result : nullptr; }
};

}  // namespace platform
