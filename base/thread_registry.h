#pragma once

// The process-wide registry of framework threads by id: code posts work to a thread by a
// small integer instead of holding a pointer to it, and runs repeated tasks there.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "base/message_loop_proxy.h"
#include "base/time_delta.h"
#include "base/weak_callback.h"

namespace base {

class FrameworkThread;

constexpr int kThreadIdUi = 0;
constexpr int kThreadIdMisc = 1;
// `times` of a repeated task that never runs out.
constexpr int kRepeatForever = -1;

using RecurringCallback = WeakCallback<std::function<void()>>;

class ThreadRegistry {
 public:
  static ThreadRegistry& Instance();

  // Registers the calling framework thread under `id` (from its OnThreadStart). A thread
  // may register its id more than once; each registration needs its own unregistration.
  // False for a negative id, for a thread that is not a framework thread, and for an id
  // held by another thread.
  static bool RegisterCurrentThread(int id);
  // Undoes one registration of the calling thread (from its OnThreadExit).
  static bool UnregisterCurrentThread();
  // The registry id of the calling thread, -1 when it has none.
  static int CurrentRegistryId();

  // The proxy of the loop of the thread registered under `id`; empty when there is none.
  static std::shared_ptr<MessageLoopProxy> GetLoopProxy(int id);

  // False when no thread with a loop is registered under `id` or its loop refused the task.
  static bool PostTask(int id, std::function<void()> closure);
  // A delay of 0 posts an immediate task.
  static bool PostDelayedTask(int id, std::function<void()> closure, TimeDelta delay);
  // Runs `task` on the thread `delay` after the call, then again `delay` after each run,
  // `times` runs in all (kRepeatForever: until the task's owner dies). Nothing happens when
  // the id has no loop.
  static void PostRecurringTask(int id, const RecurringCallback& task, const TimeDelta& delay, int times);

 private:
  ThreadRegistry();
  ~ThreadRegistry();
  ThreadRegistry(const ThreadRegistry&) = delete;
  ThreadRegistry& operator=(const ThreadRegistry&) = delete;

  static void RunRecurringTask(int id, const RecurringCallback& task, const TimeDelta& delay, int times);

  CRITICAL_SECTION lock_;
  std::map<int32_t, FrameworkThread*> threads_;
};

}  // namespace base
