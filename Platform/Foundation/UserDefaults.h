#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace platform {

enum class UserDefaultsError {
  invalidText,  // a key or text value that is not UTF-8; nothing was changed
  writeFailed,  // the store could not be written; the value is kept for this process only
};

// A persistent key-value store of data, text and numbers, kept in one JSON file.
//
// The file is read on first use and rewritten atomically on every change, so a process
// killed at any moment leaves either the previous store or the new one. A file that is not
// a store written here (not JSON, other shapes or types, bad base64) reads as empty and is
// replaced by the next change. There is one object per file in a process; two processes
// writing the same file do not merge: the last change wins the whole file.
//
// Every member may be called from any thread.
class UserDefaults {
 public:
  // The application's defaults, at standardPath() as it is on first use (so a host that
  // sets the main bundle's dictionary does so before).
  static const std::shared_ptr<UserDefaults>& standard();

  // The defaults kept in `file` (the same object for the same file while it lives).
  static std::shared_ptr<UserDefaults> make(std::filesystem::path file);

  // $BRELUM_USER_DEFAULTS_PATH when set, else
  // $XDG_CONFIG_HOME/<main bundle identifier>/UserDefaults.json, with ~/.config in place of
  // an unset or relative XDG_CONFIG_HOME.
  static std::filesystem::path standardPath();

  // A value of another type answers nothing.
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> dataForKey(const std::string& key) const;
  [[nodiscard]] std::optional<std::string> stringForKey(const std::string& key) const;
  [[nodiscard]] std::optional<double> doubleForKey(const std::string& key) const;

  // Each change is written at once. Callers that only need the value in this process may
  // ignore the result.
  std::expected<void, UserDefaultsError> setData(const std::string& key,
                                                 std::vector<std::uint8_t> value);
  std::expected<void, UserDefaultsError> setString(const std::string& key, std::string value);
  std::expected<void, UserDefaultsError> setDouble(const std::string& key, double value);
  std::expected<void, UserDefaultsError> removeObject(const std::string& key);

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  using Value = std::variant<std::vector<std::uint8_t>, std::string, double>;
  using Values = std::map<std::string, Value>;

  explicit UserDefaults(std::filesystem::path file);

  template <typename T>
  [[nodiscard]] std::optional<T> valueForKey(const std::string& key) const;
  std::expected<void, UserDefaultsError> change(const std::string& key, std::optional<Value> value);
  Values& values() const;  // with mutex_ held

  const std::filesystem::path path_;
  mutable std::mutex mutex_;
  mutable std::optional<Values> values_;  // read on first use
};

}  // namespace platform
