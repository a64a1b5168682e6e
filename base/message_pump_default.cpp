#include "base/message_pump.h"

#include "base/clock.h"

namespace base {

namespace {
constexpr int64_t kMaxWaitMilliseconds = 0xFFFFFFFE;
}  // namespace

DefaultMessagePump::DefaultMessagePump() : wake_event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

DefaultMessagePump::~DefaultMessagePump() {
  if (wake_event_) CloseHandle(wake_event_);
}

void DefaultMessagePump::Run(Delegate* delegate) {
  for (;;) {
    bool more = delegate->RunImmediateWork();
    if (should_quit_) break;
    more |= delegate->RunDelayedWork(&delayed_work_time_);
    if (should_quit_) break;
    if (more) continue;

    more = delegate->RunIdleWork();
    if (should_quit_) break;
    if (more) continue;

    if (delayed_work_time_ == 0) {
      WaitForSingleObject(wake_event_, INFINITE);
    } else {
      int64_t left = delayed_work_time_ - NowMicroseconds();
      if (left > 0) {
        // Rounded up, so the wait never ends before the task is due; kept below INFINITE.
        int64_t milliseconds = (left + 999) / 1000;
        if (milliseconds > kMaxWaitMilliseconds) milliseconds = kMaxWaitMilliseconds;
        WaitForSingleObject(wake_event_, static_cast<DWORD>(milliseconds));
      } else {
        delayed_work_time_ = 0;
      }
    }
  }
  should_quit_ = false;
}

void DefaultMessagePump::Quit() {
  should_quit_ = true;
}

void DefaultMessagePump::WakeForWork() {
  SetEvent(wake_event_);
}

void DefaultMessagePump::WakeForDelayedWork(const int64_t& run_time) {
  delayed_work_time_ = run_time;
}

}  // namespace base
