#include "Classes/Utils/JSONParser.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Classes/API/Responses/ResourceData.h"
#include "Classes/API/Responses/VerifyReponse.h"

namespace brelum {
namespace {

using nlohmann::json;
using namespace std::string_literals;

std::span<const std::uint8_t> bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

constexpr std::string_view kNoModel = "<none>";

struct ParseCase {
  std::string_view name;
  std::string body;
  std::optional<std::string_view> keyPath;
  std::string expected;  // kNoModel, or the model's apiEndpoint ("<absent>" when missing)
};

void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << c.name;
}

class ParseOne : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseOne, FindsTheObjectToMap) {
  const auto& c = GetParam();
  const auto model = JSONParser::parseOne<VerifyReponse>(bytes(c.body), c.keyPath);
  const std::string outcome =
      model ? model->apiEndpoint.value_or("<absent>") : std::string(kNoModel);
  EXPECT_EQ(outcome, c.expected);
}

const std::string kInsideAndOutside = R"({"data":{"api_endpoint":"in"},"api_endpoint":"out"})";

std::string nested(std::size_t depth, const std::string& innermost) {
  return std::string(depth, '[') + innermost + std::string(depth, ']');
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ParseOne,
    ::testing::Values(
        ParseCase{"KeyPathObject", kInsideAndOutside, "data", "in"},
        ParseCase{"NoKeyPathMapsWholeDocumentEvenWithData", kInsideAndOutside, std::nullopt, "out"},
        ParseCase{"MissingKeyFallsBackToDocument", R"({"api_endpoint":"top"})", "data", "top"},
        ParseCase{"KeyPathIsCaseSensitive",
                  R"({"Data":{"api_endpoint":"in"},"api_endpoint":"top"})", "data", "top"},
        ParseCase{"DotInKeyPathIsPartOfTheKey",
                  R"({"a.b":{"api_endpoint":"dotted"},"a":{"b":{"api_endpoint":"nested"}}})", "a.b",
                  "dotted"},
        // The key is found, so a value of the wrong shape does not fall back.
        ParseCase{"KeyPathNull", R"({"data":null,"api_endpoint":"top"})", "data",
                  std::string(kNoModel)},
        ParseCase{"KeyPathArray", R"({"data":[{"api_endpoint":"in"}],"api_endpoint":"top"})",
                  "data", std::string(kNoModel)},
        // Documents that are no JSON object.
        ParseCase{"TopLevelArray", R"([{"api_endpoint":"x"}])", "data", std::string(kNoModel)},
        ParseCase{"EmptyBody", "", "data", std::string(kNoModel)},
        ParseCase{"NULAfterDocument", "{\"api_endpoint\":\"x\"}\0{"s, std::nullopt,
                  std::string(kNoModel)},
        // Bytes that are not UTF-8, in and out of strings.
        ParseCase{"InvalidByteInString", "{\"api_endpoint\":\"\xFF\"}", std::nullopt,
                  std::string(kNoModel)},
        // Nesting: refused beyond the bound, brackets inside strings not counted.
        ParseCase{"NestingWithinBound", R"({"api_endpoint":"x","deep":)" + nested(510, "") + "}",
                  std::nullopt, "x"},
        ParseCase{"NestingBeyondBound", R"({"api_endpoint":"x","deep":)" + nested(600, "") + "}",
                  std::nullopt, std::string(kNoModel)},
        ParseCase{"BracketsInsideStringsNotCounted",
                  R"({"api_endpoint":")" + std::string(2000, '[') + R"(\"{"})", std::nullopt,
                  std::string(2000, '[') + "\"{"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ArrayCase {
  std::string_view name;
  std::string body;
  std::optional<std::string_view> keyPath;
  std::string expected;  // kNoModel, or each element's type followed by ";"
};

void PrintTo(const ArrayCase& c, std::ostream* os) {
  *os << c.name;
}

class ParseArray : public ::testing::TestWithParam<ArrayCase> {};

TEST_P(ParseArray, FindsTheObjectsToMap) {
  const auto& c = GetParam();
  const auto models = JSONParser::parseArray<ResourceData>(bytes(c.body), c.keyPath);
  std::string outcome(kNoModel);
  if (models) {
    outcome.clear();
    for (const auto& model : *models) outcome += model.type + ";";
  }
  EXPECT_EQ(outcome, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ParseArray,
    ::testing::Values(
        ArrayCase{"KeyPathArrayInOrder",
                  R"({"data":[{"resource_type":"b"},{"resource_type":"a"}],"resource_type":"t"})",
                  "data", "b;a;"},
        ArrayCase{"KeyPathArrayWithNonObject", R"({"data":[{"resource_type":"a"},2]})", "data",
                  std::string(kNoModel)},
        ArrayCase{"KeyPathObjectIsNoList", R"({"data":{"resource_type":"a"}})", "data",
                  std::string(kNoModel)},
        ArrayCase{"MissingKeyGivesDocumentAsListOfOne", R"({"resource_type":"t"})", "data", "t;"},
        ArrayCase{"NoKeyPathIgnoresData", R"({"data":[{"resource_type":"a"}],"resource_type":"t"})",
                  std::nullopt, "t;"},
        ArrayCase{"TopLevelArray", R"([{"resource_type":"a"},{"resource_type":"b"}])", "data",
                  "a;b;"},
        ArrayCase{"TopLevelArrayWithNonObject", R"([{"resource_type":"a"},[]])", std::nullopt,
                  std::string(kNoModel)}),

    [](const auto& info) { return std::string(info.param.name); });

TEST(JSONParserTest, DictionaryToStringRefusesWhatHasNoJSONText) {
  const json invalidText = {{"a", {{"b", {"ok", "\xFF"}}}}};
  const json invalidKey = {{"\xC3", 1}};
  const json notANumber = {{"a", {1, std::nan("")}}};
  const json infinite = {{"a", std::numeric_limits<double>::infinity()}};
  const json binary = {{"a", json::binary({1, 2, 3})}};
  for (const auto* dictionary : {&invalidText, &invalidKey, &notANumber, &infinite, &binary}) {
    EXPECT_EQ(JSONParser::dictionaryToString(*dictionary, false), std::nullopt);
    EXPECT_EQ(JSONParser::dictionaryToString(*dictionary, true), std::nullopt);
  }
  EXPECT_EQ(JSONParser::dictionaryToString(json::array({1}), false), std::nullopt);
}

}  // namespace
}  // namespace brelum
