// Nib files come from bundles a host may fill from anywhere: reading one must either give
// its objects (with a console line for each image it names that the bundle lacks) or give
// nothing with one console line, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "Platform/Foundation/Console.h"
#include "Platform/UI/Nib.h"
#include "Platform/UI/NibCoder.h"
#include "Platform/UI/NibDecodingError.h"
#include "Platform/UI/NibOwner.h"
#include "Platform/UI/NibRegistry.h"
#include "Platform/UI/View.h"

namespace {

using platform::NibCoder;
using platform::Object;
using platform::View;

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// Takes every outlet, so that a readable nib prints nothing.
class Owner : public View, public platform::NibOwner {
 public:
  bool connectOutlet(std::string_view, const std::shared_ptr<Object>& object) override {
    check(object != nullptr);
    outlets.push_back(object);
    return true;
  }
  std::vector<std::shared_ptr<Object>> outlets;
};

class Plain : public Object {
 public:
  explicit Plain(const NibCoder&) {}
};

class Refusing : public View {
 public:
  explicit Refusing(const NibCoder& coder) : View(coder) {
    if (coder.decodeBool("refuse").value_or(false)) throw platform::NibDecodingError("refused");
  }
};

const bool kRegistered = [] {
  platform::NibRegistry::registerClass<Plain>(nullptr, "Plain");
  platform::NibRegistry::registerClass<Refusing>(nullptr, "Refusing");
  platform::Console::setSink([](std::string_view) {});
  return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  check(kRegistered);
  auto owner = View::make<Owner>(platform::Rect{});
  platform::ConsoleCapture console;
  auto objects =
      platform::Nib::fromData(std::vector<std::uint8_t>(data, data + size)).instantiate(owner);
  const auto lines = console.lines();
  const bool failed = lines.size() == 1 && lines[0].rfind("Nib \"", 0) == 0;
  if (failed) check(objects.empty() && owner->outlets.empty());
  for (const auto& line : lines) check(failed || line.rfind("Nib: no image", 0) == 0);
  for (const auto& object : objects) check(object != nullptr);
  return 0;
}
