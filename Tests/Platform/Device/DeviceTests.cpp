#include "Platform/Device/Device.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

// "XXXXXXXX-XXXX-5XXX-YXXX-XXXXXXXXXXXX" in upper-case hexadecimal, Y one of 8, 9, A, B.
TEST(DeviceTest, VendorIdentifierIsAStableUppercaseNameBasedUUID) {
  const auto& identifier = platform::Device::identifierForVendor();
  if (!identifier) GTEST_SKIP() << "this machine has no machine id to derive it from";
  const std::string_view id = *identifier, hex = "0123456789ABCDEF";
  ASSERT_EQ(id.size(), 36u);
  for (std::size_t i = 0; i < id.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    EXPECT_TRUE(dash ? id[i] == '-' : hex.find(id[i]) != hex.npos) << id;
  }
  EXPECT_EQ(id[14], '5');
  EXPECT_NE(std::string_view("89AB").find(id[19]), hex.npos) << id;
  EXPECT_EQ(platform::Device::identifierForVendor(), identifier);
}

}  // namespace
