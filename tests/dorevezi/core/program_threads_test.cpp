// The program's two threads run in this process: the UI thread in place on the test's main
// thread with the main window, the worker with the engine tick, until the main window exits.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/thread_registry.h"
#include "core_test_util.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/globals.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/program_threads.h"
#include "dorevezi/windows/main_form.h"
#include "entry_test_util.h"
#include "test_support/temp_dir.h"
#include "ui/core/window.h"
#include "ui/resources/ui_runtime.h"

namespace {

using entry_test::RecordingState;

std::vector<std::string> g_log;
RecordingState* g_first = nullptr;
std::atomic<int> g_firstTicks{0};
DWORD g_uiThreadId = 0;
bool g_tickedOnUiThread = false;

// The first state records its ticks; its exit, which the worker runs when it ends, changes the
// download record the UI thread writes at shut-down.
State* MakeFirstState(FlowMode flow) {
  g_first = new RecordingState("first", kStatePrepare, flow, &g_log);
  g_first->onTick = [] {
    ++g_firstTicks;
    if (GetCurrentThreadId() == g_uiThreadId) g_tickedOnUiThread = true;
  };
  g_first->onExit = [] { DoreveziCore::GetInstance().downloadLog.downloadSize = 4242; };
  return g_first;
}

struct Observation {
  HWND window = nullptr;
  LRESULT uiTicks = 0;
  LRESULT engineTicks = 0;
  DWORD elapsedMs = 0;
  bool foundWindow = false;
};

// Waits for the main window, lets the program run, reads its counters and asks it to exit.
DWORD WINAPI Controller(void* argument) {
  Observation* observation = static_cast<Observation*>(argument);
  DoreveziCore& core = DoreveziCore::GetInstance();
  observation->foundWindow = entry_test::WaitFor([&] { return core.mainWindow.load() != nullptr; }, 15000);
  if (!observation->foundWindow) return 0;
  observation->window = core.mainWindow;
  const UINT query = RegisterWindowMessageW(kTickCountsQueryName);
  DWORD start = GetTickCount();
  // Engine ticks come every 2 ms: a loaded machine may lose some, never most.
  entry_test::WaitFor(
      [&] {
        return SendMessageW(observation->window, query, 0, 0) >= 3 &&
               SendMessageW(observation->window, query, 1, 0) >= 100 && g_firstTicks >= 100;
      },
      60000);
  observation->elapsedMs = GetTickCount() - start;
  observation->uiTicks = SendMessageW(observation->window, query, 0, 0);
  observation->engineTicks = SendMessageW(observation->window, query, 1, 0);
  PostMessageW(observation->window, kMsgExitDorevezi, 0, 0);
  return 0;
}

TEST(ProgramThreadsTest, TicksDriveWindowAndEngineUntilTheMainWindowExits) {
  test_support::TempDir dir;
  core_test::ScopedCurrentDirectory cwd(dir.Path());
  SetStateFactories(&MakeFirstState, nullptr);
  DoreveziCore& core = DoreveziCore::GetInstance();
  g_exitRequested = false;
  g_uiThreadId = GetCurrentThreadId();

  Observation observation;
  HANDLE controller = CreateThread(nullptr, 0, &Controller, &observation, 0, nullptr);
  {
    MainThread mainThread;
    mainThread.RunInPlace(base::kMessageLoopUi);
  }
  WaitForSingleObject(controller, INFINITE);
  CloseHandle(controller);
  SetStateFactories(nullptr, nullptr);

  ASSERT_TRUE(observation.foundWindow);
  // Three UI ticks take at least a second and a half.
  EXPECT_GE(observation.uiTicks, 3);
  EXPECT_GE(observation.elapsedMs + 600, 1500u);
  EXPECT_LE(observation.uiTicks, static_cast<LRESULT>(observation.elapsedMs / 500 + 3));
  EXPECT_GE(observation.engineTicks, 100);
  EXPECT_GE(g_firstTicks, 100);
  EXPECT_FALSE(g_tickedOnUiThread);
  EXPECT_EQ(g_log, (std::vector<std::string>{"first:enter(null)", "first:exit(null)", "first:delete"}));

  EXPECT_TRUE(g_exitRequested);
  // The UI framework started with the skin's root, theme and language, and was shut down.
  EXPECT_EQ(ui::UiRuntime::GetResourceRoot(), L"resources\\themes\\default\\");
  EXPECT_EQ(ui::UiRuntime::GetLanguage(), L"zh_CN");
  EXPECT_EQ(ui::UiRuntime::GetMemoryDC(), nullptr);
  EXPECT_EQ(core.mainWindow.load(), nullptr);
  EXPECT_FALSE(IsWindow(observation.window));
  EXPECT_EQ(core.currentState, nullptr);
  EXPECT_EQ(base::ThreadRegistry::GetLoopProxy(base::kThreadIdUi), nullptr);
  EXPECT_EQ(base::ThreadRegistry::GetLoopProxy(base::kThreadIdMisc), nullptr);
  // The record is written after the worker has ended, so its last change is kept.
  DownloadLog saved;
  ASSERT_TRUE(LoadDownloadLog(dir.Path() + L"\\save\\Log.json", saved));
  EXPECT_EQ(saved.downloadSize, 4242u);
  g_exitRequested = false;
}

// A window of the UI framework, without a skin: an owner the boxes accept.
class ProbeOwner : public ui::Window {
 public:
  std::wstring RegisteredClassName() const override { return L"DvProbeOwner"; }
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_CREATE) AttachNativeWindow(hwnd_);
    return ui::Window::RouteMessage(message, wParam, lParam);
  }
};

struct BoxObservation {
  HWND owner = nullptr;
  HWND box = nullptr;
  HWND boxOwner = nullptr;
  std::atomic<int> answer{-1};
};

// Over a framework window, asks the core for a message box, closes it by the system close and
// lets the program exit.
DWORD WINAPI BoxController(void* argument) {
  BoxObservation* observation = static_cast<BoxObservation*>(argument);
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (entry_test::WaitFor([&] { return core.mainWindow.load() != nullptr; }, 15000)) {
    HWND main = core.mainWindow;
    std::atomic<HWND> owner{nullptr};
    ProbeOwner* probe = new ProbeOwner();
    base::ThreadRegistry::PostTask(base::kThreadIdUi, [probe, &owner] {
      owner = probe->CreateNativeWindow(nullptr, L"probe", WS_POPUP | WS_VISIBLE, 0, false,
                                        ui::Rect{0, 0, 300, 200});
    });
    entry_test::WaitFor([&] { return owner.load() != nullptr; }, 15000);
    observation->owner = owner;
    core.ShowMessageBox(
        owner, L"STRING_ERROR_NOTICE", L"STRING_ERROR_UPDATE", L"", L"STRING_CONFIRM",
        [observation](int answer) { observation->answer = answer; }, false);
    entry_test::WaitFor([&] { return (observation->box = FindWindowW(L"MsgBox", nullptr)) != nullptr; },
                        15000);
    if (observation->box) {
      observation->boxOwner = GetWindow(observation->box, GW_OWNER);
      PostMessageW(observation->box, WM_SYSCOMMAND, SC_CLOSE, 0);
      entry_test::WaitFor([&] { return observation->answer != -1 && !IsWindow(observation->box); }, 15000);
    }
    base::ThreadRegistry::PostTask(base::kThreadIdUi, [probe] {
      DestroyWindow(probe->GetHwnd());
      delete probe;
    });
    PostMessageW(main, kMsgExitDorevezi, 0, 0);
  }
  return 0;
}

// The UI thread installs the window presenter: the core's questions become message boxes over
// framework windows, in the launcher's compiled-in skin.
TEST(ProgramThreadsTest, QuestionsShowAsTheLauncherBoxes) {
  test_support::TempDir dir;
  core_test::ScopedCurrentDirectory cwd(dir.Path());
  SetStateFactories(&MakeFirstState, nullptr);
  g_exitRequested = false;
  g_uiThreadId = GetCurrentThreadId();
  // An earlier run's loop leaves its quit message for outer loops: this run would end at once.
  MSG quit;
  while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }

  BoxObservation observation;
  HANDLE controller = CreateThread(nullptr, 0, &BoxController, &observation, 0, nullptr);
  {
    MainThread mainThread;
    mainThread.RunInPlace(base::kMessageLoopUi);
  }
  WaitForSingleObject(controller, INFINITE);
  CloseHandle(controller);
  SetStateFactories(nullptr, nullptr);
  g_exitRequested = false;

  ASSERT_NE(observation.owner, nullptr);
  ASSERT_NE(observation.box, nullptr);
  EXPECT_EQ(observation.boxOwner, observation.owner);
  EXPECT_EQ(observation.answer, 0);
}

}  // namespace
