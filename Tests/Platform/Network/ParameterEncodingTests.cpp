#include "Platform/Network/ParameterEncoding.h"

#include "Platform/Network/HTTPHeaders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using nlohmann::json;
using platform::encodeParameters;
using platform::formURLEncoded;
using platform::headerValue;
using platform::HTTPHeaders;
using platform::HTTPMethod;
using platform::HTTPSessionError;
using platform::ParameterEncoding;
using platform::setHeader;
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

// A form has no encoding for a top-level value that is not an object or for a number that
// is not finite; JSON has none for text that is not UTF-8. The request stays untouched.
TEST(ParameterPlacementFailure, RefusesWhatHasNoEncoding) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  for (const auto& [parameters, encoding] :
       {std::pair{json::array({1}), ParameterEncoding::url},
        {json("text"), ParameterEncoding::url},
        {json(5), ParameterEncoding::url},
        {json{{"x", nan}}, ParameterEncoding::url},
        {json{{"x", {{"y", infinity}}}}, ParameterEncoding::url},
        {json{{"k", "\xFF"}}, ParameterEncoding::json},
        {json{{"k", infinity}}, ParameterEncoding::json},
        {json::array({1}), ParameterEncoding::json}}) {
    URLRequest request{"https://h/p", HTTPMethod::post, {}, std::nullopt, std::nullopt};
    auto result = encodeParameters(request, parameters, encoding);
    ASSERT_FALSE(result) << parameters.dump();
    EXPECT_EQ(result.error().kind, HTTPSessionError::Kind::parameterEncodingFailed);
    EXPECT_FALSE(result.error().description.empty());
    EXPECT_EQ(request.url, "https://h/p");
    EXPECT_FALSE(request.body);
  }
}

TEST(HTTPHeadersTest, SetHeaderReplacesTheFirstMatchInPlaceAndDropsLaterOnes) {
  HTTPHeaders headers{
      {"Accept", "a"}, {"content-TYPE", "x"}, {"X-Other", "o"}, {"Content-Type", "y"}};
  setHeader(headers, "Content-Type", "application/json");
  EXPECT_EQ(headers,
            (HTTPHeaders{{"Accept", "a"}, {"content-TYPE", "application/json"}, {"X-Other", "o"}}));
  setHeader(headers, "access-token", "t");
  EXPECT_EQ(headers.back(), (std::pair<std::string, std::string>{"access-token", "t"}));
  EXPECT_EQ(headerValue(headers, "CONTENT-type"), "application/json");
  EXPECT_FALSE(headerValue(headers, "Content-Typ"));
}

}  // namespace
