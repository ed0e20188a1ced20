#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/Foundation/Locale.h"

namespace platform {

// Formats numbers as text the way the locale writes them ("1,234.50" in en_US, "1.234,50"
// in de_DE), rounding half to even.
//
// The locale follows Locale::current() at the time of each call unless set on the formatter.
// The underlying formatter is built on first use and kept until a setting changes; once
// built it is immutable, so calls on one formatter from several threads run side by side.
class NumberFormatter {
 public:
  enum class Style {
    none,     // whole numbers, no grouping
    decimal,  // grouping, up to three fraction digits
  };

  // Style none.
  NumberFormatter();
  [[nodiscard]] static std::shared_ptr<NumberFormatter> make();

  // Copies carry the settings; each copy builds its own underlying formatter.
  NumberFormatter(const NumberFormatter& other);
  NumberFormatter& operator=(const NumberFormatter& other);
  ~NumberFormatter();

  [[nodiscard]] Style numberStyle() const;
  // Resets grouping and fraction digits to the style's own (none: off, 0...0; decimal: on,
  // 0...3), so set those after the style.
  void setNumberStyle(Style style);

  [[nodiscard]] bool usesGroupingSeparator() const;
  void setUsesGroupingSeparator(bool uses);

  // Digit counts are clamped to 0...kMaxFractionDigits. Raising the minimum above the
  // maximum raises the maximum with it; lowering the maximum below the minimum lowers the
  // minimum with it.
  static constexpr int kMaxFractionDigits = 340;
  [[nodiscard]] int minimumFractionDigits() const;
  void setMinimumFractionDigits(int digits);
  [[nodiscard]] int maximumFractionDigits() const;
  void setMaximumFractionDigits(int digits);

  // The formatter's locale, or the current one when it has none of its own.
  [[nodiscard]] Locale locale() const;
  // std::nullopt: follow Locale::current().
  void setLocale(std::optional<Locale> locale);

  // `number` as text. NaN and the infinities come out as the locale spells them ("NaN",
  // "∞", "-∞"); std::nullopt only when the number formatter cannot be built or fails.
  [[nodiscard]] std::optional<std::string> string(double number) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
