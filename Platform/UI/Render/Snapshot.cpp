#include "Platform/UI/Render/Snapshot.h"

#include <string_view>

#include "Platform/Foundation/AtomicFile.h"
#include "Platform/UI/Render/Renderer.h"

namespace platform {

std::shared_ptr<Image> Snapshot::image(Window& window, Clock::time_point at) {
  Renderer renderer;
  renderer.render(window, at);
  return renderer.image();
}

std::optional<std::vector<std::uint8_t>> Snapshot::pngData(Window& window, Clock::time_point at) {
  auto picture = image(window, at);
  if (!picture) return std::nullopt;
  return picture->pngData();
}

std::expected<void, std::error_code> Snapshot::writePNG(Window& window,
                                                        const std::filesystem::path& path,
                                                        Clock::time_point at) {
  auto png = pngData(window, at);
  if (!png) return std::unexpected(std::make_error_code(std::errc::invalid_argument));
  return AtomicFile::write(
      path, std::string_view(reinterpret_cast<const char*>(png->data()), png->size()));
}

}  // namespace platform
