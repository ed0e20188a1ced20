#include "Platform/Network/HTTPSessionError.h"

#include <array>
#include <cstddef>

namespace platform {

std::string_view kindName(HTTPSessionError::Kind kind) {
  static constexpr std::array<std::string_view, 11> kNames = {"invalidURL",
                                                              "invalidHeader",
                                                              "parameterEncodingFailed",
                                                              "cannotConnect",
                                                              "timedOut",
                                                              "secureConnectionFailed",
                                                              "connectionLost",
                                                              "responseTooLarge",
                                                              "transport",
                                                              "cancelled",
                                                              "unacceptableStatusCode"};
  return kNames.at(static_cast<std::size_t>(kind));
}

}  // namespace platform
