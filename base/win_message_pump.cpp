#include "base/win_message_pump.h"

#include "base/clock.h"

namespace base {

UINT TimerPeriodForDelay(int64_t milliseconds) {
  if (milliseconds < kMinTimerMilliseconds) milliseconds = kMinTimerMilliseconds;
  if (milliseconds > kMaxWaitMilliseconds) milliseconds = kMaxWaitMilliseconds;
  return static_cast<UINT>(milliseconds);
}

DWORD WaitTimeoutForDelay(int64_t milliseconds) {
  if (milliseconds < 0) return INFINITE;
  if (milliseconds > kMaxWaitMilliseconds) milliseconds = kMaxWaitMilliseconds;
  return static_cast<DWORD>(milliseconds);
}

int64_t WinMessagePump::MillisecondsUntil(int64_t run_time, int64_t now) {
  if (run_time == 0) return -1;
  int64_t left = run_time - now;
  if (left <= 0) return 0;
  return (left + 999) / 1000;
}

int64_t WinMessagePump::MillisecondsUntilDelayedWork() const {
  if (delayed_work_time_ == 0) return -1;
  return MillisecondsUntil(delayed_work_time_, NowMicroseconds());
}

void WinMessagePump::Run(Delegate* delegate) {
  RunWithDispatcher(delegate, nullptr);
}

void WinMessagePump::RunWithDispatcher(Delegate* delegate, Dispatcher* dispatcher) {
  PumpState state;
  state.run_depth = state_ ? state_->run_depth + 1 : 1;
  state.should_quit = false;
  state.delegate = delegate;
  state.dispatcher = dispatcher;
  state.previous = state_;
  state_ = &state;
  PumpLoop();
  state_ = state.previous;
}

void WinMessagePump::Quit() {
  if (state_) state_->should_quit = true;
}

// ---------------------------------------------------------------------------------------
// UI pump

WinUIMessagePump::WinUIMessagePump() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &WinUIMessagePump::WakeWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kMessagePumpWindowClass;
  // Another pump of the process may have registered the class already.
  RegisterClassExW(&window_class);
  window_ = CreateWindowExW(0, kMessagePumpWindowClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            instance, nullptr);
}

WinUIMessagePump::~WinUIMessagePump() {
  if (window_) DestroyWindow(window_);
  // Fails harmlessly while another thread's pump window of the class still exists.
  UnregisterClassW(kMessagePumpWindowClass, GetModuleHandleW(nullptr));
}

void WinUIMessagePump::WakeForWork() {
  // Only one wake message is ever in flight, however many threads post.
  if (have_work_.exchange(1) != 0) return;
  PostMessageW(window_, kMsgPumpWake, reinterpret_cast<WPARAM>(this), 0);
}

void WinUIMessagePump::WakeForDelayedWork(const int64_t& run_time) {
  delayed_work_time_ = run_time;
  // The timer keeps delayed tasks running while a modal loop owns the thread; the pump's
  // own wait is exact, so the 10 ms floor only matters there.
  SetTimer(window_, reinterpret_cast<UINT_PTR>(this), TimerPeriodForDelay(MillisecondsUntilDelayedWork()),
           nullptr);
}

LRESULT CALLBACK WinUIMessagePump::WakeWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER) {
    KillTimer(hwnd, wparam);
    reinterpret_cast<WinUIMessagePump*>(wparam)->HandleTimer();
  } else if (message == kMsgPumpWake) {
    reinterpret_cast<WinUIMessagePump*>(wparam)->HandleWakeMessage();
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void WinUIMessagePump::HandleTimer() {
  if (!state_) return;
  state_->delegate->RunDelayedWork(&delayed_work_time_);
  if (delayed_work_time_ != 0) WakeForDelayedWork(delayed_work_time_);
}

void WinUIMessagePump::HandleWakeMessage() {
  if (!state_) {
    // Outside any run nothing is pumped; the next run finds the queued tasks by itself.
    have_work_.exchange(0);
    return;
  }
  ProcessWakeMessage();
  // Reached here inside a modal loop too: keep the tasks flowing one wake at a time.
  if (state_ && state_->delegate->RunImmediateWork()) WakeForWork();
}

bool WinUIMessagePump::ProcessMessage(const MSG& message) {
  if (message.message == WM_QUIT) {
    state_->should_quit = true;
    // Leave it for any outer loop as well.
    PostQuitMessage(static_cast<int>(message.wParam));
    return false;
  }
  if (message.message == kMsgPumpWake && message.hwnd == window_) return ProcessWakeMessage();

  if (CallMsgFilterW(const_cast<MSG*>(&message), kMessageFilterCode)) return true;

  NotifyBeforeDispatch(message);
  if (state_->dispatcher) {
    if (!state_->dispatcher->Dispatch(message)) state_->should_quit = true;
  } else {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  NotifyAfterDispatch(message);
  return true;
}

bool WinUIMessagePump::ProcessWakeMessage() {
  // Lets one ordinary message through in place of the wake message, so a steady stream of
  // posts cannot starve the window messages.
  MSG message;
  bool have_message = PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE;
  have_work_.exchange(0);
  if (!have_message) return false;
  WakeForWork();
  return ProcessMessage(message);
}

void WinUIMessagePump::PumpLoop() {
  for (;;) {
    bool more;
    DWORD queue_status = GetQueueStatus(QS_SENDMESSAGE);
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      more = ProcessMessage(message);
    } else {
      // Sent messages, if any, were delivered inside PeekMessageW.
      more = (HIWORD(queue_status) & QS_SENDMESSAGE) != 0;
    }
    if (state_->should_quit) break;

    more |= state_->delegate->RunImmediateWork();
    if (state_->should_quit) break;
    more |= state_->delegate->RunDelayedWork(&delayed_work_time_);

    if (more && delayed_work_time_ == 0) KillTimer(window_, reinterpret_cast<UINT_PTR>(this));
    if (state_->should_quit) break;
    if (more) continue;

    more = state_->delegate->RunIdleWork();
    if (state_->should_quit) break;
    if (more) continue;

    WaitForWork();
  }
}

void WinUIMessagePump::WaitForWork() {
  DWORD timeout = WaitTimeoutForDelay(MillisecondsUntilDelayedWork());
  DWORD result = MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (result == WAIT_OBJECT_0) {
    // Mouse input meant for another thread's window (attached input) shows in the status
    // but cannot be peeked here; without this the loop would spin.
    DWORD queue_status = GetQueueStatus(QS_MOUSE);
    MSG message;
    if ((HIWORD(queue_status) & QS_MOUSE) != 0 &&
        !PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE)) {
      WaitMessage();
    }
  }
}

void WinUIMessagePump::NotifyBeforeDispatch(const MSG& message) {
  ui_observers_.Notify([&](UIObserver* observer) { observer->BeforeDispatch(message); });
}

void WinUIMessagePump::NotifyAfterDispatch(const MSG& message) {
  ui_observers_.Notify([&](UIObserver* observer) { observer->AfterDispatch(message); });
}

// ---------------------------------------------------------------------------------------
// I/O pump

WinIOMessagePump::WinIOMessagePump() {
  HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  if (port) port_.Reset(port);
}

WinIOMessagePump::~WinIOMessagePump() = default;

void WinIOMessagePump::WakeForWork() {
  if (have_work_.exchange(1) != 0) return;
  PostQueuedCompletionStatus(port_.Get(), 0, reinterpret_cast<ULONG_PTR>(this),
                             reinterpret_cast<OVERLAPPED*>(this));
}

void WinIOMessagePump::WakeForDelayedWork(const int64_t& run_time) {
  delayed_work_time_ = run_time;
}

bool WinIOMessagePump::RegisterIOHandler(HANDLE file, IOHandler* handler) {
  return CreateIoCompletionPort(file, port_.Get(), reinterpret_cast<ULONG_PTR>(handler), 1) == port_.Get();
}

bool WinIOMessagePump::ServiceCompletionPort(DWORD timeout) {
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  DWORD error = 0;
  if (!GetQueuedCompletionStatus(port_.Get(), &bytes, &key, &overlapped, timeout)) {
    if (!overlapped) return false;  // nothing arrived within the timeout
    error = GetLastError();
    bytes = 0;
  }
  if (!overlapped) return false;

  if (key == reinterpret_cast<ULONG_PTR>(this) && overlapped == reinterpret_cast<OVERLAPPED*>(this)) {
    have_work_.exchange(0);
    return true;
  }

  auto* context = reinterpret_cast<IOContext*>(overlapped);
  if (context->handler) {
    io_observers_.Notify([](IOObserver* observer) { observer->BeforeIOEvent(); });
    context->handler->OnIOCompleted(context, bytes, error);
    io_observers_.Notify([](IOObserver* observer) { observer->AfterIOEvent(); });
  } else {
    delete context;
  }
  return true;
}

void WinIOMessagePump::PumpLoop() {
  bool more = state_->delegate->RunImmediateWork();
  while (!state_->should_quit) {
    more |= ServiceCompletionPort(0);
    if (state_->should_quit) break;
    more |= state_->delegate->RunDelayedWork(&delayed_work_time_);
    if (state_->should_quit) break;
    if (!more) {
      more = state_->delegate->RunIdleWork();
      if (state_->should_quit) break;
      if (!more) ServiceCompletionPort(WaitTimeoutForDelay(MillisecondsUntilDelayedWork()));
    }
    more = state_->delegate->RunImmediateWork();
  }
}

}  // namespace base
