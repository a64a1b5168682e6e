#pragma once

// A time span in microseconds: the unit of every delay the message loops accept.

#include <cstdint>

namespace base {

class TimeDelta {
 public:
  constexpr TimeDelta() = default;
  constexpr explicit TimeDelta(int64_t microseconds) : microseconds_(microseconds) {}

  static constexpr TimeDelta FromMicroseconds(int64_t microseconds) { return TimeDelta(microseconds); }
  static constexpr TimeDelta FromMilliseconds(int64_t milliseconds) { return TimeDelta(milliseconds * 1000); }
  static constexpr TimeDelta FromSeconds(int64_t seconds) { return TimeDelta(seconds * 1000 * 1000); }

  constexpr int64_t ToMicroseconds() const { return microseconds_; }
  constexpr int64_t ToMilliseconds() const { return microseconds_ / 1000; }

  constexpr bool operator==(TimeDelta other) const { return microseconds_ == other.microseconds_; }
  constexpr bool operator!=(TimeDelta other) const { return microseconds_ != other.microseconds_; }
  constexpr bool operator<(TimeDelta other) const { return microseconds_ < other.microseconds_; }
  constexpr TimeDelta operator+(TimeDelta other) const {
    return TimeDelta(microseconds_ + other.microseconds_);
  }

 private:
  int64_t microseconds_ = 0;
};

}  // namespace base
