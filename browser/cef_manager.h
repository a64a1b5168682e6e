#pragma once

// The process-wide controller of the embedded browser runtime found in the folder "cef" beside
// the executable: it prepares the process for it, starts it with the launcher's settings, counts
// the live browsers and ends the UI loop once they are closed.

#include <windows.h>

#include <string>

#include "base/weak_callback.h"
#include "browser/cef/cef_types.h"
#include "browser/cef_message_loop_dispatcher.h"

namespace components {

// How long exit waits for browsers that are still closing.
constexpr DWORD kBrowserCloseWaitMs = 5000;
// Interval of the exit path's checks of the live-browser count.
constexpr int64_t kBrowserCloseCheckMicroseconds = 500000;

class CefManager : public base::SupportWeakCallback {
 public:
  static CefManager& Instance();
  virtual ~CefManager();

  // True when the folder "cef" exists beside the executable, after putting that folder in front
  // of the process's PATH and naming its "dummy_cmd.exe" as ComSpec; false, changing nothing,
  // otherwise.
  bool PrepareCefEnvironment();
  // Starts the runtime with the settings filled from `app_data_dir` (which ends with a
  // separator). False in a sub-process (its work is then done) and when the runtime is missing
  // or does not start.
  bool Initialize(const std::wstring& app_data_dir, CefSettings& settings);
  void FillSettings(const std::wstring& app_data_dir, CefSettings& settings);

  // On the UI thread: posts the quit message with `exit_code` once no browser is alive,
  // checking every 500 ms, and no later than kBrowserCloseWaitMs after the first call.
  void QuitWhenBrowsersClosed(int exit_code);
  // On the UI thread after its loop has ended: runs the loop's tasks (the browsers' close
  // tasks) until no browser is alive, at most `timeout_ms`. True when none is left.
  bool RunTasksUntilBrowsersClosed(DWORD timeout_ms = kBrowserCloseWaitMs);

  void IncrementBrowserCount() { ++browserCount_; }
  void DecrementBrowserCount() { --browserCount_; }
  int BrowserCount() const { return browserCount_; }

  bool IsCefInitialized() const { return cefInitialized_; }
  void SetCefInitialized(bool initialized) { cefInitialized_ = initialized; }
  bool IsOffscreenRendering() const { return offscreenRendering_; }
  // The hidden start-up window; it closes itself once the UI thread's loop runs.
  HWND StartupWindow() const { return startupWindow_; }

 private:
  CefManager() = default;
  CefManager(const CefManager&) = delete;
  CefManager& operator=(const CefManager&) = delete;

  void CreateStartupWindow();

  CefMessageLoopDispatcher dispatcher_;
  int browserCount_ = 0;
  bool offscreenRendering_ = true;
  bool cefInitialized_ = false;
  HWND startupWindow_ = nullptr;
  // Tick count of the exit path's first check; 0 before it.
  DWORD quitWaitStart_ = 0;
  bool quitWaitStarted_ = false;
};

}  // namespace components
