#include "tools/browser_runtime/runtime_thread.h"

#include <process.h>

#include <algorithm>

namespace runtime {

namespace {
constexpr UINT kWakeMessage = WM_APP + 0x2f1;
}  // namespace

TaskQueue::TaskQueue() { InitializeCriticalSection(&lock_); }

TaskQueue::~TaskQueue() {
  DropAll();
  DeleteCriticalSection(&lock_);
}

void TaskQueue::Push(const cef_runtime_task& task, long long delay_ms) {
  EnterCriticalSection(&lock_);
  tasks_.push_back({GetTickCount64() + (delay_ms > 0 ? delay_ms : 0), nextSequence_++, task});
  LeaveCriticalSection(&lock_);
}

DWORD TaskQueue::RunDue() {
  for (;;) {
    cef_runtime_task task{};
    bool found = false;
    DWORD wait = INFINITE;
    EnterCriticalSection(&lock_);
    ULONGLONG now = GetTickCount64();
    auto best = tasks_.end();
    for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
      if (it->due <= now) {
        if (best == tasks_.end() || it->sequence < best->sequence) best = it;
      } else {
        wait = std::min<DWORD>(wait, static_cast<DWORD>(it->due - now));
      }
    }
    if (best != tasks_.end()) {
      task = best->task;
      tasks_.erase(best);
      found = true;
    }
    LeaveCriticalSection(&lock_);
    if (!found) return wait;
    if (task.execute) task.execute(task.self);
    if (task.release) task.release(task.self);
  }
}

void TaskQueue::DropAll() {
  std::vector<Pending> dropped;
  EnterCriticalSection(&lock_);
  dropped.swap(tasks_);
  LeaveCriticalSection(&lock_);
  for (auto& pending : dropped)
    if (pending.task.release) pending.task.release(pending.task.self);
}

bool RuntimeThread::Start(TaskQueue* queue) {
  queue_ = queue;
  started_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  unsigned id = 0;
  thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &RuntimeThread::Main, this, 0, &id));
  if (!thread_) return false;
  threadId_ = id;
  WaitForSingleObject(started_, INFINITE);
  return true;
}

void RuntimeThread::Wake() {
  if (threadId_) PostThreadMessageW(threadId_, kWakeMessage, 0, 0);
}

void RuntimeThread::Stop() {
  if (!thread_) return;
  InterlockedExchange(&stop_, 1);
  Wake();
  if (WaitForSingleObject(thread_, 5000) == WAIT_TIMEOUT) TerminateThread(thread_, 0);
  CloseHandle(thread_);
  CloseHandle(started_);
  thread_ = started_ = nullptr;
  threadId_ = 0;
}

unsigned __stdcall RuntimeThread::Main(void* argument) {
  auto* self = static_cast<RuntimeThread*>(argument);
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  SetEvent(self->started_);
  while (!self->stop_) {
    DWORD wait = self->queue_->RunDue();
    if (self->stop_) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == kWakeMessage && !msg.hwnd) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return 0;
}

}  // namespace runtime
