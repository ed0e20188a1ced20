#pragma once

#include <string>
#include <string_view>

namespace brelum {

// `amount` as the device's current locale writes it, with grouping and two fraction digits,
// then a space and `currency`: "1,234.50 USD". Where the decimal separator is "." a whole
// amount drops its ".00" ("1,000 USD"); other locales keep their fraction digits
// ("1.000,00 EUR").
[[nodiscard]] std::string formattedPrice(double amount, std::string_view currency);

}  // namespace brelum
