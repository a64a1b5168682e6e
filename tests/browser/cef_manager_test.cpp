#include "browser/cef_manager.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "base/thread.h"
#include "base/thread_registry.h"
#include "browser/cef/cef_app.h"
#include "browser/client_app.h"

namespace {

using components::CefManager;

// Runs a UI loop registered as kThreadIdUi on a fresh thread: `start` runs first, `exit` after
// the loop has ended (as the program's UI thread does). Returns how long the loop ran, in ms.
class ExitScenario : public base::FrameworkThread {
 public:
  ExitScenario(std::function<void()> start, std::function<void()> exit)
      : FrameworkThread("exit scenario"), start_(std::move(start)), exit_(std::move(exit)) {}

  DWORD RunScenario() {
    DWORD started = 0;
    DWORD loopMs = 0;
    std::thread thread([&] {
      started = GetTickCount();
      RunInPlace(base::kMessageLoopUi);
    });
    thread.join();
    loopMs = loopEnded_ - started;
    return loopMs;
  }
  DWORD exitMs() const { return exitMs_; }

 protected:
  void OnThreadStart() override {
    base::ThreadRegistry::RegisterCurrentThread(base::kThreadIdUi);
    start_();
  }
  void OnThreadExit() override {
    loopEnded_ = GetTickCount();
    if (exit_) exit_();
    exitMs_ = GetTickCount() - loopEnded_;
    base::ThreadRegistry::UnregisterCurrentThread();
  }

 private:
  std::function<void()> start_, exit_;
  DWORD loopEnded_ = 0;
  DWORD exitMs_ = 0;
};

void DecrementAfter(int64_t microseconds) {
  base::ThreadRegistry::PostDelayedTask(base::kThreadIdUi, [] { CefManager::Instance().DecrementBrowserCount(); },
                                        base::TimeDelta(microseconds));
}

TEST(CefManagerExitTest, QuitWaitsForTheBrowsersAtMostTheBound) {
  CefManager& cef = CefManager::Instance();
  struct Case {
    const char* name;
    int browsers;
    int64_t closeAfterUs;  // -1: never
    DWORD minMs, maxMs;
  };
  const Case cases[] = {
      {"none alive: at once", 0, -1, 0, 300},
      {"closes after 1.2 s: at the next check", 1, 1200000, 1450, 1900},
      {"never closes: after the bound", 1, -1, components::kBrowserCloseWaitMs - 50, components::kBrowserCloseWaitMs + 700},
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
    DWORD ms = scenario.RunScenario();
    EXPECT_GE(ms, c.minMs);
    EXPECT_LE(ms, c.maxMs);
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
  closing.RunScenario();
  EXPECT_TRUE(closedInTime);
  EXPECT_EQ(0, cef.BrowserCount());
  EXPECT_GE(closing.exitMs(), 250u);
  EXPECT_LT(closing.exitMs(), 1500u);

  ExitScenario stuck([&] {
    cef.IncrementBrowserCount();
    PostQuitMessage(0);
  },
                     [&] { closedInTime = cef.RunTasksUntilBrowsersClosed(1000); });
  stuck.RunScenario();
  EXPECT_FALSE(closedInTime);
  EXPECT_GE(stuck.exitMs(), 950u);
  EXPECT_LT(stuck.exitMs(), 2000u);
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
  // Without a runtime there is no cookie manager: nothing happens, nothing is loaded.
  app->OnContextInitialized();
  EXPECT_FALSE(CefRuntimeLoaded());
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
