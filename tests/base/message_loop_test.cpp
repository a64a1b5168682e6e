#include "base/message_loop.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/message_loop_proxy.h"
#include "base/observer_list.h"
#include "base_test_support.h"

namespace {

using base::MessageLoop;
using base::QueuedTask;
using base::TimeDelta;
using base_test::DestructionProbe;
using base_test::EventLog;
using base_test::QuitCurrentLoopWhenIdle;
using base_test::RunOnFreshThread;

QueuedTask DelayedRecord(int64_t run_time, std::function<void()> closure) {
  QueuedTask task;
  task.run_time = run_time;
  task.closure = std::move(closure);
  return task;
}

TEST(MessageLoopTest, ImmediateTasksRunInPostingOrderBeforeLaterDelayedOnes) {
  RunOnFreshThread([] {
    MessageLoop loop;
    EXPECT_EQ(MessageLoop::Current(), &loop);
    std::vector<std::string> order;
    loop.PostTask([&] { order.push_back("first"); });
    // Delay 0 still makes a delayed task: it goes through the heap after the work queue.
    loop.PostDelayedTask([&] { order.push_back("delayed 0"); }, TimeDelta());
    loop.PostTask([&] { order.push_back("second"); });
    loop.PostTask([&] { order.push_back("third"); });
    loop.PostDelayedTask(
        [&] {
          order.push_back("delayed 5 ms");
          QuitCurrentLoopWhenIdle();
        },
        TimeDelta::FromMilliseconds(5));
    loop.Run();
    // A pass runs at most one immediate and one delayed task; the delay-0 task reaches the
    // heap only after the immediate task posted before it has run.
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "delayed 0", "third", "delayed 5 ms"}));
  });
}

TEST(MessageLoopTest, DelayedTasksRunByDueTimeThenPostingOrder) {
  RunOnFreshThread([] {
    MessageLoop loop;
    std::vector<std::string> order;
    int64_t now = base::NowMicroseconds();
    // Equal due times: posting order. A later post with an earlier due time: first.
    loop.EnqueueIncomingTask(DelayedRecord(now + 30000, [&] { order.push_back("30 ms a"); }));
    loop.EnqueueIncomingTask(DelayedRecord(now + 30000, [&] { order.push_back("30 ms b"); }));
    loop.EnqueueIncomingTask(DelayedRecord(now + 40000, [&] {
      order.push_back("40 ms");
      QuitCurrentLoopWhenIdle();
    }));
    loop.EnqueueIncomingTask(DelayedRecord(now + 30000, [&] { order.push_back("30 ms c"); }));
    loop.EnqueueIncomingTask(DelayedRecord(now + 10000, [&] { order.push_back("10 ms"); }));
    loop.Run();
    EXPECT_EQ(order, (std::vector<std::string>{"10 ms", "30 ms a", "30 ms b", "30 ms c", "40 ms"}));
    EXPECT_GE(base::NowMicroseconds(), now + 40000);
  });
}

TEST(MessageLoopTest, TaskPostedFromTaskRunsAfterItNeverInside) {
  RunOnFreshThread([] {
    MessageLoop loop;
    std::vector<std::string> order;
    bool refused_inside = false;
    loop.PostTask([&] {
      order.push_back("outer begins");
      MessageLoop::Current()->PostTask([&] {
        order.push_back("posted from outer");
        QuitCurrentLoopWhenIdle();
      });
      MessageLoop::Current()->PostDelayedTask([&] { order.push_back("delayed from outer"); }, TimeDelta());
      // While a task runs both work operations refuse.
      int64_t next = 1;
      refused_inside = !loop.RunImmediateWork() && !loop.RunDelayedWork(&next);
      order.push_back("outer ends");
    });
    loop.Run();
    EXPECT_TRUE(refused_inside);
    EXPECT_EQ(order, (std::vector<std::string>{"outer begins", "outer ends", "posted from outer",
                                               "delayed from outer"}));
  });
}

TEST(MessageLoopTest, QuitRunsImmediateTasksAndDestroysFutureOnesUnrun) {
  RunOnFreshThread([] {
    EventLog log;
    auto loop = std::make_unique<MessageLoop>();
    auto future_probe = std::make_shared<DestructionProbe>(&log, "future task");
    loop->PostTask([] { QuitCurrentLoopWhenIdle(); });
    loop->PostDelayedTask([&log, future_probe] { log.Add("future task ran"); }, TimeDelta::FromSeconds(3600));
    future_probe.reset();
    loop->PostTask([&] { log.Add("immediate 1"); });
    loop->PostTask([&] { log.Add("immediate 2"); });
    loop->Run();
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{"immediate 1", "immediate 2"}));

    loop.reset();
    EXPECT_EQ(log.Entries(),
              (std::vector<std::string>{"immediate 1", "immediate 2", "future task destroyed"}));
    EXPECT_EQ(MessageLoop::Current(), nullptr);
  });
}

TEST(MessageLoopTest, EmptyHeapReportsNoNextRunTimeAndEmptyClosureIsSkipped) {
  RunOnFreshThread([] {
    MessageLoop loop;
    int64_t next = 12345;
    EXPECT_FALSE(loop.RunDelayedWork(&next));
    EXPECT_EQ(next, 0);

    bool ran_after_empty = false;
    loop.PostTask(std::function<void()>());
    loop.PostTask([&] {
      ran_after_empty = true;
      QuitCurrentLoopWhenIdle();
    });
    loop.Run();
    EXPECT_TRUE(ran_after_empty);
  });
}

class RecordingTaskObserver : public MessageLoop::TaskObserver {
 public:
  explicit RecordingTaskObserver(EventLog* log) : log_(log) {}
  void BeforeTask() override { log_->Add("before"); }
  void AfterTask() override { log_->Add("after"); }

 private:
  EventLog* log_;
};

TEST(MessageLoopTest, TaskObserversSurroundEachTask) {
  RunOnFreshThread([] {
    EventLog log;
    RecordingTaskObserver observer(&log);
    MessageLoop loop;
    loop.AddTaskObserver(&observer);
    loop.PostTask([&] { log.Add("task"); });
    loop.PostTask([&] {
      MessageLoop::Current()->RemoveTaskObserver(&observer);
      QuitCurrentLoopWhenIdle();
    });
    loop.Run();
    // Removed by a task: that task gets no after-notification.
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{"before", "task", "after", "before"}));
  });
}

TEST(MessageLoopProxyTest, RefusesPostsOnceLoopIsGone) {
  EventLog log;
  std::shared_ptr<base::MessageLoopProxy> proxy;
  RunOnFreshThread([&] {
    MessageLoop loop;
    proxy = loop.proxy();
    EXPECT_TRUE(proxy->IsLoopThreadCurrent());
  });
  auto probe = std::make_shared<DestructionProbe>(&log, "refused task");
  EXPECT_FALSE(proxy->PostTask([probe] {}));
  EXPECT_FALSE(proxy->PostDelayedTask([probe] {}, TimeDelta::FromMilliseconds(1)));
  EXPECT_FALSE(proxy->PostOuterLevelTask([probe] {}));
  EXPECT_FALSE(proxy->PostOuterLevelDelayedTask([probe] {}, TimeDelta()));
  EXPECT_FALSE(proxy->IsLoopThreadCurrent());
  probe.reset();
  // The refused closures were dropped at once.
  EXPECT_EQ(log.Count("refused task destroyed"), 1u);
}

TEST(MessageLoopProxyTest, DelayZeroThroughProxyIsImmediate) {
  RunOnFreshThread([] {
    MessageLoop loop;
    std::vector<std::string> order;
    bool current_elsewhere = true;
    std::thread([&] { current_elsewhere = loop.proxy()->IsLoopThreadCurrent(); }).join();
    EXPECT_FALSE(current_elsewhere);

    EXPECT_TRUE(loop.proxy()->PostDelayedTask([&] { order.push_back("proxy delay 0"); }, TimeDelta()));
    EXPECT_TRUE(loop.proxy()->PostOuterLevelDelayedTask([&] { order.push_back("proxy outer delay 0"); },
                                                        TimeDelta()));
    loop.PostTask([&] { order.push_back("immediate"); });
    EXPECT_TRUE(loop.proxy()->PostDelayedTask(
        [&] {
          order.push_back("proxy delay 1 ms");
          QuitCurrentLoopWhenIdle();
        },
        TimeDelta::FromMilliseconds(1)));
    loop.Run();
    EXPECT_EQ(order, (std::vector<std::string>{"proxy delay 0", "proxy outer delay 0", "immediate",
                                               "proxy delay 1 ms"}));
  });
}

TEST(MessageLoopProxyTest, PostsFromOtherThreadsArrive) {
  RunOnFreshThread([] {
    MessageLoop loop;
    auto proxy = loop.proxy();
    std::vector<int> seen;
    std::thread poster([&] {
      for (int i = 0; i < 200; ++i) proxy->PostTask([&seen, i] { seen.push_back(i); });
      proxy->PostTask([] { QuitCurrentLoopWhenIdle(); });
    });
    loop.Run();
    poster.join();
    ASSERT_EQ(seen.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[i], i);
  });
}

TEST(ClockTest, SurvivesTickCounterRollOver) {
  DWORD ticks = 0xFFFFFFF0u;
  base::RolloverClock clock([&ticks] { return ticks; });
  EXPECT_EQ(clock.NowMicroseconds(), int64_t{0xFFFFFFF0} * 1000);
  ticks = 0xFFFFFFFFu;
  EXPECT_EQ(clock.NowMicroseconds(), int64_t{0xFFFFFFFF} * 1000);
  ticks = 5;  // wrapped
  EXPECT_EQ(clock.NowMicroseconds(), ((int64_t{1} << 32) + 5) * 1000);
  ticks = 5;  // the same reading again is no second wrap
  EXPECT_EQ(clock.NowMicroseconds(), ((int64_t{1} << 32) + 5) * 1000);
  ticks = 3;  // wrapped once more
  EXPECT_EQ(clock.NowMicroseconds(), ((int64_t{2} << 32) + 3) * 1000);
}

TEST(ClockTest, ProcessClockIsMonotonicMicroseconds) {
  int64_t first = base::NowMicroseconds();
  Sleep(20);
  int64_t second = base::NowMicroseconds();
  EXPECT_EQ(first % 1000, 0);
  EXPECT_GE(second - first, 15000);
  EXPECT_LT(second - first, 5000000);
}

struct CountingObserver {
  int calls = 0;
};

TEST(ObserverListTest, ToleratesChangesWhileNotifying) {
  base::ObserverList<CountingObserver> list;
  CountingObserver a, b, added;
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.Notify([&](CountingObserver* observer) {
    ++observer->calls;
    if (observer == &a) {
      list.RemoveObserver(&b);
      list.AddObserver(&added);
    }
  });
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 0);
  EXPECT_EQ(added.calls, 1);

  list.Notify([](CountingObserver* observer) { ++observer->calls; });
  EXPECT_EQ(a.calls, 2);
  EXPECT_EQ(b.calls, 0);
  EXPECT_EQ(added.calls, 2);
}

}  // namespace
