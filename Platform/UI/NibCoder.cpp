#include "Platform/UI/NibCoder.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/NibDecodingError.h"

namespace platform {
namespace {

using nlohmann::json;

bool isFiniteNumber(const json& value) {
  return value.is_number() && std::isfinite(value.get<double>());
}

bool isQuad(const json& value) {
  return value.is_array() && value.size() == 4 &&
         std::all_of(value.begin(), value.end(), isFiniteNumber);
}

}  // namespace

NibCoder::NibCoder(nlohmann::json attributes, std::shared_ptr<Bundle> bundle)
    : attributes_(std::move(attributes)), bundle_(bundle ? std::move(bundle) : Bundle::main()) {
}

const json* NibCoder::find(std::string_view key, Fits fits, std::string_view shape) const {
  if (!attributes_.is_object()) return nullptr;
  auto it = attributes_.find(key);
  if (it == attributes_.end()) return nullptr;
  if (!fits(*it)) {
    throw NibDecodingError("\"" + std::string(key) + "\" is not " + std::string(shape));
  }
  return &*it;
}

bool NibCoder::contains(std::string_view key) const {
  return attributes_.is_object() && attributes_.find(key) != attributes_.end();
}

std::optional<bool> NibCoder::decodeBool(std::string_view key) const {
  const auto* value = find(
      key, [](const json& v) { return v.is_boolean(); }, "true or false");
  if (!value) return std::nullopt;
  return value->get<bool>();
}

std::optional<double> NibCoder::decodeDouble(std::string_view key) const {
  const auto* value = find(key, isFiniteNumber, "a number");
  if (!value) return std::nullopt;
  return value->get<double>();
}

std::optional<std::int64_t> NibCoder::decodeInteger(std::string_view key) const {
  const auto* value = find(
      key, [](const json& v) { return v.is_number_integer(); }, "an integer");
  if (!value) return std::nullopt;
  return value->get<std::int64_t>();
}

std::optional<std::string> NibCoder::decodeString(std::string_view key) const {
  const auto* value = find(
      key, [](const json& v) { return v.is_string(); }, "a string");
  if (!value) return std::nullopt;
  return value->get<std::string>();
}

std::optional<std::array<double, 4>> NibCoder::decodeQuad(std::string_view key,
                                                          std::string_view shape) const {
  const auto* value = find(key, isQuad, shape);
  if (!value) return std::nullopt;
  std::array<double, 4> quad{};
  for (std::size_t i = 0; i < quad.size(); ++i) quad[i] = (*value)[i].get<double>();
  return quad;
}

std::optional<Rect> NibCoder::decodeRect(std::string_view key) const {
  auto quad = decodeQuad(key, "a rectangle");
  if (!quad) return std::nullopt;
  return Rect{(*quad)[0], (*quad)[1], (*quad)[2], (*quad)[3]};
}

std::optional<Color> NibCoder::decodeColor(std::string_view key) const {
  auto quad = decodeQuad(key, "a colour");
  if (!quad) return std::nullopt;
  return Color{(*quad)[0], (*quad)[1], (*quad)[2], (*quad)[3]};
}

std::shared_ptr<Image> NibCoder::decodeImage(std::string_view key) const {
  auto name = decodeString(key);
  if (!name || name->empty()) return nullptr;
  auto image = Image::named(*name, *bundle_);
  if (!image) missingImages_.push_back(std::move(*name));
  return image;
}

}  // namespace platform
