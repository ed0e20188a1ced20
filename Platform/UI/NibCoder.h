#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"

namespace platform {

class Bundle;
class Image;

// The attributes of one object of a nib, as the decoding constructors read them: a JSON
// object whose members are keyed values, and the bundle the nib belongs to, where the
// resources the values name are found. Each class reads its own keys. A missing value
// decodes as absent, and the object keeps its default; a value of another shape than the one
// asked for makes the nib broken: the decoder throws NibDecodingError naming the key, which
// the nib reader reports (rather than quietly leaving a mistyped value at its default).
// Shapes: numbers (finite) and booleans as themselves, a rectangle as [x, y, width, height],
// a colour as [red, green, blue, alpha], an image as the name of a PNG resource.
class NibCoder {
 public:
  // `bundle` is the nib's; the main bundle when null.
  explicit NibCoder(nlohmann::json attributes, std::shared_ptr<Bundle> bundle = nullptr);

  [[nodiscard]] bool contains(std::string_view key) const;
  [[nodiscard]] std::optional<bool> decodeBool(std::string_view key) const;
  [[nodiscard]] std::optional<double> decodeDouble(std::string_view key) const;
  [[nodiscard]] std::optional<std::int64_t> decodeInteger(std::string_view key) const;
  [[nodiscard]] std::optional<std::string> decodeString(std::string_view key) const;
  [[nodiscard]] std::optional<Rect> decodeRect(std::string_view key) const;
  [[nodiscard]] std::optional<Color> decodeColor(std::string_view key) const;
  // The PNG resource of the bundle that the string under `key` names (Image::named); an
  // empty name names none. A name the bundle lacks decodes as absent and is noted in
  // missingImages(): the nib still loads, and the reader reports each once the whole nib has been
  // read.
  [[nodiscard]] std::shared_ptr<Image> decodeImage(std::string_view key) const;

  [[nodiscard]] const nlohmann::json& attributes() const noexcept { return attributes_; }
  [[nodiscard]] const std::shared_ptr<Bundle>& bundle() const noexcept { return bundle_; }
  [[nodiscard]] const std::vector<std::string>& missingImages() const noexcept {
    return missingImages_;
  }

 private:
  using Fits = bool (*)(const nlohmann::json&);

  // The value under `key`; null when there is none; throws when it does not fit.
  [[nodiscard]] const nlohmann::json* find(std::string_view key, Fits fits,
                                           std::string_view shape) const;
  [[nodiscard]] std::optional<std::array<double, 4>> decodeQuad(std::string_view key,
                                                                std::string_view shape) const;

  nlohmann::json attributes_;
  std::shared_ptr<Bundle> bundle_;
  // Noted by decodeImage, which decoding constructors call on a const coder.
  mutable std::vector<std::string> missingImages_;
};

}  // namespace platform
