#pragma once

namespace brelum {

// Marks the observable lists, so host code can hold any of them without naming its
// element type.
class DataSourceProtocol {
 public:
  virtual ~DataSourceProtocol() = default;
};

}  // namespace brelum
