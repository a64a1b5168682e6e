// A program that runs the launcher's browser-runtime steps and writes what it saw to "probe.txt"
// beside itself, one "key=value" a line, for browser_runtime_tests.
//   cef_probe start       the entry point's steps, a short UI loop, then CefShutdown
//   cef_probe dispatch    the runtime on this thread, driven by CefMessageLoopDispatcher
// With "--type=..." it is started as a runtime sub-process.
#include <windows.h>
#include <ole2.h>

#include <fstream>
#include <string>

#include "base/base_util.h"
#include "browser/cef/cef_app.h"
#include "browser/cef/cef_task.h"
#include "browser/cef_manager.h"
#include "browser/cef_message_loop_dispatcher.h"
#include "browser/client_app.h"

namespace {

std::ofstream g_out;

void Put(const char* key, const std::wstring& value) {
  std::string narrow;
  for (wchar_t c : value) narrow += c < 128 ? static_cast<char>(c) : '?';
  g_out << key << "=" << narrow << "\n";
  g_out.flush();
}
void Put(const char* key, long long value) { Put(key, std::to_wstring(value)); }

std::wstring Env(const wchar_t* name) {
  std::wstring value(32768, L'\0');
  value.resize(GetEnvironmentVariableW(name, &value[0], 32768));
  return value;
}

void PumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

int g_task_runs = 0;

class CountingTask : public CefTask {
 public:
  void Execute() override { ++g_task_runs; }
  IMPLEMENT_REFCOUNTING(CountingTask);
};

MSG MessageFor(HWND window, UINT message) {
  MSG msg = {};
  msg.hwnd = window;
  msg.message = message;
  return msg;
}

void RunStart() {
  components::CefManager& cef = components::CefManager::Instance();
  const std::wstring oldPath = Env(L"PATH");
  const bool prepared = cef.PrepareCefEnvironment();
  Put("prepared", prepared);
  Put("path_kept_whole", Env(L"PATH") == (prepared ? base::OwnModuleDirectory() + L"cef;" + oldPath : oldPath));
  Put("comspec", Env(L"ComSpec"));
  if (!prepared) {
    Put("loaded", GetModuleHandleW(L"libcef.dll") != nullptr);
    return;
  }
  OleInitialize(nullptr);
  CefSettings settings;
  bool started = cef.Initialize(base::OwnModuleDirectory() + L"cef_temp\\", settings);
  Put("initialized", started);
  Put("is_cef_initialized", cef.IsCefInitialized());
  Put("loaded", GetModuleHandleW(L"libcef.dll") != nullptr);
  Put("subprocess_path", settings.browser_subprocess_path.ToWString());
  Put("log_file", settings.log_file.ToWString());
  HWND startup = cef.StartupWindow();
  Put("startup_window", startup != nullptr);
  if (started) {
    // The start-up window closes once this thread's loop handles its WM_CLOSE.
    DWORD start = GetTickCount();
    while (IsWindow(startup) && GetTickCount() - start < 5000) PumpFor(20);
    Put("startup_window_closed", !IsWindow(startup));
  }
  DWORD before = GetTickCount();
  CefShutdown();
  cef.SetCefInitialized(false);
  Put("shutdown_ms", GetTickCount() - before);
  OleUninitialize();
}

void RunDispatch() {
  CefMainArgs args(GetModuleHandleW(nullptr));
  CefSettings settings;
  settings.no_sandbox = 1;
  settings.log_file = base::OwnModuleDirectory() + L"dispatch.log";
  CefRefPtr<components::ClientApp> app = new components::ClientApp();
  Put("initialized", CefInitialize(args, settings, app.get(), nullptr));
  HWND window = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  components::CefMessageLoopDispatcher dispatcher;
  MSG drain;
  while (PeekMessageW(&drain, nullptr, 0, 0, PM_REMOVE)) {
  }
  // Without this, the runtime's own start-up task is among the counted ones.
  dispatcher.Dispatch(MessageFor(window, WM_NULL));
  CefPostTask(TID_UI, new CountingTask());
  dispatcher.Dispatch(MessageFor(window, WM_MOUSEMOVE));
  dispatcher.Dispatch(MessageFor(window, WM_PAINT));
  Put("runs_after_paint_and_move", g_task_runs);
  PostMessageW(window, WM_USER, 0, 0);
  dispatcher.Dispatch(MessageFor(window, WM_USER + 1));
  Put("runs_while_queue_busy", g_task_runs);
  // The queued message is the last one: after it the queue is empty.
  PeekMessageW(&drain, nullptr, 0, 0, PM_REMOVE);
  dispatcher.Dispatch(drain);
  Put("runs_when_queue_empty", g_task_runs);
  // Pending again: a mouse move now does the work.
  CefPostTask(TID_UI, new CountingTask());
  PostMessageW(window, WM_USER, 0, 0);
  dispatcher.Dispatch(MessageFor(window, WM_USER + 1));
  PeekMessageW(&drain, nullptr, 0, 0, PM_REMOVE);
  dispatcher.Dispatch(MessageFor(window, WM_MOUSEMOVE));
  Put("runs_after_pending_move", g_task_runs);
  DestroyWindow(window);
  CefShutdown();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetCurrentDirectoryW(base::OwnModuleDirectory().c_str());
  g_out.open("probe.txt", std::ios::app | std::ios::binary);
  std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode.compare(0, 7, L"--type=") == 0) {
    components::CefManager& cef = components::CefManager::Instance();
    cef.PrepareCefEnvironment();
    CefSettings settings;
    Put("subprocess_initialized", cef.Initialize(base::OwnModuleDirectory() + L"cef_temp\\", settings));
    Put("subprocess_settings_filled", !settings.log_file.empty());
  } else if (mode == L"start") {
    RunStart();
  } else if (mode == L"dispatch") {
    RunDispatch();
  }
  Put("done", 1);
  return 0;
}
