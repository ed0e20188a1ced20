// A host of the installed framework: one include, one package. It verifies the app against
// the configuration server and waits for the logo, which takes HTTPS, JSON, image decoding,
// notifications and the main loop, all from the installed libraries. The servers are reached
// as the demo reaches them (BRELUM_CONNECT_TO, BRELUM_EXTRA_CA_FILE).
#include <chrono>
#include <cstdlib>
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
  return EXIT_SUCCESS;
}
