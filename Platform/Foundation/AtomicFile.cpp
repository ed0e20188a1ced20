#include "Platform/Foundation/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace platform {
namespace {

std::error_code lastError() {
  return {errno, std::system_category()};
}

std::filesystem::path folderOf(const std::filesystem::path& path) {
  auto folder = path.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

bool writeAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    auto written = ::write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

std::expected<void, std::error_code> AtomicFile::write(const std::filesystem::path& path,
                                                       std::string_view contents) {
  const auto folder = folderOf(path);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return std::unexpected(ec);

  std::string temporary =
      (folder / (path.filename().string() + std::string(kTemporaryInfix) + "XXXXXX")).string();
  int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return std::unexpected(lastError());

  auto fail = [&](bool open) {
    auto error = lastError();
    if (open) ::close(fd);
    ::unlink(temporary.c_str());
    return std::unexpected(error);
  };
  if (!writeAll(fd, contents) || ::fsync(fd) != 0) return fail(true);
  // close is not retried on EINTR: on Linux the descriptor is gone either way.
  if (::close(fd) != 0) return fail(false);
  if (::rename(temporary.c_str(), path.c_str()) != 0) return fail(false);

  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return std::unexpected(lastError());
  const bool synced = ::fsync(dir) == 0;
  auto error = lastError();
  ::close(dir);
  if (!synced) return std::unexpected(error);
  return {};
}

void AtomicFile::removeStaleTemporaries(const std::filesystem::path& path,
                                        std::chrono::seconds age) {
  const auto prefix = path.filename().string() + std::string(kTemporaryInfix);
  const auto cutoff = std::filesystem::file_time_type::clock::now() - age;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folderOf(path), ec), end; !ec && it != end;
       it.increment(ec)) {
    const auto name = it->path().filename().string();
    if (!name.starts_with(prefix) || name.size() != prefix.size() + 6) continue;
    std::error_code entryError;
    if (!it->is_regular_file(entryError)) continue;
    auto modified = it->last_write_time(entryError);
    if (!entryError && modified < cutoff) std::filesystem::remove(it->path(), entryError);
  }
}

}  // namespace platform
