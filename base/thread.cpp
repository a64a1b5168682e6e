#include "base/thread.h"

#include <process.h>

#include "base/lazy_tls_index.h"

namespace base {

namespace {
LazyTlsIndex g_thread_slot_index;
}  // namespace

bool SystemThreadPriority(int32_t priority, int* system_priority) {
  switch (priority) {
    case kThreadPriorityLowest:
      *system_priority = THREAD_PRIORITY_LOWEST;
      return true;
    case kThreadPriorityBelowNormal:
      *system_priority = THREAD_PRIORITY_BELOW_NORMAL;
      return true;
    case kThreadPriorityHighest:
      *system_priority = THREAD_PRIORITY_HIGHEST;
      return true;
    case kThreadPriorityTimeCritical:
      *system_priority = THREAD_PRIORITY_TIME_CRITICAL;
      return true;
    default:
      if (priority <= kThreadPriorityDefault) return false;
      *system_priority = THREAD_PRIORITY_BELOW_NORMAL;
      return true;
  }
}

// ---------------------------------------------------------------------------------------
// Thread

Thread::~Thread() {
  Join();
}

bool Thread::Launch() {
  unsigned id = 0;
  uintptr_t handle = _beginthreadex(nullptr, 0, &Thread::ThreadEntry, this, 0, &id);
  if (handle <= 1) {
    thread_handle_.Reset();
    thread_id_ = 0;
    return false;
  }
  thread_handle_.Reset(reinterpret_cast<HANDLE>(handle));
  thread_id_ = id;
  int system_priority = 0;
  if (SystemThreadPriority(priority_, &system_priority))
    SetThreadPriority(thread_handle_.Get(), system_priority);
  return true;
}

unsigned __stdcall Thread::ThreadEntry(void* argument) {
  static_cast<Thread*>(argument)->Run();
  _endthreadex(0);
  return 0;
}

void Thread::Join() {
  if (!thread_handle_.IsValid()) return;
  // Joining never gives up: termination only when the wait itself fails.
  if (WaitForSingleObject(thread_handle_.Get(), INFINITE) == WAIT_FAILED)
    TerminateThread(thread_handle_.Get(), 0);
  thread_handle_.Reset();
  thread_id_ = 0;
}

// ---------------------------------------------------------------------------------------
// FrameworkThread

DWORD FrameworkThread::TlsDataSlot() {
  return g_thread_slot_index.Get();
}

ThreadSlotRecord* FrameworkThread::CurrentSlotRecord() {
  return static_cast<ThreadSlotRecord*>(TlsGetValue(TlsDataSlot()));
}

FrameworkThread::FrameworkThread(const char* name)
    : start_event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), name_(name ? name : "") {}

FrameworkThread::~FrameworkThread() {
  Stop();
  // Joins here as well, while this object's members still exist for the thread.
  Join();
}

bool FrameworkThread::LaunchWithLoopType(int32_t loop_type, WinMessagePump::Dispatcher* dispatcher) {
  if (loop_.load()) return false;
  loop_type_ = loop_type;
  dispatcher_ = dispatcher;
  if (!Launch()) return false;
  WaitForSingleObject(start_event_.Get(), INFINITE);
  running_ = true;
  return true;
}

void FrameworkThread::RunInPlace(int32_t loop_type, WinMessagePump::Dispatcher* dispatcher) {
  loop_type_ = loop_type;
  dispatcher_ = dispatcher;
  running_ = true;
  Run();
}

void FrameworkThread::Stop() {
  if (!running_) return;
  MessageLoop* loop = loop_.load();
  if (!stop_requested_ && loop) {
    stop_requested_ = true;
    loop->PostOuterLevelTask(MakeWeakCallback([this] { RequestQuit(); }));
  }
  Join();
  running_ = false;
  stop_requested_ = false;
}

void FrameworkThread::RequestQuit() {
  MessageLoop* loop = MessageLoop::Current();
  if (loop && loop->current_run_frame()) loop->current_run_frame()->quit_requested = true;
}

MessageLoop* FrameworkThread::BuildLoop() {
  switch (loop_type_) {
    case kMessageLoopUi:
      return new UIMessageLoop();
    case kMessageLoopIo:
      return new IOMessageLoop();
    case kMessageLoopCustom:
      if (loop_factory_) return loop_factory_->CreateLoop();
      return new MessageLoop();
    default:
      return new MessageLoop();
  }
}

void FrameworkThread::Run() {
  ThreadSlotRecord* record = CurrentSlotRecord();
  if (!record) {
    record = new ThreadSlotRecord();
    record->owner = this;
    TlsSetValue(TlsDataSlot(), record);
  }
  thread_id_ = GetCurrentThreadId();

  MessageLoop* loop = BuildLoop();
  loop_ = loop;
  OnThreadStart();
  SetEvent(start_event_.Get());

  loop->Run(dispatcher_);

  OnThreadExit();
  delete loop;
  if (loop_type_ == kMessageLoopCustom) loop_factory_.reset();
  loop_ = nullptr;
  thread_id_ = 0;

  TlsSetValue(TlsDataSlot(), nullptr);
  delete record;
}

}  // namespace base
