#include "Platform/Foundation/UserDefaults.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <utility>

#include <nlohmann/json.hpp>

#include "Platform/Foundation/AtomicFile.h"
#include "Platform/Foundation/Base64.h"
#include "Platform/Foundation/Bundle.h"

namespace platform {
namespace {

using json = nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

// JSON numbers cannot hold infinities or NaN, so those are written as a tagged word.
constexpr std::array<std::pair<std::string_view, double>, 3> kSpecialNumbers{{
    {"inf", std::numeric_limits<double>::infinity()},
    {"-inf", -std::numeric_limits<double>::infinity()},
    {"nan", std::numeric_limits<double>::quiet_NaN()},
}};

json encodeValue(const auto& value) {
  using T = std::decay_t<decltype(value)>;
  if constexpr (std::is_same_v<T, Bytes>) {
    return json{{"data", encodeBase64(value)}};
  } else if constexpr (std::is_same_v<T, double>) {
    if (std::isfinite(value)) return value;
    if (std::isnan(value)) return json{{"number", "nan"}};
    return json{{"number", value > 0 ? "inf" : "-inf"}};
  } else {
    return value;
  }
}

template <typename Value>
std::optional<Value> decodeValue(const json& entry) {
  if (entry.is_string()) return Value(entry.get<std::string>());
  if (entry.is_number()) return Value(entry.get<double>());
  if (!entry.is_object() || entry.size() != 1) return std::nullopt;
  const auto& tag = entry.begin().key();
  const auto& payload = entry.begin().value();
  if (!payload.is_string()) return std::nullopt;
  const auto& text = payload.get_ref<const std::string&>();
  if (tag == "data") {
    auto bytes = decodeBase64(text);
    return bytes ? std::optional<Value>(Value(std::move(*bytes))) : std::nullopt;
  }
  if (tag == "number") {
    for (const auto& [word, number] : kSpecialNumbers) {
      if (text == word) return Value(number);
    }
  }
  return std::nullopt;
}

// Only what dump() accepts can be stored: it refuses text that is not UTF-8.
bool isStorableText(const std::string& text) {
  try {
    (void)json(text).dump();
    return true;
  } catch (const json::exception&) {
    return false;
  }
}

// A bundle identifier becomes one folder name, whatever it holds.
std::string folderName(std::string identifier) {
  for (auto& c : identifier) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (identifier.empty() || identifier == "." || identifier == "..") return "application";
  return identifier;
}

std::filesystem::path homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  passwd entry{};
  passwd* found = nullptr;
  std::array<char, 4096> buffer{};
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return std::filesystem::temp_directory_path();
}

struct Instances {
  std::mutex mutex;
  std::map<std::filesystem::path, std::weak_ptr<UserDefaults>> byPath;
};

Instances& instances() {
  static Instances table;
  return table;
}

}  // namespace

UserDefaults::UserDefaults(std::filesystem::path file) : path_(std::move(file)) {
}

const std::shared_ptr<UserDefaults>& UserDefaults::standard() {
  static const std::shared_ptr<UserDefaults> defaults = make(standardPath());
  return defaults;
}

std::shared_ptr<UserDefaults> UserDefaults::make(std::filesystem::path file) {
  std::error_code ec;
  auto absolute = std::filesystem::absolute(file, ec);
  auto key = (ec ? file : absolute).lexically_normal();
  auto& table = instances();
  std::lock_guard lock(table.mutex);
  if (auto existing = table.byPath[key].lock()) return existing;
  std::erase_if(table.byPath, [](const auto& entry) { return entry.second.expired(); });
  std::shared_ptr<UserDefaults> defaults(new UserDefaults(std::move(file)));
  table.byPath[key] = defaults;
  return defaults;
}

std::filesystem::path UserDefaults::standardPath() {
  if (const char* path = std::getenv("BRELUM_USER_DEFAULTS_PATH");
      path != nullptr && *path != '\0') {
    return path;
  }
  std::filesystem::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME");
      xdg != nullptr && std::filesystem::path(xdg).is_absolute()) {
    config = xdg;
  } else {
    config = homeFolder() / ".config";
  }
  return config / folderName(Bundle::main()->bundleIdentifier()) / "UserDefaults.json";
}

UserDefaults::Values& UserDefaults::values() const {
  if (values_) return *values_;
  values_.emplace();
  AtomicFile::removeStaleTemporaries(path_);

  std::error_code ec;
  if (!std::filesystem::is_regular_file(path_, ec)) return *values_;
  std::ifstream in(path_, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  auto document = json::parse(text, nullptr, false);
  if (!document.is_object()) return *values_;
  Values loaded;
  for (const auto& [key, entry] : document.items()) {
    auto value = decodeValue<Value>(entry);
    if (!value) return *values_;  // not a store written here: start afresh
    loaded.emplace(key, std::move(*value));
  }
  *values_ = std::move(loaded);
  return *values_;
}

template <typename T>
std::optional<T> UserDefaults::valueForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  const auto& all = values();
  auto entry = all.find(key);
  if (entry == all.end()) return std::nullopt;
  if (const auto* value = std::get_if<T>(&entry->second)) return *value;
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> UserDefaults::dataForKey(const std::string& key) const {
  return valueForKey<Bytes>(key);
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
  return valueForKey<std::string>(key);
}

std::optional<double> UserDefaults::doubleForKey(const std::string& key) const {
  return valueForKey<double>(key);
}

std::expected<void, UserDefaultsError> UserDefaults::setData(const std::string& key,
                                                             std::vector<std::uint8_t> value) {
  return change(key, Value(std::move(value)));
}

std::expected<void, UserDefaultsError> UserDefaults::setString(const std::string& key,
                                                               std::string value) {
  if (!isStorableText(value)) return std::unexpected(UserDefaultsError::invalidText);
  return change(key, Value(std::move(value)));
}

std::expected<void, UserDefaultsError> UserDefaults::setDouble(const std::string& key,
                                                               double value) {
  return change(key, Value(value));
}

std::expected<void, UserDefaultsError> UserDefaults::removeObject(const std::string& key) {
  return change(key, std::nullopt);
}

std::expected<void, UserDefaultsError> UserDefaults::change(const std::string& key,
                                                            std::optional<Value> value) {
  if (!isStorableText(key)) {
    return value ? std::unexpected(UserDefaultsError::invalidText)
                 : std::expected<void, UserDefaultsError>();  // such a key is never stored
  }
  // The lock is held across the write so that the file's order of changes is the memory's.
  std::lock_guard lock(mutex_);
  auto& all = values();
  if (value) {
    all.insert_or_assign(key, std::move(*value));
  } else if (all.erase(key) == 0) {
    return {};
  }
  json document = json::object();
  for (const auto& [name, stored] : all) {
    document[name] = std::visit([](const auto& v) { return encodeValue(v); }, stored);
  }
  if (!AtomicFile::write(path_, document.dump(1, '\t'))) {
    return std::unexpected(UserDefaultsError::writeFailed);
  }
  return {};
}

}  // namespace platform
