// The demo host: a small application that drives the framework the way a real host does,
// against the stand-in back end (scripts/demo starts it and routes the framework's servers
// to it through BRELUM_CONNECT_TO and BRELUM_EXTRA_CA_FILE).
#include <any>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Classes/BrelumCore.h"
#include "Examples/DemoHost/DemoEvents.h"
#include "Examples/DemoHost/DemoInterface.h"
#include "Examples/DemoHost/DemoSocket.h"
#include "Platform/Device/Device.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/UserDefaults.h"

namespace {

using namespace std::chrono_literals;
using platform::Console;

constexpr auto kStepTimeout = 20s;

void show(const std::string& label, const std::string& value) {
  Console::print("  " + label + ": " + value);
}

std::string describe(const std::shared_ptr<platform::Image>& image) {
  return image ? std::to_string(image->width()) + "x" + std::to_string(image->height()) + " image"
               : "no image";
}

void showPlatform() {
  using platform::Bundle;
  using platform::Device;
  Console::print("== Platform");
  show("Bundle identifier", Bundle::main()->bundleIdentifier());
  show("Bundle version", Bundle::main()->infoString("CFBundleShortVersionString").value_or(""));
  show("Device vendor identifier", Device::identifierForVendor().value_or("(none)"));
  show("Device model", Device::model());
  show("Operating system", Device::systemName() + " " + Device::systemVersion());
  show("Carrier", Device::carrierName().value_or("(none)"));
  show("User defaults", platform::UserDefaults::standard()->path().string());
}

// Runs the main loop until `done` holds; answers false (and says so) at the time-out.
bool waitFor(const std::string& what, const std::function<bool()>& done) {
  if (platform::MainLoop::runUntil(done, kStepTimeout)) return true;
  Console::print("  " + what + ": no answer within 20 s");
  return false;
}

// Every logo notification, as the host sees it.
class LogoWatcher {
 public:
  LogoWatcher() {
    token_ = platform::NotificationCenter::defaultCenter()->addObserver(
        brelum::BrelumCoreAppLogoNotification(), nullptr, nullptr,
        [this](const platform::Notification& note) {
          ++count_;
          const auto image = note.userInfo.find("image");
          show("Logo notification",
               image == note.userInfo.end()
                   ? "no image"
                   : describe(std::any_cast<std::shared_ptr<platform::Image>>(image->second)));
        });
  }
  ~LogoWatcher() { platform::NotificationCenter::defaultCenter()->removeObserver(token_); }
  LogoWatcher(const LogoWatcher&) = delete;
  LogoWatcher& operator=(const LogoWatcher&) = delete;

  [[nodiscard]] int count() const { return count_; }

 private:
  platform::NotificationCenter::ObserverToken token_;
  int count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  // --headless plays the interface act's scripted form even where a display is available.
  bool headless = false;
  for (int i = 1; i < argc; ++i) headless = headless || std::string_view(argv[i]) == "--headless";
  showPlatform();

  Console::print("== Start-up");
  // Registered before the facade exists, so the notification of a cached logo arrives too.
  LogoWatcher logo;
  auto user =
      brelum::UserSettings::make("user-42", "Ada Lovelace", "EUR", "ada@example.com", std::nullopt,
                                 std::nullopt, brelum::UserSettings::Gender::female);
  auto core = brelum::BrelumCore::make("demo-app", "demo-secret", "1.0.0", user, true);
  show("Cached logo", logo.count() > 0 ? describe(core->appLogo()) + " from an earlier run"
                                       : "none yet (run the demo again to see it)");

  Console::print("== Verification");
  std::optional<bool> verified;
  const int logosBefore = logo.count();
  core->validate([&](bool ok) { verified = ok; });
  if (!waitFor("Verification", [&] { return verified.has_value(); })) return EXIT_FAILURE;
  show("Verified", *verified ? "yes" : "no");
  if (!*verified) return EXIT_FAILURE;
  Console::print("== Screen resources and logo");
  if (!waitFor("Logo", [&] { return logo.count() > logosBefore; })) return EXIT_FAILURE;
  show("Logo held by the facade", describe(core->appLogo()));
  show("Logo cached for the next run",
       platform::UserDefaults::standard()->dataForKey(brelum::BrelumCoreAppLogoNotification())
           ? "yes"
           : "no");

  Console::print("== Socket");
  if (!demo::showSocket(core)) return EXIT_FAILURE;

  Console::print("== Login");
  std::optional<bool> loggedIn;
  core->login(user, [&](bool ok) { loggedIn = ok; });
  if (!waitFor("Login", [&] { return loggedIn.has_value(); })) return EXIT_FAILURE;
  show("Logged in", *loggedIn ? "yes" : "no");
  if (!*loggedIn) return EXIT_FAILURE;
  show("API endpoint", core->apiManager()->baseURL.absoluteString());

  Console::print("== Settings");
  if (!waitFor("Settings", [&] { return core->sharingMessage().has_value(); })) {
    return EXIT_FAILURE;
  }
  show("Sharing message", *core->sharingMessage());

  if (!demo::sendDemoEvents(core)) return EXIT_FAILURE;

  Console::print("== Interface");
  if (!demo::showInterface(headless)) return EXIT_FAILURE;
  return EXIT_SUCCESS;
}
