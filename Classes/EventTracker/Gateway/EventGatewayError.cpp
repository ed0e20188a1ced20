#include "Classes/EventTracker/Gateway/EventGatewayError.h"

namespace brelum {

EventGatewayError EventGatewayError::httpError(HTTPError error) {
  return EventGatewayError(HttpError{std::move(error)});
}

const HTTPError& EventGatewayError::underlyingHTTPError() const noexcept {
  return std::get<HttpError>(value_).error;
}

std::string EventGatewayError::debugDescription() const {
  const auto& error = underlyingHTTPError();
  return "HTTP Error: " + error.request.url.absoluteString() + " got an " +
         std::to_string(error.statusCode) + " response.";
}

}  // namespace brelum
