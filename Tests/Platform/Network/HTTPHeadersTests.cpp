#include "Platform/Network/HTTPHeaders.h"

#include <gtest/gtest.h>

using platform::headerValue;
using platform::HTTPHeaders;
using platform::setHeader;

namespace {

TEST(HTTPHeadersTest, SetHeaderReplacesTheFirstMatchInPlaceAndDropsLaterOnes) {
  HTTPHeaders headers{
      {"Accept", "a"}, {"content-TYPE", "x"}, {"X-Other", "o"}, {"Content-Type", "y"}};
  setHeader(headers, "Content-Type", "application/json");
  EXPECT_EQ(headers,
            (HTTPHeaders{{"Accept", "a"}, {"content-TYPE", "application/json"}, {"X-Other", "o"}}));
  setHeader(headers, "access-token", "t");
  EXPECT_EQ(headers.back(), (std::pair<std::string, std::string>{"access-token", "t"}));
  EXPECT_EQ(headerValue(headers, "CONTENT-type"), "application/json");
  EXPECT_FALSE(headerValue(headers, "Content-Typ"));
}

}  // namespace
