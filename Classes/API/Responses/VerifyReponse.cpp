#include "Classes/API/Responses/VerifyReponse.h"

namespace brelum {

std::optional<VerifiedData> VerifyReponse::data() const {
  if (!apiEndpoint) return std::nullopt;
  auto apiURL = platform::URL::make(*apiEndpoint);
  if (!apiURL) return std::nullopt;
  if (!socketEndpoint) return std::nullopt;
  auto socketURL = platform::URL::make(*socketEndpoint);
  if (!socketURL) return std::nullopt;
  if (!cToken || !appId) return std::nullopt;
  return VerifiedData(std::move(*apiURL), std::move(*socketURL), *cToken, *appId);
}

void VerifyReponse::mapping(const JSONMap& map) {
  map.read("api_endpoint", apiEndpoint);
  map.read("socket_endpoint", socketEndpoint);
  map.read("c_token", cToken);
  map.read("app_id", appId);
  map.read("error", error);
}

}  // namespace brelum
