#include "Classes/Utils/JSONMap.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "Classes/API/Responses/ResourceData.h"
#include "Classes/API/Responses/ResourcesResponse.h"
#include "Classes/API/Responses/VerifyReponse.h"
#include "Classes/Utils/JSONParser.h"

namespace brelum {
namespace {

// One field of each kind the models use, read from a document holding only its key.
enum class FieldKind { optionalText, text, number, integer, nestedModel, modelList };

struct ReadingCase {
  std::string_view name;
  FieldKind kind;
  std::optional<std::string_view> value;  // the key's JSON value; nothing leaves the key out
  std::string expected;                   // the field rendered by `render` below
};

void PrintTo(const ReadingCase& c, std::ostream* os) {
  *os << c.name;
}

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

constexpr std::string_view kAbsent = "<absent>";

template <Mappable T>
T mapped(std::string_view key, std::optional<std::string_view> value) {
  std::string document = "{";
  if (value) document += "\"" + std::string(key) + "\":" + std::string(*value);
  document += "}";
  auto model = JSONParser::parseOne<T>(bytes(document));
  EXPECT_TRUE(model.has_value()) << document;
  return model.value_or(T{});
}

std::string renderDouble(double value) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

std::string render(FieldKind kind, std::optional<std::string_view> value) {
  switch (kind) {
    case FieldKind::optionalText:
      return mapped<VerifyReponse>("api_endpoint", value)
          .apiEndpoint.value_or(std::string(kAbsent));
    case FieldKind::text:
      return mapped<ResourceData>("resource_type", value).type;
    case FieldKind::number:
      return renderDouble(mapped<ResourceData>("created_at", value).createdAt);
    case FieldKind::integer:
      return std::to_string(mapped<ErrorResponse>("code", value).code);
    case FieldKind::nestedModel: {
      const auto error = mapped<VerifyReponse>("error", value).error;
      return error ? std::to_string(error->code) + ":" + error->message : std::string(kAbsent);
    }
    case FieldKind::modelList: {
      std::string list = "[";
      for (const auto& screen : mapped<ResourcesResponse>("screens", value).screens) {
        list += screen.type + ";";
      }
      return list + "]";
    }
  }
  return {};
}

class ReadingRules : public ::testing::TestWithParam<ReadingCase> {};

TEST_P(ReadingRules, FieldTakesOnlyItsOwnKindOfValue) {
  const auto& c = GetParam();
  EXPECT_EQ(render(c.kind, c.value), c.expected);
}

const std::string kInt64Max = std::to_string(std::numeric_limits<std::int64_t>::max());
const std::string kInt64Min = std::to_string(std::numeric_limits<std::int64_t>::min());

INSTANTIATE_TEST_SUITE_P(
    Fields, ReadingRules,
    ::testing::Values(
        // Optional text: a JSON string only.
        ReadingCase{"OptionalTextString", FieldKind::optionalText, R"("https://h/v1")",
                    "https://h/v1"},
        ReadingCase{"OptionalTextNumber", FieldKind::optionalText, "42", std::string(kAbsent)},
        // Text with a default.
        ReadingCase{"TextString", FieldKind::text, R"("video")", "video"},
        ReadingCase{"TextNumber", FieldKind::text, "7", ""},
        // Double with a default: any JSON number.
        ReadingCase{"DoubleFraction", FieldKind::number, "1.5", "1.5"},
        ReadingCase{"DoubleString", FieldKind::number, R"("12")", "0"},
        // Signed integer: fraction dropped toward zero, saturating beyond the range.
        ReadingCase{"IntegerFractionDropped", FieldKind::integer, "1.9", "1"},
        ReadingCase{"IntegerNegativeFractionTowardZero", FieldKind::integer, "-1.9", "-1"},
        ReadingCase{"IntegerMax", FieldKind::integer, "9223372036854775807", kInt64Max},
        ReadingCase{"IntegerMin", FieldKind::integer, "-9223372036854775808", kInt64Min},
        ReadingCase{"IntegerUnsignedAboveMax", FieldKind::integer, "9223372036854775808",
                    kInt64Max},
        ReadingCase{"IntegerHugeDouble", FieldKind::integer, "1e300", kInt64Max},
        ReadingCase{"IntegerString", FieldKind::integer, R"("401")", "0"},
        // Optional nested model: a JSON object, mapped with its own rules.
        ReadingCase{"NestedObject", FieldKind::nestedModel, R"({"code":401,"message":"no"})",
                    "401:no"},
        ReadingCase{"NestedEmptyObjectKeepsDefaults", FieldKind::nestedModel, "{}", "0:"},
        ReadingCase{"NestedString", FieldKind::nestedModel, R"("denied")", std::string(kAbsent)},
        ReadingCase{"NestedMissing", FieldKind::nestedModel, std::nullopt, std::string(kAbsent)},
        // List of nested models: every element must be an object.
        ReadingCase{"ListInOrder", FieldKind::modelList,
                    R"([{"resource_type":"b"},{"resource_type":"a"},{}])", "[b;a;;]"},
        ReadingCase{"ListWithNumber", FieldKind::modelList, R"([{"resource_type":"a"},1])", "[]"},
        ReadingCase{"ListMissing", FieldKind::modelList, std::nullopt, "[]"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brelum
