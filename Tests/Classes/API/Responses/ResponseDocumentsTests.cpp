// Each model read from the document its server call answers, so that a wrong or misspelt
// wire key shows up as a field left at its default.
#include <cstdint>
#include <span>
#include <string_view>

#include <gtest/gtest.h>

#include "Classes/API/Responses/AppLogoResponse.h"
#include "Classes/API/Responses/ResourcesResponse.h"
#include "Classes/Utils/JSONParser.h"

namespace brelum {
namespace {

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(ResponseDocumentsTest, Resources) {
  const auto resources = JSONParser::parseOne<ResourcesResponse>(
      bytes(R"({"data":{"screens":[)"
            R"({"resource_type":"video","screen":"home","created_at":1700000000.25}]}})"),
      "data");
  ASSERT_TRUE(resources);
  ASSERT_EQ(resources->screens.size(), 1u);
  EXPECT_EQ(resources->screens[0].type, "video");
  EXPECT_EQ(resources->screens[0].screen, "home");
  EXPECT_EQ(resources->screens[0].createdAt, 1700000000.25);
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

}  // namespace
}  // namespace brelum
