#include "Platform/Network/ParameterEncoding.h"

#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

namespace {

using Kind = HTTPSessionError::Kind;

std::unexpected<HTTPSessionError> encodingFailure(std::string description) {
  return std::unexpected(HTTPSessionError{Kind::parameterEncodingFailed, std::move(description)});
}

bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// Only the unreserved bytes stay as they are: "+" would decode as a space and "&", "=" and
// "%" would split or re-escape the pair, so they and everything else become %XX.
std::string percentEncodeFormComponent(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (isUnreserved(c)) {
      encoded += ch;
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 0x0F];
    }
  }
  return encoded;
}

class FormEncoder {
 public:
  bool add(const std::string& key, const nlohmann::json& value) {
    switch (value.type()) {
      case nlohmann::json::value_t::object:
        for (const auto& [name, member] : value.items()) {
          if (!add(key + "[" + name + "]", member)) return false;
        }
        return true;
      case nlohmann::json::value_t::array:
        for (const auto& element : value) {
          if (!add(key + "[]", element)) return false;
        }
        return true;
      case nlohmann::json::value_t::boolean:
        return append(key, value.get<bool>() ? "1" : "0");
      case nlohmann::json::value_t::number_float:
        if (!std::isfinite(value.get<double>())) {
          failure_ = "the parameter \"" + key + "\" is not a finite number";
          return false;
        }
        return append(key, value.dump());
      case nlohmann::json::value_t::number_integer:
      case nlohmann::json::value_t::number_unsigned:
        return append(key, value.dump());
      case nlohmann::json::value_t::string:
        return append(key, value.get_ref<const std::string&>());
      case nlohmann::json::value_t::null:
        return append(key, "");
      case nlohmann::json::value_t::binary:
      case nlohmann::json::value_t::discarded:
        break;
    }
    failure_ = "the parameter \"" + key + "\" has no form encoding";
    return false;
  }

  std::string text() && { return std::move(text_); }
  const std::string& failure() const { return failure_; }

 private:
  bool append(const std::string& key, std::string_view value) {
    if (!text_.empty()) text_ += '&';
    text_ += percentEncodeFormComponent(key);
    text_ += '=';
    text_ += percentEncodeFormComponent(value);
    return true;
  }

  std::string text_;
  std::string failure_;
};

bool hasNonFiniteNumber(const nlohmann::json& value) {
  if (value.is_number_float()) return !std::isfinite(value.get<double>());
  if (value.is_structured()) {
    for (const auto& element : value) {
      if (hasNonFiniteNumber(element)) return true;
    }
  }
  return false;
}

bool encodesIntoQuery(HTTPMethod method) {
  return method == HTTPMethod::get || method == HTTPMethod::head || method == HTTPMethod::delete_;
}

// Inserts `query` into the URL's query, before any fragment.
void appendQuery(std::string& url, std::string_view query) {
  const auto fragment = url.find('#');
  const auto questionMark = url.find('?');
  const bool hasQuery = questionMark != std::string::npos && questionMark < fragment;
  const auto insertAt = fragment == std::string::npos ? url.size() : fragment;
  std::string piece;
  if (!hasQuery) {
    piece = "?";
  } else if (insertAt > questionMark + 1) {
    piece = "&";
  }
  piece += query;
  url.insert(insertAt, piece);
}

std::vector<std::uint8_t> bytesOf(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace

std::expected<std::string, HTTPSessionError> formURLEncoded(const nlohmann::json& parameters) {
  if (!parameters.is_object()) return encodingFailure("form parameters must be a JSON object");
  FormEncoder encoder;
  for (const auto& [name, value] : parameters.items()) {
    if (!encoder.add(name, value)) return encodingFailure(encoder.failure());
  }
  return std::move(encoder).text();
}

std::expected<void, HTTPSessionError> encodeParameters(URLRequest& request,
                                                       const nlohmann::json& parameters,
                                                       ParameterEncoding encoding) {
  if (parameters.is_null()) return {};
  if (!parameters.is_object()) return encodingFailure("parameters must be a JSON object");

  if (encoding == ParameterEncoding::json) {
    if (hasNonFiniteNumber(parameters)) {
      return encodingFailure("JSON parameters cannot hold a number that is not finite");
    }
    std::string body;
    try {
      body = parameters.dump();
    } catch (const nlohmann::json::exception& error) {
      // Text that is not UTF-8 has no JSON form.
      return encodingFailure(std::string("JSON parameters: ") + error.what());
    }
    if (!headerValue(request.headers, "Content-Type")) {
      request.headers.emplace_back("Content-Type", "application/json");
    }
    request.body = bytesOf(body);
    return {};
  }

  auto query = formURLEncoded(parameters);
  if (!query) return std::unexpected(std::move(query.error()));
  if (encodesIntoQuery(request.method)) {
    if (!query->empty()) appendQuery(request.url, *query);
    return {};
  }
  if (!headerValue(request.headers, "Content-Type")) {
    request.headers.emplace_back("Content-Type",
                                 "application/x-www-form-urlencoded; charset=utf-8");
  }
  request.body = bytesOf(*query);
  return {};
}

}  // namespace platform
