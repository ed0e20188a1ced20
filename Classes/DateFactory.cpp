#include "Classes/DateFactory.h"

namespace brelum {

std::shared_ptr<DateFactory> DateFactory::make() {
  return std::make_shared<DateFactory>();
}

platform::Date DateFactory::now() {
  return platform::Date::now();
}

}  // namespace brelum
