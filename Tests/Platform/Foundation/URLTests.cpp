#include "Platform/Foundation/URL.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <tuple>

using platform::URL;

namespace {

// Each row: the text given to URL::make, a component, and the text after appending it
// (nothing when the text must be refused).
TEST(URLTest, AcceptsKeepsTextAndAppends) {
  using Appended = std::optional<std::string_view>;
  for (const auto& [text, component, appended] : {
           std::tuple{std::string_view("https://h"), std::string_view("v1"),
                      Appended("https://h/v1")},
           {"https://h/api/", "v1", "https://h/api/v1"},
           // Relative references; without an authority a leading "//" must not appear.
           {"v1/app", "x", "v1/app/x"},
           {"/", "/y", "/.//y"},
           {"https://h", "/y", "https://h//y"},
           // Query and fragment survive.
           {"https://h/p?q=1&r=a+b#frag", "a", "https://h/p/a?q=1&r=a+b#frag"},
           // Slashes separate; everything a path does not allow is escaped, nothing else.
           {"https://h/p", "a/b/c", "https://h/p/a/b/c"},
           {"https://h/p", "two words?x#y", "https://h/p/two%20words%3Fx%23y"},
           {"https://h/p", "%41", "https://h/p/%2541"},
           {"https://h/p", ":@!$&'()*+,;=", "https://h/p/:@!$&'()*+,;="},
           // An empty component only adds the separator.
           {"https://h/p", "", "https://h/p/"},
           {"https://h/p/", "", "https://h/p/"},
           // Refused: empty, not a URI reference, a path running into the authority.
           {"", "", std::nullopt},
           {"https://h/a b", "", std::nullopt},
           {"http://1.2.3.4x/", "", std::nullopt},
       }) {
    SCOPED_TRACE(text);
    const auto url = URL::make(text);
    ASSERT_EQ(url.has_value(), appended.has_value());
    if (!url) continue;
    EXPECT_EQ(url->absoluteString(), text);
    const URL result = url->appendingPathComponent(component);
    EXPECT_EQ(result.absoluteString(), *appended);
    EXPECT_EQ(url->absoluteString(), text) << "the receiver must stay unchanged";
    URL mutated = *url;
    mutated.appendPathComponent(component);
    EXPECT_EQ(mutated, result);
  }
}

TEST(URLTest, ReadsEachComponent) {
  using Text = std::optional<std::string_view>;
  struct Row {
    std::string_view text, scheme;
    Text host;
    std::optional<int> port;
    std::string_view path;
    Text query, fragment;
    std::string_view lastPathComponent;
  };
  for (const auto& c : {
           Row{"https://h.example:8443/a/b%20c?x=%2B+y#f%20g", "https", "h.example", 8443, "/a/b c",
               "x=%2B+y", "f g", "b c"},
           Row{"https://h", "https", "h", std::nullopt, "", std::nullopt, std::nullopt, ""},
           Row{"https://h%2Dx:/a/b//?#", "https", "h-x", std::nullopt, "/a/b//", "", "", "b"},
           Row{"http://h:99999999999/", "http", "h", std::nullopt, "/", std::nullopt, std::nullopt,
               "/"},
           Row{"file:///tmp/x", "file", std::nullopt, std::nullopt, "/tmp/x", std::nullopt,
               std::nullopt, "x"},
           Row{"v1/a%2Fb", "", std::nullopt, std::nullopt, "v1/a/b", std::nullopt, std::nullopt,
               "a/b"},
       }) {
    SCOPED_TRACE(c.text);
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
}

}  // namespace
