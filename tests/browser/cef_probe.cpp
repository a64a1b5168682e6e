// A program that runs the launcher's browser-runtime steps and writes what it saw to "probe.txt"
// beside itself, one "key=value" a line, for browser_runtime_tests.
//   cef_probe start       the entry point's steps, a short UI loop, then CefShutdown
//   cef_probe dispatch    the runtime on this thread, driven by CefMessageLoopDispatcher
//   cef_probe browser     a windowless browser: its render process, a killed one, shut-down
//   cef_probe paint       frames of a windowless browser: sizes, pixels, none while hidden
//   cef_probe messages    process messages both ways (this program is its own render process)
//   cef_probe loads [--trust=CA.pem] URL...   one browser loads each URL in turn; "cancel:" before
//                         a URL cancels its resource load, "later:" continues it after 300 ms
//   cef_probe clicks [--trust=CA.pem] PAGE X,Y...   for each point, PAGE is loaded and the mouse
//                         clicks there; the events that follow are kept
//   cef_probe type [--trust=CA.pem] PAGE X,Y TEXT FILE   clicks at X,Y on PAGE (a 400x300 view)
//                         and types TEXT; the frame after that goes to FILE, as with render
//   cef_probe natives [--trust=CA.pem] URL   this program is its own render process, whose extension
//                         "v8/probe" has natives echo (each call's arguments go to the browser
//                         process as a message; it returns the first) and fail (throws "refused: "
//                         and its argument); URL is loaded twice and the messages of each load kept
//   cef_probe menu [--trust=CA.pem] PAGE X,Y keep|clear   a right click at X,Y on PAGE; the handler
//                         keeps the menu's items or clears them; a menu that shows is answered with
//                         the Reload item's key
//   cef_probe dialogs [--trust=CA.pem] URL   the page's dialogs: alerts are suppressed, confirm
//                         "drop" is left unanswered, other confirms and prompts answered from another
//                         thread after 300 ms (prompts with "r\u00e9ponse " and their default); the
//                         page's console output is kept
//   cef_probe render [--trust=CA.pem] WIDTHxHEIGHT URL FILE [FILE2]   a windowless browser of that
//                         view size shows URL; its frame, once no new one came for a while, goes to
//                         FILE ("DVFR", width, height as 32-bit ints, then the BGRA rows); with FILE2,
//                         the frame after the wheel scrolled down by 100 goes there; with
//                         "--kill-first" before the size, URL's render process is killed once the page
//                         loaded and URL is loaded again for the frames. The browser is left open
//                         for CefShutdown, which is timed.
// With "--type=..." it is started as a runtime sub-process.
#include <windows.h>
#include <ole2.h>
#include <wincrypt.h>

#include <tlhelp32.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <functional>
#include <string>
#include <vector>

#include "base/base_util.h"
#include "browser/cef/cef_app.h"
#include "browser/cef/cef_client.h"
#include "browser/cef/cef_task.h"
#include "browser/cef/cef_v8.h"
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
    while (IsWindow(startup) && GetTickCount() - start < 60000) PumpFor(20);
    Put("startup_window_closed", !IsWindow(startup));
  }
  CefShutdown();
  cef.SetCefInitialized(false);
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
  dispatcher.Dispatch(MessageFor(window, WM_NCMOUSEMOVE));
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
  Put("created", WaitFor([&] { return client->created == 1; }, 60000));
  Put("created_on_runtime_ui", client->onRuntimeUi.load());
  Put("render_processes", WaitFor([&] { return HelperChildren().size() == 1; }, 60000) ? 1 : HelperChildren().size());

  // Once the render process runs (it logs its command line), it is killed: a render process
  // that ends unasked is reported, and the browser stays open.
  Put("render_process_logged", WaitFor([&] {
        std::ifstream in(settings.log_file.ToWString().c_str());
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return text.find("Sub-process renderer") != std::string::npos;
      }, 60000));
  std::vector<DWORD> helpers = HelperChildren();
  if (!helpers.empty()) {
    HANDLE helper = OpenProcess(PROCESS_TERMINATE, FALSE, helpers[0]);
    TerminateProcess(helper, 9);
    CloseHandle(helper);
  }
  Put("terminated_reported", WaitFor([&] { return client->terminated == 1; }, 60000));
  Put("terminated_status", client->lastStatus.load());
  Put("closed_after_kill", client->closed.load());

  // A second browser, left open for the shut-down.
  CefBrowserHost::CreateBrowser(info, client.get(), "about:blank", CefBrowserSettings(), nullptr);
  WaitFor([&] { return client->created == 2; }, 60000);
  Put("render_processes_before_shutdown", HelperChildren().size());
  CefShutdown();
  cef.SetCefInitialized(false);
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
  Put("first_frame", WaitFor([&] { return client->frames >= 1; }, 60000));
  Put("first_size", client->lastSize);
  Put("first_pixels", client->corner == 0xFFFFFFFFu && client->last == 0xFFFFFFFFu);
  Put("painted_on_runtime_ui", client->paintedOnRuntimeUi.load());

  client->width = 80;
  client->height = 30;
  int before = client->frames;
  client->browser->GetHost()->WasResized();
  Put("resized_frame", WaitFor([&] { return client->frames > before; }, 60000));
  Put("resized_size", client->lastSize);

  client->browser->GetHost()->WasHidden(true);
  client->browser->GetHost()->WasResized();
  before = client->frames;
  PumpFor(700);
  Put("frames_while_hidden", client->frames - before);
  client->browser->GetHost()->WasHidden(false);
  Put("shown_frame", WaitFor([&] { return client->frames > before; }, 60000));

  // A killed render process is replaced by the next load, which paints again.
  std::vector<DWORD> helpers = HelperChildren();
  if (helpers.size() == 1) {
    HANDLE helper = OpenProcess(PROCESS_TERMINATE, FALSE, helpers[0]);
    TerminateProcess(helper, 9);
    CloseHandle(helper);
  }
  Put("killed_reported", WaitFor([&] { return client->terminated == 1; }, 60000));
  before = client->frames;
  client->browser->GetMainFrame()->LoadURL("about:blank");
  Put("reloaded_frame", WaitFor([&] { return client->frames > before; }, 60000));
  std::vector<DWORD> now = HelperChildren();
  Put("new_render_process", now.size() == 1 && !helpers.empty() && now[0] != helpers[0]);

  CefShutdown();
  cef.SetCefInitialized(false);
  client->browser = nullptr;
}

const wchar_t kEchoVariable[] = L"DV_PROBE_ECHO_RENDERER";

std::wstring Sample(int i) { return L"h\u00e9llo \u4e2d\u6587 " + std::to_wstring(i); }

// The probe extension's natives, in the render process; the browser to send to comes with the
// first message from the browser process ("hello"), calls before it wait.
class ProbeNatives : public CefV8Handler {
 public:
  bool Execute(const CefString& name, CefRefPtr<CefV8Value>, const CefV8ValueList& arguments,
               CefRefPtr<CefV8Value>& retval, CefString& exception) override {
    if (name.ToWString() == L"fail") {
      exception = L"refused: " + (arguments.empty() ? std::wstring() : arguments[0]->GetStringValue().ToWString());
      return true;
    }
    if (name.ToWString() != L"echo") return false;
    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create("native echo");
    CefRefPtr<CefListValue> list = message->GetArgumentList();
    for (size_t i = 0; i < arguments.size(); ++i) {
      CefRefPtr<CefV8Value> v = arguments[i];
      if (v->IsInt()) list->SetInt(i, v->GetIntValue());
      else if (v->IsDouble()) list->SetDouble(i, v->GetDoubleValue());
      else if (v->IsBool()) list->SetBool(i, v->GetBoolValue());
      else if (v->IsString()) list->SetString(i, v->GetStringValue());
      else list->SetNull(i);
    }
    Send(message);
    if (arguments.empty()) return true;
    CefRefPtr<CefV8Value> first = arguments[0];
    if (first->IsInt()) retval = CefV8Value::CreateInt(first->GetIntValue());
    else if (first->IsDouble()) retval = CefV8Value::CreateDouble(first->GetDoubleValue());
    else if (first->IsBool()) retval = CefV8Value::CreateBool(first->GetBoolValue());
    else if (first->IsString()) retval = CefV8Value::CreateString(first->GetStringValue());
    else if (first->IsNull()) retval = CefV8Value::CreateNull();
    return true;
  }
  void SetBrowser(CefRefPtr<CefBrowser> b) {
    browser = b;
    for (auto& m : waiting) browser->SendProcessMessage(PID_BROWSER, m);
    waiting.clear();
  }
  void Send(CefRefPtr<CefProcessMessage> m) {
    if (browser) browser->SendProcessMessage(PID_BROWSER, m);
    else waiting.push_back(m);
  }
  CefRefPtr<CefBrowser> browser;
  std::vector<CefRefPtr<CefProcessMessage>> waiting;
  IMPLEMENT_REFCOUNTING(ProbeNatives);
};

const wchar_t kProbeExtension[] =
    L"var probe;\n"
    L"if (!probe) probe = {};\n"
    L"(function () {\n"
    L"  probe.echo = function () { native function echo(); return echo.apply(null, arguments); };\n"
    L"  probe.fail = function (text) {\n"
    L"    native  function fail( ) ;\n"
    L"    return fail(text);\n"
    L"  };\n"
    L"})();\n";

// The render side: echoes every message; "burst" answers with 50 numbered ones from a thread of
// its own.
class EchoApp : public CefApp, public CefRenderProcessHandler {
 public:
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return this; }
  void OnWebKitInitialized() override { CefRegisterExtension("v8/probe", kProbeExtension, natives.get()); }
  CefRefPtr<ProbeNatives> natives = new ProbeNatives();
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source,
                                CefRefPtr<CefProcessMessage> message) override {
    if (message->GetName().ToWString() == L"hello") {
      natives->SetBrowser(browser);
      return true;
    }
    if (message->GetName().ToWString() == L"burst") {
      std::thread([browser] {
        for (int i = 0; i < 50; ++i) {
          CefRefPtr<CefProcessMessage> out = CefProcessMessage::Create("numbered");
          out->GetArgumentList()->SetInt(0, i);
          browser->SendProcessMessage(PID_BROWSER, out);
        }
      }).detach();
      return true;
    }
    CefRefPtr<CefProcessMessage> reply = CefProcessMessage::Create(L"echo " + message->GetName().ToWString());
    CefRefPtr<CefListValue> in = message->GetArgumentList(), out = reply->GetArgumentList();
    for (size_t i = 0; i < in->GetSize(); ++i) {
      switch (in->GetType(i)) {
        case VTYPE_STRING: out->SetString(i, in->GetString(i)); break;
        case VTYPE_INT: out->SetInt(i, in->GetInt(i)); break;
        case VTYPE_BOOL: out->SetBool(i, in->GetBool(i)); break;
        case VTYPE_DOUBLE: out->SetDouble(i, in->GetDouble(i)); break;
        default: out->SetNull(i); break;
      }
    }
    out->SetInt(in->GetSize(), source);
    return browser->SendProcessMessage(PID_BROWSER, reply);
  }
  IMPLEMENT_REFCOUNTING(EchoApp);
};

class MessageClient : public CefClient {
 public:
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser>, CefProcessId source, CefRefPtr<CefProcessMessage> message) override {
    std::lock_guard<std::mutex> lock(mutex);
    received.push_back(message);
    sources.push_back(source);
    onRuntimeUi = onRuntimeUi && CefCurrentlyOn(TID_UI);
    return true;
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return received.size();
  }
  std::mutex mutex;
  std::vector<CefRefPtr<CefProcessMessage>> received;
  std::vector<CefProcessId> sources;
  bool onRuntimeUi = true;
  IMPLEMENT_REFCOUNTING(MessageClient);
};

class BrowserCatcher : public MessageClient, public CefLifeSpanHandler {
 public:
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  void OnAfterCreated(CefRefPtr<CefBrowser> b) override { browser = b; }
  CefRefPtr<CefBrowser> browser;
};

void RunMessages() {
  SetEnvironmentVariableW(kEchoVariable, L"1");
  CefMainArgs args(GetModuleHandleW(nullptr));
  CefSettings settings;
  settings.no_sandbox = 1;
  settings.multi_threaded_message_loop = 1;
  settings.browser_subprocess_path = base::ModuleFileName(nullptr);
  settings.log_file = base::OwnModuleDirectory() + L"messages.log";
  Put("initialized", CefInitialize(args, settings, nullptr, nullptr));
  CefRefPtr<BrowserCatcher> client = new BrowserCatcher();
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  CefBrowserHost::CreateBrowser(info, client.get(), "about:blank", CefBrowserSettings(), nullptr);
  WaitFor([&] { return client->browser != nullptr; }, 60000);
  if (!client->browser) return;
  // Sent at once, before the render process runs: they wait for it, in order.
  const int kSent = 20;
  for (int i = 0; i < kSent; ++i) {
    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create("m" + std::to_string(i));
    CefRefPtr<CefListValue> list = message->GetArgumentList();
    list->SetString(0, Sample(i));
    list->SetInt(1, -1000000 * i);
    list->SetBool(2, i % 2 == 1);
    list->SetDouble(3, i + 0.25);
    client->browser->SendProcessMessage(PID_RENDERER, message);
  }
  Put("sent_to_browser_process_refused",
      !client->browser->SendProcessMessage(PID_BROWSER, CefProcessMessage::Create("nowhere")));
  Put("echoes_arrived", WaitFor([&] { return client->Count() >= kSent; }, 60000));
  bool match = client->Count() == kSent;
  for (int i = 0; match && i < kSent; ++i) {
    CefRefPtr<CefProcessMessage> echo = client->received[i];
    CefRefPtr<CefListValue> list = echo->GetArgumentList();
    match = echo->GetName().ToWString() == L"echo m" + std::to_wstring(i) && list->GetSize() == 5 &&
            list->GetString(0).ToWString() == Sample(i) && list->GetInt(1) == -1000000 * i &&
            list->GetType(2) == VTYPE_BOOL && list->GetBool(2) == (i % 2 == 1) && list->GetDouble(3) == i + 0.25 &&
            list->GetInt(4) == PID_BROWSER && client->sources[i] == PID_RENDERER;
  }
  Put("echoes_match_in_order", match);

  client->browser->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("burst"));
  Put("burst_arrived", WaitFor([&] { return client->Count() >= kSent + 50; }, 60000));
  bool ordered = client->Count() == kSent + 50;
  for (int i = 0; ordered && i < 50; ++i) ordered = client->received[kSent + i]->GetArgumentList()->GetInt(0) == i;
  Put("burst_in_order", ordered);
  Put("received_on_runtime_ui", client->onRuntimeUi);
  CefShutdown();
  client->browser = nullptr;
}

// A message as text: its name, then each argument typed (s, i, b, d, null), non-ASCII as \\uXXXX.
std::wstring Describe(CefRefPtr<CefProcessMessage> message) {
  std::wstring text = message->GetName().ToWString() + L"(";
  CefRefPtr<CefListValue> list = message->GetArgumentList();
  for (size_t i = 0; i < list->GetSize(); ++i) {
    if (i) text += L",";
    switch (list->GetType(i)) {
      case VTYPE_STRING: {
        text += L"s:";
        const std::wstring value = list->GetString(i).ToWString();
        for (wchar_t c : value) {
          wchar_t escaped[8];
          swprintf(escaped, 8, L"\\u%04x", static_cast<unsigned>(c));
          text += c < 128 ? std::wstring(1, c) : std::wstring(escaped);
        }
        break;
      }
      case VTYPE_INT: text += L"i:" + std::to_wstring(list->GetInt(i)); break;
      case VTYPE_BOOL: text += list->GetBool(i) ? L"b:true" : L"b:false"; break;
      case VTYPE_DOUBLE: {
        wchar_t number[32];
        swprintf(number, 32, L"d:%g", list->GetDouble(i));
        text += number;
        break;
      }
      default: text += L"null"; break;
    }
  }
  return text + L")";
}

bool TrustCertificate(const std::wstring& path);
int TakeTrustArgument(int argc, wchar_t** argv);

void RunNatives(int argc, wchar_t** argv) {
  const int first = TakeTrustArgument(argc, argv);
  if (argc <= first) return;
  SetEnvironmentVariableW(kEchoVariable, L"1");
  CefMainArgs args(GetModuleHandleW(nullptr));
  CefSettings settings;
  settings.no_sandbox = 1;
  settings.multi_threaded_message_loop = 1;
  settings.browser_subprocess_path = base::ModuleFileName(nullptr);
  settings.log_file = base::OwnModuleDirectory() + L"natives.log";
  Put("initialized", CefInitialize(args, settings, nullptr, nullptr));
  CefRefPtr<BrowserCatcher> client = new BrowserCatcher();
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  CefBrowserHost::CreateBrowser(info, client.get(), argv[first], CefBrowserSettings(), nullptr);
  WaitFor([&] { return client->browser != nullptr; }, 60000);
  if (!client->browser) return;
  client->browser->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("hello"));
  // The page's script ends with a call of echo("end").
  auto natives = [&] {
    std::lock_guard<std::mutex> lock(client->mutex);
    std::vector<std::wstring> seen;
    for (auto& m : client->received)
      if (m->GetName().ToWString() == L"native echo") seen.push_back(Describe(m));
    return seen;
  };
  auto ends = [&] {
    int n = 0;
    for (auto& line : natives()) n += line == L"native echo(s:end)";
    return n;
  };
  WaitFor([&] { return ends() >= 1; }, 60000);
  size_t firstCount = natives().size();
  client->browser->GetMainFrame()->LoadURL(argv[first]);
  WaitFor([&] { return ends() >= 2; }, 60000);
  std::vector<std::wstring> all = natives();
  std::wstring one, two;
  for (size_t i = 0; i < all.size(); ++i) (i < firstCount ? one : two) += all[i] + L";";
  Put("first_load", one);
  Put("second_load", two);
  CefShutdown();
  client->browser = nullptr;
}

// Puts a PEM certificate into the machine's "Root" store.
bool TrustCertificate(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) return false;
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) return false;
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) return false;
  bool added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return added;
}

// An optional "--trust=CA" after the mode: the certificate is trusted first. Returns the index of
// the next argument.
int TakeTrustArgument(int argc, wchar_t** argv) {
  if (argc > 2 && std::wstring(argv[2]).compare(0, 8, L"--trust=") == 0) {
    Put("trusted", TrustCertificate(std::wstring(argv[2]).substr(8)));
    return 3;
  }
  return 2;
}

class LoadClient : public CefClient, public CefLifeSpanHandler, public CefLoadHandler, public CefDisplayHandler,
                   public CefRequestHandler, public CefRenderHandler {
 public:
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  bool GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) override {
    rect = CefRect(0, 0, 400, 300);
    return true;
  }
  void OnPaint(CefRefPtr<CefBrowser>, PaintElementType, const RectList&, const void*, int, int) override {
    lastFrameAt = GetTickCount();
    frames++;
  }
  void OnCursorChange(CefRefPtr<CefBrowser>, CefCursorHandle cursor, CursorType type, const CefCursorInfo&) override {
    if (cursor) Add(L"cursor " + std::to_wstring(type));
  }
  bool OnBeforeBrowse(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, CefRefPtr<CefRequest> request, bool) override {
    const std::wstring url = request->GetURL().ToWString();
    Add(L"browse " + url);
    return url.find(L"cancel") != std::wstring::npos;
  }
  bool OnBeforePopup(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, const CefString& url, const CefString& name,
                     WindowOpenDisposition, bool, const CefPopupFeatures&, CefWindowInfo&, CefRefPtr<CefClient>&,
                     CefBrowserSettings&, bool*) override {
    Add(L"popup " + url.ToWString() + L" " + name.ToWString());
    return true;
  }
  void OnTitleChange(CefRefPtr<CefBrowser>, const CefString& text) override {
    std::lock_guard<std::mutex> lock(mutex);
    title = text.ToWString();
  }
  bool OnConsoleMessage(CefRefPtr<CefBrowser>, const CefString& message, const CefString&, int) override {
    Add(L"console " + message.ToWString());
    return true;
  }
  std::atomic<int> frames{0};
  std::atomic<DWORD> lastFrameAt{0};
  std::wstring title;
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }
  void OnAfterCreated(CefRefPtr<CefBrowser> b) override { browser = b; }
  void OnLoadingStateChange(CefRefPtr<CefBrowser>, bool loading, bool, bool) override {
    Add(loading ? L"state 1" : L"state 0");
    if (!loading) idle = true;
  }
  void OnLoadStart(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>) override { Add(L"start"); }
  void OnLoadEnd(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, int status) override {
    Add(L"end " + std::to_wstring(status));
  }
  void OnLoadError(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, ErrorCode code, const CefString& text,
                   const CefString& url) override {
    Add(L"error " + std::to_wstring(code) + L" " + text.ToWString() + L" " + url.ToWString());
  }
  void OnAddressChange(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, const CefString& url) override {
    Add(L"address " + url.ToWString());
  }
  ReturnValue OnBeforeResourceLoad(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, CefRefPtr<CefRequest> request,
                                   CefRefPtr<CefRequestCallback> callback) override {
    Add(L"before " + request->GetMethod().ToWString() + L" " + request->GetURL().ToWString() +
        (CefCurrentlyOn(TID_IO) ? L" on io" : L""));
    if (mode == L"cancel" || request->GetURL().ToWString().find(L"blocked") != std::wstring::npos) return RV_CANCEL;
    if (mode == L"later") {
      std::thread([callback] {
        Sleep(300);
        callback->Continue(true);
      }).detach();
      return RV_CONTINUE_ASYNC;
    }
    return RV_CONTINUE;
  }
  void OnProtocolExecution(CefRefPtr<CefBrowser>, const CefString& url, bool& allow) override {
    Add(L"protocol " + url.ToWString() + (allow ? L" allowed" : L""));
  }
  void Add(const std::wstring& event) {
    std::lock_guard<std::mutex> lock(mutex);
    events += (events.empty() ? L"" : L"; ") + event;
  }
  std::mutex mutex;
  std::wstring events, mode;
  std::atomic<bool> idle{false};
  CefRefPtr<CefBrowser> browser;
  IMPLEMENT_REFCOUNTING(LoadClient);
};

void RunLoads(int argc, wchar_t** argv) {
  const int first = TakeTrustArgument(argc, argv);
  components::CefManager& cef = components::CefManager::Instance();
  cef.PrepareCefEnvironment();
  CefSettings settings;
  Put("initialized", cef.Initialize(base::OwnModuleDirectory() + L"cef_temp\\", settings));
  CefRefPtr<LoadClient> client = new LoadClient();
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  CefBrowserHost::CreateBrowser(info, client.get(), "", CefBrowserSettings(), nullptr);
  WaitFor([&] { return client->browser != nullptr; }, 60000);
  for (int i = first; i < argc && client->browser; ++i) {
    std::wstring url = argv[i];
    client->mode.clear();
    for (const wchar_t* prefix : {L"cancel", L"later"}) {
      std::wstring tag = std::wstring(prefix) + L":";
      if (url.compare(0, tag.size(), tag) == 0) {
        client->mode = prefix;
        url = url.substr(tag.size());
      }
    }
    {
      std::lock_guard<std::mutex> lock(client->mutex);
      client->events.clear();
    }
    client->idle = false;
    client->browser->GetMainFrame()->LoadURL(url);
    WaitFor([&] { return client->idle.load(); }, 60000);
    std::lock_guard<std::mutex> lock(client->mutex);
    Put(("load" + std::to_string(i - first)).c_str(), client->events);
  }
  CefShutdown();
  client->browser = nullptr;
}

// The page at PAGE is loaded afresh for each point; once it has settled, the mouse moves to an
// empty place and onto the point and clicks there; the events until all is quiet are kept.
void RunClicks(int argc, wchar_t** argv) {
  const int first = TakeTrustArgument(argc, argv);
  if (argc < first + 1) return;
  const std::wstring page = argv[first];
  components::CefManager& cef = components::CefManager::Instance();
  cef.PrepareCefEnvironment();
  CefSettings settings;
  Put("initialized", cef.Initialize(base::OwnModuleDirectory() + L"cef_temp\\", settings));
  CefRefPtr<LoadClient> client = new LoadClient();
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  CefBrowserHost::CreateBrowser(info, client.get(), "", CefBrowserSettings(), nullptr);
  WaitFor([&] { return client->browser != nullptr; }, 60000);
  auto settled = [&] {
    WaitFor([&] { return client->idle && client->frames > 0 && GetTickCount() - client->lastFrameAt > 1500; }, 60000);
  };
  for (int i = first + 1; i < argc && client->browser; ++i) {
    int x = 0, y = 0;
    swscanf(argv[i], L"%d,%d", &x, &y);
    client->idle = false;
    client->browser->GetMainFrame()->LoadURL(page);
    settled();
    {
      std::lock_guard<std::mutex> lock(client->mutex);
      client->events.clear();
      Put("title", client->title);
    }
    CefRefPtr<CefBrowserHost> host = client->browser->GetHost();
    CefMouseEvent event;
    event.x = 390;
    event.y = 290;
    host->SendMouseMoveEvent(event, false);
    PumpFor(300);
    event.x = x;
    event.y = y;
    host->SendMouseMoveEvent(event, false);
    PumpFor(300);
    client->idle = false;
    host->SendMouseClickEvent(event, MBT_LEFT, false, 1);
    host->SendMouseClickEvent(event, MBT_LEFT, true, 1);
    // Quiet: no new event for 1.5 s (a click's events come within that of each other), and a load
    // that started has ended, however long its fetch took.
    std::wstring seen;
    DWORD stableSince = GetTickCount();
    const DWORD clickedAt = stableSince;
    while (GetTickCount() - stableSince < 1500 ||
           (seen.find(L"state 1") != std::wstring::npos && !client->idle && GetTickCount() - clickedAt < 60000)) {
      PumpFor(100);
      std::lock_guard<std::mutex> lock(client->mutex);
      if (client->events != seen) {
        seen = client->events;
        stableSince = GetTickCount();
      }
    }
    Put(("click" + std::to_string(i - first - 1)).c_str(), seen);
  }
  CefShutdown();
  client->browser = nullptr;
}

class RenderClient : public CefClient,
                     public CefLifeSpanHandler,
                     public CefRenderHandler,
                     public CefLoadHandler,
                     public CefRequestHandler {
 public:
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }
  void OnRenderProcessTerminated(CefRefPtr<CefBrowser>, TerminationStatus) override { terminated++; }
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override { this->browser = browser; }
  bool GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) override {
    rect = CefRect(0, 0, width, height);
    return true;
  }
  void OnLoadEnd(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, int status) override { loaded = status; }
  void OnLoadError(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, ErrorCode code, const CefString&,
                   const CefString&) override {
    loaded = code;
  }
  void OnPaint(CefRefPtr<CefBrowser>, PaintElementType, const RectList&, const void* buffer, int w, int h) override {
    std::lock_guard<std::mutex> lock(mutex);
    const uint32_t* pixels = static_cast<const uint32_t*>(buffer);
    frame.assign(pixels, pixels + static_cast<size_t>(w) * h);
    frameWidth = w;
    frameHeight = h;
    lastFrameAt = GetTickCount();
    frames++;
  }
  int width = 0, height = 0;
  std::atomic<int> loaded{0}, frames{0}, terminated{0};
  std::atomic<DWORD> lastFrameAt{0};
  std::mutex mutex;
  std::vector<uint32_t> frame;
  int frameWidth = 0, frameHeight = 0;
  CefRefPtr<CefBrowser> browser;
  IMPLEMENT_REFCOUNTING(RenderClient);
};

void RunRender(int argc, wchar_t** argv) {
  int first = TakeTrustArgument(argc, argv);
  const bool killFirst = argc > first && std::wstring(argv[first]) == L"--kill-first";
  if (killFirst) ++first;
  if (argc < first + 3) return;
  CefRefPtr<RenderClient> client = new RenderClient();
  if (swscanf(argv[first], L"%dx%d", &client->width, &client->height) != 2) return;
  components::CefManager& cef = components::CefManager::Instance();
  cef.PrepareCefEnvironment();
  CefSettings settings;
  Put("initialized", cef.Initialize(base::OwnModuleDirectory() + L"cef_temp\\", settings));
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  CefBrowserHost::CreateBrowser(info, client.get(), argv[first + 1], CefBrowserSettings(), nullptr);
  Put("loaded", WaitFor([&] { return client->loaded != 0; }, 60000) ? client->loaded.load() : 0);
  if (killFirst && client->browser) {
    std::vector<DWORD> helpers = HelperChildren();
    if (helpers.size() == 1) {
      HANDLE helper = OpenProcess(PROCESS_TERMINATE, FALSE, helpers[0]);
      TerminateProcess(helper, 9);
      CloseHandle(helper);
    }
    Put("killed_reported", WaitFor([&] { return client->terminated == 1; }, 60000));
    client->loaded = 0;
    client->frames = 0;
    client->browser->GetMainFrame()->LoadURL(argv[first + 1]);
    Put("reloaded", WaitFor([&] { return client->loaded != 0; }, 60000) ? client->loaded.load() : 0);
    std::vector<DWORD> now = HelperChildren();
    Put("new_render_process", now.size() == 1 && !helpers.empty() && now[0] != helpers[0]);
  }
  // Sub-resources and scripts come after the document: the page is done once frames stop coming.
  WaitFor([&] { return client->frames > 0 && GetTickCount() - client->lastFrameAt > 2000; }, 60000);
  Put("frames", client->frames.load());
  auto save = [&](const wchar_t* path) {
    std::lock_guard<std::mutex> lock(client->mutex);
    std::ofstream out(path, std::ios::binary);
    int32_t head[2] = {client->frameWidth, client->frameHeight};
    out.write("DVFR", 4);
    out.write(reinterpret_cast<const char*>(head), sizeof(head));
    out.write(reinterpret_cast<const char*>(client->frame.data()), client->frame.size() * 4);
    Put("frame_size", std::to_wstring(client->frameWidth) + L"x" + std::to_wstring(client->frameHeight));
  };
  save(argv[first + 2]);
  // A second file: the wheel turned down by 100 in the middle of the view, and the frame after it.
  if (argc > first + 3 && client->browser) {
    int before = client->frames;
    CefMouseEvent event;
    event.x = client->width / 2;
    event.y = client->height / 2;
    client->browser->GetHost()->SendMouseWheelEvent(event, 0, -100);
    WaitFor([&] { return client->frames > before && GetTickCount() - client->lastFrameAt > 1000; }, 60000);
    Put("frames_after_wheel", client->frames - before);
    save(argv[first + 3]);
  }
  Put("render_processes_before_shutdown", HelperChildren().size());
  CefShutdown();
  Put("render_processes_after_shutdown", HelperChildren().size());
  client->browser = nullptr;
}

class MenuClient : public RenderClient, public CefContextMenuHandler {
 public:
  CefRefPtr<CefContextMenuHandler> GetContextMenuHandler() override { return this; }
  void OnBeforeContextMenu(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame> frame, CefRefPtr<CefContextMenuParams> params,
                           CefRefPtr<CefMenuModel> model) override {
    std::wstring items;
    for (int i = 0; i < model->GetCount(); ++i)
      items += std::to_wstring(model->GetCommandIdAt(i)) + L":" + model->GetLabelAt(i).ToWString() + L";";
    std::lock_guard<std::mutex> lock(mutex);
    asked = L"at " + std::to_wstring(params->GetXCoord()) + L"," + std::to_wstring(params->GetYCoord()) + L" link " +
            params->GetLinkUrl().ToWString() + L" page " + params->GetPageUrl().ToWString() + L" items " + items +
            L" frame " + std::to_wstring(frame && frame->IsMain());
    if (clear) model->Clear();
    askedCount++;
  }
  bool OnContextMenuCommand(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, CefRefPtr<CefContextMenuParams>, int id,
                            EventFlags) override {
    command = id;
    return false;
  }
  bool clear = false;
  std::wstring asked;
  std::atomic<int> askedCount{0}, command{0};
};

// The visible popup menu of this process, if any.
HWND FindPopupMenu() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumWindows([](HWND hwnd, LPARAM lp) -> BOOL {
    wchar_t name[16] = {};
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    GetClassNameW(hwnd, name, 16);
    if (pid == GetCurrentProcessId() && std::wstring(name) == L"#32768" && IsWindowVisible(hwnd)) {
      reinterpret_cast<Search*>(lp)->found = hwnd;
      return FALSE;
    }
    return TRUE;
  }, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void RunMenu(int argc, wchar_t** argv) {
  const int first = TakeTrustArgument(argc, argv);
  if (argc < first + 3) return;
  CefRefPtr<MenuClient> client = new MenuClient();
  client->width = 400;
  client->height = 300;
  client->clear = std::wstring(argv[first + 2]) == L"clear";
  components::CefManager& cef = components::CefManager::Instance();
  cef.PrepareCefEnvironment();
  CefSettings settings;
  Put("initialized", cef.Initialize(base::OwnModuleDirectory() + L"cef_temp\\", settings));
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  CefBrowserHost::CreateBrowser(info, client.get(), argv[first], CefBrowserSettings(), nullptr);
  Put("loaded", WaitFor([&] { return client->loaded != 0; }, 60000) ? client->loaded.load() : 0);
  WaitFor([&] { return client->frames > 0 && GetTickCount() - client->lastFrameAt > 1500; }, 60000);
  if (!client->browser) return;
  CefRefPtr<CefBrowserHost> host = client->browser->GetHost();
  CefMouseEvent mouse;
  swscanf(argv[first + 1], L"%d,%d", &mouse.x, &mouse.y);
  host->SendMouseMoveEvent(mouse, false);
  client->loaded = 0;
  auto ReadLog = [&] {
    std::ifstream in(settings.log_file.ToWString().c_str(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  const size_t logBefore = ReadLog().size();
  host->SendMouseClickEvent(mouse, MBT_RIGHT, false, 1);
  host->SendMouseClickEvent(mouse, MBT_RIGHT, true, 1);
  Put("asked", WaitFor([&] { return client->askedCount >= 1; }, 60000));
  {
    std::lock_guard<std::mutex> lock(client->mutex);
    Put("asked_with", client->asked);
  }
  // The runtime logs how many items are left before it shows the menu, or shows none (the log
  // goes on from earlier runs: only what came after the click counts).
  std::string items;
  WaitFor([&] {
    std::string text = ReadLog();
    size_t at = text.find(" context menu of ", logBefore);
    if (at == std::string::npos) return false;
    at += std::strlen(" context menu of ");
    items = text.substr(at, text.find(' ', at) - at);
    return true;
  }, 60000);
  HWND menu = nullptr;
  if (!items.empty() && items != "0") WaitFor([&] { return (menu = FindPopupMenu()) != nullptr; }, 60000);
  Put("menu_shown", menu != nullptr);
  // A right click follows no link.
  PumpFor(1000);
  Put("loads_after_click", client->loaded.load());
  if (menu) {
    client->loaded = 0;
    PostMessageW(menu, WM_CHAR, L'r', 0);
    Put("menu_closed", WaitFor([&] { return FindPopupMenu() == nullptr; }, 60000));
    Put("command", WaitFor([&] { return client->command != 0; }, 60000) ? client->command.load() : 0);
    // Not handled by the program: the runtime reloads the page.
    Put("reloaded", WaitFor([&] { return client->loaded != 0; }, 60000) ? client->loaded.load() : 0);
  }
  Put("askings", client->askedCount.load());
  CefShutdown();
  client->browser = nullptr;
}

std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    wchar_t escaped[8];
    swprintf(escaped, 8, L"\\u%04x", static_cast<unsigned>(c));
    out += c < 128 ? std::wstring(1, c) : std::wstring(escaped);
  }
  return out;
}

class DialogClient : public RenderClient, public CefJSDialogHandler, public CefDisplayHandler {
 public:
  CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return this; }
  CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
  bool OnJSDialog(CefRefPtr<CefBrowser>, const CefString& origin, JSDialogType type, const CefString& message,
                  const CefString& defaultText, CefRefPtr<CefJSDialogCallback> callback, bool& suppress) override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      asks += std::to_wstring(type) + L":" + Escape(message.ToWString()) + L":" + Escape(defaultText.ToWString()) +
              (origin.ToWString() == page ? L"" : L":origin " + origin.ToWString()) + L";";
    }
    if (type == JSDIALOGTYPE_ALERT || message.ToWString() == L"suppressed") {
      suppress = true;
      return false;
    }
    if (message.ToWString() == L"drop") return true;
    const std::wstring answer = L"r\u00e9ponse " + defaultText.ToWString();
    std::thread([callback, answer] {
      Sleep(300);
      callback->Continue(true, answer);
    }).detach();
    return true;
  }
  bool OnConsoleMessage(CefRefPtr<CefBrowser>, const CefString& message, const CefString&, int) override {
    std::lock_guard<std::mutex> lock(mutex);
    console += Escape(message.ToWString()) + L";";
    return true;
  }
  std::wstring page, asks, console;
};

void RunDialogs(int argc, wchar_t** argv) {
  const int first = TakeTrustArgument(argc, argv);
  if (argc <= first) return;
  CefRefPtr<DialogClient> client = new DialogClient();
  client->width = 400;
  client->height = 300;
  client->page = argv[first];
  components::CefManager& cef = components::CefManager::Instance();
  cef.PrepareCefEnvironment();
  CefSettings settings;
  Put("initialized", cef.Initialize(base::OwnModuleDirectory() + L"cef_temp\\\\", settings));
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  CefBrowserHost::CreateBrowser(info, client.get(), argv[first], CefBrowserSettings(), nullptr);
  Put("loaded", WaitFor([&] { return client->loaded != 0; }, 60000) ? client->loaded.load() : 0);
  WaitFor([&] {
    std::lock_guard<std::mutex> lock(client->mutex);
    return client->console.find(L"end") != std::wstring::npos;
  }, 60000);
  {
    std::lock_guard<std::mutex> lock(client->mutex);
    Put("asks", client->asks);
    Put("console", client->console);
  }
  CefShutdown();
  client->browser = nullptr;
}

// Clicks at X,Y on the settled page and types TEXT; the frame after that goes to FILE.
void RunType(int argc, wchar_t** argv) {
  const int first = TakeTrustArgument(argc, argv);
  if (argc < first + 4) return;
  CefRefPtr<RenderClient> client = new RenderClient();
  client->width = 400;
  client->height = 300;
  components::CefManager& cef = components::CefManager::Instance();
  cef.PrepareCefEnvironment();
  CefSettings settings;
  Put("initialized", cef.Initialize(base::OwnModuleDirectory() + L"cef_temp\\", settings));
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  CefBrowserHost::CreateBrowser(info, client.get(), argv[first], CefBrowserSettings(), nullptr);
  Put("loaded", WaitFor([&] { return client->loaded != 0; }, 60000) ? client->loaded.load() : 0);
  auto settle = [&] {
    WaitFor([&] { return client->frames > 0 && GetTickCount() - client->lastFrameAt > 1500; }, 60000);
  };
  settle();
  if (!client->browser) return;
  CefRefPtr<CefBrowserHost> host = client->browser->GetHost();
  host->SendFocusEvent(true);
  CefMouseEvent mouse;
  swscanf(argv[first + 1], L"%d,%d", &mouse.x, &mouse.y);
  host->SendMouseMoveEvent(mouse, false);
  host->SendMouseClickEvent(mouse, MBT_LEFT, false, 1);
  host->SendMouseClickEvent(mouse, MBT_LEFT, true, 1);
  PumpFor(300);
  for (const wchar_t* c = argv[first + 2]; *c; ++c) {
    CefKeyEvent key;
    key.type = KEYEVENT_CHAR;
    key.character = *c;
    key.windows_key_code = *c;
    host->SendKeyEvent(key);
  }
  int before = client->frames;
  WaitFor([&] { return client->frames > before; }, 60000);
  settle();
  {
    std::lock_guard<std::mutex> lock(client->mutex);
    std::ofstream out(argv[first + 3], std::ios::binary);
    int32_t head[2] = {client->frameWidth, client->frameHeight};
    out.write("DVFR", 4);
    out.write(reinterpret_cast<const char*>(head), sizeof(head));
    out.write(reinterpret_cast<const char*>(client->frame.data()), client->frame.size() * 4);
    Put("frame_size", std::to_wstring(client->frameWidth) + L"x" + std::to_wstring(client->frameHeight));
  }
  CefShutdown();
  client->browser = nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetCurrentDirectoryW(base::OwnModuleDirectory().c_str());
  g_out.open("probe.txt", std::ios::app | std::ios::binary);
  std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode.compare(0, 7, L"--type=") == 0 && GetEnvironmentVariableW(kEchoVariable, nullptr, 0) > 0) {
    CefRefPtr<EchoApp> app = new EchoApp();
    return CefExecuteProcess(CefMainArgs(GetModuleHandleW(nullptr)), app.get(), nullptr);
  } else if (mode.compare(0, 7, L"--type=") == 0) {
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
  } else if (mode == L"messages") {
    RunMessages();
  } else if (mode == L"loads") {
    RunLoads(argc, argv);
  } else if (mode == L"clicks") {
    RunClicks(argc, argv);
  } else if (mode == L"type") {
    RunType(argc, argv);
  } else if (mode == L"natives") {
    RunNatives(argc, argv);
  } else if (mode == L"menu") {
    RunMenu(argc, argv);
  } else if (mode == L"dialogs") {
    RunDialogs(argc, argv);
  } else if (mode == L"render") {
    RunRender(argc, argv);
  }
  Put("done", 1);
  return 0;
}
