#pragma once

// A per-thread queue of closures that any thread may post to and that run one at a time on
// the owning thread, immediately or after a delay. The loop never waits by itself: its pump
// calls the three work operations in passes and sleeps between them.

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "base/message_pump.h"
#include "base/observer_list.h"
#include "base/time_delta.h"
#include "base/win_message_pump.h"

namespace base {

class MessageLoopProxy;

enum MessageLoopType : int32_t {
  kMessageLoopDefault = 0,  // event-driven pump
  kMessageLoopUi = 1,       // Win32 message pump
  kMessageLoopIo = 2,       // I/O completion port pump
  kMessageLoopCustom = 3,   // built by a MessageLoopFactory
};

struct QueuedTask {
  int64_t run_time = 0;  // microseconds on the base clock; 0 = immediate
  int32_t sequence = 0;  // set when the task enters the delayed heap
  bool nestable = true;  // false: runs only at the outermost run
  std::function<void()> closure;
};

class MessageLoop : public MessagePump::Delegate {
 public:
  // One per run of the loop, on the running thread's stack.
  struct RunFrame {
    int32_t run_depth = 1;  // 1 = outermost run
    bool quit_requested = false;
    WinMessagePump::Dispatcher* dispatcher = nullptr;
    RunFrame* previous = nullptr;
  };

  class TaskObserver {
   public:
    virtual ~TaskObserver() = default;
    virtual void BeforeTask() = 0;
    virtual void AfterTask() = 0;
  };

  class DestructionObserver {
   public:
    virtual ~DestructionObserver() = default;
    virtual void OnLoopDestroying() = 0;
  };

  // Builds a default loop and makes it the calling thread's current loop.
  MessageLoop();
  // Drops every pending task unrun, detaches the proxy and clears the current-loop slot.
  ~MessageLoop() override;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // The calling thread's current loop, or null.
  static MessageLoop* Current();

  // Posting works from any thread.
  void PostTask(std::function<void()> closure);
  // A delay of 0 still makes a delayed task (it runs after the immediate ones before it).
  void PostDelayedTask(std::function<void()> closure, TimeDelta delay);
  // Outer-level tasks never run inside a nested run.
  void PostOuterLevelTask(std::function<void()> closure);
  void PostOuterLevelDelayedTask(std::function<void()> closure, TimeDelta delay);

  // Stacks a run frame and runs the pump until the frame's quit is honoured (or the pump
  // quits by itself, e.g. on WM_QUIT).
  void Run(WinMessagePump::Dispatcher* dispatcher = nullptr);
  // Runs the pump for the current run frame.
  void RunPump();

  // MessagePump::Delegate; each returns whether it ran a task.
  bool RunImmediateWork() override;
  bool RunDelayedWork(int64_t* next_run_time) override;
  bool RunIdleWork() override;

  virtual void EnqueueIncomingTask(QueuedTask task);

  MessageLoopType type() const { return type_; }
  RunFrame* current_run_frame() const { return run_frame_; }
  const std::shared_ptr<MessageLoopProxy>& proxy() const { return proxy_; }
  std::shared_ptr<MessagePump> pump() const;

  void AddTaskObserver(TaskObserver* observer) { task_observers_.AddObserver(observer); }
  void RemoveTaskObserver(TaskObserver* observer) { task_observers_.RemoveObserver(observer); }
  void AddDestructionObserver(DestructionObserver* observer) { destruction_observers_.AddObserver(observer); }
  void RemoveDestructionObserver(DestructionObserver* observer) {
    destruction_observers_.RemoveObserver(observer);
  }

 protected:
  // For the derived loops: their constructor installs their own pump.
  void SetPump(MessageLoopType type, std::shared_ptr<MessagePump> pump);

 private:
  static DWORD CurrentLoopTlsIndex();

  void PostTaskRecord(std::function<void()> closure, int64_t run_time, bool nestable);
  void TakeIncomingTasks();
  void ExecuteTask(const QueuedTask& task);
  void PushDelayedTask(QueuedTask task);
  QueuedTask PopDelayedTask();
  bool DropPendingTasks();
  int32_t RunDepth() const { return run_frame_ ? run_frame_->run_depth : 1; }

  MessageLoopType type_ = kMessageLoopDefault;
  RunFrame* run_frame_ = nullptr;
  std::shared_ptr<MessagePump> pump_;
  bool nestable_tasks_allowed_ = true;
  std::deque<QueuedTask> incoming_queue_;
  CRITICAL_SECTION incoming_lock_;
  std::deque<QueuedTask> work_queue_;
  std::deque<QueuedTask> deferred_queue_;
  std::vector<QueuedTask> delayed_heap_;
  int32_t next_sequence_ = 0;
  int64_t cached_now_ = 0;
  ObserverList<TaskObserver> task_observers_;
  ObserverList<DestructionObserver> destruction_observers_;
  std::shared_ptr<MessageLoopProxy> proxy_;
};

// The UI thread's loop: Win32 messages and the pump window.
class UIMessageLoop : public MessageLoop {
 public:
  UIMessageLoop();
};

// A loop over an I/O completion port.
class IOMessageLoop : public MessageLoop {
 public:
  IOMessageLoop();
};

// Builds the loop of a kMessageLoopCustom thread, on that thread.
class MessageLoopFactory {
 public:
  virtual ~MessageLoopFactory() = default;
  virtual MessageLoop* CreateLoop() = 0;
};

}  // namespace base
