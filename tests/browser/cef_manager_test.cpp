#include "browser/cef_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "base/thread.h"
#include "base/thread_registry.h"
#include "base_test_support.h"
#include "browser/cef/cef_app.h"
#include "browser/client_app.h"

namespace {

using components::CefManager;

// Runs a UI loop registered as kThreadIdUi on a fresh thread: `start` runs first, `exit` after
// the loop has ended (as the program's UI thread does).
class ExitScenario : public base::FrameworkThread {
 public:
  ExitScenario(std::function<void()> start, std::function<void()> exit)
      : FrameworkThread("exit scenario"), start_(std::move(start)), exit_(std::move(exit)) {}

  // False when the loop and its exit did not end within a deadline far above any expected time;
  // the loop is then made to quit.
  bool RunScenario() {
    std::atomic<DWORD> threadId{0};
    std::thread thread([&] {
      threadId = GetCurrentThreadId();
      RunInPlace(base::kMessageLoopUi);
      ended_ = true;
    });
    bool ended = base_test::WaitUntil([&] { return ended_.load(); }, 120000);
    if (!ended) PostThreadMessageW(threadId, WM_QUIT, 0, 0);
    thread.join();
    return ended;
  }
  // From the start hook's end to the loop's end, and the exit hook's duration.
  DWORD loopMs() const { return loopEnded_ - started_; }
  DWORD exitMs() const { return exitMs_; }
  // Live browsers when the loop ended.
  int browsersAtLoopEnd() const { return browsersAtLoopEnd_; }

 protected:
  void OnThreadStart() override {
    base::ThreadRegistry::RegisterCurrentThread(base::kThreadIdUi);
    start_();
    started_ = GetTickCount();
  }
  void OnThreadExit() override {
    loopEnded_ = GetTickCount();
    browsersAtLoopEnd_ = CefManager::Instance().BrowserCount();
    if (exit_) exit_();
    exitMs_ = GetTickCount() - loopEnded_;
    base::ThreadRegistry::UnregisterCurrentThread();
  }

 private:
  std::function<void()> start_, exit_;
  std::atomic<bool> ended_{false};
  DWORD started_ = 0;
  DWORD loopEnded_ = 0;
  DWORD exitMs_ = 0;
  int browsersAtLoopEnd_ = -1;
};

void DecrementAfter(int64_t microseconds) {
  base::ThreadRegistry::PostDelayedTask(base::kThreadIdUi, [] { CefManager::Instance().DecrementBrowserCount(); },
                                        base::TimeDelta(microseconds));
}

// The quit comes once the browsers are closed, or after the bound although one never closes. Only
// the bound itself is timed: a quit that came from a close came well before it.
TEST(CefManagerExitTest, QuitWaitsForTheBrowsersAtMostTheBound) {
  CefManager& cef = CefManager::Instance();
  struct Case {
    const char* name;
    int browsers;
    int64_t closeAfterUs;  // -1: never
  };
  const Case cases[] = {
      {"none alive", 0, -1},
      {"closes after a check found it open", 1, 600000},
      {"never closes", 1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExitScenario scenario(
        [&] {
          for (int i = 0; i < c.browsers; ++i) cef.IncrementBrowserCount();
          if (c.closeAfterUs >= 0) DecrementAfter(c.closeAfterUs);
          cef.QuitWhenBrowsersClosed(0);
        },
        nullptr);
    ASSERT_TRUE(scenario.RunScenario());
    if (c.browsers == 0 || c.closeAfterUs >= 0) {
      EXPECT_EQ(0, scenario.browsersAtLoopEnd());
      EXPECT_LT(scenario.loopMs(), components::kBrowserCloseWaitMs);
    } else {
      EXPECT_EQ(1, scenario.browsersAtLoopEnd());
      EXPECT_GE(scenario.loopMs() + 50, components::kBrowserCloseWaitMs);
    }
    while (cef.BrowserCount() > 0) cef.DecrementBrowserCount();
  }
}

TEST(CefManagerExitTest, LoopEndRunsCloseTasksUntilNoBrowserIsLeft) {
  CefManager& cef = CefManager::Instance();
  bool closedInTime = false;
  // A browser whose close task is still queued when the loop ends (the main window quits at once).
  ExitScenario closing(
      [&] {
        cef.IncrementBrowserCount();
        DecrementAfter(300000);
        PostQuitMessage(0);
      },
      [&] { closedInTime = cef.RunTasksUntilBrowsersClosed(); });
  ASSERT_TRUE(closing.RunScenario());
  EXPECT_EQ(1, closing.browsersAtLoopEnd());
  EXPECT_TRUE(closedInTime);
  EXPECT_EQ(0, cef.BrowserCount());

  ExitScenario stuck([&] {
    cef.IncrementBrowserCount();
    PostQuitMessage(0);
  },
                     [&] { closedInTime = cef.RunTasksUntilBrowsersClosed(1000); });
  ASSERT_TRUE(stuck.RunScenario());
  EXPECT_FALSE(closedInTime);
  EXPECT_EQ(1, cef.BrowserCount());
  EXPECT_GE(stuck.exitMs() + 50, 1000u);
  cef.DecrementBrowserCount();
}

// A recording command line, as the runtime hands one to the application.
class RecordingCommandLine : public CefCommandLine {
 public:
  bool HasSwitch(const CefString&) override { return false; }
  CefString GetSwitchValue(const CefString&) override { return CefString(); }
  void AppendSwitch(const CefString& name) override { switches += L" " + name.ToWString(); }
  void AppendSwitchWithValue(const CefString& name, const CefString& value) override {
    switches += L" " + name.ToWString() + L"=" + value.ToWString();
  }
  CefString GetCommandLineString() override { return switches; }
  std::wstring switches;
  IMPLEMENT_REFCOUNTING(RecordingCommandLine);
};

TEST(ClientAppTest, SwitchesGoToTheBrowserProcessOnly) {
  CefRefPtr<components::ClientApp> app = new components::ClientApp();
  CefRefPtr<RecordingCommandLine> browser = new RecordingCommandLine();
  app->OnBeforeCommandLineProcessing(CefString(), browser.get());
  EXPECT_EQ(browser->switches,
            L" ppapi-flash-version=20.0.0.228 ppapi-flash-path=PepperFlash\\pepflashplayer.dll process-per-site"
            L" disable-gpu disable-gpu-compositing disable-surfaces enable-begin-frame-scheduling");
  CefRefPtr<RecordingCommandLine> renderer = new RecordingCommandLine();
  app->OnBeforeCommandLineProcessing("renderer", renderer.get());
  EXPECT_EQ(renderer->switches, L"");

  app->OnRegisterCustomSchemes(nullptr);
  ASSERT_EQ(2u, app->cookieable_schemes().size());
  EXPECT_EQ(L"http", app->cookieable_schemes()[0].ToWString());
  EXPECT_EQ(L"https", app->cookieable_schemes()[1].ToWString());
}

TEST(CefManagerTest, FillSettingsCreatesTheDataFolderAndNamesTheRuntimeFiles) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring root = std::wstring(temp) + L"dv-cef-settings-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring data = root + L"\\a\\cef_temp\\";
  CefSettings settings;
  CefManager::Instance().FillSettings(data, settings);
  DWORD attributes = GetFileAttributesW(data.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(1, settings.no_sandbox);
  EXPECT_EQ(0, settings.single_process);
  EXPECT_EQ(1, settings.multi_threaded_message_loop);
  EXPECT_EQ(1, settings.windowless_rendering_enabled);
  EXPECT_EQ(data + L"CefLocalStorage", settings.cache_path.ToWString());
  EXPECT_EQ(data + L"cef.log", settings.log_file.ToWString());
  EXPECT_EQ(L".\\cef\\cef_helper.exe", settings.browser_subprocess_path.ToWString());
  EXPECT_TRUE(settings.user_agent.empty());
  RemoveDirectoryW(data.c_str());
  RemoveDirectoryW((root + L"\\a").c_str());
  RemoveDirectoryW(root.c_str());
}

}  // namespace
