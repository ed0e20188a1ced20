#include "Platform/Network/ParameterEncoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using nlohmann::json;
using platform::encodeParameters;
using platform::formURLEncoded;
using platform::headerValue;
using platform::HTTPMethod;
using platform::HTTPSessionError;
using platform::ParameterEncoding;
using platform::URLRequest;

namespace {

std::string text(const std::optional<std::vector<std::uint8_t>>& body) {
  return body ? std::string(body->begin(), body->end()) : "<none>";
}

struct FormCase {
  const char* name;
  json parameters;
  std::string encoded;
};

class FormEncoding : public ::testing::TestWithParam<FormCase> {};

TEST_P(FormEncoding, EncodesAsCommonClientsDo) {
  auto encoded = formURLEncoded(GetParam().parameters);
  ASSERT_TRUE(encoded) << encoded.error().description;
  EXPECT_EQ(*encoded, GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormEncoding,
    ::testing::Values(
        FormCase{"Empty", json::object(), ""},
        FormCase{"KeysSorted", {{"b", "2"}, {"a", "1"}}, "a=1&b=2"},
        FormCase{"ReservedAndNonASCII", {{"v", "+&=% \xC3\xBC"}}, "v=%2B%26%3D%25%20%C3%BC"},
        FormCase{"ReservedInKey", {{"a&b=c", "x"}}, "a%26b%3Dc=x"},
        FormCase{"UnreservedKept", {{"k", "Az09-._~"}}, "k=Az09-._~"},
        FormCase{"SlashAndQuestionMarkEscaped", {{"k", "/?#"}}, "k=%2F%3F%23"},
        FormCase{"Numbers",
                 {{"i", 5}, {"n", -3}, {"f", 1.5}, {"u", 18446744073709551615u}},
                 "f=1.5&i=5&n=-3&u=18446744073709551615"},
        FormCase{"BooleansAsDigits", {{"no", false}, {"yes", true}}, "no=0&yes=1"},
        FormCase{"NullAsEmpty", {{"n", nullptr}}, "n="},
        FormCase{"NestedObject", {{"o", {{"k", "v"}, {"j", 1}}}}, "o%5Bj%5D=1&o%5Bk%5D=v"},
        FormCase{"Array", {{"a", {1, "x"}}}, "a%5B%5D=1&a%5B%5D=x"},
        FormCase{"ArrayOfObjects", {{"a", json::array({{{"k", 1}}})}}, "a%5B%5D%5Bk%5D=1"},
        FormCase{"EmptyContainersVanish", {{"a", json::array()}, {"o", json::object()}}, ""},
        FormCase{"InvalidUTF8KeptByteForByte", {{"k", std::string("\xFF\x00z", 3)}}, "k=%FF%00z"}),
    [](const auto& info) { return info.param.name; });

TEST(FormEncodingFailure, RefusesWhatHasNoFormEncoding) {
  for (const json& parameters : {json::array({1}), json("text"), json(5),
                                 json{{"x", std::numeric_limits<double>::quiet_NaN()}},
                                 json{{"x", {{"y", std::numeric_limits<double>::infinity()}}}}}) {
    auto encoded = formURLEncoded(parameters);
    ASSERT_FALSE(encoded) << parameters.dump();
    EXPECT_EQ(encoded.error().kind, HTTPSessionError::Kind::parameterEncodingFailed);
    EXPECT_FALSE(encoded.error().description.empty());
  }
}

struct EncodeCase {
  const char* name;
  HTTPMethod method;
  ParameterEncoding encoding;
  std::string url;
  json parameters;
  std::string contentTypeGiven;  // empty: none
  std::string expectedURL;
  std::string expectedBody;  // "<none>" when no body
  std::string expectedContentType;
};

class ParameterPlacement : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(ParameterPlacement, PutsParametersWhereTheMethodAndEncodingSay) {
  const auto& c = GetParam();
  URLRequest request{c.url, c.method, {}, std::nullopt, std::nullopt};
  if (!c.contentTypeGiven.empty()) request.headers.emplace_back("content-type", c.contentTypeGiven);
  ASSERT_TRUE(encodeParameters(request, c.parameters, c.encoding));
  EXPECT_EQ(request.url, c.expectedURL);
  EXPECT_EQ(text(request.body), c.expectedBody);
  EXPECT_EQ(headerValue(request.headers, "Content-Type").value_or(""), c.expectedContentType);
  EXPECT_LE(request.headers.size(), 1u);
}

constexpr auto kForm = "application/x-www-form-urlencoded; charset=utf-8";
const json kOne = {{"q", "a b"}};

INSTANTIATE_TEST_SUITE_P(
    Cases, ParameterPlacement,
    ::testing::Values(
        EncodeCase{"AppendsToExistingQuery", HTTPMethod::get, ParameterEncoding::url,
                   "https://h/p?x=1", kOne, "", "https://h/p?x=1&q=a%20b", "<none>", ""},
        EncodeCase{"EmptyQueryGetsNoAmpersand", HTTPMethod::get, ParameterEncoding::url,
                   "https://h/p?", kOne, "", "https://h/p?q=a%20b", "<none>", ""},
        EncodeCase{"QueryGoesBeforeFragment", HTTPMethod::get, ParameterEncoding::url,
                   "https://h/p?x=1#f?g", kOne, "", "https://h/p?x=1&q=a%20b#f?g", "<none>", ""},
        EncodeCase{"EmptyParametersLeaveURL", HTTPMethod::get, ParameterEncoding::url,
                   "https://h/p", json::object(), "", "https://h/p", "<none>", ""},
        EncodeCase{"NullParametersLeaveBody", HTTPMethod::post, ParameterEncoding::url,
                   "https://h/p", nullptr, "", "https://h/p", "<none>", ""},
        EncodeCase{"EmptyFormBodyStillSent", HTTPMethod::put, ParameterEncoding::url, "https://h/p",
                   json::object(), "", "https://h/p", "", kForm},
        EncodeCase{"GivenContentTypeKept", HTTPMethod::patch, ParameterEncoding::url, "https://h/p",
                   kOne, "text/plain", "https://h/p", "q=a%20b", "text/plain"},
        EncodeCase{"JSONBodyForGet", HTTPMethod::get, ParameterEncoding::json, "https://h/p?x=1",
                   kOne, "", "https://h/p?x=1", R"({"q":"a b"})", "application/json"},
        EncodeCase{"JSONEmptyObject", HTTPMethod::post, ParameterEncoding::json, "https://h/p",
                   json::object(), "", "https://h/p", "{}", "application/json"},
        EncodeCase{"JSONGivenContentTypeKept", HTTPMethod::post, ParameterEncoding::json,
                   "https://h/p", kOne, "text/plain", "https://h/p", R"({"q":"a b"})",
                   "text/plain"}),
    [](const auto& info) { return info.param.name; });

TEST(ParameterPlacementFailure, JSONRefusesTextThatIsNotUTF8AndNonFiniteNumbers) {
  for (const json& parameters :
       {json{{"k", "\xFF"}}, json{{"k", std::numeric_limits<double>::infinity()}},
        json::array({1})}) {
    URLRequest request{"https://h/p", HTTPMethod::post, {}, std::nullopt, std::nullopt};
    auto result = encodeParameters(request, parameters, ParameterEncoding::json);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, HTTPSessionError::Kind::parameterEncodingFailed);
    EXPECT_FALSE(request.body);
  }
}

}  // namespace
