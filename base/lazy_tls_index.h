#pragma once

// A process-wide thread-local-storage index allocated on first use and never freed.

#include <windows.h>

#include <atomic>

namespace base {

class LazyTlsIndex {
 public:
  constexpr LazyTlsIndex() = default;

  // The first caller allocates the index; concurrent first callers yield until it is ready.
  DWORD Get() {
    if (state_.load(std::memory_order_acquire) == kReady) return index_;
    int expected = kNone;
    if (state_.compare_exchange_strong(expected, kCreating, std::memory_order_acq_rel)) {
      index_ = TlsAlloc();
      state_.store(kReady, std::memory_order_release);
      return index_;
    }
    while (state_.load(std::memory_order_acquire) != kReady) Sleep(0);
    return index_;
  }

 private:
  enum { kNone = 0, kCreating = 1, kReady = 2 };
  std::atomic<int> state_{kNone};
  DWORD index_ = TLS_OUT_OF_INDEXES;
};

}  // namespace base
