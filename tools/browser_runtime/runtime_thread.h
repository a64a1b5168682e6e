#pragma once

// A thread of the runtime's browser process: a Win32 message loop that also runs posted tasks,
// each at its due time, in the order posted.

#include <windows.h>

#include <vector>

#include "browser/cef/cef_runtime_abi.h"

namespace runtime {

class TaskQueue {
 public:
  TaskQueue();
  ~TaskQueue();
  void Push(const cef_runtime_task& task, long long delay_ms);
  // Runs every task that is due; returns the milliseconds until the next one (INFINITE: none).
  DWORD RunDue();
  // Releases every queued task unrun.
  void DropAll();

 private:
  struct Pending {
    ULONGLONG due;
    unsigned long long sequence;
    cef_runtime_task task;
  };
  CRITICAL_SECTION lock_;
  std::vector<Pending> tasks_;
  unsigned long long nextSequence_ = 0;
};

class RuntimeThread {
 public:
  // Runs the tasks of `queue` on a new thread until Stop.
  bool Start(TaskQueue* queue);
  // Ends the loop and waits for the thread (bounded); queued tasks are then dropped by the owner.
  void Stop();
  void Wake();
  DWORD thread_id() const { return threadId_; }

 private:
  static unsigned __stdcall Main(void* self);
  TaskQueue* queue_ = nullptr;
  HANDLE thread_ = nullptr;
  HANDLE started_ = nullptr;
  DWORD threadId_ = 0;
  volatile LONG stop_ = 0;
};

}  // namespace runtime
