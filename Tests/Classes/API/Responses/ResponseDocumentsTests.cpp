// Each model read from the document its server call answers, so that a wrong or misspelt
// wire key shows up as a field left at its default.
#include <cstdint>
#include <span>
#include <string_view>

#include <gtest/gtest.h>

#include "Classes/API/Responses/AppLogoResponse.h"
#include "Classes/API/Responses/LoginResponse.h"
#include "Classes/API/Responses/ResourcesResponse.h"
#include "Classes/API/Responses/SettingsResponse.h"
#include "Classes/Utils/JSONParser.h"

namespace brelum {
namespace {

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(ResponseDocumentsTest, Login) {
  const auto login = JSONParser::parseOne<LoginResponse>(
      bytes(R"({"data":{"access_token":"at-1","error":{"code":-3,"message":"m"}}})"), "data");
  ASSERT_TRUE(login);
  EXPECT_EQ(login->accessToken, "at-1");
  ASSERT_TRUE(login->error);
  EXPECT_EQ(login->error->code, -3);
  EXPECT_EQ(login->error->message, "m");
}

TEST(ResponseDocumentsTest, Resources) {
  const auto resources = JSONParser::parseOne<ResourcesResponse>(
      bytes(R"({"data":{"screens":[)"
            R"({"resource_type":"video","screen":"home","created_at":1700000000.25},)"
            R"({"screen":"about","created_at":"yesterday"}]}})"),
      "data");
  ASSERT_TRUE(resources);
  ASSERT_EQ(resources->screens.size(), 2u);
  EXPECT_EQ(resources->screens[0].type, "video");
  EXPECT_EQ(resources->screens[0].screen, "home");
  EXPECT_EQ(resources->screens[0].createdAt, 1700000000.25);
  EXPECT_EQ(resources->screens[1].type, "");
  EXPECT_EQ(resources->screens[1].screen, "about");
  EXPECT_EQ(resources->screens[1].createdAt, 0);
}

TEST(ResponseDocumentsTest, ResourcesWithOneNonObjectScreenHasNone) {
  const auto resources = JSONParser::parseOne<ResourcesResponse>(
      bytes(R"({"data":{"screens":[{"resource_type":"video"},"banner"]}})"), "data");
  ASSERT_TRUE(resources);
  EXPECT_TRUE(resources->screens.empty());
}

TEST(ResponseDocumentsTest, AppLogoKeyKeepsBothCapitals) {
  const auto logo = JSONParser::parseOne<AppLogoResponse>(
      bytes(R"({"data":{"Loading_Logo":"https://cdn.example.com/l.png"}})"), "data");
  ASSERT_TRUE(logo);
  ASSERT_TRUE(logo->url());
  EXPECT_EQ(logo->url()->absoluteString(), "https://cdn.example.com/l.png");

  const auto lowerCase = JSONParser::parseOne<AppLogoResponse>(
      bytes(R"({"data":{"loading_logo":"https://cdn.example.com/l.png"}})"), "data");
  ASSERT_TRUE(lowerCase);
  EXPECT_EQ(lowerCase->urlString, "");
  EXPECT_FALSE(lowerCase->url());
}

TEST(ResponseDocumentsTest, Settings) {
  const auto settings = JSONParser::parseOne<SettingsResponse>(
      bytes(R"({"data":{"client_event_tracking_url":"https://q.example.com/1/q",)"
            R"("sharing_message":"Try it"}})"),
      "data");
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->trackingURLString, "https://q.example.com/1/q");
  EXPECT_EQ(settings->sharingMessage, "Try it");
}

}  // namespace
}  // namespace brelum
