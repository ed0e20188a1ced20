#include "Classes/API/Responses/AppLogoResponse.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace brelum {
namespace {

struct LogoCase {
  std::string_view urlString;
  bool accepted;
};

void PrintTo(const LogoCase& c, std::ostream* os) {
  *os << c.urlString;
}

class AppLogoResponseURL : public ::testing::TestWithParam<LogoCase> {};

TEST_P(AppLogoResponseURL, IsTheURLParsersReadingOfTheText) {
  AppLogoResponse response;
  response.urlString = GetParam().urlString;
  const auto url = response.url();
  ASSERT_EQ(url.has_value(), GetParam().accepted);
  if (url) {
    EXPECT_EQ(url->absoluteString(), GetParam().urlString);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, AppLogoResponseURL,
                         ::testing::Values(LogoCase{"https://cdn.example.com/logo.png", true},
                                           LogoCase{"logos/app.png", true}, LogoCase{"", false},
                                           LogoCase{"https://cdn.example.com/my logo.png", false}));

}  // namespace
}  // namespace brelum
