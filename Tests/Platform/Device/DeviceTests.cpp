#include "Platform/Device/Device.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string_view>

namespace {

// "XXXXXXXX-XXXX-5XXX-YXXX-XXXXXXXXXXXX" in upper-case hexadecimal, Y one of 8, 9, A, B.
bool isNameBasedUUID(std::string_view text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    const char c = text[i];
    if (dash != (c == '-')) return false;
    if (!dash && !(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  return text[14] == '5' && std::string_view("89AB").find(text[19]) != std::string_view::npos;
}

TEST(DeviceTest, VendorIdentifierIsAStableUppercaseUUID) {
  const auto& identifier = platform::Device::identifierForVendor();
  if (!identifier) GTEST_SKIP() << "this machine has no machine id to derive it from";
  EXPECT_TRUE(isNameBasedUUID(*identifier)) << *identifier;
  EXPECT_EQ(platform::Device::identifierForVendor(), identifier);
}

}  // namespace
