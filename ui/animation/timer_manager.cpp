#include "ui/animation/timer_manager.h"

#include <mmsystem.h>

#include <algorithm>

namespace ui {

namespace {

constexpr wchar_t kWindowClass[] = L"UI_ANIMATION_TIMERMANAGER_H_";

int64_t Now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

}  // namespace

TimerManager* TimerManager::Instance() {
  static TimerManager instance;
  return &instance;
}

TimerManager::TimerManager() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  frequency_ = frequency.QuadPart;
  // timeSetEvent refuses longer periods (Wine's limit is 65535 ms).
  TIMECAPS caps = {};
  maxPeriod_ = timeGetDevCaps(&caps, sizeof(caps)) == TIMERR_NOERROR && caps.wPeriodMax ? caps.wPeriodMax : 65535;

  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &TimerManager::WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);
  window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
}

// At exit the multimedia timer would otherwise go on posting to a window whose service is gone.
TimerManager::~TimerManager() { KillTimer(); }

bool TimerManager::AddTimer(const std::weak_ptr<base::WeakFlag>& ownerFlag, std::function<void()> callback,
                            UINT delayMs, int repeatCount) {
  TimerEntry entry;
  entry.callback = std::move(callback);
  entry.period = static_cast<int64_t>(delayMs) * frequency_ / 1000;
  entry.due = Now() + entry.period;
  entry.repeatCount = repeatCount;
  entry.ownerFlag = ownerFlag;
  queue_.push(std::move(entry));
  if (timerId_ == 0 || !fastMode_) {
    StartTimer(kFastPeriodMs);
    fastMode_ = true;
  }
  return true;
}

void TimerManager::Poll() {
  const int64_t now = Now();
  while (!queue_.empty()) {
    const int64_t diff = queue_.top().due - now;
    if (diff > 0 && diff < frequency_) {
      if (!fastMode_ || timerId_ == 0) {
        StartTimer(kFastPeriodMs);
        fastMode_ = true;
      }
      return;
    }
    if (diff >= frequency_) {
      // Nothing due within a second: one long period that ends 2 ms after the next due time
      // (or as long as the system allows; the next wake-up re-arms for the rest).
      const UINT period = static_cast<UINT>(std::min<double>(diff * 1000.0 / frequency_ + 2.0, maxPeriod_));
      StartTimer(period);
      fastMode_ = false;
      return;
    }
    TimerEntry entry = queue_.top();
    queue_.pop();
    if (entry.ownerFlag.expired()) continue;
    entry.callback();
    if (entry.repeatCount == -1 || entry.repeatCount >= 2) {
      if (entry.repeatCount != -1) --entry.repeatCount;
      // Counted from this poll; a zero period still waits for the next one, or this loop
      // would never end.
      entry.due = now + std::max<int64_t>(entry.period, 1);
      queue_.push(std::move(entry));
    }
  }
  KillTimer();
}

void TimerManager::StartTimer(UINT periodMs) {
  KillTimer();
  timerId_ = timeSetEvent(periodMs, 1, &TimerManager::OnMultimediaTimer, reinterpret_cast<DWORD_PTR>(window_),
                          TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
  timerPeriod_ = timerId_ ? periodMs : 0;
}

void TimerManager::KillTimer() {
  if (timerId_) timeKillEvent(timerId_);
  timerId_ = 0;
  timerPeriod_ = 0;
}

// Runs on the multimedia timer's own thread: it only wakes the UI thread.
void CALLBACK TimerManager::OnMultimediaTimer(UINT /*id*/, UINT /*message*/, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  PostMessageW(reinterpret_cast<HWND>(user), kMsgTimerManagerPoll, 0, 0);
}

LRESULT CALLBACK TimerManager::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kMsgTimerManagerPoll) {
    Instance()->Poll();
    return 1;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace ui
