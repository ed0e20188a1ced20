#include "Platform/Device/Device.h"

#include <openssl/evp.h>
#include <sys/utsname.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string_view>

#include "Platform/Foundation/Bundle.h"

namespace platform {
namespace {

std::string firstLineOf(const char* path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line;
}

std::string machineID() {
  for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    if (auto id = firstLineOf(path); !id.empty()) return id;
  }
  return {};
}

std::string vendorOf(std::string_view bundleIdentifier) {
  const auto dot = bundleIdentifier.rfind('.');
  return std::string(dot == std::string_view::npos ? bundleIdentifier
                                                   : bundleIdentifier.substr(0, dot));
}

// A name-based UUID (version 5 layout, SHA-256 in place of SHA-1): the same inputs give the
// same identifier, and the machine id itself cannot be read back from it.
std::string nameBasedUUID(std::string_view name) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  EVP_Digest(name.data(), name.size(), digest.data(), &length, EVP_sha256(), nullptr);
  digest[6] = static_cast<unsigned char>((digest[6] & 0x0f) | 0x50);
  digest[8] = static_cast<unsigned char>((digest[8] & 0x3f) | 0x80);
  std::array<char, 37> text{};
  std::snprintf(text.data(), text.size(),
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", digest[0],
                digest[1], digest[2], digest[3], digest[4], digest[5], digest[6], digest[7],
                digest[8], digest[9], digest[10], digest[11], digest[12], digest[13], digest[14],
                digest[15]);
  return text.data();
}

const utsname& systemInfo() {
  static const utsname info = [] {
    utsname value{};
    ::uname(&value);
    return value;
  }();
  return info;
}

}  // namespace

const std::optional<std::string>& Device::identifierForVendor() {
  static const std::optional<std::string> identifier = []() -> std::optional<std::string> {
    const auto machine = machineID();
    if (machine.empty()) return std::nullopt;
    return nameBasedUUID(machine + "\n" + vendorOf(Bundle::main()->bundleIdentifier()));
  }();
  return identifier;
}

const std::string& Device::model() {
  static const std::string model = [] {
    auto name = firstLineOf("/sys/devices/virtual/dmi/id/product_name");
    return name.empty() ? std::string(systemInfo().machine) : name;
  }();
  return model;
}

const std::string& Device::systemName() {
  static const std::string name = systemInfo().sysname;
  return name;
}

const std::string& Device::systemVersion() {
  static const std::string version = systemInfo().release;
  return version;
}

const std::optional<std::string>& Device::carrierName() {
  static const std::optional<std::string> none;
  return none;
}

}  // namespace platform
