#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "Platform/Network/HTTPSessionError.h"
#include "Platform/Network/HTTPURLResponse.h"

namespace platform {

// The outcome of one exchange, handed to the completion once.
//   - response: present when a complete header block of the final response arrived, also
//     when the exchange then failed or the status was outside the validated range;
//   - data: always present, empty when nothing arrived (a refused connection delivers an
//     empty body and an error);
//   - error: present when the exchange failed or its status was not accepted.
struct DataResponse {
  std::optional<HTTPURLResponse> response;
  std::vector<std::uint8_t> data;
  std::optional<HTTPSessionError> error;
};

}  // namespace platform
