#include "Platform/Foundation/Bundle.h"

#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct EmbeddedTable {
  std::mutex mutex;
  // bundle name → file name → bytes
  std::map<std::string, std::map<std::string, std::span<const std::uint8_t>, std::less<>>,
           std::less<>>
      bundles;
};

EmbeddedTable& embeddedTable() {
  static EmbeddedTable table;
  return table;
}

std::optional<std::span<const std::uint8_t>> embeddedResource(std::string_view bundle,
                                                              std::string_view fileName) {
  auto& table = embeddedTable();
  std::lock_guard lock(table.mutex);
  auto files = table.bundles.find(bundle);
  if (files == table.bundles.end()) return std::nullopt;
  auto file = files->second.find(fileName);
  if (file == files->second.end()) return std::nullopt;
  return file->second;
}

std::optional<Bytes> readRegularFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return bytes;
}

// Keeps the text entries of a JSON object; anything else describes nothing.
Bundle::InfoDictionary parseInfoDictionary(std::span<const std::uint8_t> bytes) {
  Bundle::InfoDictionary info;
  auto json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (!json.is_object()) return info;
  for (const auto& [key, value] : json.items()) {
    if (value.is_string()) info.emplace(key, value.get<std::string>());
  }
  return info;
}

// The file a resource lookup names, or none when the name could reach outside the folder.
std::optional<std::string> resourceFileName(std::string_view name, std::string_view type) {
  if (name.empty()) return std::nullopt;
  for (auto part : {name, type}) {
    if (part.find('/') != std::string_view::npos || part.find("..") != std::string_view::npos ||
        part.find('\0') != std::string_view::npos) {
      return std::nullopt;
    }
  }
  std::string file(name);
  if (!type.empty()) file.append(".").append(type);
  if (file == ".") return std::nullopt;
  return file;
}

constexpr std::string_view kInfoFileName = "Info.json";
constexpr std::string_view kIdentifierKey = "CFBundleIdentifier";

}  // namespace

Bundle::Bundle(std::optional<std::filesystem::path> executable, std::string embeddedName)
    : executable_(std::move(executable)), embeddedName_(std::move(embeddedName)) {
}

const std::shared_ptr<Bundle>& Bundle::main() {
  static const std::shared_ptr<Bundle> bundle = [] {
    std::error_code ec;
    auto executable = std::filesystem::read_symlink("/proc/self/exe", ec);
    // Without /proc the bundle has no folder: an empty dictionary and no resources.
    return make(ec ? std::filesystem::path() : executable);
  }();
  return bundle;
}

const std::shared_ptr<Bundle>& Bundle::framework() {
  static const std::shared_ptr<Bundle> bundle = embedded(std::string(kFrameworkBundleName));
  return bundle;
}

std::shared_ptr<Bundle> Bundle::make(std::filesystem::path executable) {
  return std::shared_ptr<Bundle>(new Bundle(std::move(executable), std::string()));
}

std::shared_ptr<Bundle> Bundle::embedded(std::string name) {
  return std::shared_ptr<Bundle>(new Bundle(std::nullopt, std::move(name)));
}

void Bundle::setMainInfoDictionary(InfoDictionary info) {
  const auto& bundle = main();
  std::lock_guard lock(bundle->mutex_);
  bundle->info_ = std::move(info);
}

bool Bundle::registerEmbeddedResource(std::string_view bundle, std::string_view fileName,
                                      std::span<const std::uint8_t> bytes) {
  auto& table = embeddedTable();
  std::lock_guard lock(table.mutex);
  table.bundles[std::string(bundle)].insert_or_assign(std::string(fileName), bytes);
  return true;
}

Bundle::InfoDictionary Bundle::loadInfoDictionary() const {
  if (executable_) {
    if (executable_->empty()) return {};
    auto bytes = readRegularFile(executable_->parent_path() / kInfoFileName);
    return bytes ? parseInfoDictionary(*bytes) : InfoDictionary{};
  }
  auto bytes = embeddedResource(embeddedName_, kInfoFileName);
  return bytes ? parseInfoDictionary(*bytes) : InfoDictionary{};
}

Bundle::InfoDictionary Bundle::infoDictionary() const {
  std::lock_guard lock(mutex_);
  if (!info_) info_ = loadInfoDictionary();
  return *info_;
}

std::optional<std::string> Bundle::infoString(const std::string& key) const {
  std::lock_guard lock(mutex_);
  if (!info_) info_ = loadInfoDictionary();
  auto entry = info_->find(key);
  if (entry == info_->end()) return std::nullopt;
  return entry->second;
}

std::string Bundle::bundleIdentifier() const {
  if (auto identifier = infoString(std::string(kIdentifierKey))) return *identifier;
  if (executable_) return executable_->filename().string();
  return embeddedName_;
}

std::optional<std::filesystem::path> Bundle::bundlePath() const {
  if (!executable_ || executable_->empty()) return std::nullopt;
  return executable_->parent_path();
}

std::optional<std::filesystem::path> Bundle::pathForResource(std::string_view name,
                                                             std::string_view type) const {
  auto folder = bundlePath();
  auto file = resourceFileName(name, type);
  if (!folder || !file) return std::nullopt;
  auto path = *folder / "Resources" / *file;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  return path;
}

std::optional<std::vector<std::uint8_t>> Bundle::dataForResource(std::string_view name,
                                                                 std::string_view type) const {
  auto file = resourceFileName(name, type);
  if (!file) return std::nullopt;
  if (!executable_) {
    auto bytes = embeddedResource(embeddedName_, *file);
    if (!bytes) return std::nullopt;
    return Bytes(bytes->begin(), bytes->end());
  }
  auto path = pathForResource(name, type);
  return path ? readRegularFile(*path) : std::nullopt;
}

}  // namespace platform
