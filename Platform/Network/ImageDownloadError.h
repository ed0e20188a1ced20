#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform/Graphics/ImageDecodeError.h"
#include "Platform/Network/HTTPSessionError.h"

namespace platform {

// Why an image download gave no image.
struct ImageDownloadError {
  enum class Kind {
    session,                   // the exchange failed, or its status was outside 200..<300
    missingContentType,        // the response named no content type
    unacceptableContentType,   // one outside the acceptable image content types
    imageSerializationFailed,  // the body is no image that can be decoded
  };

  Kind kind;
  std::optional<HTTPSessionError> sessionError;  // with `session`
  std::string contentType;                       // with `unacceptableContentType`
  std::optional<ImageDecodeError> decodeError;   // with `imageSerializationFailed`

  // For people: what went wrong, in one line.
  [[nodiscard]] std::string description() const;
};

// The kind's name as written above ("missingContentType"), for logs and test output.
[[nodiscard]] std::string_view kindName(ImageDownloadError::Kind kind);

}  // namespace platform
