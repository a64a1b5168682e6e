#include "base/thread_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

#include "base/message_loop.h"
#include "base/thread.h"
#include "base_test_support.h"

namespace {

using base::ThreadRegistry;
using base::TimeDelta;

// A framework thread that holds a registry id from its start hook to its exit hook.
class RegisteredThread : public base::FrameworkThread {
 public:
  explicit RegisteredThread(int id, int32_t loop_type = base::kMessageLoopDefault)
      : FrameworkThread("registered"), id_(id) {
    launched_ = LaunchWithLoopType(loop_type);
  }
  ~RegisteredThread() override { Stop(); }

  bool launched() const { return launched_; }
  bool registered_at_start() const { return registered_at_start_; }

  // Runs `body` on the thread and waits for it.
  void RunAndWait(const std::function<void()>& body) {
    base::OwnedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    message_loop()->PostTask([&] {
      body();
      SetEvent(done.Get());
    });
    WaitForSingleObject(done.Get(), 10000);
  }

 protected:
  void OnThreadStart() override { registered_at_start_ = ThreadRegistry::RegisterCurrentThread(id_); }
  void OnThreadExit() override {
    if (registered_at_start_) ThreadRegistry::UnregisterCurrentThread();
  }

 private:
  int id_;
  bool launched_ = false;
  bool registered_at_start_ = false;
};

// The owner of repeated tasks; destroyed on the thread that runs them.
class Ticker : public base::SupportWeakCallback {};

int WaitForRunsToSettle(const std::atomic<int>& runs) {
  int seen;
  // 2 ms periods: 60 ms without a change means no further run is coming.
  do {
    seen = runs;
    Sleep(60);
  } while (seen != runs);
  return seen;
}

TEST(ThreadRegistryTest, RecurringTaskRunsTheAskedNumberOfTimes) {
  RegisteredThread thread(21);
  ASSERT_TRUE(thread.registered_at_start());
  struct Case {
    int times;
    int expected_runs;
  };
  for (const Case& c : {Case{3, 3}, Case{1, 1}}) {
    SCOPED_TRACE(c.times);
    auto* ticker = new Ticker();
    std::atomic<int> runs{0};
    ThreadRegistry::PostRecurringTask(21, ticker->MakeWeakCallback([&runs] { ++runs; }),
                                      TimeDelta::FromMilliseconds(2), c.times);
    ASSERT_TRUE(base_test::WaitUntil([&] { return runs >= c.expected_runs; }));
    EXPECT_EQ(WaitForRunsToSettle(runs), c.expected_runs);
    thread.RunAndWait([ticker] { delete ticker; });
  }
}

TEST(ThreadRegistryTest, RecurringTaskStopsOnceItsOwnerDied) {
  RegisteredThread thread(22);
  ASSERT_TRUE(thread.registered_at_start());

  // times 0 counts down past 0 to kRepeatForever: it repeats until its owner dies, here
  // inside its twelfth run.
  {
    auto* ticker = new Ticker();
    std::atomic<int> runs{0};
    ThreadRegistry::PostRecurringTask(22, ticker->MakeWeakCallback([&runs, ticker] {
      if (++runs == 12) delete ticker;
    }),
                                      TimeDelta::FromMilliseconds(2), 0);
    ASSERT_TRUE(base_test::WaitUntil([&] { return runs >= 12; }));
    EXPECT_EQ(WaitForRunsToSettle(runs), 12);
  }

  // kRepeatForever every 2 ms until the owner is destroyed by another task of the thread.
  {
    auto* ticker = new Ticker();
    std::atomic<int> runs{0};
    ThreadRegistry::PostRecurringTask(22, ticker->MakeWeakCallback([&runs] { ++runs; }),
                                      TimeDelta::FromMilliseconds(2), base::kRepeatForever);
    ASSERT_TRUE(base_test::WaitUntil([&] { return runs >= 5; }));
    int runs_at_death = 0;
    thread.RunAndWait([ticker, &runs, &runs_at_death] {
      runs_at_death = runs;
      delete ticker;
    });
    EXPECT_EQ(WaitForRunsToSettle(runs), runs_at_death);
  }
  // The thread is still healthy and idle: nothing of the dead ticker is queued.
  std::atomic<bool> ran{false};
  EXPECT_TRUE(ThreadRegistry::PostTask(22, [&] { ran = true; }));
  EXPECT_TRUE(base_test::WaitUntil([&] { return ran.load(); }));
}

TEST(ThreadRegistryTest, PostsReachTheThreadWhileRegisteredAndFailAfterItEnded) {
  std::unique_ptr<RegisteredThread> thread(new RegisteredThread(31));
  ASSERT_TRUE(thread->registered_at_start());
  DWORD thread_id = thread->thread_id();

  std::atomic<DWORD> ran_on{0};
  std::atomic<bool> delayed_ran{false};
  EXPECT_TRUE(ThreadRegistry::PostTask(31, [&] { ran_on = GetCurrentThreadId(); }));
  EXPECT_TRUE(ThreadRegistry::PostDelayedTask(
      31, [&] { delayed_ran = true; }, TimeDelta::FromMilliseconds(2)));
  ASSERT_TRUE(base_test::WaitUntil([&] { return ran_on != 0 && delayed_ran; }));
  EXPECT_EQ(ran_on, thread_id);

  thread->Stop();
  EXPECT_EQ(ThreadRegistry::GetLoopProxy(31), nullptr);
  EXPECT_FALSE(ThreadRegistry::PostTask(31, [] {}));
  EXPECT_FALSE(ThreadRegistry::PostDelayedTask(
      31, [] {}, TimeDelta::FromMilliseconds(1)));
  Ticker ticker;
  ThreadRegistry::PostRecurringTask(31, ticker.MakeWeakCallback([] {}), TimeDelta::FromMilliseconds(1), 3);
  EXPECT_FALSE(ThreadRegistry::PostTask(77, [] {}));
}

TEST(ThreadRegistryTest, PostFailsWhenTheLoopRefusesTheTask) {
  RegisteredThread thread(32);
  ASSERT_TRUE(thread.registered_at_start());
  // The loop going away between the lookup and the post: its proxy is detached while the
  // id still maps to the thread.
  std::shared_ptr<base::MessageLoopProxy> proxy = ThreadRegistry::GetLoopProxy(32);
  ASSERT_NE(proxy, nullptr);
  proxy->DetachFromLoop();

  std::atomic<bool> ran{false};
  EXPECT_FALSE(ThreadRegistry::PostTask(32, [&] { ran = true; }));
  EXPECT_FALSE(ThreadRegistry::PostDelayedTask(
      32, [&] { ran = true; }, TimeDelta()));
  EXPECT_FALSE(ThreadRegistry::PostDelayedTask(
      32, [&] { ran = true; }, TimeDelta::FromMilliseconds(1)));
  thread.Stop();
  EXPECT_FALSE(ran);
}

TEST(ThreadRegistryTest, RegistrationCountsAndOwnership) {
  RegisteredThread first(41);
  RegisteredThread second(-1);
  ASSERT_TRUE(first.launched());
  ASSERT_TRUE(second.launched());
  EXPECT_TRUE(first.registered_at_start());
  EXPECT_FALSE(second.registered_at_start());  // a negative id is refused

  // An id held by another thread is refused, and the caller stays unregistered.
  bool taken_by_second = true;
  int second_id = 0;
  second.RunAndWait([&] {
    taken_by_second = ThreadRegistry::RegisterCurrentThread(41);
    second_id = ThreadRegistry::CurrentRegistryId();
  });
  EXPECT_FALSE(taken_by_second);
  EXPECT_EQ(second_id, -1);

  // A second registration of the same id needs a second unregistration.
  bool again = false;
  first.RunAndWait([&] { again = ThreadRegistry::RegisterCurrentThread(41); });
  EXPECT_TRUE(again);
  bool unregistered = false;
  int id_after_first = 0;
  first.RunAndWait([&] {
    unregistered = ThreadRegistry::UnregisterCurrentThread();
    id_after_first = ThreadRegistry::CurrentRegistryId();
  });
  EXPECT_TRUE(unregistered);
  EXPECT_EQ(id_after_first, 41);
  EXPECT_NE(ThreadRegistry::GetLoopProxy(41), nullptr);

  bool unregistered_again = false;
  bool third_unregister = true;
  int id_after_second = 0;
  first.RunAndWait([&] {
    unregistered_again = ThreadRegistry::UnregisterCurrentThread();
    id_after_second = ThreadRegistry::CurrentRegistryId();
    third_unregister = ThreadRegistry::UnregisterCurrentThread();
  });
  EXPECT_TRUE(unregistered_again);
  EXPECT_EQ(id_after_second, -1);
  EXPECT_FALSE(third_unregister);
  EXPECT_EQ(ThreadRegistry::GetLoopProxy(41), nullptr);

  // Once free, the id can be taken by another thread.
  bool taken_when_free = false;
  second.RunAndWait([&] { taken_when_free = ThreadRegistry::RegisterCurrentThread(41); });
  EXPECT_TRUE(taken_when_free);
  EXPECT_EQ(ThreadRegistry::GetLoopProxy(41), second.message_loop()->proxy());
  second.RunAndWait([] { ThreadRegistry::UnregisterCurrentThread(); });
  // Back to the first thread for its exit hook's unregistration.
  first.RunAndWait([] { ThreadRegistry::RegisterCurrentThread(41); });
}

TEST(ThreadRegistryTest, OnlyFrameworkThreadsRegister) {
  EXPECT_FALSE(ThreadRegistry::RegisterCurrentThread(51));
  EXPECT_FALSE(ThreadRegistry::UnregisterCurrentThread());
  EXPECT_EQ(ThreadRegistry::CurrentRegistryId(), -1);
  bool on_plain_thread = true;
  base_test::RunOnFreshThread([&] { on_plain_thread = ThreadRegistry::RegisterCurrentThread(52); });
  EXPECT_FALSE(on_plain_thread);
  EXPECT_EQ(ThreadRegistry::GetLoopProxy(51), nullptr);
  EXPECT_EQ(ThreadRegistry::GetLoopProxy(52), nullptr);
}

TEST(ThreadRegistryTest, UiThreadReceivesPostsAndRecurringTasks) {
  RegisteredThread thread(base::kThreadIdUi, base::kMessageLoopUi);
  ASSERT_TRUE(thread.registered_at_start());
  auto* ticker = new Ticker();
  std::atomic<int> runs{0};
  ThreadRegistry::PostRecurringTask(base::kThreadIdUi, ticker->MakeWeakCallback([&runs] { ++runs; }),
                                    TimeDelta::FromMilliseconds(2), 4);
  ASSERT_TRUE(base_test::WaitUntil([&] { return runs >= 4; }));
  EXPECT_EQ(WaitForRunsToSettle(runs), 4);
  thread.RunAndWait([ticker] { delete ticker; });
}

}  // namespace
