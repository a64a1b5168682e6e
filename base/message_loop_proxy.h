#pragma once

// A shared handle to a message loop that other threads may keep: it outlives the loop and
// refuses posts once the loop is gone.

#include <windows.h>

#include <functional>
#include <memory>

#include "base/time_delta.h"
#include "base/weak_callback.h"

namespace base {

class MessageLoop;

class MessageLoopProxy : public SupportWeakCallback {
 public:
  // Made by the loop itself, as a shared reference whose deleter is DestroyOnOwnThread.
  static std::shared_ptr<MessageLoopProxy> Create(MessageLoop* loop);

  ~MessageLoopProxy() override;

  // Each returns false (dropping the closure) when the loop is gone.
  virtual bool PostTask(std::function<void()> closure);
  // A delay of 0 posts an immediate task.
  virtual bool PostDelayedTask(std::function<void()> closure, TimeDelta delay);
  virtual bool PostOuterLevelTask(std::function<void()> closure);
  virtual bool PostOuterLevelDelayedTask(std::function<void()> closure, TimeDelta delay);
  virtual bool IsLoopThreadCurrent();
  // Called by the loop's destructor: every later post is refused.
  virtual void DetachFromLoop();

 private:
  explicit MessageLoopProxy(MessageLoop* loop);
  // Run when the last shared reference goes: deletes the proxy on its loop's thread while
  // the loop lives, else at once.
  virtual void DestroyOnOwnThread();
  void DeleteSelf();

  CRITICAL_SECTION lock_;
  MessageLoop* target_loop_;
};

}  // namespace base
