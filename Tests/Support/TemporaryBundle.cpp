#include "Tests/Support/TemporaryBundle.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>
#include <string>

namespace testsupport {

namespace fs = std::filesystem;

TemporaryBundle::TemporaryBundle() {
  std::string pattern = (fs::temp_directory_path() / "bundle-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;
  fs::create_directories(folder_ / "Resources");
  bundle_ = platform::Bundle::make(folder_ / "host");
}

TemporaryBundle::~TemporaryBundle() {
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

void TemporaryBundle::write(std::string_view fileName, std::string_view contents) const {
  std::ofstream(folder_ / "Resources" / fileName, std::ios::binary) << contents;
}

}  // namespace testsupport
