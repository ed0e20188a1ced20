#pragma once

#include <optional>
#include <string>

#include "Classes/API/Responses/ErrorResponse.h"
#include "Classes/API/Responses/VerifiedData.h"
#include "Classes/Utils/JSONMap.h"

namespace brelum {

// The answer to the app's verification. The name, missing an "s", is the one callers use.
struct VerifyReponse {
  std::optional<std::string> apiEndpoint;
  std::optional<std::string> socketEndpoint;
  std::optional<std::string> cToken;
  std::optional<std::string> appId;
  std::optional<ErrorResponse> error;

  // Checked afresh on every call: both endpoints must be present and valid URL references
  // (neither scheme nor host is demanded), and the token and app id present, empty or not.
  [[nodiscard]] std::optional<VerifiedData> data() const;

  void mapping(const JSONMap& map);
};

}  // namespace brelum
