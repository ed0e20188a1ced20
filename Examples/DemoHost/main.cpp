// The demo host: a small application that drives the framework the way a real host does,
// against the stand-in back end (scripts/demo starts it and routes the framework's servers
// to it).
#include <cstdlib>
#include <string>

#include "Platform/Device/Device.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/UserDefaults.h"

namespace {

void show(const std::string& label, const std::string& value) {
  platform::Console::print(label + ": " + value);
}

}  // namespace

int main() {
  using platform::Bundle;
  using platform::Device;

  platform::Console::print("== Platform");
  show("Bundle identifier", Bundle::main()->bundleIdentifier());
  show("Bundle version", Bundle::main()->infoString("CFBundleShortVersionString").value_or(""));
  show("Device vendor identifier", Device::identifierForVendor().value_or("(none)"));
  show("Device model", Device::model());
  show("Operating system", Device::systemName() + " " + Device::systemVersion());
  show("Carrier", Device::carrierName().value_or("(none)"));
  show("User defaults", platform::UserDefaults::standard()->path().string());
  return EXIT_SUCCESS;
}
