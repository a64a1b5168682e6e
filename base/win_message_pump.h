#pragma once

// The two Win32 pumps: the UI pump (the thread's window messages plus a hidden message-only
// window that receives wake and timer messages, so tasks keep running inside modal loops
// that Windows runs on the thread) and the I/O pump (an I/O completion port).

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "base/base_util.h"
#include "base/message_pump.h"
#include "base/observer_list.h"

namespace base {

// Wake message posted to the pump window (WM_USER + 1); wParam carries the pump.
constexpr UINT kMsgPumpWake = WM_USER + 1;
constexpr wchar_t kMessagePumpWindowClass[] = L"VudirivMessagePumpWindow";
// Code passed to CallMsgFilterW, so message hooks can consume a message before dispatch.
constexpr int kMessageFilterCode = 0x5001;
constexpr int64_t kMinTimerMilliseconds = 10;
// One below INFINITE: a far-away task must never turn into an endless wait.
constexpr int64_t kMaxWaitMilliseconds = 0xFFFFFFFE;

// Period for the pump window's timer: at least 10 ms, at most 0xFFFFFFFE ms.
UINT TimerPeriodForDelay(int64_t milliseconds);
// Timeout for the pump's own wait: INFINITE when nothing is delayed (negative), else the
// delay capped at 0xFFFFFFFE ms.
DWORD WaitTimeoutForDelay(int64_t milliseconds);

class WinMessagePump : public MessagePump {
 public:
  class Dispatcher {
   public:
    virtual ~Dispatcher() = default;
    // Returning false asks the pump to quit.
    virtual bool Dispatch(const MSG& message) = 0;
  };

  // -1 when no delayed work is set; otherwise the milliseconds left until it, rounded up,
  // 0 once it is due.
  int64_t MillisecondsUntilDelayedWork() const;
  static int64_t MillisecondsUntil(int64_t run_time, int64_t now);

  void Run(Delegate* delegate) override;
  void Quit() override;
  // Runs the inner loop with a dispatcher in place of TranslateMessage/DispatchMessageW.
  void RunWithDispatcher(Delegate* delegate, Dispatcher* dispatcher);

 protected:
  struct PumpState {
    int32_t run_depth;
    bool should_quit;
    Delegate* delegate;
    Dispatcher* dispatcher;
    PumpState* previous;
  };

  virtual void PumpLoop() = 0;

  int64_t delayed_work_time_ = 0;
  std::atomic<int32_t> have_work_{0};
  PumpState* state_ = nullptr;
};

class WinUIMessagePump : public WinMessagePump {
 public:
  class UIObserver {
   public:
    virtual ~UIObserver() = default;
    virtual void BeforeDispatch(const MSG& message) = 0;
    virtual void AfterDispatch(const MSG& message) = 0;
  };

  // Must be built on the thread whose messages it pumps.
  WinUIMessagePump();
  ~WinUIMessagePump() override;

  void WakeForWork() override;
  void WakeForDelayedWork(const int64_t& run_time) override;

  void AddUIObserver(UIObserver* observer) { ui_observers_.AddObserver(observer); }
  void RemoveUIObserver(UIObserver* observer) { ui_observers_.RemoveObserver(observer); }

  HWND window() const { return window_; }

 protected:
  void PumpLoop() override;
  virtual void NotifyBeforeDispatch(const MSG& message);
  virtual void NotifyAfterDispatch(const MSG& message);

 private:
  static LRESULT CALLBACK WakeWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void HandleTimer();
  void HandleWakeMessage();
  bool ProcessMessage(const MSG& message);
  bool ProcessWakeMessage();
  void WaitForWork();

  HWND window_ = nullptr;
  ObserverList<UIObserver> ui_observers_;
};

class WinIOMessagePump : public WinMessagePump {
 public:
  class IOHandler;

  // One outstanding operation: the OVERLAPPED the system fills, then the handler to call.
  struct IOContext {
    OVERLAPPED overlapped;
    IOHandler* handler;
  };

  class IOHandler {
   public:
    virtual ~IOHandler() = default;
    // error: 0 on success, else the system error of the failed operation.
    virtual void OnIOCompleted(IOContext* context, DWORD bytes_transferred, DWORD error) = 0;
  };

  class IOObserver {
   public:
    virtual ~IOObserver() = default;
    virtual void BeforeIOEvent() = 0;
    virtual void AfterIOEvent() = 0;
  };

  WinIOMessagePump();
  ~WinIOMessagePump() override;

  void WakeForWork() override;
  void WakeForDelayedWork(const int64_t& run_time) override;

  // Ties a handle opened for overlapped I/O to the port; its completions reach the handler
  // named in each operation's IOContext.
  bool RegisterIOHandler(HANDLE file, IOHandler* handler);

  void AddIOObserver(IOObserver* observer) { io_observers_.AddObserver(observer); }
  void RemoveIOObserver(IOObserver* observer) { io_observers_.RemoveObserver(observer); }

 protected:
  void PumpLoop() override;

 private:
  bool ServiceCompletionPort(DWORD timeout);

  OwnedFileHandle port_;
  ObserverList<IOObserver> io_observers_;
};

}  // namespace base
