#pragma once

#include <chrono>
#include <expected>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace platform {

// Replaces whole files so that a crash or a power cut at any moment leaves either the old
// contents or the new ones, never a mix: the new contents go to a temporary file in the
// same folder, reach the disk, are renamed over the file, and the folder is flushed so that
// the rename itself lasts.
class AtomicFile {
 public:
  // Creates missing parent folders. The file ends up readable by its owner only (0600).
  [[nodiscard]] static std::expected<void, std::error_code> write(const std::filesystem::path& path,
                                                                  std::string_view contents);

  // Deletes the temporaries that writers killed mid-write left beside `path`, when older
  // than `age` (a younger one may belong to a write still under way in another process).
  static void removeStaleTemporaries(const std::filesystem::path& path,
                                     std::chrono::seconds age = std::chrono::minutes(10));

  // What a temporary's name adds to the file's name, before six random characters.
  static constexpr std::string_view kTemporaryInfix = ".tmp-";
};

}  // namespace platform
