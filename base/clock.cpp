#include "base/clock.h"

#include <mmsystem.h>

#include <utility>

#include "base/base_util.h"

namespace base {

RolloverClock::RolloverClock(TickSource source) : source_(std::move(source)) {
  InitializeCriticalSectionAndSpinCount(&lock_, 2000);
}

RolloverClock::~RolloverClock() {
  DeleteCriticalSection(&lock_);
}

int64_t RolloverClock::NowMicroseconds() {
  CriticalSectionGuard guard(&lock_);
  DWORD ticks = source_();
  if (ticks < last_ticks_) rollover_ += int64_t{1} << 32;
  last_ticks_ = ticks;
  return (rollover_ + ticks) * 1000;
}

namespace {

RolloverClock& SystemClock() {
  static RolloverClock clock([] { return timeGetTime(); });
  return clock;
}

// Builds the process-wide clock (and its lock) before any thread of ours runs.
RolloverClock& g_system_clock_at_start = SystemClock();

}  // namespace

int64_t NowMicroseconds() {
  return SystemClock().NowMicroseconds();
}

}  // namespace base
