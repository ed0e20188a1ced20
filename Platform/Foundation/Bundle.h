#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A program's or library's bundle: its information dictionary and its resources.
//
// A folder bundle belongs to an executable: its information dictionary is the JSON object
// in `Info.json` beside the executable (text entries only; a missing or broken file gives
// an empty dictionary) and its resources are the files in the `Resources` folder beside it.
// An embedded bundle's resources are compiled into the binary (brelum_embed_resources in
// cmake/Project.cmake); its dictionary is its embedded `Info.json`, if any.
//
// Every member may be called from any thread.
class Bundle {
 public:
  using InfoDictionary = std::map<std::string, std::string>;

  // The application's bundle: the folder of the running executable (/proc/self/exe).
  static const std::shared_ptr<Bundle>& main();

  // The framework's own bundle, embedded under the name kFrameworkBundleName.
  static const std::shared_ptr<Bundle>& framework();
  static constexpr std::string_view kFrameworkBundleName = "BrelumCoreSDK";

  // The folder bundle of the executable at `executable` (which need not exist).
  static std::shared_ptr<Bundle> make(std::filesystem::path executable);

  // The resources embedded under `name`.
  static std::shared_ptr<Bundle> embedded(std::string name);

  // Replaces the main bundle's information dictionary; a host without an Info.json beside
  // its executable describes itself this way.
  static void setMainInfoDictionary(InfoDictionary info);

  [[nodiscard]] InfoDictionary infoDictionary() const;
  [[nodiscard]] std::optional<std::string> infoString(const std::string& key) const;

  // "CFBundleIdentifier" when present, else the executable's file name (a folder bundle)
  // or the bundle's name (an embedded one).
  [[nodiscard]] std::string bundleIdentifier() const;

  // The folder holding the executable; none for an embedded bundle.
  [[nodiscard]] std::optional<std::filesystem::path> bundlePath() const;

  // The resource file `name` + "." + `type` (just `name` when `type` is empty). A name or
  // type holding "/" or ".." finds nothing, so a lookup never leaves the bundle.
  [[nodiscard]] std::optional<std::filesystem::path> pathForResource(std::string_view name,
                                                                     std::string_view type) const;
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> dataForResource(
      std::string_view name, std::string_view type) const;

  // Called at start-up by the sources brelum_embed_resources generates. `bytes` must stay
  // valid for the life of the program; a second resource of the same name replaces the first.
  static bool registerEmbeddedResource(std::string_view bundle, std::string_view fileName,
                                       std::span<const std::uint8_t> bytes);

 private:
  Bundle(std::optional<std::filesystem::path> executable, std::string embeddedName);

  [[nodiscard]] InfoDictionary loadInfoDictionary() const;

  const std::optional<std::filesystem::path> executable_;
  const std::string embeddedName_;
  mutable std::mutex mutex_;
  mutable std::optional<InfoDictionary> info_;  // read on first use
};

}  // namespace platform
