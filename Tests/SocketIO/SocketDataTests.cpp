#include "SocketIO/SocketData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

using socketio::itemAs;
using socketio::SocketData;

// An item is a T only when its value is one: integral and in range for integer types.
TEST(SocketData, ItemsConvertOnlyToTypesTheyFit) {
  EXPECT_EQ(itemAs<std::int64_t>(-7), -7);
  EXPECT_EQ(itemAs<std::int64_t>(4.0), 4);
  EXPECT_EQ(itemAs<std::int64_t>(4.5), std::nullopt);
  EXPECT_EQ(itemAs<std::int64_t>(18446744073709551615u), std::nullopt);
  EXPECT_EQ(itemAs<std::int64_t>(9223372036854775808.0), std::nullopt);
  EXPECT_EQ(itemAs<std::int64_t>(-9223372036854775808.0), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(itemAs<std::int64_t>(std::numeric_limits<double>::infinity()), std::nullopt);
  EXPECT_EQ(itemAs<std::int32_t>(3000000000), std::nullopt);
  EXPECT_EQ(itemAs<std::uint32_t>(-1), std::nullopt);
  EXPECT_EQ(itemAs<socketio::SocketBytes>(SocketData::array({1, 2})), std::nullopt);
}

}  // namespace
