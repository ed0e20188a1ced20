#include "Classes/Utils/PriceFormatter.h"

#include <charconv>
#include <optional>
#include <system_error>

#include "Platform/Foundation/NumberFormatter.h"

namespace brelum {
namespace {

std::string plainDigits(double amount) {
  // Room for the largest double written out in full.
  char buffer[512];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, amount, std::chars_format::fixed, 2);
  return error == std::errc() ? std::string(buffer, end) : std::string();
}

void removeAll(std::string& text, std::string_view part) {
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at)) {
    text.erase(at, part.size());
  }
}

}  // namespace

std::string formattedPrice(double amount, std::string_view currency) {
  // Building the formatter is costly; each thread keeps one, which follows the current
  // locale on every call.
  thread_local const platform::NumberFormatter formatter = [] {
    platform::NumberFormatter f;
    f.setNumberStyle(platform::NumberFormatter::Style::decimal);
    f.setUsesGroupingSeparator(true);
    f.setMinimumFractionDigits(2);
    f.setMaximumFractionDigits(2);
    return f;
  }();
  // The formatter gives no text only when the locale data cannot be loaded at all; plain
  // digits still name the price.
  std::string text = formatter.string(amount).value_or(plainDigits(amount));
  if (text.ends_with(".00")) removeAll(text, ".00");
  text.push_back(' ');
  text.append(currency);
  return text;
}

}  // namespace brelum
