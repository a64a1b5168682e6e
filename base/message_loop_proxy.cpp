#include "base/message_loop_proxy.h"

#include <utility>

#include "base/base_util.h"
#include "base/message_loop.h"

namespace base {

std::shared_ptr<MessageLoopProxy> MessageLoopProxy::Create(MessageLoop* loop) {
  return std::shared_ptr<MessageLoopProxy>(new MessageLoopProxy(loop),
                                           [](MessageLoopProxy* proxy) { proxy->DestroyOnOwnThread(); });
}

MessageLoopProxy::MessageLoopProxy(MessageLoop* loop) : target_loop_(loop) {
  InitializeCriticalSectionAndSpinCount(&lock_, 2000);
}

MessageLoopProxy::~MessageLoopProxy() {
  DeleteCriticalSection(&lock_);
}

bool MessageLoopProxy::PostTask(std::function<void()> closure) {
  CriticalSectionGuard guard(&lock_);
  if (!target_loop_) return false;
  target_loop_->PostTask(std::move(closure));
  return true;
}

bool MessageLoopProxy::PostDelayedTask(std::function<void()> closure, TimeDelta delay) {
  CriticalSectionGuard guard(&lock_);
  if (!target_loop_) return false;
  if (delay.ToMicroseconds() == 0) {
    target_loop_->PostTask(std::move(closure));
  } else {
    target_loop_->PostDelayedTask(std::move(closure), delay);
  }
  return true;
}

bool MessageLoopProxy::PostOuterLevelTask(std::function<void()> closure) {
  CriticalSectionGuard guard(&lock_);
  if (!target_loop_) return false;
  target_loop_->PostOuterLevelTask(std::move(closure));
  return true;
}

bool MessageLoopProxy::PostOuterLevelDelayedTask(std::function<void()> closure, TimeDelta delay) {
  CriticalSectionGuard guard(&lock_);
  if (!target_loop_) return false;
  if (delay.ToMicroseconds() == 0) {
    target_loop_->PostOuterLevelTask(std::move(closure));
  } else {
    target_loop_->PostOuterLevelDelayedTask(std::move(closure), delay);
  }
  return true;
}

bool MessageLoopProxy::IsLoopThreadCurrent() {
  CriticalSectionGuard guard(&lock_);
  return target_loop_ && target_loop_ == MessageLoop::Current();
}

void MessageLoopProxy::DetachFromLoop() {
  CriticalSectionGuard guard(&lock_);
  target_loop_ = nullptr;
}

void MessageLoopProxy::DestroyOnOwnThread() {
  EnterCriticalSection(&lock_);
  if (target_loop_ && target_loop_ != MessageLoop::Current()) {
    QueuedTask task;
    task.nestable = false;
    task.closure = MakeWeakCallback([this] { DeleteSelf(); });
    target_loop_->EnqueueIncomingTask(std::move(task));
    LeaveCriticalSection(&lock_);
    return;
  }
  LeaveCriticalSection(&lock_);
  delete this;
}

void MessageLoopProxy::DeleteSelf() {
  delete this;
}

}  // namespace base
