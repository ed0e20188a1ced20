#pragma once

#include <cstddef>
#include <exception>
#include <functional>

namespace brelum {

// Why a view could not be loaded from a nib; thrown by the static loadFromXib.
class ViewError : public std::exception {
 public:
  enum class Case { loadFromXIBError };

  [[nodiscard]] static ViewError loadFromXIBError() noexcept {
    return ViewError(Case::loadFromXIBError);
  }

  [[nodiscard]] Case value() const noexcept { return value_; }
  [[nodiscard]] const char* what() const noexcept override { return "ViewError.loadFromXIBError"; }

  friend bool operator==(const ViewError& a, const ViewError& b) noexcept {
    return a.value_ == b.value_;
  }

 private:
  explicit ViewError(Case value) noexcept : value_(value) {}

  Case value_;
};

}  // namespace brelum

template <>
struct std::hash<brelum::ViewError> {
  std::size_t operator()(const brelum::ViewError& error) const noexcept {
    return std::hash<brelum::ViewError::Case>{}(error.value());
  }
};
