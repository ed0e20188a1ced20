// Response bodies come from the network: every model, both parse entry points, with and
// without the "data" key path, and the serialiser over whatever object the body holds.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Classes/API/Responses/AppLogoResponse.h"
#include "Classes/API/Responses/ErrorResponse.h"
#include "Classes/API/Responses/LoginResponse.h"
#include "Classes/API/Responses/ResourceData.h"
#include "Classes/API/Responses/ResourcesResponse.h"
#include "Classes/API/Responses/SettingsResponse.h"
#include "Classes/API/Responses/VerifyReponse.h"
#include "Classes/Utils/JSONParser.h"

namespace {

using brelum::JSONParser;

void parseAll(std::span<const std::uint8_t> body, std::optional<std::string_view> keyPath) {
  if (auto verify = JSONParser::parseOne<brelum::VerifyReponse>(body, keyPath)) {
    (void)verify->data();
  }
  (void)JSONParser::parseOne<brelum::LoginResponse>(body, keyPath);
  (void)JSONParser::parseOne<brelum::ResourcesResponse>(body, keyPath);
  (void)JSONParser::parseOne<brelum::ResourceData>(body, keyPath);
  if (auto logo = JSONParser::parseOne<brelum::AppLogoResponse>(body, keyPath)) {
    (void)logo->url();
  }
  (void)JSONParser::parseOne<brelum::SettingsResponse>(body, keyPath);
  (void)JSONParser::parseOne<brelum::ErrorResponse>(body, keyPath);
  (void)JSONParser::parseArray<brelum::ResourceData>(body, keyPath);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> body(data, size);
  parseAll(body, std::nullopt);
  parseAll(body, "data");

  // Bounded so that the unguarded parse here stays cheap; the parser itself bounds depth.
  if (size <= 4096) {
    const auto document = nlohmann::json::parse(data, data + size, nullptr, false);
    if (!document.is_discarded()) {
      (void)JSONParser::dictionaryToString(document, false);
      (void)JSONParser::dictionaryToString(document, true);
    }
  }
  return 0;
}
