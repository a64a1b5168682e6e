#include "base/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base_test_support.h"

namespace {

using base::FrameworkThread;
using base::MessageLoop;
using base::TimeDelta;
using base_test::DestructionProbe;
using base_test::EventLog;

// A framework thread whose hooks are given by the test.
class HookedThread : public FrameworkThread {
 public:
  explicit HookedThread(std::function<void()> on_start = nullptr, std::function<void()> on_exit = nullptr)
      : FrameworkThread("hooked"), on_start_(std::move(on_start)), on_exit_(std::move(on_exit)) {}
  // Stopped here, while the hooks still exist.
  ~HookedThread() override { Stop(); }

 protected:
  void OnThreadStart() override {
    if (on_start_) on_start_();
  }
  void OnThreadExit() override {
    if (on_exit_) on_exit_();
  }

 private:
  std::function<void()> on_start_;
  std::function<void()> on_exit_;
};

class LoggingDestructionObserver : public MessageLoop::DestructionObserver {
 public:
  explicit LoggingDestructionObserver(EventLog* log) : log_(log) {}
  void OnLoopDestroying() override { log_->Add("loop destroyed"); }

 private:
  EventLog* log_;
};

TEST(FrameworkThreadTest, StopReturnsAfterRunningTaskDueTasksExitHookAndLoopDestruction) {
  EventLog log;
  LoggingDestructionObserver observer(&log);
  HookedThread thread([&] { MessageLoop::Current()->AddDestructionObserver(&observer); },
                      [&] { log.Add("exit hook"); });
  ASSERT_TRUE(thread.LaunchWithLoopType(base::kMessageLoopDefault));
  MessageLoop* loop = thread.message_loop();
  ASSERT_NE(loop, nullptr);

  base::OwnedHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::OwnedHandle posted(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  loop->PostTask([&] {
    SetEvent(started.Get());
    // Ends once the tasks below are queued and the delayed one is due.
    WaitForSingleObject(posted.Get(), 60000);
    Sleep(10);
    log.Add("long task");
  });
  ASSERT_EQ(WaitForSingleObject(started.Get(), 60000), WAIT_OBJECT_0);
  loop->PostDelayedTask([&] { log.Add("due delayed task"); }, TimeDelta::FromMilliseconds(1));
  loop->PostTask([&] { log.Add("queued task"); });
  auto probe = std::make_shared<DestructionProbe>(&log, "future task");
  loop->PostDelayedTask([&log, probe] { log.Add("future task ran"); }, TimeDelta::FromSeconds(3600));
  probe.reset();
  SetEvent(posted.Get());

  thread.Stop();
  log.Add("stop returned");

  EXPECT_EQ(log.Entries(),
            (std::vector<std::string>{"long task", "queued task", "due delayed task", "exit hook",
                                      "future task destroyed", "loop destroyed", "stop returned"}));
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.message_loop(), nullptr);
  EXPECT_EQ(thread.thread_handle(), nullptr);
}

TEST(FrameworkThreadTest, LaunchReturnsAfterStartHookOnTheNewThread) {
  std::atomic<bool> start_hook_done{false};
  DWORD hook_thread = 0;
  HookedThread thread([&] {
    hook_thread = GetCurrentThreadId();
    Sleep(50);
    start_hook_done = true;
  });
  ASSERT_TRUE(thread.LaunchWithLoopType(base::kMessageLoopDefault));
  EXPECT_TRUE(start_hook_done);
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_NE(hook_thread, GetCurrentThreadId());
  EXPECT_EQ(hook_thread, thread.thread_id());
  // A thread that has a loop is not launched twice.
  EXPECT_FALSE(thread.LaunchWithLoopType(base::kMessageLoopDefault));
}

class CountingLoopFactory : public base::MessageLoopFactory {
 public:
  MessageLoop* CreateLoop() override {
    ++loops_made;
    return new base::UIMessageLoop();
  }
  std::atomic<int> loops_made{0};
};

TEST(FrameworkThreadTest, EveryLoopTypeRunsTasksStopsAndLaunchesAgain) {
  struct Case {
    int32_t loop_type;
    base::MessageLoopType built;
  };
  const Case cases[] = {{base::kMessageLoopDefault, base::kMessageLoopDefault},
                        {base::kMessageLoopUi, base::kMessageLoopUi},
                        {base::kMessageLoopIo, base::kMessageLoopIo},
                        {base::kMessageLoopCustom, base::kMessageLoopUi},
                        {42, base::kMessageLoopDefault}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.loop_type);
    HookedThread thread;
    auto factory = std::make_shared<CountingLoopFactory>();
    for (int launch = 0; launch < 2; ++launch) {
      if (c.loop_type == base::kMessageLoopCustom) thread.SetLoopFactory(factory);
      ASSERT_TRUE(thread.LaunchWithLoopType(c.loop_type));
      EXPECT_EQ(thread.message_loop()->type(), c.built);
      std::atomic<DWORD> ran_on{0};
      std::atomic<bool> delayed_ran{false};
      thread.message_loop()->proxy()->PostTask([&] { ran_on = GetCurrentThreadId(); });
      thread.message_loop()->proxy()->PostDelayedTask([&] { delayed_ran = true; },
                                                      TimeDelta::FromMilliseconds(3));
      ASSERT_TRUE(base_test::WaitUntil([&] { return ran_on != 0 && delayed_ran; }));
      EXPECT_EQ(ran_on, thread.thread_id());
      thread.Stop();
      EXPECT_FALSE(thread.IsRunning());
    }
    if (c.loop_type == base::kMessageLoopCustom) {
      EXPECT_EQ(factory->loops_made, 2);
    }
  }
}

TEST(FrameworkThreadTest, RunInPlaceReturnsAfterLoopEndsAndExitHook) {
  EventLog log;
  bool had_handle = true;
  base_test::RunOnFreshThread([&] {
    HookedThread* self = nullptr;
    HookedThread thread(
        [&] {
          log.Add("start hook");
          MessageLoop::Current()->PostTask([&] {
            log.Add("task");
            // Run in place there is nothing to join: Stop only asks the loop to quit.
            self->Stop();
            log.Add("stop posted");
          });
        },
        [&] { log.Add("exit hook"); });
    self = &thread;
    thread.RunInPlace(base::kMessageLoopUi);
    log.Add("run in place returned");
    had_handle = thread.thread_handle() != nullptr;
    EXPECT_EQ(MessageLoop::Current(), nullptr);
  });
  EXPECT_FALSE(had_handle);
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{"start hook", "task", "stop posted", "exit hook",
                                                     "run in place returned"}));
}

// Waits on an event until the test lets it end.
class ParkedThread : public base::Thread {
 public:
  ParkedThread() : release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~ParkedThread() override {
    SetEvent(release_.Get());
    Join();
  }

 protected:
  void Run() override { WaitForSingleObject(release_.Get(), INFINITE); }

 private:
  base::OwnedHandle release_;
};

TEST(ThreadTest, PrioritiesMapToSystemPriorities) {
  struct Case {
    int32_t priority;
    int system_priority;
  };
  const Case cases[] = {
      {-3, THREAD_PRIORITY_NORMAL},
      {0, THREAD_PRIORITY_NORMAL},
      {base::kThreadPriorityLowest, THREAD_PRIORITY_LOWEST},
      {base::kThreadPriorityBelowNormal, THREAD_PRIORITY_BELOW_NORMAL},
      {base::kThreadPriorityHighest, THREAD_PRIORITY_HIGHEST},
      {base::kThreadPriorityTimeCritical, THREAD_PRIORITY_TIME_CRITICAL},
      {5, THREAD_PRIORITY_BELOW_NORMAL},
      {7, THREAD_PRIORITY_BELOW_NORMAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.priority);
    ParkedThread thread;
    thread.set_priority(c.priority);
    ASSERT_TRUE(thread.Launch());
    EXPECT_NE(thread.thread_id(), 0u);
    EXPECT_EQ(GetThreadPriority(thread.thread_handle()), c.system_priority);
  }
}

TEST(ThreadTest, FrameworkThreadLaunchAppliesPriority) {
  HookedThread thread;
  thread.set_priority(base::kThreadPriorityTimeCritical);
  ASSERT_TRUE(thread.LaunchWithLoopType(base::kMessageLoopDefault));
  EXPECT_EQ(GetThreadPriority(thread.thread_handle()), THREAD_PRIORITY_TIME_CRITICAL);
}

}  // namespace
