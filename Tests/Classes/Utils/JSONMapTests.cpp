#include "Classes/Utils/JSONMap.h"

#include <cstdint>
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

template <Mappable T>
T mapped(std::string_view document) {
  auto model = JSONParser::parseOne<T>(
      {reinterpret_cast<const std::uint8_t*>(document.data()), document.size()}, "data");
  EXPECT_TRUE(model.has_value()) << document;
  return model.value_or(T{});
}

// Each model rendered as text, "-" for an optional field left absent, so that one table holds
// one field of each kind the models use: a wrong or misspelt wire key shows up as a field left
// at its default.
std::string verify(std::string_view document) {
  const auto model = mapped<VerifyReponse>(document);
  const auto& error = model.error;
  return model.apiEndpoint.value_or("-") + " " +
         (error ? std::to_string(error->code) + ":" + error->message : "-");
}
std::string resource(std::string_view document) {
  const auto model = mapped<ResourceData>(document);
  return model.type + " " + model.screen + " " + std::to_string(model.createdAt);
}
std::string code(std::string_view document) {
  return std::to_string(mapped<ErrorResponse>(document).code);
}
std::string screens(std::string_view document) {
  std::string list;
  for (const auto& screen : mapped<ResourcesResponse>(document).screens) list += screen.type + ";";
  return list;
}

// A field takes only a value of its own JSON kind; anything else leaves it as it was.
TEST(JSONMapTest, EachFieldTakesOnlyItsOwnKindOfValue) {
  const struct {
    std::string (*read)(std::string_view);
    std::string_view document;
    std::string_view expected;
  } rows[] = {
      {verify, R"({"data":{"api_endpoint":"https://h/v1","error":{"code":401,"message":"no"}}})",
       "https://h/v1 401:no"},
      {verify, R"({"api_endpoint":42,"error":"denied"})", "- -"},
      {verify, R"({"error":{}})", "- 0:"},
      {resource, R"({"resource_type":"video","screen":"home","created_at":1700000000.25})",
       "video home 1700000000.250000"},
      {resource, R"({"resource_type":7,"screen":null,"created_at":"12"})", "  0.000000"},
      // An integer drops any fraction toward zero and saturates beyond its range.
      {code, R"({"code":1.9})", "1"},
      {code, R"({"code":-1.9})", "-1"},
      {code, R"({"code":9223372036854775807})", "9223372036854775807"},
      {code, R"({"code":-9223372036854775808})", "-9223372036854775808"},
      {code, R"({"code":9223372036854775808})", "9223372036854775807"},
      {code, R"({"code":1e300})", "9223372036854775807"},
      {code, R"({"code":"401"})", "0"},
      // A list is kept in order, and refused whole for one element that is no object.
      {screens, R"({"screens":[{"resource_type":"b"},{"resource_type":"a"},{}]})", "b;a;;"},
      {screens, R"({"screens":[{"resource_type":"a"},1]})", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(row.read(row.document), row.expected) << row.document;
}

}  // namespace
}  // namespace brelum
