// A program that runs the launcher's browser-runtime steps and writes what it saw to "probe.txt"
// beside itself, one "key=value" a line, for browser_runtime_tests.
//   cef_probe start       the entry point's steps, a short UI loop, then CefShutdown
//   cef_probe dispatch    the runtime on this thread, driven by CefMessageLoopDispatcher
//   cef_probe browser     a windowless browser: its render process, a killed one, shut-down
//   cef_probe paint       frames of a windowless browser: sizes, pixels, none while hidden
// With "--type=..." it is started as a runtime sub-process.
#include <windows.h>
#include <ole2.h>

#include <tlhelp32.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <vector>

#include "base/base_util.h"
#include "browser/cef/cef_app.h"
#include "browser/cef/cef_client.h"
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

// The render processes (cef_helper.exe) this probe has started.
std::vector<DWORD> HelperChildren() {
  std::vector<DWORD> found;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == GetCurrentProcessId() && _wcsicmp(entry.szExeFile, L"cef_helper.exe") == 0)
      found.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return found;
}

// Pumps this thread's messages meanwhile: the start-up window lives on this thread.
bool WaitFor(const std::function<bool()>& done, DWORD ms) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    PumpFor(20);
  }
  return true;
}

class ProbeClient : public CefClient, public CefLifeSpanHandler, public CefRequestHandler {
 public:
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override {
    onRuntimeUi = CefCurrentlyOn(TID_UI);
    this->browser = browser;
    created++;
  }
  void OnBeforeClose(CefRefPtr<CefBrowser>) override { closed++; }
  void OnRenderProcessTerminated(CefRefPtr<CefBrowser>, TerminationStatus status) override {
    lastStatus = status;
    terminated++;
  }
  std::atomic<int> created{0}, closed{0}, terminated{0}, lastStatus{-1};
  std::atomic<bool> onRuntimeUi{false};
  CefRefPtr<CefBrowser> browser;
  IMPLEMENT_REFCOUNTING(ProbeClient);
};

void RunBrowser() {
  components::CefManager& cef = components::CefManager::Instance();
  cef.PrepareCefEnvironment();
  CefSettings settings;
  Put("initialized", cef.Initialize(base::OwnModuleDirectory() + L"cef_temp\\", settings));
  CefRefPtr<ProbeClient> client = new ProbeClient();
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  Put("create_asked", CefBrowserHost::CreateBrowser(info, client.get(), "about:blank", CefBrowserSettings(), nullptr));
  Put("created", WaitFor([&] { return client->created == 1; }, 5000));
  Put("created_on_runtime_ui", client->onRuntimeUi.load());
  Put("render_processes", WaitFor([&] { return HelperChildren().size() == 1; }, 5000) ? 1 : HelperChildren().size());

  // Once the render process runs (it logs its command line), it is killed: a render process
  // that ends unasked is reported, and the browser stays open.
  Put("render_process_logged", WaitFor([&] {
        std::ifstream in(settings.log_file.ToWString().c_str());
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return text.find("Sub-process renderer") != std::string::npos;
      }, 10000));
  std::vector<DWORD> helpers = HelperChildren();
  if (!helpers.empty()) {
    HANDLE helper = OpenProcess(PROCESS_TERMINATE, FALSE, helpers[0]);
    TerminateProcess(helper, 9);
    CloseHandle(helper);
  }
  Put("terminated_reported", WaitFor([&] { return client->terminated == 1; }, 5000));
  Put("terminated_status", client->lastStatus.load());
  Put("closed_after_kill", client->closed.load());

  // A second browser, left open for the shut-down.
  CefBrowserHost::CreateBrowser(info, client.get(), "about:blank", CefBrowserSettings(), nullptr);
  WaitFor([&] { return client->created == 2; }, 5000);
  Put("render_processes_before_shutdown", HelperChildren().size());
  DWORD before = GetTickCount();
  CefShutdown();
  cef.SetCefInitialized(false);
  Put("shutdown_ms", GetTickCount() - before);
  Put("closed_by_shutdown", client->closed.load());
  Put("render_processes_after_shutdown", HelperChildren().size());
  client->browser = nullptr;
}

class PaintClient : public CefClient, public CefLifeSpanHandler, public CefRenderHandler, public CefRequestHandler {
 public:
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }
  void OnRenderProcessTerminated(CefRefPtr<CefBrowser>, TerminationStatus) override { terminated++; }
  std::atomic<int> terminated{0};
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override { this->browser = browser; }
  bool GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) override {
    rect = CefRect(0, 0, width, height);
    return true;
  }
  void OnPaint(CefRefPtr<CefBrowser>, PaintElementType type, const RectList& dirty, const void* buffer, int w,
               int h) override {
    paintedOnRuntimeUi = CefCurrentlyOn(TID_UI);
    lastSize = std::to_wstring(w) + L"x" + std::to_wstring(h) + L" type " + std::to_wstring(type) + L" dirty " +
               std::to_wstring(dirty.size());
    const uint32_t* pixels = static_cast<const uint32_t*>(buffer);
    corner = pixels[0];
    last = pixels[w * h - 1];
    frames++;
  }
  std::atomic<int> width{64}, height{48}, frames{0};
  std::atomic<uint32_t> corner{0}, last{0};
  std::atomic<bool> paintedOnRuntimeUi{false};
  std::wstring lastSize;
  CefRefPtr<CefBrowser> browser;
  IMPLEMENT_REFCOUNTING(PaintClient);
};

void RunPaint() {
  components::CefManager& cef = components::CefManager::Instance();
  cef.PrepareCefEnvironment();
  CefSettings settings;
  Put("initialized", cef.Initialize(base::OwnModuleDirectory() + L"cef_temp\\", settings));
  CefRefPtr<PaintClient> client = new PaintClient();
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  CefBrowserHost::CreateBrowser(info, client.get(), "about:blank", CefBrowserSettings(), nullptr);
  Put("first_frame", WaitFor([&] { return client->frames >= 1; }, 10000));
  Put("first_size", client->lastSize);
  Put("first_pixels", client->corner == 0xFFFFFFFFu && client->last == 0xFFFFFFFFu);
  Put("painted_on_runtime_ui", client->paintedOnRuntimeUi.load());

  client->width = 80;
  client->height = 30;
  int before = client->frames;
  client->browser->GetHost()->WasResized();
  Put("resized_frame", WaitFor([&] { return client->frames > before; }, 5000));
  Put("resized_size", client->lastSize);

  client->browser->GetHost()->WasHidden(true);
  client->browser->GetHost()->WasResized();
  before = client->frames;
  PumpFor(700);
  Put("frames_while_hidden", client->frames - before);
  client->browser->GetHost()->WasHidden(false);
  Put("shown_frame", WaitFor([&] { return client->frames > before; }, 5000));

  // A killed render process is replaced by the next load, which paints again.
  std::vector<DWORD> helpers = HelperChildren();
  if (helpers.size() == 1) {
    HANDLE helper = OpenProcess(PROCESS_TERMINATE, FALSE, helpers[0]);
    TerminateProcess(helper, 9);
    CloseHandle(helper);
  }
  Put("killed_reported", WaitFor([&] { return client->terminated == 1; }, 5000));
  before = client->frames;
  client->browser->GetMainFrame()->LoadURL("about:blank");
  Put("reloaded_frame", WaitFor([&] { return client->frames > before; }, 10000));
  std::vector<DWORD> now = HelperChildren();
  Put("new_render_process", now.size() == 1 && !helpers.empty() && now[0] != helpers[0]);

  CefShutdown();
  cef.SetCefInitialized(false);
  client->browser = nullptr;
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
  } else if (mode == L"browser") {
    RunBrowser();
  } else if (mode == L"paint") {
    RunPaint();
  }
  Put("done", 1);
  return 0;
}
