#include "Platform/Foundation/Locale.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

using platform::Locale;

namespace {

TEST(LocaleFromPOSIXName, KeepsLanguageAndTerritoryOnly) {
  const std::string overlong(65, 'a');
  for (const auto& [name, identifier] :
       {std::pair{std::string_view("sr_RS.UTF-8@latin"), std::optional<std::string>("sr_RS")},
        {"en", "en"},
        {"en-GB", "en_GB"},
        {"C.UTF-8", "en_US_POSIX"},
        {"POSIX", "en_US_POSIX"},
        {std::string_view(overlong).substr(1), overlong.substr(1)},
        {overlong, std::nullopt},
        {"", std::nullopt},
        {"_DE", std::nullopt},
        {"de DE", std::nullopt},
        {"../../etc/passwd", std::nullopt},
        {"en_US\xff", std::nullopt}}) {
    const auto locale = Locale::fromPOSIXLocaleName(name);
    EXPECT_EQ(locale ? std::optional(locale->identifier()) : std::nullopt, identifier) << name;
  }
}

// Puts the locale variables and the current locale back after each test.
class LocaleCurrent : public ::testing::Test {
 protected:
  static constexpr std::array kVariables{"LC_ALL", "LC_NUMERIC", "LANG"};
  using Values = std::array<const char*, 3>;

  void SetUp() override {
    for (std::size_t i = 0; i < kVariables.size(); ++i) {
      if (const char* value = std::getenv(kVariables[i])) saved_[i] = value;
    }
  }
  void TearDown() override {
    for (std::size_t i = 0; i < kVariables.size(); ++i) {
      set(kVariables[i], saved_[i] ? saved_[i]->c_str() : nullptr);
    }
    Locale::setCurrent(std::nullopt);
  }
  static void set(const char* variable, const char* value) {
    value ? setenv(variable, value, 1) : unsetenv(variable);
  }
  static void setAll(const Values& values) {
    for (std::size_t i = 0; i < kVariables.size(); ++i) set(kVariables[i], values[i]);
  }

 private:
  std::array<std::optional<std::string>, 3> saved_;
};

TEST_F(LocaleCurrent, ReadsVariablesInPOSIXPrecedenceUnlessOverridden) {
  for (const auto& [values, expected] :
       {std::pair{Values{nullptr, nullptr, nullptr}, "en_US_POSIX"},
        {Values{nullptr, nullptr, "de_DE.UTF-8"}, "de_DE"},
        {Values{nullptr, "fr_FR.UTF-8", "de_DE.UTF-8"}, "fr_FR"},
        {Values{"ja_JP.UTF-8", "fr_FR", "de_DE"}, "ja_JP"},
        {Values{"not a locale", nullptr, "de_DE"}, "de_DE"},
        {Values{"C.UTF-8", nullptr, "de_DE"}, "en_US_POSIX"}}) {
    setAll(values);
    Locale::setCurrent(std::nullopt);  // read the environment afresh
    EXPECT_EQ(Locale::current().identifier(), expected) << expected;
  }
  // An override wins until cleared.
  setAll({nullptr, nullptr, "de_DE.UTF-8"});
  Locale::setCurrent(Locale("en_GB"));
  EXPECT_EQ(Locale::current().identifier(), "en_GB");
  Locale::setCurrent(std::nullopt);
  EXPECT_EQ(Locale::current().identifier(), "de_DE");
}

}  // namespace
