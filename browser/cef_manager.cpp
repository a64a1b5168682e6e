#include "browser/cef_manager.h"

#include "base/base_util.h"
#include "base/message_loop.h"
#include "base/thread_registry.h"
#include "browser/cef/cef_app.h"
#include "browser/cef/cef_task.h"
#include "browser/client_app.h"

namespace components {

namespace {

constexpr DWORD kPathBufferChars = 4096;

// Puts a child window into the start-up window on the runtime's UI thread, then closes the
// start-up window through the launcher's UI thread.
class StartupWindowTask : public CefTask {
 public:
  explicit StartupWindowTask(HWND window) : window_(window) {}
  void Execute() override {
    CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 0, 0, window_, nullptr, GetModuleHandleW(nullptr), nullptr);
    PostMessageW(window_, WM_CLOSE, 0, 0);
  }

 private:
  HWND window_;
  IMPLEMENT_REFCOUNTING(StartupWindowTask);
};

}  // namespace

CefManager& CefManager::Instance() {
  static CefManager manager;
  return manager;
}

CefManager::~CefManager() = default;

bool CefManager::PrepareCefEnvironment() {
  const std::wstring cefFolder = base::OwnModuleDirectory() + L"cef";
  DWORD attributes = GetFileAttributesW(cefFolder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  // A long PATH is kept whole, not cut to a fixed buffer.
  std::wstring oldPath(kPathBufferChars, L'\0');
  DWORD length = GetEnvironmentVariableW(L"PATH", &oldPath[0], kPathBufferChars);
  if (length >= kPathBufferChars) {
    oldPath.assign(length, L'\0');
    length = GetEnvironmentVariableW(L"PATH", &oldPath[0], length);
  }
  oldPath.resize(length < oldPath.size() ? length : 0);
  const std::wstring path = cefFolder + L";" + oldPath;
  SetEnvironmentVariableW(L"PATH", path.c_str());
  SetEnvironmentVariableW(L"ComSpec", (cefFolder + L"\\dummy_cmd.exe").c_str());
  return true;
}

bool CefManager::Initialize(const std::wstring& app_data_dir, CefSettings& settings) {
  CefEnableHighDPISupport();
  offscreenRendering_ = true;
  CefMainArgs args(GetModuleHandleW(nullptr));
  CefRefPtr<ClientApp> app = new ClientApp();
  // A sub-process has done its work when this returns.
  if (CefExecuteProcess(args, app.get(), nullptr) >= 0) return false;
  FillSettings(app_data_dir, settings);
  bool started = CefInitialize(args, settings, app.get(), nullptr);
  if (started && offscreenRendering_) CreateStartupWindow();
  cefInitialized_ = started;
  return started;
}

void CefManager::CreateStartupWindow() {
  startupWindow_ = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
  if (startupWindow_) CefPostTask(TID_UI, new StartupWindowTask(startupWindow_));
}

void CefManager::FillSettings(const std::wstring& app_data_dir, CefSettings& settings) {
  DWORD attributes = GetFileAttributesW(app_data_dir.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    base::CreateDirectoryTree(app_data_dir.c_str());
  settings.no_sandbox = 1;
  settings.cache_path = app_data_dir + L"CefLocalStorage";
  settings.log_file = app_data_dir + L"cef.log";
  settings.single_process = 0;
  settings.multi_threaded_message_loop = 1;
  settings.windowless_rendering_enabled = offscreenRendering_;
  settings.browser_subprocess_path = std::wstring(L".\\cef") + L"\\cef_helper.exe";
}

void CefManager::QuitWhenBrowsersClosed(int exit_code) {
  std::shared_ptr<base::MessageLoopProxy> proxy = base::ThreadRegistry::GetLoopProxy(base::kThreadIdUi);
  if (!proxy) return;
  if (!quitWaitStarted_) {
    quitWaitStarted_ = true;
    quitWaitStart_ = GetTickCount();
  }
  // A browser that never reports its close must not keep the program alive: after the bound the
  // quit goes ahead, and the runtime's shut-down closes what is left.
  if (browserCount_ != 0 && GetTickCount() - quitWaitStart_ < kBrowserCloseWaitMs) {
    proxy->PostDelayedTask([exit_code] { CefManager::Instance().QuitWhenBrowsersClosed(exit_code); },
                           base::TimeDelta(kBrowserCloseCheckMicroseconds));
    return;
  }
  quitWaitStarted_ = false;
  proxy->PostTask([exit_code] { PostQuitMessage(exit_code); });
}

bool CefManager::RunTasksUntilBrowsersClosed(DWORD timeout_ms) {
  base::MessageLoop* loop = base::MessageLoop::Current();
  const DWORD start = GetTickCount();
  while (browserCount_ != 0 && GetTickCount() - start < timeout_ms) {
    // The browsers' close tasks arrive as loop tasks; their windows need their messages.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (loop) {
      loop->RunImmediateWork();
      int64_t next = 0;
      loop->RunDelayedWork(&next);
    }
    if (browserCount_ != 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return browserCount_ == 0;
}

}  // namespace components
