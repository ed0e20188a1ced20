#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"

namespace platform {

// The attributes of one object of a nib, as the decoding constructors read them: a JSON
// object whose members are keyed values. A value that is missing or of the wrong shape
// decodes as absent, and the object keeps its default. Shapes: numbers and booleans as
// themselves, a rectangle as [x, y, width, height], a colour as [red, green, blue, alpha].
class NibCoder {
 public:
  explicit NibCoder(nlohmann::json attributes);

  [[nodiscard]] bool contains(std::string_view key) const;
  [[nodiscard]] std::optional<bool> decodeBool(std::string_view key) const;
  [[nodiscard]] std::optional<double> decodeDouble(std::string_view key) const;
  [[nodiscard]] std::optional<std::int64_t> decodeInteger(std::string_view key) const;
  [[nodiscard]] std::optional<std::string> decodeString(std::string_view key) const;
  [[nodiscard]] std::optional<Rect> decodeRect(std::string_view key) const;
  [[nodiscard]] std::optional<Color> decodeColor(std::string_view key) const;

  [[nodiscard]] const nlohmann::json& attributes() const noexcept { return attributes_; }

 private:
  [[nodiscard]] const nlohmann::json* find(std::string_view key) const;
  [[nodiscard]] std::optional<std::array<double, 4>> decodeQuad(std::string_view key) const;

  nlohmann::json attributes_;
};

}  // namespace platform
