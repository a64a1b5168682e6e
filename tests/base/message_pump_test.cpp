#include "base/win_message_pump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base_test_support.h"

namespace {

using base::kMsgPumpWake;
using base::MessageLoop;
using base::TimeDelta;
using base::UIMessageLoop;
using base_test::QuitCurrentLoopWhenIdle;
using base_test::RunOnFreshThread;

// Removes the wake messages queued for the calling thread, counts them and queues them
// again unchanged, so the pump's state is left as it was.
size_t CountQueuedWakeMessages() {
  std::vector<MSG> taken;
  MSG message;
  while (PeekMessageW(&message, nullptr, kMsgPumpWake, kMsgPumpWake, PM_REMOVE)) taken.push_back(message);
  for (const MSG& m : taken) PostMessageW(m.hwnd, m.message, m.wParam, m.lParam);
  return taken.size();
}

// A plain window of the test's own, on the calling thread.
class TestWindow {
 public:
  using Handler = std::function<bool(HWND, UINT, WPARAM, LPARAM)>;

  explicit TestWindow(Handler handler) : handler_(std::move(handler)) {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &TestWindow::WindowProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"DvBaseTestWindow";
    RegisterClassExW(&window_class);
    hwnd_ = CreateWindowExW(0, L"DvBaseTestWindow", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                            nullptr, GetModuleHandleW(nullptr), this);
  }
  ~TestWindow() { DestroyWindow(hwnd_); }
  HWND hwnd() const { return hwnd_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && self->handler_ && self->handler_(hwnd, message, wparam, lparam)) return 0;
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  Handler handler_;
  HWND hwnd_ = nullptr;
};

TEST(WaitClampingTest, TimerHasTenMillisecondFloorWhileWaitIsExact) {
  int64_t now = 1000000000;
  // Due in 3 ms: the pump window's timer is armed for 10 ms, the pump's own wait is 3 ms.
  int64_t three_ms = base::WinMessagePump::MillisecondsUntil(now + 3000, now);
  EXPECT_EQ(three_ms, 3);
  EXPECT_EQ(base::TimerPeriodForDelay(three_ms), 10u);
  EXPECT_EQ(base::WaitTimeoutForDelay(three_ms), 3u);

  // Partial milliseconds round up, so the wait never ends before the task is due.
  EXPECT_EQ(base::WinMessagePump::MillisecondsUntil(now + 2500, now), 3);
  EXPECT_EQ(base::WinMessagePump::MillisecondsUntil(now + 1, now), 1);

  // Already due: no wait, but the timer still keeps its floor.
  int64_t due = base::WinMessagePump::MillisecondsUntil(now - 5000, now);
  EXPECT_EQ(due, 0);
  EXPECT_EQ(base::WaitTimeoutForDelay(due), 0u);
  EXPECT_EQ(base::TimerPeriodForDelay(due), 10u);

  // Nothing delayed: an endless wait.
  EXPECT_EQ(base::WinMessagePump::MillisecondsUntil(0, now), -1);
  EXPECT_EQ(base::WaitTimeoutForDelay(-1), INFINITE);

  // 5,000,000,000 ms away: capped one below INFINITE, never INFINITE itself.
  int64_t far_away = base::WinMessagePump::MillisecondsUntil(now + int64_t{5000000000} * 1000, now);
  EXPECT_EQ(far_away, int64_t{5000000000});
  EXPECT_EQ(base::WaitTimeoutForDelay(far_away), 0xFFFFFFFEu);
  EXPECT_EQ(base::TimerPeriodForDelay(far_away), 0xFFFFFFFEu);
}

TEST(UiPumpTest, DelayedAndImmediateTasksRun) {
  RunOnFreshThread([] {
    UIMessageLoop loop;
    EXPECT_EQ(loop.type(), base::kMessageLoopUi);
    std::vector<std::string> order;
    loop.PostDelayedTask(
        [&] {
          order.push_back("delayed 3 ms");
          QuitCurrentLoopWhenIdle();
        },
        TimeDelta::FromMilliseconds(3));
    loop.PostTask([&] { order.push_back("immediate"); });
    loop.Run();
    EXPECT_EQ(order, (std::vector<std::string>{"immediate", "delayed 3 ms"}));
  });
}

TEST(UiPumpTest, BurstFromAnotherThreadKeepsOneWakeMessageInFlight) {
  constexpr int kTasks = 1000;
  std::vector<int> order;
  size_t most_wakes_queued = 0;
  RunOnFreshThread([&] {
    UIMessageLoop loop;
    auto proxy = loop.proxy();
    std::thread poster([&] {
      for (int i = 0; i < kTasks; ++i) {
        proxy->PostTask([&, i] {
          order.push_back(i);
          most_wakes_queued = std::max(most_wakes_queued, CountQueuedWakeMessages());
          if (i == kTasks - 1) QuitCurrentLoopWhenIdle();
        });
      }
    });
    loop.Run();
    poster.join();
    most_wakes_queued = std::max(most_wakes_queued, CountQueuedWakeMessages());
  });
  EXPECT_LE(most_wakes_queued, 1u);
  ASSERT_EQ(order.size(), static_cast<size_t>(kTasks));
  for (int i = 0; i < kTasks; ++i) ASSERT_EQ(order[i], i);
}

TEST(UiPumpTest, WakeMessageOutsideAnyRunOnlyClearsTheFlag) {
  RunOnFreshThread([] {
    UIMessageLoop loop;
    bool ran = false;
    loop.PostTask([&] {
      ran = true;
      QuitCurrentLoopWhenIdle();
    });
    // Repeated wakes while one is in flight add nothing.
    loop.pump()->WakeForWork();
    EXPECT_EQ(CountQueuedWakeMessages(), 1u);

    // Dispatched outside a run of the pump: no task runs, the flag is cleared.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    EXPECT_FALSE(ran);
    EXPECT_EQ(CountQueuedWakeMessages(), 0u);
    loop.pump()->WakeForWork();
    EXPECT_EQ(CountQueuedWakeMessages(), 1u);

    loop.Run();
    EXPECT_TRUE(ran);
  });
}

TEST(UiPumpTest, QuitMessageEndsRunAndStaysForOuterLoop) {
  RunOnFreshThread([] {
    UIMessageLoop loop;
    loop.PostTask([] { PostQuitMessage(7); });
    loop.Run();
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 7u);
  });
}

TEST(UiPumpTest, TasksKeepRunningInsideMessageBoxModalLoop) {
  static const wchar_t kBoxTitle[] = L"Dorevezi base modal test";
  std::atomic<bool> box_open{false};
  bool immediate_ran_while_open = false;
  bool delayed_ran_while_open = false;
  std::atomic<bool> delayed_ran{false};
  bool closed_by_task = false;
  int box_result = 0;
  std::atomic<bool> watchdog_fired{false};

  RunOnFreshThread([&] {
    UIMessageLoop loop;
    auto proxy = loop.proxy();
    std::thread closer;
    TestWindow window([&](HWND, UINT message, WPARAM, LPARAM) {
      if (message != WM_APP + 1) return false;
      // A timer-driven task, set up before Windows takes the thread into its modal loop.
      loop.PostDelayedTask(
          [&] {
            delayed_ran_while_open = box_open;
            delayed_ran = true;
          },
          TimeDelta::FromMilliseconds(30));
      closer = std::thread([&] {
        HWND box = nullptr;
        base_test::WaitUntil([&] { return (box = FindWindowW(L"#32770", kBoxTitle)) != nullptr; });
        if (!box) return;
        // Let the delayed task run first (a pump that never runs it is seen below).
        base_test::WaitUntil([&] { return delayed_ran.load(); });
        proxy->PostTask([&] { immediate_ran_while_open = box_open; });
        proxy->PostTask([&] {
          HWND found = FindWindowW(L"#32770", kBoxTitle);
          if (found && box_open) {
            closed_by_task = true;
            SendMessageW(found, WM_COMMAND, IDOK, 0);
          }
        });
        // Never leave the test hanging if tasks stay stuck.
        if (!base_test::WaitUntil([&] { return !box_open; }, 10000)) {
          watchdog_fired = true;
          PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
      });
      box_open = true;
      box_result = MessageBoxW(nullptr, L"Modal loop", kBoxTitle, MB_OK);
      box_open = false;
      loop.PostTask([] { QuitCurrentLoopWhenIdle(); });
      return true;
    });
    PostMessageW(window.hwnd(), WM_APP + 1, 0, 0);
    loop.Run();
    if (closer.joinable()) closer.join();
  });
  EXPECT_FALSE(watchdog_fired);
  EXPECT_TRUE(closed_by_task);
  EXPECT_EQ(box_result, IDOK);
  EXPECT_TRUE(immediate_ran_while_open);
  EXPECT_TRUE(delayed_ran_while_open);
}

constexpr UINT kMsgSwallowed = WM_APP + 7;
constexpr UINT kMsgPassed = WM_APP + 8;
int g_filter_calls = 0;

LRESULT CALLBACK SwallowingFilter(int code, WPARAM wparam, LPARAM lparam) {
  const MSG* message = reinterpret_cast<const MSG*>(lparam);
  if (code == base::kMessageFilterCode && message->message == kMsgSwallowed) {
    ++g_filter_calls;
    return 1;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST(UiPumpTest, MessageConsumedByFilterHookIsNotDispatched) {
  std::vector<UINT> dispatched;
  RunOnFreshThread([&] {
    g_filter_calls = 0;
    HHOOK hook = SetWindowsHookExW(WH_MSGFILTER, &SwallowingFilter, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    UIMessageLoop loop;
    TestWindow window([&](HWND, UINT message, WPARAM, LPARAM) {
      if (message == kMsgSwallowed || message == kMsgPassed) dispatched.push_back(message);
      return false;
    });
    PostMessageW(window.hwnd(), kMsgSwallowed, 0, 0);
    PostMessageW(window.hwnd(), kMsgPassed, 0, 0);
    loop.PostTask([] { QuitCurrentLoopWhenIdle(); });
    loop.Run();
    UnhookWindowsHookEx(hook);
  });
  EXPECT_EQ(g_filter_calls, 1);
  EXPECT_EQ(dispatched, (std::vector<UINT>{kMsgPassed}));
}

class RecordingDispatcher : public base::WinMessagePump::Dispatcher {
 public:
  bool Dispatch(const MSG& message) override {
    if (message.message >= WM_APP) seen.push_back(message.message);
    return message.message != WM_APP + 10;
  }
  std::vector<UINT> seen;
};

TEST(UiPumpTest, DispatcherReceivesMessagesAndEndsRunByReturningFalse) {
  RecordingDispatcher dispatcher;
  bool window_saw_message = false;
  RunOnFreshThread([&] {
    UIMessageLoop loop;
    TestWindow window([&](HWND, UINT message, WPARAM, LPARAM) {
      if (message >= WM_APP) window_saw_message = true;
      return false;
    });
    PostMessageW(window.hwnd(), WM_APP + 9, 0, 0);
    PostMessageW(window.hwnd(), WM_APP + 10, 0, 0);
    loop.Run(&dispatcher);
  });
  EXPECT_EQ(dispatcher.seen, (std::vector<UINT>{WM_APP + 9, WM_APP + 10}));
  EXPECT_FALSE(window_saw_message);
}

class WriteCompletion : public base::WinIOMessagePump::IOHandler {
 public:
  void OnIOCompleted(base::WinIOMessagePump::IOContext*, DWORD bytes, DWORD error_code) override {
    bytes_transferred = bytes;
    error = error_code;
    thread_id = GetCurrentThreadId();
    QuitCurrentLoopWhenIdle();
  }
  DWORD bytes_transferred = 0;
  DWORD error = 1;
  DWORD thread_id = 0;
};

TEST(IoPumpTest, RunsTasksAndCompletesOverlappedWriteOnLoopThread) {
  RunOnFreshThread([] {
    base::IOMessageLoop loop;
    EXPECT_EQ(loop.type(), base::kMessageLoopIo);
    auto* pump = static_cast<base::WinIOMessagePump*>(loop.pump().get());

    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"dvb", 0, path);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    WriteCompletion handler;
    ASSERT_TRUE(pump->RegisterIOHandler(file, &handler));

    std::vector<std::string> order;
    base::WinIOMessagePump::IOContext context = {};
    static const char kData[] = "completion port";
    loop.PostTask([&] { order.push_back("immediate"); });
    loop.PostDelayedTask(
        [&] {
          order.push_back("delayed");
          context.handler = &handler;
          BOOL done = WriteFile(file, kData, sizeof(kData), nullptr, &context.overlapped);
          if (!done && GetLastError() != ERROR_IO_PENDING) QuitCurrentLoopWhenIdle();
        },
        TimeDelta::FromMilliseconds(2));
    std::thread([&] { loop.proxy()->PostTask([&] { order.push_back("from another thread"); }); }).join();
    loop.Run();
    CloseHandle(file);

    EXPECT_EQ(order, (std::vector<std::string>{"immediate", "from another thread", "delayed"}));
    EXPECT_EQ(handler.bytes_transferred, sizeof(kData));
    EXPECT_EQ(handler.error, 0u);
    EXPECT_EQ(handler.thread_id, GetCurrentThreadId());
  });
}

}  // namespace
