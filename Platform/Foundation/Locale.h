#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

// A locale named by its identifier ("en_US_POSIX", "en_US", "de_DE", "ja_JP@calendar=japanese").
// A plain value. Any identifier is accepted, as on the phone platform; one the locale data
// does not know formats with the root locale's conventions.
class Locale {
 public:
  explicit Locale(std::string identifier) : identifier_(std::move(identifier)) {}

  [[nodiscard]] const std::string& identifier() const noexcept { return identifier_; }

  // The process's current locale: the one set with setCurrent, otherwise the one the
  // environment names the way a POSIX program reads it (LC_ALL, then LC_NUMERIC, then
  // LANG; the first that names a usable locale wins), otherwise "en_US_POSIX".
  // The environment is read once and again after setCurrent(std::nullopt).
  [[nodiscard]] static Locale current();

  // Overrides the current locale for the whole process (hosts and tests); std::nullopt
  // goes back to the environment's. Formatters without a locale of their own follow it
  // from their next call on. Safe from any thread.
  static void setCurrent(std::optional<Locale> locale);

  // Maps a POSIX locale name to a locale: "de_DE.UTF-8" and "de_DE@euro" give "de_DE",
  // "C" and "POSIX" (with or without a codeset) give "en_US_POSIX", "en-GB" gives "en_GB".
  // Empty text, or text that cannot name a locale, gives std::nullopt.
  [[nodiscard]] static std::optional<Locale> fromPOSIXLocaleName(std::string_view name);

  friend bool operator==(const Locale&, const Locale&) = default;

 private:
  std::string identifier_;
};

namespace detail {
// Changes whenever the current locale may have changed; formatters compare it on each call
// instead of reading the current locale every time.
[[nodiscard]] std::uint64_t currentLocaleGeneration() noexcept;
}  // namespace detail

}  // namespace platform
