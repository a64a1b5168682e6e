#pragma once

// OS threads and framework threads: a framework thread builds a message loop of a chosen
// kind, runs it until asked to stop, and runs its start and exit hooks on the thread itself.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/base_util.h"
#include "base/message_loop.h"
#include "base/weak_callback.h"
#include "base/win_message_pump.h"

namespace base {

// Thread priorities; 0 (or less) leaves the system's choice, 5 or more means below normal.
enum ThreadPriority : int32_t {
  kThreadPriorityDefault = 0,
  kThreadPriorityLowest = 1,
  kThreadPriorityBelowNormal = 2,
  kThreadPriorityHighest = 3,
  kThreadPriorityTimeCritical = 4,
};

// The system priority a thread of `priority` runs at; false when the system's default is
// kept (priority 0 or less).
bool SystemThreadPriority(int32_t priority, int* system_priority);

class Thread {
 public:
  Thread() = default;
  // Joins the thread without a time limit (terminating it only if waiting itself fails).
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the OS thread running Run(), then applies the priority. False on failure.
  bool Launch();

  void set_priority(int32_t priority) { priority_ = priority; }
  int32_t priority() const { return priority_; }
  DWORD thread_id() const { return thread_id_; }
  HANDLE thread_handle() const { return thread_handle_.Get(); }

 protected:
  virtual void Run() {}
  // Waits for the thread to end and closes its handle.
  void Join();

  std::atomic<DWORD> thread_id_{0};
  OwnedHandle thread_handle_;
  int32_t priority_ = kThreadPriorityDefault;

 private:
  static unsigned __stdcall ThreadEntry(void* argument);
};

class FrameworkThread;

// One per framework thread, in a per-thread slot from the start of its thread main to its end.
struct ThreadSlotRecord {
  FrameworkThread* owner = nullptr;
  int32_t registration_count = 0;
  int32_t registry_id = -1;  // -1: not registered
};

class FrameworkThread : public Thread, public virtual SupportWeakCallback {
 public:
  explicit FrameworkThread(const char* name);
  // Stops the thread and joins it.
  ~FrameworkThread() override;

  // Starts the thread with a loop of `loop_type` and returns once its OnThreadStart has
  // finished. False when the thread could not be started (or already has a loop).
  bool LaunchWithLoopType(int32_t loop_type, WinMessagePump::Dispatcher* dispatcher = nullptr);
  // Runs the thread main on the calling thread; returns after the loop has ended and the
  // exit hook has run.
  void RunInPlace(int32_t loop_type, WinMessagePump::Dispatcher* dispatcher = nullptr);
  // Asks the loop to quit at its next idle point and, for a launched thread, waits until
  // the thread has ended. For a thread run in place it only posts the request.
  void Stop();
  // On the thread itself: the current run of its loop ends at the next idle point.
  void RequestQuit();

  // For kMessageLoopCustom: the factory that builds the loop.
  void SetLoopFactory(std::shared_ptr<MessageLoopFactory> factory) { loop_factory_ = std::move(factory); }

  bool IsRunning() const { return running_; }
  int32_t loop_type() const { return loop_type_; }
  MessageLoop* message_loop() const { return loop_.load(); }
  const std::string& name() const { return name_; }

  static DWORD TlsDataSlot();
  // The calling thread's record, or null when it is not (yet) a framework thread.
  static ThreadSlotRecord* CurrentSlotRecord();

 protected:
  // The thread main: builds the loop, runs the hooks and the loop, and tears them down.
  void Run() override;
  virtual void OnThreadStart() {}
  virtual void OnThreadExit() {}

 private:
  MessageLoop* BuildLoop();

  bool running_ = false;
  bool stop_requested_ = false;
  int32_t loop_type_ = kMessageLoopDefault;
  std::atomic<MessageLoop*> loop_{nullptr};
  std::shared_ptr<MessageLoopFactory> loop_factory_;
  WinMessagePump::Dispatcher* dispatcher_ = nullptr;
  OwnedHandle start_event_;
  std::string name_;
};

}  // namespace base
