#include "Platform/Foundation/Locale.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

using platform::Locale;

namespace {

struct POSIXNameCase {
  std::string_view name;
  std::optional<std::string_view> identifier;
};
void PrintTo(const POSIXNameCase& c, std::ostream* os) {
  *os << c.name;
}
class LocaleFromPOSIXName : public ::testing::TestWithParam<POSIXNameCase> {};

TEST_P(LocaleFromPOSIXName, KeepsLanguageAndTerritoryOnly) {
  const auto& [name, identifier] = GetParam();
  const auto locale = Locale::fromPOSIXLocaleName(name);
  ASSERT_EQ(locale.has_value(), identifier.has_value()) << name;
  if (locale) {
    EXPECT_EQ(locale->identifier(), *identifier);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, LocaleFromPOSIXName,
    ::testing::Values(POSIXNameCase{"sr_RS.UTF-8@latin", "sr_RS"}, POSIXNameCase{"en", "en"},
                      POSIXNameCase{"en-GB", "en_GB"}, POSIXNameCase{"C.UTF-8", "en_US_POSIX"},
                      POSIXNameCase{"POSIX", "en_US_POSIX"}, POSIXNameCase{"", std::nullopt},
                      POSIXNameCase{"_DE", std::nullopt}, POSIXNameCase{"de DE", std::nullopt},
                      POSIXNameCase{"../../etc/passwd", std::nullopt},
                      POSIXNameCase{"en_US\xff", std::nullopt}));

TEST(LocaleFromPOSIXName, RefusesOverlongNames) {
  EXPECT_EQ(Locale::fromPOSIXLocaleName(std::string(65, 'a')), std::nullopt);
}

struct EnvironmentCase {
  const char* lcAll;
  const char* lcNumeric;
  const char* lang;
  std::string_view expected;
};
void PrintTo(const EnvironmentCase& c, std::ostream* os) {
  auto show = [](const char* v) { return v ? v : "(unset)"; };
  *os << show(c.lcAll) << " " << show(c.lcNumeric) << " " << show(c.lang);
}

// Puts the locale variables and the current locale back after each test.
class LocaleCurrent : public ::testing::Test {
 protected:
  static constexpr std::array kVariables{"LC_ALL", "LC_NUMERIC", "LANG"};

  void SetUp() override {
    for (std::size_t i = 0; i < kVariables.size(); ++i) {
      if (const char* value = std::getenv(kVariables[i])) saved_[i] = value;
    }
  }
  void TearDown() override {
    for (std::size_t i = 0; i < kVariables.size(); ++i) set(kVariables[i], saved_[i]);
    Locale::setCurrent(std::nullopt);
  }
  static void set(const char* variable, const std::optional<std::string>& value) {
    if (value) {
      setenv(variable, value->c_str(), 1);
    } else {
      unsetenv(variable);
    }
  }

 private:
  std::array<std::optional<std::string>, 3> saved_;
};

class LocaleFromEnvironment : public LocaleCurrent,
                              public ::testing::WithParamInterface<EnvironmentCase> {};

TEST_P(LocaleFromEnvironment, ReadsVariablesInPOSIXPrecedence) {
  const auto& c = GetParam();
  auto asOptional = [](const char* v) { return v ? std::optional<std::string>(v) : std::nullopt; };
  set("LC_ALL", asOptional(c.lcAll));
  set("LC_NUMERIC", asOptional(c.lcNumeric));
  set("LANG", asOptional(c.lang));
  Locale::setCurrent(std::nullopt);  // read the environment afresh
  EXPECT_EQ(Locale::current().identifier(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Variables, LocaleFromEnvironment,
    ::testing::Values(EnvironmentCase{nullptr, nullptr, nullptr, "en_US_POSIX"},
                      EnvironmentCase{nullptr, nullptr, "de_DE.UTF-8", "de_DE"},
                      EnvironmentCase{nullptr, "fr_FR.UTF-8", "de_DE.UTF-8", "fr_FR"},
                      EnvironmentCase{"ja_JP.UTF-8", "fr_FR", "de_DE", "ja_JP"},
                      EnvironmentCase{"not a locale", nullptr, "de_DE", "de_DE"},
                      EnvironmentCase{"C.UTF-8", nullptr, "de_DE", "en_US_POSIX"}));

TEST_F(LocaleCurrent, OverrideWinsUntilCleared) {
  setenv("LANG", "de_DE.UTF-8", 1);
  unsetenv("LC_ALL");
  unsetenv("LC_NUMERIC");
  Locale::setCurrent(Locale("en_GB"));
  EXPECT_EQ(Locale::current().identifier(), "en_GB");
  Locale::setCurrent(std::nullopt);
  EXPECT_EQ(Locale::current().identifier(), "de_DE");
}

}  // namespace
