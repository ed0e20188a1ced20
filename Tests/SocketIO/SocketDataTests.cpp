#include "SocketIO/SocketData.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using socketio::itemAs;
using socketio::SocketBytes;
using socketio::SocketData;

// One conversion: the item as T, brought back to JSON for comparison.
using Conversion = std::function<std::optional<SocketData>(const SocketData&)>;

template <typename T>
Conversion as() {
  return [](const SocketData& item) -> std::optional<SocketData> {
    auto value = itemAs<T>(item);
    if (!value) return std::nullopt;
    if constexpr (std::is_same_v<T, SocketBytes>) {
      return SocketData::binary(*value);
    } else {
      return SocketData(*value);
    }
  };
}

struct Cast {
  std::string name;
  SocketData item;
  Conversion convert;
  std::optional<SocketData> expected;
};

class ItemCast : public ::testing::TestWithParam<Cast> {};

TEST_P(ItemCast, GivesTheValueOnlyWhenItIsOne) {
  EXPECT_EQ(GetParam().convert(GetParam().item), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ItemCast,
    ::testing::Values(
        Cast{"Int64FromInteger", -7, as<std::int64_t>(), -7},
        Cast{"Int64FromIntegralDouble", 4.0, as<std::int64_t>(), 4},
        Cast{"Int64FromFraction", 4.5, as<std::int64_t>(), std::nullopt},
        Cast{"Int64FromHugeUnsigned", 18446744073709551615u, as<std::int64_t>(), std::nullopt},
        Cast{"Int64FromTwoToThe63", 9223372036854775808.0, as<std::int64_t>(), std::nullopt},
        Cast{"Int64FromMinusTwoToThe63", -9223372036854775808.0, as<std::int64_t>(),
             std::numeric_limits<std::int64_t>::min()},
        Cast{"Int64FromInfinity", std::numeric_limits<double>::infinity(), as<std::int64_t>(),
             std::nullopt},
        Cast{"Int32OutOfRange", 3000000000, as<std::int32_t>(), std::nullopt},
        Cast{"UnsignedFromNegative", -1, as<std::uint32_t>(), std::nullopt},
        Cast{"BytesFromArrayOfNumbers", SocketData::array({1, 2}), as<SocketBytes>(),
             std::nullopt}),
    [](const auto& info) { return info.param.name; });

}  // namespace
