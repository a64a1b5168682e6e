// The timer service with the real multimedia timer under Wine, pumped on this thread.

#include "ui/animation/timer_manager.h"

#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include "base/weak_callback.h"
#include "ui/animation/ui_test_pump.h"

namespace ui {
namespace {

using ui_test::PumpFor;
using ui_test::PumpUntil;

TimerManager* Timers() { return TimerManager::Instance(); }

TEST(TimerManagerTest, ServiceWindowIsMessageOnly) {
  HWND window = Timers()->GetWindow();
  ASSERT_NE(window, nullptr);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  EXPECT_STREQ(name, L"UI_ANIMATION_TIMERMANAGER_H_");
  // Other test processes' services share the message-only level: look for this one among them.
  HWND found = nullptr;
  while ((found = FindWindowExW(HWND_MESSAGE, found, L"UI_ANIMATION_TIMERMANAGER_H_", nullptr)) && found != window) {
  }
  EXPECT_EQ(found, window);
}

TEST(TimerManagerTest, RepeatCounts) {
  const struct {
    int repeat;
    int runs;
  } cases[] = {{1, 1}, {3, 3}, {0, 1}, {-2, 1}};
  for (const auto& c : cases) {
    base::WeakCallbackFlag owner;
    int runs = 0;
    DWORD thread = 0;
    ASSERT_TRUE(Timers()->AddTimer(owner.ObtainWeakFlag(), [&] { ++runs; thread = GetCurrentThreadId(); }, 5, c.repeat));
    EXPECT_TRUE(PumpUntil([&] { return Timers()->PendingCount() == 0; }, 3000)) << c.repeat;
    PumpFor(60);
    EXPECT_EQ(runs, c.runs) << c.repeat;
    EXPECT_EQ(thread, GetCurrentThreadId());
    // Nothing left: the multimedia timer is gone.
    EXPECT_EQ(Timers()->GetTimerId(), 0u) << c.repeat;
  }
}

TEST(TimerManagerTest, ForeverRunsUntilTheOwnerFlagExpires) {
  base::WeakCallbackFlag owner;
  int runs = 0;
  Timers()->AddTimer(owner.ObtainWeakFlag(), [&] { ++runs; }, 10, -1);
  EXPECT_TRUE(PumpUntil([&] { return runs >= 5; }, 3000));
  EXPECT_NE(Timers()->GetTimerId(), 0u);
  EXPECT_TRUE(Timers()->IsFastMode());
  owner.Invalidate();
  const int seen = runs;
  EXPECT_TRUE(PumpUntil([&] { return Timers()->PendingCount() == 0; }, 3000));
  PumpFor(50);
  EXPECT_EQ(runs, seen);
  EXPECT_EQ(Timers()->GetTimerId(), 0u);
}

TEST(TimerManagerTest, ExpiredFlagsNeverRun) {
  int runs = 0;
  {
    base::WeakCallbackFlag dropped;
    Timers()->AddTimer(dropped.ObtainWeakFlag(), [&] { ++runs; }, 30, 1);
  }  // the owner is gone before its timer is due
  base::WeakCallbackFlag cancelled;
  Timers()->AddTimer(cancelled.ObtainWeakFlag(), [&] { ++runs; }, 30, -1);
  cancelled.Invalidate();
  EXPECT_NE(Timers()->GetTimerId(), 0u);
  EXPECT_TRUE(PumpUntil([&] { return Timers()->PendingCount() == 0; }, 3000));
  PumpFor(50);
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(Timers()->GetTimerId(), 0u);
}

TEST(TimerManagerTest, CallbacksMayAddTimersAndZeroDelayRepeatsWaitForTheNextPoll) {
  base::WeakCallbackFlag owner;
  int zeroRuns = 0;
  int chained = 0;
  Timers()->AddTimer(owner.ObtainWeakFlag(), [&] { ++zeroRuns; }, 0, -1);
  Timers()->AddTimer(owner.ObtainWeakFlag(), [&] {
    Timers()->AddTimer(owner.ObtainWeakFlag(), [&] { ++chained; }, 0, 1);
  }, 0, 1);
  // A zero-delay repeat runs once per wake-up instead of spinning inside one poll: the loop
  // gets back to its condition after a run or two.
  EXPECT_TRUE(PumpUntil([&] { return zeroRuns >= 2 && chained == 1; }, 30000));
  EXPECT_LT(zeroRuns, 100);
  EXPECT_EQ(chained, 1);
  owner.Invalidate();
  EXPECT_TRUE(PumpUntil([&] { return Timers()->PendingCount() == 0; }, 3000));
}

TEST(TimerManagerTest, FarEntryArmsOneSlowPeriodThenRuns) {
  base::WeakCallbackFlag owner;
  int runs = 0;
  const ULONGLONG added = GetTickCount64();
  Timers()->AddTimer(owner.ObtainWeakFlag(), [&] { ++runs; }, 5000, 1);
  EXPECT_TRUE(Timers()->IsFastMode());
  // The first 16 ms wake-up finds nothing due within a second.
  EXPECT_TRUE(PumpUntil([&] { return !Timers()->IsFastMode(); }, 4000));
  const ULONGLONG waited = GetTickCount64() - added;
  // The period is what was left of the 5 s when that wake-up came.
  const UINT period = Timers()->GetTimerPeriod();
  EXPECT_GE(period + waited + 20, 5000u) << "after " << waited << " ms";
  EXPECT_LE(period, 5002u);
  EXPECT_NE(Timers()->GetTimerId(), 0u);
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(PumpUntil([&] { return runs == 1; }, 7000));
  EXPECT_EQ(Timers()->GetTimerId(), 0u);
}

// Wine's timeSetEvent refuses periods above its maximum: a far entry gets the longest period
// the system allows instead of no timer at all. (Last: its entry stays queued.)
TEST(TimerManagerTest, SlowPeriodIsCappedAtTheSystemMaximum) {
  TIMECAPS caps = {};
  ASSERT_EQ(timeGetDevCaps(&caps, sizeof(caps)), static_cast<MMRESULT>(TIMERR_NOERROR));
  base::WeakCallbackFlag owner;
  Timers()->AddTimer(owner.ObtainWeakFlag(), [] {}, 3600 * 1000, 1);
  EXPECT_TRUE(PumpUntil([&] { return !Timers()->IsFastMode(); }, 1000));
  EXPECT_NE(Timers()->GetTimerId(), 0u);
  EXPECT_EQ(Timers()->GetTimerPeriod(), caps.wPeriodMax);
}

}  // namespace
}  // namespace ui
