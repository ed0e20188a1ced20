#include "Classes/API/Responses/VerifyReponse.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

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
                      DataCase{"EmptyCToken", kAPI, kSocket, "", "app", true},
                      DataCase{"EmptyAPIEndpoint", "", kSocket, "tok", "app", false},
                      DataCase{"MissingAPIEndpoint", std::nullopt, kSocket, "tok", "app", false},
                      DataCase{"MissingCToken", kAPI, kSocket, std::nullopt, "app", false},
                      DataCase{"MissingAppId", kAPI, kSocket, "tok", std::nullopt, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brelum
