#include "Classes/API/Responses/VerifyReponse.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "Classes/Utils/JSONParser.h"

namespace brelum {
namespace {

using Text = std::optional<std::string>;

struct DataCase {
  std::string_view name;
  Text apiEndpoint, socketEndpoint, cToken, appId;
  bool verified;
};

void PrintTo(const DataCase& c, std::ostream* os) {
  *os << c.name;
}

class VerifyReponseData : public ::testing::TestWithParam<DataCase> {};

TEST_P(VerifyReponseData, NeedsBothURLsAndBothTexts) {
  const auto& c = GetParam();
  VerifyReponse response;
  response.apiEndpoint = c.apiEndpoint;
  response.socketEndpoint = c.socketEndpoint;
  response.cToken = c.cToken;
  response.appId = c.appId;

  const auto data = response.data();
  ASSERT_EQ(data.has_value(), c.verified);
  if (!data) return;
  EXPECT_EQ(data->apiEndpointURL().absoluteString(), *c.apiEndpoint);
  EXPECT_EQ(data->socketEndpointURL().absoluteString(), *c.socketEndpoint);
  EXPECT_EQ(data->cToken(), *c.cToken);
  EXPECT_EQ(data->appId(), *c.appId);
}

const Text kAPI = "https://api.example.com/v1";
const Text kSocket = "wss://socket.example.com:8443";

INSTANTIATE_TEST_SUITE_P(
    Fields, VerifyReponseData,
    ::testing::Values(DataCase{"AbsoluteURLs", kAPI, kSocket, "tok", "app", true},
                      DataCase{"RelativeReferences", "/v1", "socket", "tok", "app", true},
                      DataCase{"EmptyCToken", kAPI, kSocket, "", "app", true},
                      DataCase{"SpaceInAPIEndpoint", "https://api.example.com/v 1", kSocket, "tok",
                               "app", false},
                      DataCase{"EmptyAPIEndpoint", "", kSocket, "tok", "app", false},
                      DataCase{"MissingAPIEndpoint", std::nullopt, kSocket, "tok", "app", false},
                      DataCase{"MissingSocketEndpoint", kAPI, std::nullopt, "tok", "app", false},
                      DataCase{"MissingCToken", kAPI, kSocket, std::nullopt, "app", false},
                      DataCase{"MissingAppId", kAPI, kSocket, "tok", std::nullopt, false}),
    [](const auto& info) { return std::string(info.param.name); });

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(VerifyReponseTest, VerificationDocumentWithOrWithoutDataWrapper) {
  constexpr std::string_view kFields =
      R"("api_endpoint":"https://api.example.com/v1","socket_endpoint":"wss://io.example.com",)"
      R"("c_token":"ct-1","app_id":"app-9")";
  for (const std::string& body :
       {"{\"data\":{" + std::string(kFields) + "}}", "{" + std::string(kFields) + "}"}) {
    const auto response = JSONParser::parseOne<VerifyReponse>(bytes(body), "data");
    ASSERT_TRUE(response) << body;
    const auto data = response->data();
    ASSERT_TRUE(data) << body;
    EXPECT_EQ(data->apiEndpointURL().absoluteString(), "https://api.example.com/v1");
    EXPECT_EQ(data->socketEndpointURL().absoluteString(), "wss://io.example.com");
    EXPECT_EQ(data->cToken(), "ct-1");
    EXPECT_EQ(data->appId(), "app-9");
  }
}

}  // namespace
}  // namespace brelum
