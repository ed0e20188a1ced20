#include "Platform/UI/NibCoder.h"

#include <cmath>
#include <utility>

namespace platform {

NibCoder::NibCoder(nlohmann::json attributes) : attributes_(std::move(attributes)) {
}

const nlohmann::json* NibCoder::find(std::string_view key) const {
  if (!attributes_.is_object()) return nullptr;
  auto it = attributes_.find(key);
  return it == attributes_.end() ? nullptr : &*it;
}

bool NibCoder::contains(std::string_view key) const {
  return find(key) != nullptr;
}

std::optional<bool> NibCoder::decodeBool(std::string_view key) const {
  const auto* value = find(key);
  if (!value || !value->is_boolean()) return std::nullopt;
  return value->get<bool>();
}

std::optional<double> NibCoder::decodeDouble(std::string_view key) const {
  const auto* value = find(key);
  if (!value || !value->is_number()) return std::nullopt;
  return value->get<double>();
}

std::optional<std::int64_t> NibCoder::decodeInteger(std::string_view key) const {
  const auto* value = find(key);
  if (!value || !value->is_number_integer()) return std::nullopt;
  return value->get<std::int64_t>();
}

std::optional<std::string> NibCoder::decodeString(std::string_view key) const {
  const auto* value = find(key);
  if (!value || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

std::optional<std::array<double, 4>> NibCoder::decodeQuad(std::string_view key) const {
  const auto* value = find(key);
  if (!value || !value->is_array() || value->size() != 4) return std::nullopt;
  std::array<double, 4> quad{};
  for (std::size_t i = 0; i < 4; ++i) {
    const auto& item = (*value)[i];
    if (!item.is_number()) return std::nullopt;
    quad[i] = item.get<double>();
    if (!std::isfinite(quad[i])) return std::nullopt;
  }
  return quad;
}

std::optional<Rect> NibCoder::decodeRect(std::string_view key) const {
  auto quad = decodeQuad(key);
  if (!quad) return std::nullopt;
  return Rect{(*quad)[0], (*quad)[1], (*quad)[2], (*quad)[3]};
}

std::optional<Color> NibCoder::decodeColor(std::string_view key) const {
  auto quad = decodeQuad(key);
  if (!quad) return std::nullopt;
  return Color{(*quad)[0], (*quad)[1], (*quad)[2], (*quad)[3]};
}

}  // namespace platform
