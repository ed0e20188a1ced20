#pragma once

#include <string>

#include <nlohmann/json_fwd.hpp>

namespace brelum {

// The device as events report it (EventTracker::Data::Device). A plain value; the field
// names are also the keys.
struct EventTrackerDevice {
  std::string id;            // vendor identifier, or ""
  std::string model;         // hardware model text
  std::string data_network;  // cellular carrier's name, or ""
  std::string os_ver;        // operating system version text
  std::string platform;      // "iOS" in every record the framework makes: receivers group by it
  bool is_wifi = false;      // whether the device was on Wi-Fi when `current` was worked out

  // Six entries: five strings and the boolean "is_wifi".
  [[nodiscard]] nlohmann::json dictionary() const;

  // This device, worked out once per process on first use and then kept: later network
  // changes do not show in it. Safe to call first from several threads at once.
  [[nodiscard]] static const EventTrackerDevice& current();

  // The host app's short version text ("CFBundleShortVersionString" of the main bundle), or
  // "" when it has none; read once per process.
  [[nodiscard]] static const std::string& applicationVersion();

  // The facts `current` is made of, each read once per process.
  [[nodiscard]] static const std::string& deviceID();
  [[nodiscard]] static const std::string& deviceModel();
  [[nodiscard]] static const std::string& providerName();
  [[nodiscard]] static const std::string& iOSVersion();
  // Asks a new reachability monitor on every call (false when none can be made). Spelt
  // `isUingWifi` as the name callers know it.
  [[nodiscard]] static bool isUingWifi();

  friend bool operator==(const EventTrackerDevice&, const EventTrackerDevice&) = default;
};

}  // namespace brelum
