#include "base/message_loop.h"

#include <algorithm>
#include <utility>

#include "base/base_util.h"
#include "base/clock.h"
#include "base/lazy_tls_index.h"
#include "base/message_loop_proxy.h"

namespace base {

namespace {

LazyTlsIndex g_current_loop_index;

// Heap order: the top is the earliest run time, then the lowest sequence number. The
// sequence comparison tolerates the counter's wrap-around.
bool RunsAfter(const QueuedTask& a, const QueuedTask& b) {
  if (a.run_time != b.run_time) return a.run_time > b.run_time;
  return static_cast<int32_t>(static_cast<uint32_t>(a.sequence) - static_cast<uint32_t>(b.sequence)) > 0;
}

// Passes of dropping in the destructor: dropped tasks may post again while destroyed.
constexpr int kMaxDropPasses = 100;

}  // namespace

DWORD MessageLoop::CurrentLoopTlsIndex() {
  return g_current_loop_index.Get();
}

MessageLoop* MessageLoop::Current() {
  return static_cast<MessageLoop*>(TlsGetValue(CurrentLoopTlsIndex()));
}

MessageLoop::MessageLoop() : pump_(std::make_shared<DefaultMessagePump>()) {
  InitializeCriticalSectionAndSpinCount(&incoming_lock_, 2000);
  TlsSetValue(CurrentLoopTlsIndex(), this);
  proxy_ = MessageLoopProxy::Create(this);
}

MessageLoop::~MessageLoop() {
  for (int pass = 0; pass < kMaxDropPasses; ++pass) {
    DropPendingTasks();
    TakeIncomingTasks();
    if (!DropPendingTasks()) break;
  }

  destruction_observers_.Notify([](DestructionObserver* observer) { observer->OnLoopDestroying(); });

  proxy_->DetachFromLoop();
  proxy_.reset();

  if (Current() == this) TlsSetValue(CurrentLoopTlsIndex(), nullptr);

  // Whatever is still queued is destroyed unrun; a closure's captures may post once more
  // while they are destroyed, so the queue is emptied outside the lock until it stays empty.
  for (int pass = 0; pass < kMaxDropPasses; ++pass) {
    std::deque<QueuedTask> leftovers;
    {
      CriticalSectionGuard guard(&incoming_lock_);
      leftovers.swap(incoming_queue_);
    }
    if (leftovers.empty()) break;
  }
  DeleteCriticalSection(&incoming_lock_);
}

void MessageLoop::SetPump(MessageLoopType type, std::shared_ptr<MessagePump> pump) {
  CriticalSectionGuard guard(&incoming_lock_);
  type_ = type;
  pump_ = std::move(pump);
}

std::shared_ptr<MessagePump> MessageLoop::pump() const {
  CriticalSectionGuard guard(const_cast<CRITICAL_SECTION*>(&incoming_lock_));
  return pump_;
}

void MessageLoop::PostTask(std::function<void()> closure) {
  PostTaskRecord(std::move(closure), 0, true);
}

void MessageLoop::PostDelayedTask(std::function<void()> closure, TimeDelta delay) {
  PostTaskRecord(std::move(closure), NowMicroseconds() + delay.ToMicroseconds(), true);
}

void MessageLoop::PostOuterLevelTask(std::function<void()> closure) {
  PostTaskRecord(std::move(closure), 0, false);
}

void MessageLoop::PostOuterLevelDelayedTask(std::function<void()> closure, TimeDelta delay) {
  PostTaskRecord(std::move(closure), NowMicroseconds() + delay.ToMicroseconds(), false);
}

void MessageLoop::PostTaskRecord(std::function<void()> closure, int64_t run_time, bool nestable) {
  QueuedTask task;
  task.run_time = run_time;
  task.nestable = nestable;
  task.closure = std::move(closure);
  EnqueueIncomingTask(std::move(task));
}

void MessageLoop::EnqueueIncomingTask(QueuedTask task) {
  std::shared_ptr<MessagePump> pump;
  {
    CriticalSectionGuard guard(&incoming_lock_);
    bool was_empty = incoming_queue_.empty();
    incoming_queue_.push_back(std::move(task));
    // Only the first task of a batch wakes the pump; the loop takes the batch whole.
    if (!was_empty) return;
    pump = pump_;
  }
  pump->WakeForWork();
}

void MessageLoop::TakeIncomingTasks() {
  if (!work_queue_.empty()) return;
  CriticalSectionGuard guard(&incoming_lock_);
  incoming_queue_.swap(work_queue_);
}

void MessageLoop::Run(WinMessagePump::Dispatcher* dispatcher) {
  RunFrame frame;
  frame.run_depth = run_frame_ ? run_frame_->run_depth + 1 : 1;
  frame.quit_requested = false;
  frame.dispatcher = dispatcher;
  frame.previous = run_frame_;
  run_frame_ = &frame;
  RunPump();
  run_frame_ = frame.previous;
}

void MessageLoop::RunPump() {
  // pump_ changes only while the loop is built, on this thread.
  if (type_ == kMessageLoopUi && run_frame_ && run_frame_->dispatcher) {
    static_cast<WinMessagePump*>(pump_.get())->RunWithDispatcher(this, run_frame_->dispatcher);
  } else {
    pump_->Run(this);
  }
}

void MessageLoop::PushDelayedTask(QueuedTask task) {
  task.sequence = next_sequence_;
  next_sequence_ = static_cast<int32_t>(static_cast<uint32_t>(next_sequence_) + 1);
  delayed_heap_.push_back(std::move(task));
  std::push_heap(delayed_heap_.begin(), delayed_heap_.end(), RunsAfter);
}

QueuedTask MessageLoop::PopDelayedTask() {
  std::pop_heap(delayed_heap_.begin(), delayed_heap_.end(), RunsAfter);
  QueuedTask task = std::move(delayed_heap_.back());
  delayed_heap_.pop_back();
  return task;
}

bool MessageLoop::RunImmediateWork() {
  if (!nestable_tasks_allowed_) return false;
  for (;;) {
    TakeIncomingTasks();
    if (work_queue_.empty()) return false;
    do {
      QueuedTask task = std::move(work_queue_.front());
      work_queue_.pop_front();
      if (task.run_time != 0) {
        int32_t sequence = next_sequence_;
        int64_t run_time = task.run_time;
        PushDelayedTask(std::move(task));
        if (delayed_heap_.front().sequence == sequence) pump_->WakeForDelayedWork(run_time);
      } else if (task.nestable || RunDepth() == 1) {
        ExecuteTask(task);
        return true;
      } else {
        deferred_queue_.push_back(std::move(task));
      }
    } while (!work_queue_.empty());
  }
}

bool MessageLoop::RunDelayedWork(int64_t* next_run_time) {
  if (!nestable_tasks_allowed_ || delayed_heap_.empty()) {
    cached_now_ = 0;
    *next_run_time = 0;
    return false;
  }
  int64_t run_time = delayed_heap_.front().run_time;
  if (run_time > cached_now_) {
    cached_now_ = NowMicroseconds();
    if (run_time > cached_now_) {
      *next_run_time = run_time;
      return false;
    }
  }
  QueuedTask task = PopDelayedTask();
  if (!delayed_heap_.empty()) *next_run_time = delayed_heap_.front().run_time;
  if (task.nestable || RunDepth() == 1) {
    ExecuteTask(task);
    return true;
  }
  deferred_queue_.push_back(std::move(task));
  return false;
}

bool MessageLoop::RunIdleWork() {
  if (RunDepth() == 1 && !deferred_queue_.empty()) {
    QueuedTask task = std::move(deferred_queue_.front());
    deferred_queue_.pop_front();
    ExecuteTask(task);
    return true;
  }
  if (run_frame_ && run_frame_->quit_requested) pump_->Quit();
  return false;
}

void MessageLoop::ExecuteTask(const QueuedTask& task) {
  nestable_tasks_allowed_ = false;
  // A copy: the task may post to this loop or run a nested loop while it runs.
  std::function<void()> closure = task.closure;
  task_observers_.Notify([](TaskObserver* observer) { observer->BeforeTask(); });
  if (closure) closure();
  task_observers_.Notify([](TaskObserver* observer) { observer->AfterTask(); });
  nestable_tasks_allowed_ = true;
}

bool MessageLoop::DropPendingTasks() {
  while (!work_queue_.empty()) {
    QueuedTask task = std::move(work_queue_.front());
    work_queue_.pop_front();
    // Delayed ones go through the heap so they are destroyed in the order they would run.
    if (task.run_time != 0) PushDelayedTask(std::move(task));
  }
  deferred_queue_.clear();
  bool had_delayed = !delayed_heap_.empty();
  while (!delayed_heap_.empty()) PopDelayedTask();
  return had_delayed;
}

UIMessageLoop::UIMessageLoop() {
  SetPump(kMessageLoopUi, std::make_shared<WinUIMessagePump>());
}

IOMessageLoop::IOMessageLoop() {
  SetPump(kMessageLoopIo, std::make_shared<WinIOMessagePump>());
}

}  // namespace base
