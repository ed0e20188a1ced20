#include "Platform/Foundation/Locale.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace platform {
namespace {

constexpr std::string_view kPOSIXIdentifier = "en_US_POSIX";
// Longer than any real language_Script_REGION_VARIANT; keeps junk out of ICU.
constexpr std::size_t kMaxPOSIXNameLength = 64;

struct CurrentLocale {
  std::mutex mutex;
  std::optional<Locale> override;
  std::optional<Locale> fromEnvironment;  // read lazily
  std::atomic<std::uint64_t> generation = 1;
};

CurrentLocale& currentLocale() {
  static CurrentLocale instance;
  return instance;
}

Locale readEnvironment() {
  for (const char* variable : std::array{"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr) continue;
    if (auto locale = Locale::fromPOSIXLocaleName(value)) return *std::move(locale);
  }
  return Locale(std::string(kPOSIXIdentifier));
}

bool isIdentifierCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

}  // namespace

Locale Locale::current() {
  auto& state = currentLocale();
  std::lock_guard lock(state.mutex);
  if (state.override) return *state.override;
  if (!state.fromEnvironment) state.fromEnvironment = readEnvironment();
  return *state.fromEnvironment;
}

void Locale::setCurrent(std::optional<Locale> locale) {
  auto& state = currentLocale();
  std::lock_guard lock(state.mutex);
  state.override = std::move(locale);
  if (!state.override) state.fromEnvironment.reset();
  state.generation.fetch_add(1, std::memory_order_release);
}

std::optional<Locale> Locale::fromPOSIXLocaleName(std::string_view name) {
  // language[_territory][.codeset][@modifier]: the codeset says nothing about formatting,
  // and modifiers ("euro", "latin") have no portable locale-identifier form.
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name.size() > kMaxPOSIXNameLength) return std::nullopt;
  if (name == "C" || name == "POSIX") return Locale(std::string(kPOSIXIdentifier));
  std::string identifier;
  identifier.reserve(name.size());
  for (char c : name) {
    if (!isIdentifierCharacter(c)) return std::nullopt;
    identifier.push_back(c == '-' ? '_' : c);
  }
  // A name must start with a language, not a separator.
  if (identifier.front() == '_') return std::nullopt;
  return Locale(std::move(identifier));
}

namespace detail {
std::uint64_t currentLocaleGeneration() noexcept {
  return currentLocale().generation.load(std::memory_order_acquire);
}
}  // namespace detail

}  // namespace platform
