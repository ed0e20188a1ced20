#include "Platform/Foundation/URL.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

using platform::URL;

namespace {

// One row: the text given to URL::make, a component, and the text after appending it
// (nothing when the text must be refused).
struct URLCase {
  std::string_view text;
  std::string_view component;
  std::optional<std::string_view> appended;
};

std::ostream& operator<<(std::ostream& out, const URLCase& c) {
  return out << '"' << c.text << "\" + \"" << c.component << '"';
}

class URLAcceptanceAndAppending : public ::testing::TestWithParam<URLCase> {};

TEST_P(URLAcceptanceAndAppending, AcceptsKeepsTextAndAppends) {
  const auto& [text, component, appended] = GetParam();
  const auto url = URL::make(text);
  ASSERT_EQ(url.has_value(), appended.has_value());
  if (!url) return;
  EXPECT_EQ(url->absoluteString(), text);

  const URL result = url->appendingPathComponent(component);
  EXPECT_EQ(result.absoluteString(), *appended);
  EXPECT_EQ(url->absoluteString(), text) << "the receiver must stay unchanged";
  EXPECT_EQ(URL::make(result.absoluteString()), result);
  EXPECT_EQ(result.query(), url->query());
  EXPECT_EQ(result.fragment(), url->fragment());

  URL mutated = *url;
  mutated.appendPathComponent(component);
  EXPECT_EQ(mutated, result);
}

INSTANTIATE_TEST_SUITE_P(
    Table, URLAcceptanceAndAppending,
    ::testing::Values(
        // Absolute, with and without a path and a trailing slash.
        URLCase{"https://h", "v1", "https://h/v1"},
        URLCase{"https://h/api/", "v1", "https://h/api/v1"},
        // Relative references.
        URLCase{"v1/app", "x", "v1/app/x"}, URLCase{"//host/x", "y", "//host/x/y"},
        URLCase{"/", "/y", "/.//y"},
        // Hosts and ports.
        URLCase{"http://[::1]:8080/x", "y", "http://[::1]:8080/x/y"},
        URLCase{"https://user:pw@h:/p", "a", "https://user:pw@h:/p/a"},
        // Query and fragment survive.
        URLCase{"https://h/p?q=1&r=a+b#frag", "a", "https://h/p/a?q=1&r=a+b#frag"},
        // Components: slashes separate, everything a path does not allow is escaped.
        URLCase{"https://h/p", "a/b/c", "https://h/p/a/b/c"},
        URLCase{"https://h", "/y", "https://h//y"},
        URLCase{"https://h/p", "two words?x#y", "https://h/p/two%20words%3Fx%23y"},
        URLCase{"https://h/p", "%41", "https://h/p/%2541"},
        URLCase{"https://h/p", ":@!$&'()*+,;=", "https://h/p/:@!$&'()*+,;="},
        URLCase{"https://h/p", std::string_view("a\0b", 3), "https://h/p/a%00b"},
        // An empty component only adds the separator.
        URLCase{"https://h/p", "", "https://h/p/"}, URLCase{"https://h/p/", "", "https://h/p/"},
        // Refused.
        URLCase{"", "", std::nullopt}, URLCase{"https://h/a b", "", std::nullopt},
        URLCase{"https://h/\xC3\xBC", "", std::nullopt},
        URLCase{std::string_view("https://h/\0", 11), "", std::nullopt},
        URLCase{"http://1.2.3.4x/", "", std::nullopt}, URLCase{"1http://h", "", std::nullopt}));

struct ComponentsCase {
  std::string_view text;
  std::string_view scheme;
  std::optional<std::string_view> host;
  std::optional<int> port;
  std::string_view path;
  std::optional<std::string_view> query;
  std::optional<std::string_view> fragment;
  std::string_view lastPathComponent;
};

std::ostream& operator<<(std::ostream& out, const ComponentsCase& c) {
  return out << c.text;
}

class URLComponentsOfText : public ::testing::TestWithParam<ComponentsCase> {};

TEST_P(URLComponentsOfText, ReadsEachComponent) {
  const auto& c = GetParam();
  const auto url = URL::make(c.text);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->scheme(), c.scheme);
  EXPECT_EQ(url->host(), c.host);
  EXPECT_EQ(url->port(), c.port);
  EXPECT_EQ(url->path(), c.path);
  EXPECT_EQ(url->query(), c.query);
  EXPECT_EQ(url->fragment(), c.fragment);
  EXPECT_EQ(url->lastPathComponent(), c.lastPathComponent);
}

INSTANTIATE_TEST_SUITE_P(
    Table, URLComponentsOfText,
    ::testing::Values(
        ComponentsCase{"https://h.example:8443/a/b%20c?x=%2B+y#f%20g", "https", "h.example", 8443,
                       "/a/b c", "x=%2B+y", "f g", "b c"},
        ComponentsCase{"http://[::1]:8080/", "http", "::1", 8080, "/", std::nullopt, std::nullopt,
                       "/"},
        ComponentsCase{"https://h", "https", "h", std::nullopt, "", std::nullopt, std::nullopt, ""},
        ComponentsCase{"https://h%2Dx:/a/b//?#", "https", "h-x", std::nullopt, "/a/b//", "", "",
                       "b"},
        ComponentsCase{"http://h:99999999999/", "http", "h", std::nullopt, "/", std::nullopt,
                       std::nullopt, "/"},
        ComponentsCase{"file:///tmp/x", "file", std::nullopt, std::nullopt, "/tmp/x", std::nullopt,
                       std::nullopt, "x"},
        ComponentsCase{"v1/a%2Fb", "", std::nullopt, std::nullopt, "v1/a/b", std::nullopt,
                       std::nullopt, "a/b"},
        ComponentsCase{"//u@host:1", "", "host", 1, "", std::nullopt, std::nullopt, ""}));

}  // namespace
