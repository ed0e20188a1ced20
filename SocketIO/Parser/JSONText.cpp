#include "SocketIO/Parser/JSONText.h"

#include "Platform/Foundation/JSONNesting.h"
#include "Platform/Foundation/UTF8.h"

namespace socketio::detail {

std::optional<nlohmann::json> parseJSONText(std::string_view text) {
  // The parser takes a NUL as the end of input and would accept whatever value precedes
  // it; JSON text never holds a raw one.
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  if (!platform::isValidUTF8(text) || platform::jsonNestsDeeperThan(text, kMaxJSONDepth))
    return std::nullopt;
  auto value = nlohmann::json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) return std::nullopt;
  return value;
}

}  // namespace socketio::detail
