#include "SocketIO/Parser/JSONText.h"

#include "Platform/Foundation/UTF8.h"

namespace socketio::detail {

bool nestsTooDeep(std::string_view text) {
  std::size_t depth = 0;
  bool inString = false;
  bool escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    switch (c) {
      case '"':
        inString = true;
        break;
      case '[':
      case '{':
        if (++depth > kMaxJSONDepth) return true;
        break;
      case ']':
      case '}':
        if (depth > 0) --depth;
        break;
      default:
        break;
    }
  }
  return false;
}

std::optional<nlohmann::json> parseJSONText(std::string_view text) {
  // The parser takes a NUL as the end of input and would accept whatever value precedes
  // it; JSON text never holds a raw one.
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  if (!platform::isValidUTF8(text) || nestsTooDeep(text)) return std::nullopt;
  auto value = nlohmann::json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) return std::nullopt;
  return value;
}

}  // namespace socketio::detail
