#include "base/thread_registry.h"

#include <utility>

#include "base/base_util.h"
#include "base/message_loop.h"
#include "base/thread.h"

namespace base {

ThreadRegistry& ThreadRegistry::Instance() {
  static ThreadRegistry registry;
  return registry;
}

ThreadRegistry::ThreadRegistry() {
  InitializeCriticalSectionAndSpinCount(&lock_, 2000);
}

ThreadRegistry::~ThreadRegistry() {
  DeleteCriticalSection(&lock_);
}

bool ThreadRegistry::RegisterCurrentThread(int id) {
  if (id < 0) return false;
  ThreadSlotRecord* record = FrameworkThread::CurrentSlotRecord();
  if (!record) return false;
  ThreadRegistry& registry = Instance();
  {
    CriticalSectionGuard guard(&registry.lock_);
    auto it = registry.threads_.find(id);
    if (it == registry.threads_.end()) {
      registry.threads_.emplace(id, record->owner);
    } else if (it->second != record->owner) {
      return false;
    }
  }
  ++record->registration_count;
  record->registry_id = id;
  return true;
}

bool ThreadRegistry::UnregisterCurrentThread() {
  ThreadSlotRecord* record = FrameworkThread::CurrentSlotRecord();
  if (!record || record->registration_count <= 0) return false;
  if (--record->registration_count > 0) return true;
  ThreadRegistry& registry = Instance();
  {
    CriticalSectionGuard guard(&registry.lock_);
    registry.threads_.erase(record->registry_id);
  }
  record->registry_id = -1;
  return true;
}

int ThreadRegistry::CurrentRegistryId() {
  ThreadSlotRecord* record = FrameworkThread::CurrentSlotRecord();
  return record ? record->registry_id : -1;
}

std::shared_ptr<MessageLoopProxy> ThreadRegistry::GetLoopProxy(int id) {
  ThreadRegistry& registry = Instance();
  CriticalSectionGuard guard(&registry.lock_);
  auto it = registry.threads_.find(id);
  if (it == registry.threads_.end() || !it->second) return nullptr;
  // A registered thread keeps its loop until it unregisters (see FrameworkThread::Run).
  MessageLoop* loop = it->second->message_loop();
  if (!loop) return nullptr;
  return loop->proxy();
}

bool ThreadRegistry::PostTask(int id, std::function<void()> closure) {
  std::shared_ptr<MessageLoopProxy> proxy = GetLoopProxy(id);
  if (!proxy) return false;
  // The loop may have gone since the lookup: then the proxy refuses, and so do we.
  return proxy->PostTask(std::move(closure));
}

bool ThreadRegistry::PostDelayedTask(int id, std::function<void()> closure, TimeDelta delay) {
  std::shared_ptr<MessageLoopProxy> proxy = GetLoopProxy(id);
  if (!proxy) return false;
  return proxy->PostDelayedTask(std::move(closure), delay);
}

void ThreadRegistry::PostRecurringTask(int id, const RecurringCallback& task, const TimeDelta& delay,
                                       int times) {
  std::shared_ptr<MessageLoopProxy> proxy = GetLoopProxy(id);
  if (!proxy) return;
  proxy->PostDelayedTask([id, task, delay, times] { RunRecurringTask(id, task, delay, times); }, delay);
}

void ThreadRegistry::RunRecurringTask(int id, const RecurringCallback& task, const TimeDelta& delay,
                                      int times) {
  if (task.Expired()) return;
  task();
  // The run may have destroyed the task's owner: then it is not posted again.
  if (task.Expired()) return;
  // Counting down from 0 reaches kRepeatForever: a task asked for 0 times repeats for ever.
  int remaining = times == kRepeatForever ? times : times - 1;
  if (remaining != 0) PostRecurringTask(id, task, delay, remaining);
}

}  // namespace base
