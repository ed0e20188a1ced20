#pragma once

#include <compare>

namespace platform {

// Seconds, as the phone platform counts intervals between dates.
using TimeInterval = double;

// A point in time, held as seconds since 1970-01-01T00:00:00Z. A plain value: copy it
// freely between threads. Values that are not finite are kept as given; the formatters
// refuse them rather than inventing a date.
class Date {
 public:
  // The reference instant itself (1970-01-01T00:00:00Z).
  constexpr Date() noexcept = default;
  constexpr explicit Date(TimeInterval secondsSince1970) noexcept : seconds_(secondsSince1970) {}

  // The wall-clock time now, to the clock's full resolution (well below a millisecond).
  [[nodiscard]] static Date now() noexcept;

  [[nodiscard]] constexpr TimeInterval timeIntervalSince1970() const noexcept { return seconds_; }
  [[nodiscard]] constexpr TimeInterval timeIntervalSince(Date other) const noexcept {
    return seconds_ - other.seconds_;
  }
  [[nodiscard]] TimeInterval timeIntervalSinceNow() const noexcept {
    return timeIntervalSince(now());
  }
  [[nodiscard]] constexpr Date addingTimeInterval(TimeInterval seconds) const noexcept {
    return Date(seconds_ + seconds);
  }

  friend constexpr bool operator==(const Date&, const Date&) = default;
  friend constexpr std::partial_ordering operator<=>(const Date&, const Date&) = default;

  friend constexpr Date operator+(Date date, TimeInterval seconds) noexcept {
    return date.addingTimeInterval(seconds);
  }
  friend constexpr Date operator-(Date date, TimeInterval seconds) noexcept {
    return date.addingTimeInterval(-seconds);
  }
  friend constexpr TimeInterval operator-(Date a, Date b) noexcept {
    return a.timeIntervalSince(b);
  }
  constexpr Date& operator+=(TimeInterval seconds) noexcept {
    seconds_ += seconds;
    return *this;
  }
  constexpr Date& operator-=(TimeInterval seconds) noexcept {
    seconds_ -= seconds;
    return *this;
  }

 private:
  TimeInterval seconds_ = 0;
};

}  // namespace platform
