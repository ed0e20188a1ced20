#include "Examples/DemoHost/DemoSnapshot.h"

#include <filesystem>

#include "Platform/Foundation/Console.h"
#include "Platform/UI/Window.h"

namespace demo {

bool snapshot(platform::Window& window, const std::string& name,
              platform::Snapshot::Clock::time_point at) {
  const auto path = std::filesystem::temp_directory_path() / "brelum-demo-snapshots" / name;
  if (auto written = platform::Snapshot::writePNG(window, path, at); !written) {
    platform::Console::print("  Snapshot " + name + ": " + written.error().message());
    return false;
  }
  platform::Console::print("  Snapshot: " + path.string());
  return true;
}

}  // namespace demo
