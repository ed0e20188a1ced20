// A host of the installed framework: one include, one package. It verifies the app against
// the configuration server and waits for the logo, which takes HTTPS, JSON, image decoding,
// notifications and the main loop, then floats a controller in picture-in-picture, whose close
// glyph is a resource embedded in the installed library; all from the installed libraries and
// headers. The servers are reached as the demo reaches them (BRELUM_CONNECT_TO,
// BRELUM_EXTRA_CA_FILE).
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "Classes/BrelumCoreSDK.h"

namespace {

using namespace std::chrono_literals;
using platform::Console;

constexpr auto kStepTimeout = 20s;

int fail(const std::string& why) {
  Console::print("installed host: " + why);
  return EXIT_FAILURE;
}

int showPictureInPicture() {
  auto window = platform::Window::make({0, 0, 375, 667});
  window->makeKeyAndVisible();
  auto container = platform::ViewController::make<brelum::PIPContainerController>();
  bool shown = false;
  brelum::PIPManager::show(container, [&] { shown = true; });
  if (!platform::MainLoop::runUntil([&] { return shown; }, kStepTimeout)) {
    return fail("picture-in-picture not shown");
  }
  const auto close = std::dynamic_pointer_cast<platform::Button>(
      container->view()->viewWithTag(brelum::PIPManager::closeButtonTag));
  const auto glyph = close ? close->image(platform::ControlState::normal) : nullptr;
  if (!glyph) return fail("no close glyph in picture-in-picture");
  Console::print("picture-in-picture shown; close glyph " + std::to_string(glyph->width()) + "x" +
                 std::to_string(glyph->height()));

  bool dismissed = false;
  brelum::PIPManager::dismiss(false, [&] { dismissed = true; });
  if (!platform::MainLoop::runUntil([&] { return dismissed; }, kStepTimeout)) {
    return fail("picture-in-picture not dismissed");
  }
  return EXIT_SUCCESS;
}

}  // namespace

int main() {
  Console::print("BrelumCoreSDK " + std::string(brelum::BrelumCoreSDKVersionString));
  if (brelum::BrelumCoreSDKVersionNumber < 1.0) return fail("unexpected version number");

  auto user = brelum::UserSettings::make("user-1", "Ada", "EUR", "ada@example.com", std::nullopt,
                                         std::nullopt, brelum::UserSettings::Gender::female);
  auto core = brelum::BrelumCore::make("demo-app", "demo-secret", "1.0.0", user, true);

  std::optional<bool> verified;
  core->validate([&](bool ok) { verified = ok; });
  if (!platform::MainLoop::runUntil([&] { return verified.has_value(); }, kStepTimeout)) {
    return fail("no answer to the verification");
  }
  if (!*verified) return fail("not verified");
  if (!platform::MainLoop::runUntil([&] { return core->appLogo() != nullptr; }, kStepTimeout)) {
    return fail("no logo");
  }
  Console::print("verified; logo " + std::to_string(core->appLogo()->width()) + "x" +
                 std::to_string(core->appLogo()->height()));
  return showPictureInPicture();
}
