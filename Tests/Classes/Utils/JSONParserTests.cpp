#include "Classes/Utils/JSONParser.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
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

std::string nested(std::size_t depth) {
  return R"({"api_endpoint":"x","deep":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
}

struct ParseCase {
  std::string body;
  std::optional<std::string_view> keyPath;
  std::string expected;  // "<none>" for no model(s)
};

// The model's apiEndpoint ("-" when missing).
TEST(JSONParserTest, ParseOneFindsTheObjectToMap) {
  const std::string insideAndOutside = R"({"data":{"api_endpoint":"in"},"api_endpoint":"out"})";
  const ParseCase cases[] = {
      {insideAndOutside, "data", "in"},
      {insideAndOutside, std::nullopt, "out"},
      {R"({"api_endpoint":"top"})", "data", "top"},  // a missing key falls back to the document
      {R"({"Data":{"api_endpoint":"in"},"api_endpoint":"top"})", "data", "top"},
      {R"({"a.b":{"api_endpoint":"dot"},"a":{"b":{"api_endpoint":"nest"}}})", "a.b", "dot"},
      // The key is found, so a value of the wrong shape does not fall back.
      {R"({"data":null,"api_endpoint":"top"})", "data", "<none>"},
      {R"({"data":[{"api_endpoint":"in"}],"api_endpoint":"top"})", "data", "<none>"},
      {R"([{"api_endpoint":"x"}])", "data", "<none>"},
      {"{\"api_endpoint\":\"x\"}\0{"s, std::nullopt, "<none>"},
      // Nesting is refused beyond the bound; brackets inside strings are not counted.
      {nested(510), std::nullopt, "x"},
      {nested(600), std::nullopt, "<none>"},
      {R"({"api_endpoint":")" + std::string(2000, '[') + R"(\"{"})", std::nullopt,
       std::string(2000, '[') + "\"{"},
  };
  for (const auto& c : cases) {
    const auto model = JSONParser::parseOne<VerifyReponse>(bytes(c.body), c.keyPath);
    EXPECT_EQ(model ? model->apiEndpoint.value_or("-") : "<none>", c.expected) << c.body;
  }
}

// Each element's type followed by ";".
TEST(JSONParserTest, ParseArrayFindsTheObjectsToMap) {
  const ParseCase cases[] = {
      {R"({"data":[{"resource_type":"b"},{"resource_type":"a"}],"resource_type":"t"})", "data",
       "b;a;"},
      {R"({"data":[{"resource_type":"a"},2]})", "data", "<none>"},
      {R"({"data":{"resource_type":"a"}})", "data", "<none>"},
      {R"({"resource_type":"t"})", "data", "t;"},  // the document as a list of one
      {R"({"data":[{"resource_type":"a"}],"resource_type":"t"})", std::nullopt, "t;"},
      {R"([{"resource_type":"a"},{"resource_type":"b"}])", "data", "a;b;"},
      {R"([{"resource_type":"a"},[]])", std::nullopt, "<none>"},
  };
  for (const auto& c : cases) {
    const auto models = JSONParser::parseArray<ResourceData>(bytes(c.body), c.keyPath);
    std::string outcome = models ? "" : "<none>";
    for (const auto& model : models.value_or(std::vector<ResourceData>{}))
      outcome += model.type + ";";
    EXPECT_EQ(outcome, c.expected) << c.body;
  }
}

TEST(JSONParserTest, DictionaryToStringRefusesWhatHasNoJSONText) {
  const json dictionary = {{"a", {1, "é"}}};
  EXPECT_EQ(JSONParser::dictionaryToString(dictionary, false), R"({"a":[1,"é"]})");
  EXPECT_EQ(JSONParser::dictionaryToString(dictionary, true),
            "{\n  \"a\": [\n    1,\n    \"é\"\n  ]\n}");
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
