#include "Classes/API/Responses/VerifyReponse.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace brelum {
namespace {

using Text = std::optional<std::string>;

// Verified data needs both URLs and both texts; only the client token may be empty.
TEST(VerifyReponseTest, DataNeedsBothURLsAndBothTexts) {
  const Text api = "https://api.example.com/v1", socket = "wss://socket.example.com:8443";
  const struct {
    Text apiEndpoint, socketEndpoint, cToken, appId;
    bool verified;
  } rows[] = {
      {api, socket, "tok", "app", true},         {api, socket, "", "app", true},
      {"", socket, "tok", "app", false},         {std::nullopt, socket, "tok", "app", false},
      {api, socket, std::nullopt, "app", false}, {api, socket, "tok", std::nullopt, false}};
  for (const auto& row : rows) {
    VerifyReponse response;
    response.apiEndpoint = row.apiEndpoint;
    response.socketEndpoint = row.socketEndpoint;
    response.cToken = row.cToken;
    response.appId = row.appId;
    const auto data = response.data();
    ASSERT_EQ(data.has_value(), row.verified)
        << row.apiEndpoint.value_or("-") << row.cToken.value_or("-");
    if (!data) continue;
    EXPECT_EQ(data->apiEndpointURL().absoluteString(), *api);
    EXPECT_EQ(data->socketEndpointURL().absoluteString(), *socket);
    EXPECT_EQ(data->cToken(), *row.cToken);
    EXPECT_EQ(data->appId(), "app");
  }
}

}  // namespace
}  // namespace brelum
