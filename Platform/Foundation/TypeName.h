#pragma once

#include <string>
#include <typeinfo>

namespace platform {

// The readable name of a C++ type as the compiler's demangler writes it
// ("brelum::PIPContainerController"); the mangled name when it cannot be demangled.
[[nodiscard]] std::string typeName(const std::type_info& type);

template <class T>
[[nodiscard]] std::string typeName() {
  return typeName(typeid(T));
}

}  // namespace platform
