#include "Platform/Network/HTTPMethod.h"

#include <gtest/gtest.h>

using platform::fromRawValue;
using platform::HTTPMethod;

namespace {

TEST(HTTPMethodTest, RawValuesRoundTripForAllNineAndAreCaseSensitive) {
  for (int i = 0; i < 9; ++i) {
    const auto method = static_cast<HTTPMethod>(i);
    EXPECT_EQ(fromRawValue<HTTPMethod>(rawValue(method)), method) << rawValue(method);
  }
  EXPECT_EQ(rawValue(HTTPMethod::delete_), "DELETE");
  for (const char* text : {"get", "Get", "", "GET ", "PROPFIND"}) {
    EXPECT_FALSE(fromRawValue<HTTPMethod>(text)) << text;
  }
}

}  // namespace
