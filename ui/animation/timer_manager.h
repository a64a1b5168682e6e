#pragma once

// The UI thread's one timer service. A multimedia timer only posts a wake-up message to a
// message-only window; every callback runs on the UI thread inside its message loop. A timer
// belongs to its owner's weak flag: once the flag expires the timer silently stops.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <vector>

#include "base/weak_callback.h"

namespace ui {

// The wake-up message the multimedia timer posts to the service's window.
constexpr UINT kMsgTimerManagerPoll = WM_USER + 9999;

struct TimerEntry {
  std::function<void()> callback;
  int64_t period = 0;        // performance-counter ticks
  int32_t repeatCount = 0;   // -1 for ever; n >= 1 runs n times; anything else once
  int64_t due = 0;           // performance-counter value
  std::weak_ptr<base::WeakFlag> ownerFlag;
};

class TimerManager {
 public:
  // Made on first use, which must be on the UI thread: the window belongs to that thread.
  static TimerManager* Instance();

  // Runs callback delayMs from now on the UI thread, repeatCount times (-1: for as long as
  // ownerFlag lives). Always true.
  bool AddTimer(const std::weak_ptr<base::WeakFlag>& ownerFlag, std::function<void()> callback, UINT delayMs,
                int repeatCount);
  // Runs every due entry and re-arms the multimedia timer for the next one.
  void Poll();

  // The state of the multimedia timer: its id (0 for none), whether it is the 16 ms one, and
  // the period it was started with.
  UINT GetTimerId() const { return timerId_; }
  bool IsFastMode() const { return fastMode_; }
  UINT GetTimerPeriod() const { return timerPeriod_; }
  size_t PendingCount() const { return queue_.size(); }
  HWND GetWindow() const { return window_; }

  // The period of the timer that runs while something is due within a second.
  static constexpr UINT kFastPeriodMs = 16;

 private:
  struct DueLater {
    bool operator()(const TimerEntry& a, const TimerEntry& b) const { return a.due > b.due; }
  };

  TimerManager();
  ~TimerManager();
  TimerManager(const TimerManager&) = delete;
  TimerManager& operator=(const TimerManager&) = delete;

  void StartTimer(UINT periodMs);
  void KillTimer();
  static void CALLBACK OnMultimediaTimer(UINT id, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  std::priority_queue<TimerEntry, std::vector<TimerEntry>, DueLater> queue_;
  int64_t frequency_ = 0;
  bool fastMode_ = true;
  UINT timerId_ = 0;
  UINT timerPeriod_ = 0;
  UINT maxPeriod_ = 0;
  HWND window_ = nullptr;
};

}  // namespace ui
