#include "Platform/Foundation/NumberFormatter.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>

#include <unicode/numberformatter.h>
#include <unicode/unistr.h>

namespace platform {

namespace number = icu::number;

struct NumberFormatter::Impl {
  // Guards the settings and the cache slot; the built formatter itself is immutable and
  // thread-safe, so formatting runs outside the lock.
  mutable std::mutex mutex;

  Style style = Style::none;
  bool grouping = false;
  int minimumFractionDigits = 0;
  int maximumFractionDigits = 0;
  std::optional<Locale> locale;  // std::nullopt: follow Locale::current()

  std::shared_ptr<const number::LocalizedNumberFormatter> formatter;
  bool stale = true;
  std::string builtLocale;
  std::uint64_t seenLocaleGeneration = 0;  // 0: never looked

  std::shared_ptr<const number::LocalizedNumberFormatter> prepare();
};

std::shared_ptr<const number::LocalizedNumberFormatter> NumberFormatter::Impl::prepare() {
  std::string identifier;
  if (locale) {
    identifier = locale->identifier();
  } else {
    const auto generation = detail::currentLocaleGeneration();
    if (generation == seenLocaleGeneration && !stale) return formatter;
    seenLocaleGeneration = generation;
    identifier = Locale::current().identifier();
  }
  if (!stale && identifier == builtLocale) return formatter;

  stale = false;
  builtLocale = std::move(identifier);
  auto built = number::NumberFormatter::with()
                   .grouping(grouping ? UNUM_GROUPING_AUTO : UNUM_GROUPING_OFF)
                   .precision(number::Precision::minMaxFraction(minimumFractionDigits,
                                                                maximumFractionDigits))
                   .roundingMode(UNUM_ROUND_HALFEVEN)
                   .locale(icu::Locale(builtLocale.c_str()));
  UErrorCode status = U_ZERO_ERROR;
  if (built.copyErrorTo(status)) {
    formatter.reset();
  } else {
    formatter = std::make_shared<const number::LocalizedNumberFormatter>(std::move(built));
  }
  return formatter;
}

NumberFormatter::NumberFormatter() : impl_(std::make_unique<Impl>()) {
}

std::shared_ptr<NumberFormatter> NumberFormatter::make() {
  return std::make_shared<NumberFormatter>();
}

NumberFormatter::NumberFormatter(const NumberFormatter& other) : impl_(std::make_unique<Impl>()) {
  std::lock_guard lock(other.impl_->mutex);
  impl_->style = other.impl_->style;
  impl_->grouping = other.impl_->grouping;
  impl_->minimumFractionDigits = other.impl_->minimumFractionDigits;
  impl_->maximumFractionDigits = other.impl_->maximumFractionDigits;
  impl_->locale = other.impl_->locale;
}

NumberFormatter& NumberFormatter::operator=(const NumberFormatter& other) {
  if (this != &other) {
    NumberFormatter copy(other);
    std::swap(impl_, copy.impl_);
  }
  return *this;
}

NumberFormatter::~NumberFormatter() = default;

NumberFormatter::Style NumberFormatter::numberStyle() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->style;
}

void NumberFormatter::setNumberStyle(Style style) {
  std::lock_guard lock(impl_->mutex);
  impl_->style = style;
  impl_->grouping = style == Style::decimal;
  impl_->minimumFractionDigits = 0;
  impl_->maximumFractionDigits = style == Style::decimal ? 3 : 0;
  impl_->stale = true;
}

bool NumberFormatter::usesGroupingSeparator() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->grouping;
}

void NumberFormatter::setUsesGroupingSeparator(bool uses) {
  std::lock_guard lock(impl_->mutex);
  impl_->grouping = uses;
  impl_->stale = true;
}

int NumberFormatter::minimumFractionDigits() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->minimumFractionDigits;
}

void NumberFormatter::setMinimumFractionDigits(int digits) {
  std::lock_guard lock(impl_->mutex);
  impl_->minimumFractionDigits = std::clamp(digits, 0, kMaxFractionDigits);
  impl_->maximumFractionDigits =
      std::max(impl_->maximumFractionDigits, impl_->minimumFractionDigits);
  impl_->stale = true;
}

int NumberFormatter::maximumFractionDigits() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->maximumFractionDigits;
}

void NumberFormatter::setMaximumFractionDigits(int digits) {
  std::lock_guard lock(impl_->mutex);
  impl_->maximumFractionDigits = std::clamp(digits, 0, kMaxFractionDigits);
  impl_->minimumFractionDigits =
      std::min(impl_->minimumFractionDigits, impl_->maximumFractionDigits);
  impl_->stale = true;
}

Locale NumberFormatter::locale() const {
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->locale) return *impl_->locale;
  }
  return Locale::current();
}

void NumberFormatter::setLocale(std::optional<Locale> locale) {
  std::lock_guard lock(impl_->mutex);
  impl_->locale = std::move(locale);
  impl_->seenLocaleGeneration = 0;
}

std::optional<std::string> NumberFormatter::string(double number) const {
  std::shared_ptr<const number::LocalizedNumberFormatter> formatter;
  {
    std::lock_guard lock(impl_->mutex);
    formatter = impl_->prepare();
  }
  if (!formatter) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  const auto formatted = formatter->formatDouble(number, status);
  const auto text = formatted.toTempString(status);
  if (U_FAILURE(status)) return std::nullopt;
  std::string out;
  text.toUTF8String(out);
  return out;
}

}  // namespace platform
