#pragma once

// The base library's monotonic clock: milliseconds of timeGetTime, carried past its 32-bit
// roll-over (about every 49.7 days), expressed in microseconds.

#include <windows.h>

#include <cstdint>
#include <functional>

namespace base {

// A millisecond tick counter widened to 64 bits. The tick source is injectable so the
// roll-over can be exercised; the process-wide clock reads timeGetTime.
class RolloverClock {
 public:
  using TickSource = std::function<DWORD()>;

  explicit RolloverClock(TickSource source);
  ~RolloverClock();
  RolloverClock(const RolloverClock&) = delete;
  RolloverClock& operator=(const RolloverClock&) = delete;

  // (roll-over + ticks) * 1000; safe to call from any thread.
  int64_t NowMicroseconds();

 private:
  TickSource source_;
  CRITICAL_SECTION lock_;
  int64_t rollover_ = 0;  // milliseconds, grows by 2^32 at each wrap
  DWORD last_ticks_ = 0;
};

// Microseconds on the process-wide clock (resolution one millisecond).
int64_t NowMicroseconds();

}  // namespace base
