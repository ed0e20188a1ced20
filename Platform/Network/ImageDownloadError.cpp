#include "Platform/Network/ImageDownloadError.h"

#include <array>
#include <cstddef>

namespace platform {

std::string_view kindName(ImageDownloadError::Kind kind) {
  static constexpr std::array<std::string_view, 4> kNames = {
      "session", "missingContentType", "unacceptableContentType", "imageSerializationFailed"};
  return kNames.at(static_cast<std::size_t>(kind));
}

std::string ImageDownloadError::description() const {
  switch (kind) {
    case Kind::session:
      return sessionError ? sessionError->description : "the exchange failed";
    case Kind::missingContentType:
      return "the response has no content type";
    case Kind::unacceptableContentType:
      return "unacceptable content type \"" + contentType + "\"";
    case Kind::imageSerializationFailed:
      return "the response is no image: " +
             std::string(decodeError ? platform::description(*decodeError) : "cannot decode");
  }
  return std::string(kindName(kind));
}

}  // namespace platform
