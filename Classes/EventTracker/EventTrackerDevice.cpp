#include "Classes/EventTracker/EventTrackerDevice.h"

#include <exception>

#include <nlohmann/json.hpp>

#include "Classes/Utils/Reachability.h"
#include "Platform/Device/Device.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/Bundle.h"

namespace brelum {

nlohmann::json EventTrackerDevice::dictionary() const {
  return nlohmann::json{{"id", id},         {"model", model},       {"data_network", data_network},
                        {"os_ver", os_ver}, {"platform", platform}, {"is_wifi", is_wifi}};
}

const EventTrackerDevice& EventTrackerDevice::current() {
  static const EventTrackerDevice device = [] {
    EventTrackerDevice d;
    d.id = deviceID();
    d.model = deviceModel();
    d.data_network = providerName();
    d.os_ver = iOSVersion();
    d.platform = "iOS";
    d.is_wifi = isUingWifi();
    return d;
  }();
  return device;
}

const std::string& EventTrackerDevice::applicationVersion() {
  static const std::string version =
      platform::Bundle::main()->infoString("CFBundleShortVersionString").value_or("");
  return version;
}

const std::string& EventTrackerDevice::deviceID() {
  static const std::string id = platform::Device::identifierForVendor().value_or("");
  return id;
}

const std::string& EventTrackerDevice::deviceModel() {
  static const std::string model = platform::Device::model();
  return model;
}

const std::string& EventTrackerDevice::providerName() {
  static const std::string name = platform::Device::carrierName().value_or("");
  return name;
}

const std::string& EventTrackerDevice::iOSVersion() {
  static const std::string version = platform::Device::systemVersion();
  return version;
}

bool EventTrackerDevice::isUingWifi() {
  try {
    // The notifier is never started; the monitor answers from one read of the flags and
    // is released at once.
    const auto reachability = Reachability::make(platform::DispatchQoS::defaultQoS, nullptr,
                                                 platform::DispatchQueue::main());
    return reachability->connection() == Reachability::Connection::wifi;
  } catch (const std::exception&) {
    // No monitor: report "not on Wi-Fi" and keep the rest of the description.
    return false;
  }
}

}  // namespace brelum
