#pragma once

#include <optional>
#include <string>

namespace platform {

// Facts about the machine the host runs on, in the roles a phone's device description
// plays. Each is worked out once per process, on first use, and then kept.
class Device {
 public:
  // A UUID text that stays the same for every application of one vendor on this machine
  // and differs between vendors and machines. The vendor is the application bundle
  // identifier without its last component ("com.example" for "com.example.app").
  // Absent when the machine has no identity to derive it from.
  static const std::optional<std::string>& identifierForVendor();

  // The hardware model ("Standard PC (Q35 + ICH9, 2009)", or the machine architecture
  // when the firmware does not name one).
  static const std::string& model();

  // The operating system's name and version ("Linux", "6.1.0-18-amd64").
  static const std::string& systemName();
  static const std::string& systemVersion();

  // The cellular carrier's name; absent, since this platform has no cellular provider.
  static const std::optional<std::string>& carrierName();
};

}  // namespace platform
