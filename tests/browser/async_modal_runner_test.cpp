#include "browser/async_modal_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "base/thread.h"
#include "base/thread_registry.h"
#include "base_test_support.h"

namespace {

using base_test::EventLog;
using base_test::WaitUntil;
using components::AsyncModalRunner;
using components::AsyncModalRunnerManager;

// Threads started in this process, seen by a TLS callback (which every new thread runs).
std::atomic<int> g_threadStarts{0};
void NTAPI CountThreadStarts(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_ATTACH) ++g_threadStarts;
}
extern "C" __attribute__((section(".CRT$XLY"), used)) const PIMAGE_TLS_CALLBACK kCountThreadStarts =
    CountThreadStarts;

// The UI thread of these tests: registered as kThreadIdUi with a UI loop.
class UiThread : public base::FrameworkThread {
 public:
  UiThread() : FrameworkThread("ui") { LaunchWithLoopType(base::kMessageLoopUi); }
  ~UiThread() override { Stop(); }

  void RunAndWait(const std::function<void()>& body) {
    base::OwnedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    message_loop()->PostTask([&] {
      body();
      SetEvent(done.Get());
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done.Get(), 10000));
  }

 protected:
  void OnThreadStart() override { base::ThreadRegistry::RegisterCurrentThread(base::kThreadIdUi); }
  void OnThreadExit() override { base::ThreadRegistry::UnregisterCurrentThread(); }
};

// A system message box; its answer is posted to the UI thread, as the launcher's dialogs do.
class MessageBoxDialog : public ModalWndBase {
 public:
  MessageBoxDialog(EventLog* log, std::wstring caption) : log_(log), caption_(std::move(caption)) {}
  ~MessageBoxDialog() override { log_->Add(Name() + " deleted"); }

  void RunModal() override {
    int answer = MessageBoxW(nullptr, L"Pick one", caption_.c_str(), MB_OKCANCEL);
    EventLog* log = log_;
    std::string name = Name();
    base::ThreadRegistry::PostTask(base::kThreadIdUi, [log, name, answer] {
      log->Add(name + " answered " + std::to_string(answer) + " on ui " +
               std::to_string(base::ThreadRegistry::CurrentRegistryId()));
    });
  }

 private:
  std::string Name() const { return std::string(caption_.begin(), caption_.end()); }
  EventLog* log_;
  std::wstring caption_;
};

// A dialog whose loop ignores WM_QUIT until the test releases it.
class StubbornDialog : public ModalWndBase {
 public:
  StubbornDialog(EventLog* log, std::atomic<bool>* release) : log_(log), release_(release) {}
  ~StubbornDialog() override { log_->Add("stubborn deleted"); }
  void RunModal() override {
    while (!*release_) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) log_->Add("stubborn ignored quit");
      }
      Sleep(5);
    }
    log_->Add("stubborn returned");
  }

 private:
  EventLog* log_;
  std::atomic<bool>* release_;
};

HWND FindBox(const wchar_t* caption) { return FindWindowW(L"#32770", caption); }

TEST(AsyncModalRunnerTest, TwoDialogsRunAtOnceAndEachLeavesTheListWhenItReturns) {
  EventLog log;
  UiThread ui;
  AsyncModalRunnerManager manager;
  bool shownA = false, shownB = false;
  ui.RunAndWait([&] {
    shownA = manager.ShowModalAsync(new MessageBoxDialog(&log, L"runner A"));
    shownB = manager.ShowModalAsync(new MessageBoxDialog(&log, L"runner B"));
  });
  EXPECT_TRUE(shownA);
  EXPECT_TRUE(shownB);
  ASSERT_TRUE(WaitUntil([] { return FindBox(L"runner A") && FindBox(L"runner B"); }));
  HWND boxA = FindBox(L"runner A");
  HWND boxB = FindBox(L"runner B");
  EXPECT_NE(GetWindowThreadProcessId(boxA, nullptr), GetWindowThreadProcessId(boxB, nullptr));
  EXPECT_NE(GetWindowThreadProcessId(boxA, nullptr), GetCurrentThreadId());

  // The UI thread keeps running tasks while both boxes are open.
  bool ranTask = false;
  ui.RunAndWait([&] { ranTask = true; });
  EXPECT_TRUE(ranTask);
  EXPECT_EQ(2u, manager.RunnerCount());

  PostMessageW(boxB, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return manager.RunnerCount() == 1; }));
  EXPECT_EQ(1u, log.Count("runner B answered 2 on ui 0"));
  // Released just after leaving the list, outside its lock.
  EXPECT_TRUE(WaitUntil([&] { return log.Count("runner B deleted") == 1; }));
  EXPECT_TRUE(IsWindow(boxA));
  EXPECT_EQ(0u, log.Count("runner A deleted"));

  PostMessageW(boxA, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitUntil([&] { return manager.RunnerCount() == 0; }));
  EXPECT_EQ(1u, log.Count("runner A answered 1 on ui 0"));
  EXPECT_TRUE(WaitUntil([&] { return log.Count("runner A deleted") == 1; }));
}

TEST(AsyncModalRunnerTest, NullDialogStartsNothing) {
  AsyncModalRunnerManager manager;
  // The counter sees threads at all: a runner with no dialog starts one.
  int before = g_threadStarts;
  {
    AsyncModalRunner empty(nullptr);
    ASSERT_TRUE(empty.Start());
  }
  ASSERT_EQ(before + 1, g_threadStarts);

  before = g_threadStarts;
  EXPECT_FALSE(manager.ShowModalAsync(nullptr));
  EXPECT_EQ(0u, manager.RunnerCount());
  EXPECT_EQ(before, g_threadStarts);
}

TEST(AsyncModalRunnerTest, ExitEndsAnOpenDialogByQuit) {
  EventLog log;
  UiThread ui;
  auto* manager = new AsyncModalRunnerManager();
  ui.RunAndWait([&] { EXPECT_TRUE(manager->ShowModalAsync(new MessageBoxDialog(&log, L"runner exit"))); });
  ASSERT_TRUE(WaitUntil([] { return FindBox(L"runner exit") != nullptr; }));
  delete manager;
  // Deleted: its thread was joined, not let go after the bound.
  EXPECT_EQ(1u, log.Count("runner exit deleted"));
  EXPECT_EQ(nullptr, FindBox(L"runner exit"));
}

TEST(AsyncModalRunnerTest, ExitWaitsForADialogIgnoringQuitOnlyABoundedTime) {
  EventLog log;
  std::atomic<bool> release{false};
  UiThread ui;
  auto* manager = new AsyncModalRunnerManager();
  ui.RunAndWait([&] {
    EXPECT_TRUE(manager->ShowModalAsync(new StubbornDialog(&log, &release)));
    EXPECT_TRUE(manager->ShowModalAsync(new MessageBoxDialog(&log, L"runner beside")));
  });
  ASSERT_TRUE(WaitUntil([] { return FindBox(L"runner beside") != nullptr; }));
  DWORD start = GetTickCount();
  delete manager;
  // It gave the dialog the whole bound, then returned although the dialog still runs.
  EXPECT_GE(GetTickCount() - start + 100, components::kModalRunnerJoinTimeoutMs);
  EXPECT_EQ(0u, log.Count("stubborn returned"));
  EXPECT_EQ(1u, log.Count("stubborn ignored quit"));
  // The runner still running was left alone, its dialog not deleted under it.
  EXPECT_EQ(0u, log.Count("stubborn deleted"));
  EXPECT_EQ(1u, log.Count("runner beside deleted"));
  release = true;
  ASSERT_TRUE(WaitUntil([&] { return log.Count("stubborn returned") == 1; }));
}

// Counts its runner's reports of a returned dialog.
class CountingDelegate : public AsyncModalRunner::Delegate {
 public:
  void OnRunnerExiting(AsyncModalRunner*) override { ++exits; }
  std::atomic<int> exits{0};
};

TEST(AsyncModalRunnerTest, ARunnerLetGoBeforeItsDialogReturnsIsNotTouchedByItsThread) {
  // Static: a faulty thread may still run when the test ends.
  static EventLog log;
  static std::atomic<bool> release{false};
  static CountingDelegate delegate;
  auto* runner = new AsyncModalRunner(&delegate);
  runner->SetDialog(new StubbornDialog(&log, &release));
  ASSERT_TRUE(runner->Start());
  delete runner;
  EXPECT_EQ(1u, log.Count("stubborn ignored quit"));
  EXPECT_EQ(0u, log.Count("stubborn returned"));
  EXPECT_EQ(0u, log.Count("stubborn deleted"));
  // Reuse the freed memory, so that a thread reading its runner reads garbage.
  std::vector<void*> blocks;
  for (int i = 0; i < 64; ++i)
    blocks.push_back(memset(operator new(sizeof(AsyncModalRunner)), 0xCD, sizeof(AsyncModalRunner)));

  release = true;
  // The thread deletes the dialog once it returns, and tells nobody of the runner that is gone.
  ASSERT_TRUE(WaitUntil([] { return log.Count("stubborn deleted") == 1; }));
  EXPECT_EQ(1u, log.Count("stubborn returned"));
  EXPECT_EQ(0, delegate.exits);
  for (void* block : blocks) operator delete(block);
}

}  // namespace
