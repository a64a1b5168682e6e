#pragma once

// Small helpers shared by the base library's tests.

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/message_loop.h"

namespace base_test {

// Runs `body` on a thread of its own: its message queue, its current loop and its thread
// slots start empty and vanish with it.
inline void RunOnFreshThread(const std::function<void()>& body) {
  std::thread thread(body);
  thread.join();
}

// Ends the current run of the calling thread's loop at its next idle point.
inline void QuitCurrentLoopWhenIdle() {
  base::MessageLoop* loop = base::MessageLoop::Current();
  if (loop && loop->current_run_frame()) loop->current_run_frame()->quit_requested = true;
}

// Polls `done` every millisecond until it holds or `timeout_ms` pass.
inline bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms = 30000) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(1);
  }
  return true;
}

// A log written from several threads.
class EventLog {
 public:
  void Add(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(entry);
  }
  std::vector<std::string> Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  size_t Count(const std::string& entry) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const auto& e : entries_) n += e == entry ? 1 : 0;
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

// Records its own destruction: captured by a closure, it tells when the closure was
// destroyed.
class DestructionProbe {
 public:
  DestructionProbe(EventLog* log, std::string name) : log_(log), name_(std::move(name)) {}
  DestructionProbe(const DestructionProbe&) = delete;
  ~DestructionProbe() { log_->Add(name_ + " destroyed"); }

 private:
  EventLog* log_;
  std::string name_;
};

}  // namespace base_test
