#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "Platform/Foundation/Bundle.h"

namespace testsupport {

// A folder bundle in a fresh temporary folder (a would-be executable "host" with a
// Resources folder beside it), removed with the object: the bundle a host makes of its own
// files.
class TemporaryBundle {
 public:
  TemporaryBundle();
  ~TemporaryBundle();
  TemporaryBundle(const TemporaryBundle&) = delete;
  TemporaryBundle& operator=(const TemporaryBundle&) = delete;

  // Writes the resource `fileName` ("Card.nib") with `contents`.
  void write(std::string_view fileName, std::string_view contents) const;

  [[nodiscard]] const std::shared_ptr<platform::Bundle>& bundle() const noexcept { return bundle_; }

 private:
  std::filesystem::path folder_;
  std::shared_ptr<platform::Bundle> bundle_;
};

}  // namespace testsupport
