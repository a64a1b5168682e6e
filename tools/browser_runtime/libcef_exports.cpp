// libcef.dll of the browser-runtime stand-in: the process-wide calls of the runtime. The browser
// process runs a UI, an IO and a FILE thread; sub-processes are started from
// `browser_subprocess_path` and end with the browser process (a job object holds them).
#include <windows.h>
#include <process.h>
#include <shellapi.h>

#include <atomic>
#include <string>
#include <vector>

#include "browser/cef/cef_runtime_abi.h"
#include "tools/browser_runtime/command_line.h"
#include "tools/browser_runtime/frame_channel.h"
#include "tools/browser_runtime/page_fetch.h"
#include "tools/browser_runtime/runtime_browser.h"
#include "tools/browser_runtime/runtime_log.h"
#include "tools/browser_runtime/runtime_thread.h"

// Exports are plain C: no exception leaves them (each body is guarded).
#define RUNTIME_EXPORT extern "C" __declspec(dllexport)

// The interface version this build reports (tests build one that reports another).
#ifndef RUNTIME_API_HASH
#define RUNTIME_API_HASH CEF_RUNTIME_API_HASH
#endif

namespace {

struct BrowserProcess {
  bool initialized = false;
  bool ownUiThread = true;
  DWORD initThreadId = 0;
  cef_runtime_app* app = nullptr;
  runtime::TaskQueue queues[3];
  runtime::RuntimeThread threads[3];
  std::wstring cachePath;
  std::wstring subprocessPath;
  std::wstring logFile;
  std::vector<std::wstring> cookieSchemes;
  HANDLE job = nullptr;
  // Open browsers; touched on the UI thread only.
  std::vector<cef_runtime_browser*> browsers;
  int nextBrowserId = 1;
};

BrowserProcess* g_process = nullptr;

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

bool IsDirectory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeDirectoryTree(const std::wstring& path) {
  if (path.empty() || IsDirectory(path)) return;
  size_t cut = path.find_last_of(L"\\/");
  if (cut != std::wstring::npos && cut > 0) MakeDirectoryTree(path.substr(0, cut));
  CreateDirectoryW(path.c_str(), nullptr);
}

struct SchemeRegistrar {
  std::vector<std::wstring> schemes;
  cef_runtime_scheme_registrar view{};
  SchemeRegistrar() {
    view.self = this;
    view.add_custom_scheme = [](void* self, const wchar_t* scheme, int, int, int) -> int {
      if (!scheme || !*scheme) return 0;
      static_cast<SchemeRegistrar*>(self)->schemes.push_back(scheme);
      return 1;
    };
  }
};

// The application's start-up event, as a task on the UI thread.
void ContextInitialized(void* self) {
  auto* app = static_cast<cef_runtime_app*>(self);
  runtime::LogInfo(L"Context initialized");
  if (app->on_context_initialized) app->on_context_initialized(app->self);
}

void BrowserAddRef(cef_runtime_browser* browser) { browser->refs++; }
void BrowserRelease(cef_runtime_browser* browser) {
  if (--browser->refs == 0) delete browser;
}

// Runs `body` on the runtime's UI thread (at once when called there, or when the program drives
// that thread itself and calls from it).
template <class F>
void PostToUi(F body) {
  struct Holder {
    F body;
  };
  cef_runtime_task task{};
  task.self = new Holder{std::move(body)};
  task.execute = [](void* self) { static_cast<Holder*>(self)->body(); };
  task.release = [](void* self) { delete static_cast<Holder*>(self); };
  g_process->queues[CEF_RUNTIME_TID_UI].Push(task, 0);
  g_process->threads[CEF_RUNTIME_TID_UI].Wake();
}

template <class F>
void PostTo(int thread, F body) {
  struct Holder {
    F body;
  };
  cef_runtime_task task{};
  task.self = new Holder{std::move(body)};
  task.execute = [](void* self) { static_cast<Holder*>(self)->body(); };
  task.release = [](void* self) { delete static_cast<Holder*>(self); };
  g_process->queues[thread].Push(task, 0);
  g_process->threads[thread].Wake();
}

bool OnUiThread() {
  if (!g_process) return false;
  if (!g_process->ownUiThread) return GetCurrentThreadId() == g_process->initThreadId;
  return GetCurrentThreadId() == g_process->threads[CEF_RUNTIME_TID_UI].thread_id();
}

int StatusOf(DWORD exitCode) {
  if (exitCode >= 0xC0000000) return CEF_RUNTIME_TS_PROCESS_CRASHED;
  return exitCode == 0 ? CEF_RUNTIME_TS_ABNORMAL_TERMINATION : CEF_RUNTIME_TS_PROCESS_WAS_KILLED;
}

// Ends the reader (its process is gone or going) and frees the pipes and the frame buffer.
void CloseChannel(cef_runtime_browser* browser) {
  EnterCriticalSection(&browser->writeLock);
  browser->connected = false;
  LeaveCriticalSection(&browser->writeLock);
  if (browser->reader) {
    if (WaitForSingleObject(browser->reader, 0) == WAIT_TIMEOUT) CancelSynchronousIo(browser->reader);
    bool ended = WaitForSingleObject(browser->reader, 2000) == WAIT_OBJECT_0;
    CloseHandle(browser->reader);
    browser->reader = nullptr;
    // A reader still blocked keeps its pipe.
    if (!ended) browser->up = INVALID_HANDLE_VALUE;
  }
  EnterCriticalSection(&browser->writeLock);
  if (browser->down != INVALID_HANDLE_VALUE) CloseHandle(browser->down);
  if (browser->up != INVALID_HANDLE_VALUE) CloseHandle(browser->up);
  browser->down = browser->up = INVALID_HANDLE_VALUE;
  LeaveCriticalSection(&browser->writeLock);
  if (browser->frameBuffer) CloseHandle(browser->frameBuffer);
  browser->frameBuffer = nullptr;
  browser->frameWidth = browser->frameHeight = 0;
}

// On the UI thread: asks the render process for a frame of the view's current size.
void RequestFrame(cef_runtime_browser* browser) {
  if (browser->closed || browser->hidden || !browser->connected || !browser->client->get_view_rect) return;
  int x = 0, y = 0, width = 0, height = 0;
  if (!browser->client->get_view_rect(browser->client->self, browser, &x, &y, &width, &height)) return;
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return;
  if (!browser->frameBuffer || width != browser->frameWidth || height != browser->frameHeight) {
    if (browser->frameBuffer) CloseHandle(browser->frameBuffer);
    uint64_t bytes = static_cast<uint64_t>(width) * height * 4;
    browser->sequence++;
    browser->frameBuffer = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
                                              static_cast<DWORD>(bytes), runtime::FrameBufferName(browser->channel, browser->sequence).c_str());
    if (!browser->frameBuffer) return;
    browser->frameWidth = width;
    browser->frameHeight = height;
  }
  EnterCriticalSection(&browser->writeLock);
  runtime::WriteMessage(browser->down, {runtime::kPaintRequest, width, height, browser->sequence});
  LeaveCriticalSection(&browser->writeLock);
}

// On the UI thread: hands a painted frame to the client, unless it is stale or the view hidden.
void DeliverFrame(cef_runtime_browser* browser, const runtime::FrameMessage& frame) {
  if (browser->closed || browser->hidden || !browser->frameBuffer || frame.sequence != browser->sequence) return;
  if (frame.width != browser->frameWidth || frame.height != browser->frameHeight) return;
  const void* pixels = MapViewOfFile(browser->frameBuffer, FILE_MAP_READ, 0, 0, 0);
  if (!pixels) return;
  if (browser->client->on_paint) browser->client->on_paint(browser->client->self, browser, 0, pixels, frame.width, frame.height);
  UnmapViewOfFile(pixels);
}

void OnPageEvent(cef_runtime_browser* browser, uint32_t kind, const std::string& payload);
void EndLoad(cef_runtime_browser* browser, unsigned serial);
void FetchSubresource(cef_runtime_browser* browser, uint32_t id, const std::wstring& url);
std::wstring Wide(const std::string& text);

unsigned __stdcall ReadFrames(void* context) {
  auto* browser = static_cast<cef_runtime_browser*>(context);
  HANDLE down = browser->down, up = browser->up;
  bool ok = (ConnectNamedPipe(down, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) &&
            (ConnectNamedPipe(up, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED);
  if (ok) {
    BrowserAddRef(browser);
    PostToUi([browser] {
      // Messages sent before the render process ran go first, in order.
      EnterCriticalSection(&browser->writeLock);
      browser->connected = browser->renderProcess != nullptr;
      if (browser->connected) {
        for (auto& message : browser->pendingMessages)
          runtime::WriteProcessMessage(browser->down, message.data(), message.size());
        browser->pendingMessages.clear();
        if (!browser->pendingDocument.empty())
          runtime::WritePayload(browser->down, runtime::kLoadDocument, browser->pendingDocument.data(),
                                browser->pendingDocument.size(), browser->pendingDocumentSerial);
      }
      browser->pendingDocument.clear();
      LeaveCriticalSection(&browser->writeLock);
      RequestFrame(browser);
      BrowserRelease(browser);
    });
    runtime::FrameMessage frame;
    std::vector<char> payload;
    while (runtime::ReadMessage(up, &frame)) {
      if (runtime::HasPayload(frame.kind) && frame.kind != runtime::kProcessMessage) {
        if (!runtime::ReadPayload(up, frame.width, &payload)) break;
        BrowserAddRef(browser);
        PostToUi([browser, frame, payload] {
          if (!browser->closed && frame.kind == runtime::kResourceRequest)
            FetchSubresource(browser, frame.sequence, Wide(std::string(payload.begin(), payload.end())));
          else if (!browser->closed)
            OnPageEvent(browser, frame.kind, std::string(payload.begin(), payload.end()));
          BrowserRelease(browser);
        });
        continue;
      }
      if (frame.kind == runtime::kLoadDone) {
        BrowserAddRef(browser);
        PostToUi([browser, frame] {
          EndLoad(browser, frame.sequence);
          BrowserRelease(browser);
        });
        continue;
      }
      if (frame.kind == runtime::kCursor) {
        BrowserAddRef(browser);
        PostToUi([browser, frame] {
          if (!browser->closed) OnPageEvent(browser, frame.kind, std::to_string(frame.width));
          BrowserRelease(browser);
        });
        continue;
      }
      if (frame.kind == runtime::kProcessMessage) {
        if (!runtime::ReadPayload(up, frame.width, &payload)) break;
        BrowserAddRef(browser);
        PostToUi([browser, payload] {
          cef_runtime_client* client = browser->client;
          if (!browser->closed && client->on_process_message_received)
            client->on_process_message_received(client->self, browser, CEF_RUNTIME_PID_RENDERER, payload.data(), payload.size());
          BrowserRelease(browser);
        });
        continue;
      }
      if (frame.kind != runtime::kFrameReady) continue;
      BrowserAddRef(browser);
      PostToUi([browser, frame] {
        DeliverFrame(browser, frame);
        BrowserRelease(browser);
      });
    }
  }
  return 0;
}

void StopRenderProcess(cef_runtime_browser* browser) {
  if (browser->wait) {
    // Waits for a running callback: it only posts a task.
    UnregisterWaitEx(browser->wait, INVALID_HANDLE_VALUE);
    browser->wait = nullptr;
  }
  if (browser->renderProcess) {
    TerminateProcess(browser->renderProcess, 0);
    WaitForSingleObject(browser->renderProcess, 2000);
    CloseHandle(browser->renderProcess);
    browser->renderProcess = nullptr;
  }
  CloseChannel(browser);
}

void CALLBACK OnRenderProcessEnded(void* context, BOOLEAN) {
  auto* browser = static_cast<cef_runtime_browser*>(context);
  BrowserAddRef(browser);
  PostToUi([browser] {
    if (!browser->closed && browser->renderProcess) {
      DWORD code = 0;
      GetExitCodeProcess(browser->renderProcess, &code);
      runtime::LogInfo(L"Render process of browser " + std::to_wstring(browser->id) + L" ended with " + std::to_wstring(code));
      if (browser->wait) {
        UnregisterWait(browser->wait);
        browser->wait = nullptr;
      }
      CloseHandle(browser->renderProcess);
      browser->renderProcess = nullptr;
      CloseChannel(browser);
      // A load waiting for its page ends with it.
      EndLoad(browser, browser->pendingEndSerial);
      if (browser->client->on_render_process_terminated)
        browser->client->on_render_process_terminated(browser->client->self, browser, StatusOf(code));
    }
    BrowserRelease(browser);
  });
}

// One render process a browser, started from `browser_subprocess_path` and held by the job.
bool StartRenderProcess(cef_runtime_browser* browser) {
  wchar_t full[MAX_PATH];
  if (!GetFullPathNameW(g_process->subprocessPath.c_str(), MAX_PATH, full, nullptr)) return false;
  browser->channel = runtime::ChannelBase(GetCurrentProcessId(), browser->id);
  EnterCriticalSection(&browser->writeLock);
  browser->renderGeneration++;
  LeaveCriticalSection(&browser->writeLock);
  browser->down = CreateNamedPipeW(runtime::PipeName(browser->channel, L"down").c_str(), PIPE_ACCESS_OUTBOUND,
                                   PIPE_TYPE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  browser->up = CreateNamedPipeW(runtime::PipeName(browser->channel, L"up").c_str(), PIPE_ACCESS_INBOUND,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  if (browser->down == INVALID_HANDLE_VALUE || browser->up == INVALID_HANDLE_VALUE) {
    CloseChannel(browser);
    return false;
  }
  std::wstring command = L"\"" + std::wstring(full) + L"\" --type=renderer --browser-pid=" +
                         std::to_wstring(GetCurrentProcessId()) + L" --renderer-client-id=" + std::to_wstring(browser->id) +
                         L" --channel=" + browser->channel;
  if (!g_process->logFile.empty()) command += L" \"--log-file=" + g_process->logFile + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(full, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup, &info)) {
    runtime::LogError(L"Render process could not start: " + command);
    CloseChannel(browser);
    return false;
  }
  if (g_process->job) AssignProcessToJobObject(g_process->job, info.hProcess);
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  browser->renderProcess = info.hProcess;
  runtime::LogInfo(L"Render process " + std::to_wstring(info.dwProcessId) + L" for browser " + std::to_wstring(browser->id));
  RegisterWaitForSingleObject(&browser->wait, info.hProcess, &OnRenderProcessEnded, browser, INFINITE, WT_EXECUTEONLYONCE);
  browser->reader = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ReadFrames, browser, 0, nullptr));
  return true;
}

// On the UI thread.
void CloseOnUi(cef_runtime_browser* browser) {
  if (browser->closed) return;
  // Senders on other threads read it under the lock.
  EnterCriticalSection(&browser->writeLock);
  browser->closed = true;
  browser->pendingMessages.clear();
  LeaveCriticalSection(&browser->writeLock);
  StopRenderProcess(browser);
  auto& list = g_process->browsers;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (*it == browser) {
      list.erase(it);
      break;
    }
  }
  runtime::LogInfo(L"Browser " + std::to_wstring(browser->id) + L" closed");
  cef_runtime_client* client = browser->client;
  if (client->on_before_close) client->on_before_close(client->self, browser);
  client->release(client->self);
  BrowserRelease(browser);
}

// Load events, on the UI thread.
void FailLoad(cef_runtime_browser* browser, unsigned serial, int code, const std::wstring& text, const std::wstring& url) {
  if (browser->closed || serial != browser->loadSerial) return;
  cef_runtime_client* c = browser->client;
  runtime::LogInfo(L"Browser " + std::to_wstring(browser->id) + L" failed to load " + url + L": " + text);
  if (c->on_load_error) c->on_load_error(c->self, browser, code, text.c_str(), url.c_str());
  if (c->on_loading_state_change) c->on_loading_state_change(c->self, browser, 0, 0, 0);
  RequestFrame(browser);
}

std::string Utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// Hands the fetched main document to the render process, which lays it out and fetches the rest.
void SendDocument(cef_runtime_browser* browser, unsigned serial, const std::wstring& url,
                  const runtime::FetchResult& result) {
  std::vector<char> document = runtime::EncodeDocument(Utf8(url), result.status, result.headers, result.body);
  EnterCriticalSection(&browser->writeLock);
  if (browser->connected) {
    runtime::WritePayload(browser->down, runtime::kLoadDocument, document.data(), document.size(), serial);
  } else {
    browser->pendingDocument = std::move(document);
    browser->pendingDocumentSerial = serial;
  }
  LeaveCriticalSection(&browser->writeLock);
}

// On the UI thread: the load's page is complete (or its render process gone).
void EndLoad(cef_runtime_browser* browser, unsigned serial) {
  if (browser->closed || serial == 0 || serial != browser->loadSerial || serial != browser->pendingEndSerial) return;
  browser->pendingEndSerial = 0;
  cef_runtime_client* c = browser->client;
  if (c->on_load_end) c->on_load_end(c->self, browser, browser->pendingEndStatus);
  if (c->on_loading_state_change) c->on_loading_state_change(c->self, browser, 0, 0, 0);
  RequestFrame(browser);
}

void FinishLoad(cef_runtime_browser* browser, unsigned serial, const std::wstring& url, const runtime::FetchResult& result) {
  if (result.error) return FailLoad(browser, serial, result.error, result.errorText, url);
  if (browser->closed || serial != browser->loadSerial) return;
  SendDocument(browser, serial, url, result);
  cef_runtime_client* c = browser->client;
  runtime::LogInfo(L"Browser " + std::to_wstring(browser->id) + L" loaded " + url + L" (" + std::to_wstring(result.status) + L")");
  if (c->on_load_start) c->on_load_start(c->self, browser);
  // The load ends when the render process has the page complete, stylesheets, images and scripts
  // included; without a render process there is nothing more to wait for.
  browser->pendingEndSerial = serial;
  browser->pendingEndStatus = result.status;
  if (!browser->renderProcess) EndLoad(browser, serial);
}

std::wstring SchemeOf(const std::wstring& url) {
  size_t colon = url.find(L':');
  std::wstring scheme = colon == std::wstring::npos ? L"" : url.substr(0, colon);
  for (wchar_t& ch : scheme) ch = towlower(ch);
  return scheme;
}

// Asks the program about a resource on the IO thread, then fetches it on the FILE thread; `done`
// gets the result (net::ERR_ABORTED when the program cancelled) on the thread that has it.
void AskAndFetch(cef_runtime_browser* browser, const std::wstring& url,
                 std::function<void(const runtime::FetchResult&)> done) {
  auto* callback = new cef_runtime_request_callback();
  BrowserAddRef(browser);
  callback->answer = [browser, url, done](bool allow) {
    // Runs once, on whatever thread answers; the browser reference goes with it.
    auto release = [browser] { PostTo(CEF_RUNTIME_TID_UI, [browser] { BrowserRelease(browser); }); };
    if (!allow) {
      runtime::FetchResult aborted;
      aborted.error = -3;
      aborted.errorText = L"net::ERR_ABORTED";
      done(aborted);
      release();
      return;
    }
    PostTo(CEF_RUNTIME_TID_FILE, [url, done, release] {
      done(runtime::Fetch(url));
      release();
    });
  };
  PostTo(CEF_RUNTIME_TID_IO, [browser, url, callback] {
    cef_runtime_client* c = browser->client;
    int answer = CEF_RUNTIME_RV_CONTINUE;
    if (c->on_before_resource_load) answer = c->on_before_resource_load(c->self, browser, url.c_str(), L"GET", callback);
    if (answer != CEF_RUNTIME_RV_CONTINUE_ASYNC && !callback->answered.exchange(true))
      callback->answer(answer == CEF_RUNTIME_RV_CONTINUE);
    if (--callback->refs == 0) delete callback;
  });
}

// On the UI thread: a stylesheet, image or script the page asks for, fetched like the document
// and answered to the render process that asked.
void FetchSubresource(cef_runtime_browser* browser, uint32_t id, const std::wstring& url) {
  const unsigned generation = browser->renderGeneration;
  AskAndFetch(browser, url, [browser, id, url, generation](const runtime::FetchResult& result) {
    std::vector<char> answer = result.error
        ? runtime::EncodeDocument(Utf8(url), result.error, Utf8(result.errorText), "")
        : runtime::EncodeDocument(Utf8(url), result.status, result.headers, result.body);
    EnterCriticalSection(&browser->writeLock);
    if (browser->connected && !browser->closed && browser->renderGeneration == generation)
      runtime::WritePayload(browser->down, runtime::kResourceResponse, answer.data(), answer.size(), id);
    LeaveCriticalSection(&browser->writeLock);
  });
}

// On the UI thread: the main document's load, its resource asked for on the IO thread first and
// fetched on the FILE thread.
void StartLoad(cef_runtime_browser* browser, const std::wstring& url) {
  if (browser->closed) return;
  const unsigned serial = ++browser->loadSerial;
  runtime::LogInfo(L"Browser " + std::to_wstring(browser->id) + L" loads " + url);
  if (!browser->renderProcess) StartRenderProcess(browser);
  cef_runtime_client* c = browser->client;
  if (c->on_loading_state_change) c->on_loading_state_change(c->self, browser, 1, 0, 0);
  if (c->on_address_change) c->on_address_change(c->self, browser, url.c_str());
  const std::wstring scheme = SchemeOf(url);
  if (scheme == L"about") {
    runtime::FetchResult blank;
    blank.status = 200;
    return FinishLoad(browser, serial, url, blank);
  }
  if (scheme != L"http" && scheme != L"https") {
    int allow = 0;
    if (c->on_protocol_execution) c->on_protocol_execution(c->self, browser, url.c_str(), &allow);
    if (allow) ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return FailLoad(browser, serial, -302, L"net::ERR_UNKNOWN_URL_SCHEME", url);
  }

  AskAndFetch(browser, url, [browser, serial, url](const runtime::FetchResult& result) {
    BrowserAddRef(browser);
    PostTo(CEF_RUNTIME_TID_UI, [browser, serial, url, result] {
      FinishLoad(browser, serial, url, result);
      BrowserRelease(browser);
    });
  });
}

std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

// A context menu's items: command ids with their labels, -1 for a separator.
struct MenuItems {
  std::vector<std::pair<int, std::wstring>> items;

  static MenuItems* Of(void* self) { return static_cast<MenuItems*>(self); }
  cef_runtime_menu_model Model() {
    cef_runtime_menu_model m{};
    m.self = this;
    m.get_count = [](void* self) { return static_cast<int>(Of(self)->items.size()); };
    m.get_command_id_at = [](void* self, int index) {
      auto& items = Of(self)->items;
      return index >= 0 && index < static_cast<int>(items.size()) ? items[index].first : -1;
    };
    m.get_label_at = [](void* self, int index, wchar_t* buffer, size_t chars) -> size_t {
      auto& items = Of(self)->items;
      std::wstring label = index >= 0 && index < static_cast<int>(items.size()) ? items[index].second : L"";
      if (buffer && chars) {
        size_t n = label.size() < chars - 1 ? label.size() : chars - 1;
        wmemcpy(buffer, label.data(), n);
        buffer[n] = L'\0';
      }
      return label.size();
    };
    m.add_item = [](void* self, int id, const wchar_t* label) {
      Of(self)->items.emplace_back(id, label ? label : L"");
      return 1;
    };
    m.add_separator = [](void* self) {
      Of(self)->items.emplace_back(-1, L"");
      return 1;
    };
    m.remove_at = [](void* self, int index) {
      auto& items = Of(self)->items;
      if (index < 0 || index >= static_cast<int>(items.size())) return 0;
      items.erase(items.begin() + index);
      return 1;
    };
    m.clear = [](void* self) {
      Of(self)->items.clear();
      return 1;
    };
    return m;
  }
};

enum MenuCommand { kMenuBack = 100, kMenuForward = 101, kMenuReload = 102 };

// The hidden window of the UI thread that owns its popup menus.
HWND MenuOwner() {
  static HWND owner = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"DvRuntimeMenuOwner";
    RegisterClassW(&wc);
    return CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           wc.hInstance, nullptr);
  }();
  return owner;
}

void RunContextMenu(cef_runtime_browser* browser, const std::string& payload) {
  cef_runtime_client* c = browser->client;
  size_t split = payload.find('\0');
  const std::string head = payload.substr(0, split);
  const std::wstring page = split == std::string::npos ? L"" : Wide(payload.substr(split + 1));
  int x = 0, y = 0, used = 0;
  if (sscanf(head.c_str(), "%d %d %n", &x, &y, &used) < 2) return;
  const std::wstring link = Wide(head.substr(used));
  cef_runtime_context_menu_params params{x, y, link.c_str(), page.c_str()};
  // The runtime keeps no history: Back and Forward are there, greyed.
  MenuItems menu;
  menu.items = {{kMenuBack, L"&Back"}, {kMenuForward, L"&Forward"}, {-1, L""}, {kMenuReload, L"&Reload"}};
  cef_runtime_menu_model model = menu.Model();
  if (c->on_before_context_menu) c->on_before_context_menu(c->self, browser, &params, &model);
  runtime::LogInfo(L"Browser " + std::to_wstring(browser->id) + L" context menu of " +
                   std::to_wstring(menu.items.size()) + L" items");
  if (menu.items.empty()) return;
  HMENU popup = CreatePopupMenu();
  for (auto& item : menu.items) {
    if (item.first < 0) {
      AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const bool grey = item.first == kMenuBack || item.first == kMenuForward;
    AppendMenuW(popup, MF_STRING | (grey ? MF_GRAYED : 0), static_cast<UINT_PTR>(item.first), item.second.c_str());
  }
  // A windowless view has no place on the screen of its own: the menu opens at its coordinates.
  HWND owner = MenuOwner();
  SetForegroundWindow(owner);
  int command = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr);
  DestroyMenu(popup);
  if (command <= 0 || browser->closed) return;
  if (c->on_context_menu_command && c->on_context_menu_command(c->self, browser, &params, command, 0)) return;
  if (command == kMenuReload && !page.empty()) StartLoad(browser, page);
}

std::string Narrow(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// The answer to a page's dialog, written to its render process once.
struct DialogAnswer {
  std::atomic<int> count{1};
  std::atomic<bool> answered{false};
  cef_runtime_browser* browser;
  cef_runtime_js_dialog_callback c{};

  explicit DialogAnswer(cef_runtime_browser* b) : browser(b) {
    BrowserAddRef(browser);
    c.self = this;
    c.add_ref = [](void* self) { static_cast<DialogAnswer*>(self)->count++; };
    c.release = [](void* self) {
      auto* answer = static_cast<DialogAnswer*>(self);
      if (--answer->count) return;
      // Given back unanswered: the page is not left waiting.
      answer->Answer(false, L"");
      BrowserRelease(answer->browser);
      delete answer;
    };
    c.cont = [](void* self, int success, const wchar_t* input) {
      static_cast<DialogAnswer*>(self)->Answer(success != 0, input ? input : L"");
    };
  }
  void Answer(bool success, const std::wstring& input) {
    if (answered.exchange(true)) return;
    const std::string payload = (success ? "1" : "0") + Narrow(input);
    EnterCriticalSection(&browser->writeLock);
    if (browser->connected && !browser->closed)
      runtime::WritePayload(browser->down, runtime::kDialogAnswer, payload.data(), payload.size(), 0);
    LeaveCriticalSection(&browser->writeLock);
  }
};

void RunDialog(cef_runtime_browser* browser, const std::string& payload) {
  cef_runtime_client* c = browser->client;
  if (payload.empty()) return;
  const int type = payload[0] - '0';
  size_t first = payload.find('\0'), second = first == std::string::npos ? first : payload.find('\0', first + 1);
  if (second == std::string::npos) return;
  const std::wstring page = Wide(payload.substr(1, first - 1));
  const std::wstring message = Wide(payload.substr(first + 1, second - first - 1));
  const std::wstring defaultText = Wide(payload.substr(second + 1));
  auto* answer = new DialogAnswer(browser);
  int suppress = 0;
  if (c->on_js_dialog &&
      c->on_js_dialog(c->self, browser, page.c_str(), type, message.c_str(), defaultText.c_str(), &answer->c, &suppress)) {
    answer->c.release(answer);
    return;
  }
  if (!suppress && type != CEF_RUNTIME_JSDIALOGTYPE_PROMPT) {
    int button = MessageBoxW(nullptr, message.c_str(), page.c_str(),
                             type == CEF_RUNTIME_JSDIALOGTYPE_CONFIRM ? MB_OKCANCEL : MB_OK);
    answer->Answer(button == IDOK, L"");
  }
  answer->c.release(answer);
}

// On the UI thread: what the page did, as its render process reports it.
void OnPageEvent(cef_runtime_browser* browser, uint32_t kind, const std::string& payload) {
  cef_runtime_client* c = browser->client;
  switch (kind) {
    case runtime::kNavigate: {
      size_t split = payload.find('\0');
      const std::wstring url = Wide(payload.substr(0, split));
      const std::wstring target = split == std::string::npos ? L"" : Wide(payload.substr(split + 1));
      // A link to another window opens none: the program only hears of it.
      if (!target.empty()) {
        runtime::LogInfo(L"Browser " + std::to_wstring(browser->id) + L" link to window " + target + L": " + url);
        if (c->on_before_popup) c->on_before_popup(c->self, browser, url.c_str(), target.c_str());
        return;
      }
      if (c->on_before_browse && c->on_before_browse(c->self, browser, url.c_str(), 0)) {
        runtime::LogInfo(L"Browser " + std::to_wstring(browser->id) + L" link cancelled: " + url);
        return;
      }
      const std::wstring scheme = SchemeOf(url);
      if (scheme == L"http" || scheme == L"https" || scheme == L"about") return StartLoad(browser, url);
      // Other schemes leave the page as it is: the system may handle them.
      int allow = 0;
      if (c->on_protocol_execution) c->on_protocol_execution(c->self, browser, url.c_str(), &allow);
      if (allow) ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      return;
    }
    case runtime::kAddress:
      if (c->on_address_change) c->on_address_change(c->self, browser, Wide(payload).c_str());
      return;
    case runtime::kContextMenu:
      RunContextMenu(browser, payload);
      return;
    case runtime::kDialog:
      RunDialog(browser, payload);
      return;
    case runtime::kTitle:
      if (c->on_title_change) c->on_title_change(c->self, browser, Wide(payload).c_str());
      return;
    case runtime::kConsole: {
      const std::wstring message = Wide(payload);
      if (!c->on_console_message || !c->on_console_message(c->self, browser, message.c_str(), L"", 0))
        runtime::LogInfo(L"Console of browser " + std::to_wstring(browser->id) + L": " + message);
      return;
    }
    case runtime::kCursor: {
      const int type = atoi(payload.c_str());
      const wchar_t* shape = type == CEF_RUNTIME_CT_HAND ? IDC_HAND : type == CEF_RUNTIME_CT_IBEAM ? IDC_IBEAM : IDC_ARROW;
      if (c->on_cursor_change) c->on_cursor_change(c->self, browser, LoadCursorW(nullptr, shape), type);
      return;
    }
    default:
      return;
  }
}

// Input goes straight to the render process, from any thread, in order.
void SendInput(cef_runtime_browser* browser, const runtime::FrameMessage& message) {
  EnterCriticalSection(&browser->writeLock);
  if (browser->connected && !browser->closed) runtime::WriteMessage(browser->down, message);
  LeaveCriticalSection(&browser->writeLock);
}

void CloseAllOnUi() {
  std::vector<cef_runtime_browser*> open = g_process->browsers;
  for (cef_runtime_browser* browser : open) CloseOnUi(browser);
}

}  // namespace

RUNTIME_EXPORT const char* cef_api_hash(int) { return RUNTIME_API_HASH; }

RUNTIME_EXPORT void cef_enable_highdpi_support(void) { SetProcessDPIAware(); }

RUNTIME_EXPORT int cef_execute_process(const cef_runtime_main_args*, cef_runtime_app* app, void*) {
  try {
    runtime::CommandLine line = runtime::CommandLine::FromString(GetCommandLineW());
    const std::wstring type = line.SwitchValue(L"type");
    if (type.empty()) return -1;
    runtime::SetLogFile(line.SwitchValue(L"log-file"));
    if (app && app->on_before_command_line_processing)
      app->on_before_command_line_processing(app->self, type.c_str(), line.CView());
    runtime::LogInfo(L"Sub-process " + type + L" command line: " + line.ToString());
    if (type == L"renderer" && line.HasSwitch(L"channel"))
      return runtime::RunRenderer(line.SwitchValue(L"channel"), _wtoi(line.SwitchValue(L"renderer-client-id").c_str()), app);
    // Other sub-processes have nothing to do: they live as long as their browser process.
    DWORD parent = wcstoul(line.SwitchValue(L"browser-pid").c_str(), nullptr, 10);
    if (HANDLE browser = parent ? OpenProcess(SYNCHRONIZE, FALSE, parent) : nullptr) {
      WaitForSingleObject(browser, INFINITE);
      CloseHandle(browser);
    }
    return 0;
  } catch (...) {
    return 1;
  }
}

RUNTIME_EXPORT int cef_initialize(const cef_runtime_main_args*, const cef_runtime_settings* settings,
                                  cef_runtime_app* app, void*) {
  try {
    if (g_process || !settings || settings->size < sizeof(cef_runtime_settings)) return 0;
    auto* process = new BrowserProcess();
    runtime::SetLogFile(Text(settings->log_file));
    process->cachePath = Text(settings->cache_path);
    process->subprocessPath = Text(settings->browser_subprocess_path);
    process->logFile = Text(settings->log_file);
    process->ownUiThread = settings->multi_threaded_message_loop != 0;
    process->initThreadId = GetCurrentThreadId();

    runtime::CommandLine line = runtime::CommandLine::FromString(GetCommandLineW());
    if (app) {
      app->add_ref(app->self);
      process->app = app;
      if (app->on_before_command_line_processing) app->on_before_command_line_processing(app->self, L"", line.CView());
      SchemeRegistrar registrar;
      if (app->on_register_custom_schemes) app->on_register_custom_schemes(app->self, &registrar.view);
      for (auto& scheme : registrar.schemes) runtime::LogInfo(L"Custom scheme: " + scheme);
    }
    runtime::LogInfo(L"Browser process command line: " + line.ToString());
    runtime::LogInfo(std::wstring(L"Windowless rendering: ") + (settings->windowless_rendering_enabled ? L"on" : L"off") +
                     L"; sub-process: " + process->subprocessPath + L"; cache: " + process->cachePath);
    if (!process->cachePath.empty()) MakeDirectoryTree(process->cachePath);

    // Sub-processes end with the browser process, however it ends.
    process->job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (process->job) SetInformationJobObject(process->job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));

    for (int id = 0; id < 3; ++id) {
      if (id == CEF_RUNTIME_TID_UI && !process->ownUiThread) continue;
      process->threads[id].Start(&process->queues[id]);
    }
    g_process = process;
    process->initialized = true;
    if (app) {
      app->add_ref(app->self);
      cef_runtime_task task{app, &ContextInitialized, [](void* self) {
                              auto* a = static_cast<cef_runtime_app*>(self);
                              a->release(a->self);
                            }};
      process->queues[CEF_RUNTIME_TID_UI].Push(task, 0);
      process->threads[CEF_RUNTIME_TID_UI].Wake();
    }
    runtime::LogInfo(L"Initialized");
    return 1;
  } catch (...) {
    return 0;
  }
}

RUNTIME_EXPORT int cef_post_delayed_task(int thread_id, const cef_runtime_task* task, long long delay_ms) {
  try {
    if (!task) return 0;
    if (!g_process || thread_id < 0 || thread_id > 2) {
      if (task->release) task->release(task->self);
      return 0;
    }
    g_process->queues[thread_id].Push(*task, delay_ms);
    g_process->threads[thread_id].Wake();
    return 1;
  } catch (...) {
    return 0;
  }
}

RUNTIME_EXPORT int cef_currently_on(int thread_id) {
  try {
    if (!g_process || thread_id < 0 || thread_id > 2) return 0;
    if (thread_id == CEF_RUNTIME_TID_UI && !g_process->ownUiThread)
      return GetCurrentThreadId() == g_process->initThreadId;
    return GetCurrentThreadId() == g_process->threads[thread_id].thread_id();
  } catch (...) {
    return 0;
  }
}

RUNTIME_EXPORT void cef_do_message_loop_work(void) {
  try {
    if (!g_process || g_process->ownUiThread || GetCurrentThreadId() != g_process->initThreadId) return;
    g_process->queues[CEF_RUNTIME_TID_UI].RunDue();
  } catch (...) {
  }
}

RUNTIME_EXPORT int cef_cookie_manager_set_supported_schemes(const wchar_t* const* schemes, int count) {
  try {
    if (!g_process) return 0;
    std::wstring list;
    g_process->cookieSchemes.clear();
    for (int i = 0; i < count; ++i) {
      if (!schemes[i]) continue;
      g_process->cookieSchemes.push_back(schemes[i]);
      list += (list.empty() ? L"" : L",") + std::wstring(schemes[i]);
    }
    runtime::LogInfo(L"Cookie schemes: " + list);
    // The jar is only touched on the FILE thread, where documents are fetched.
    std::wstring jar = g_process->cachePath.empty() ? L"" : g_process->cachePath + L"\\Cookies";
    std::vector<std::wstring> schemes = g_process->cookieSchemes;
    PostTo(CEF_RUNTIME_TID_FILE, [jar, schemes] { runtime::SetCookieJar(jar, schemes); });
    return 1;
  } catch (...) {
    return 0;
  }
}

RUNTIME_EXPORT int cef_browser_host_create_browser(const cef_runtime_window_info* window_info,
                                                   cef_runtime_client* client, const wchar_t* url) {
  try {
    if (!g_process || !window_info || !client) return 0;
    auto* browser = new cef_runtime_browser();
    browser->client = client;
    client->add_ref(client->self);
    std::wstring address = Text(url);
    PostToUi([browser, address] {
      browser->id = g_process->nextBrowserId++;
      g_process->browsers.push_back(browser);
      StartRenderProcess(browser);
      runtime::LogInfo(L"Browser " + std::to_wstring(browser->id) + L" created for " + address);
      if (browser->client->on_after_created) browser->client->on_after_created(browser->client->self, browser);
      // The browser shows its first address at once.
      if (!address.empty()) StartLoad(browser, address);
    });
    return 1;
  } catch (...) {
    return 0;
  }
}

RUNTIME_EXPORT void cef_browser_add_ref(cef_runtime_browser* browser) {
  try {
    if (browser) BrowserAddRef(browser);
  } catch (...) {
  }
}

RUNTIME_EXPORT void cef_browser_release(cef_runtime_browser* browser) {
  try {
    if (browser) BrowserRelease(browser);
  } catch (...) {
  }
}

RUNTIME_EXPORT void cef_browser_load_url(cef_runtime_browser* browser, const wchar_t* url) {
  try {
    if (!browser || !g_process) return;
    BrowserAddRef(browser);
    std::wstring address = Text(url);
    PostToUi([browser, address] {
      StartLoad(browser, address);
      BrowserRelease(browser);
    });
  } catch (...) {
  }
}

RUNTIME_EXPORT int cef_browser_send_process_message(cef_runtime_browser* browser, int target_process,
                                                    const void* data, size_t size) {
  try {
    if (!browser || (!data && size) || size > static_cast<size_t>(runtime::kMaxProcessMessageBytes)) return 0;
    int sent = 0;
    EnterCriticalSection(&browser->writeLock);
    if (browser->inRenderer) {
      if (target_process == CEF_RUNTIME_PID_BROWSER && browser->connected)
        sent = runtime::WriteProcessMessage(browser->up, data, size);
    } else if (target_process == CEF_RUNTIME_PID_RENDERER && !browser->closed) {
      if (browser->connected) {
        sent = runtime::WriteProcessMessage(browser->down, data, size);
      } else {
        browser->pendingMessages.emplace_back(static_cast<const char*>(data), static_cast<const char*>(data) + size);
        sent = 1;
      }
    }
    LeaveCriticalSection(&browser->writeLock);
    return sent;
  } catch (...) {
    return 0;
  }
}

RUNTIME_EXPORT void cef_request_callback_add_ref(cef_runtime_request_callback* callback) {
  if (callback) callback->refs++;
}

RUNTIME_EXPORT void cef_request_callback_release(cef_runtime_request_callback* callback) {
  if (callback && --callback->refs == 0) {
    // Never answered: the load is cancelled.
    if (!callback->answered.exchange(true) && g_process) callback->answer(false);
    delete callback;
  }
}

RUNTIME_EXPORT void cef_request_callback_continue(cef_runtime_request_callback* callback, int allow) {
  if (callback && g_process && !callback->answered.exchange(true)) callback->answer(allow != 0);
}

RUNTIME_EXPORT void cef_browser_was_hidden(cef_runtime_browser* browser, int hidden) {
  try {
    if (!browser || !g_process) return;
    browser->hidden = hidden != 0;
    BrowserAddRef(browser);
    PostToUi([browser] {
      RequestFrame(browser);
      BrowserRelease(browser);
    });
  } catch (...) {
  }
}

RUNTIME_EXPORT void cef_browser_was_resized(cef_runtime_browser* browser) {
  try {
    if (!browser || !g_process) return;
    BrowserAddRef(browser);
    PostToUi([browser] {
      RequestFrame(browser);
      BrowserRelease(browser);
    });
  } catch (...) {
  }
}

RUNTIME_EXPORT void cef_browser_send_mouse_click_event(cef_runtime_browser* browser, int x, int y, unsigned int,
                                                       int button, int mouse_up, int) {
  try {
    if (!browser || browser->inRenderer || button < 0 || button > 2) return;
    SendInput(browser, {runtime::kMouseButton, x, y, static_cast<uint32_t>(button) | (mouse_up ? 1u << 4 : 0u)});
  } catch (...) {
  }
}

RUNTIME_EXPORT void cef_browser_send_mouse_move_event(cef_runtime_browser* browser, int x, int y, unsigned int,
                                                      int mouse_leave) {
  try {
    if (!browser || browser->inRenderer) return;
    SendInput(browser, {runtime::kMouseMove, x, y, mouse_leave ? 1u : 0u});
  } catch (...) {
  }
}

RUNTIME_EXPORT void cef_browser_send_mouse_wheel_event(cef_runtime_browser* browser, int x, int y, unsigned int,
                                                       int delta_x, int delta_y) {
  try {
    if (!browser || browser->inRenderer) return;
    SendInput(browser, {runtime::kMouseMove, x, y, 0});
    SendInput(browser, {runtime::kMouseWheel, delta_x, delta_y, 0});
  } catch (...) {
  }
}

RUNTIME_EXPORT void cef_browser_send_key_event(cef_runtime_browser* browser, int type, unsigned int, int key_code, int,
                                               int, unsigned short character) {
  try {
    if (!browser || browser->inRenderer) return;
    SendInput(browser, {runtime::kKey, type, key_code, character});
  } catch (...) {
  }
}

RUNTIME_EXPORT void cef_browser_send_focus_event(cef_runtime_browser* browser, int focus) {
  try {
    if (!browser || browser->inRenderer) return;
    SendInput(browser, {runtime::kFocus, focus ? 1 : 0, 0, 0});
  } catch (...) {
  }
}

RUNTIME_EXPORT int cef_browser_get_identifier(cef_runtime_browser* browser) { return browser ? browser->id : 0; }

RUNTIME_EXPORT void cef_browser_close(cef_runtime_browser* browser, int) {
  try {
    if (!browser || !g_process) return;
    BrowserAddRef(browser);
    PostToUi([browser] {
      CloseOnUi(browser);
      BrowserRelease(browser);
    });
  } catch (...) {
  }
}

RUNTIME_EXPORT void cef_shutdown(void) {
  try {
    BrowserProcess* process = g_process;
    if (!process) return;
    runtime::LogInfo(L"Shutting down");
    // Browsers left open are closed on the UI thread, their render processes ended.
    if (OnUiThread() || !process->ownUiThread) {
      CloseAllOnUi();
    } else {
      HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      PostToUi([done] {
        CloseAllOnUi();
        SetEvent(done);
      });
      if (WaitForSingleObject(done, 5000) == WAIT_TIMEOUT)
        runtime::LogError(L"Browsers did not close in time");  // the event stays with the late task
      else
        CloseHandle(done);
    }
    if (process->job) {
      TerminateJobObject(process->job, 0);
      CloseHandle(process->job);
    }
    for (int id = 0; id < 3; ++id) process->threads[id].Stop();
    g_process = nullptr;
    for (int id = 0; id < 3; ++id) process->queues[id].DropAll();
    if (process->app) process->app->release(process->app->self);
    runtime::LogInfo(L"Shut down");
    delete process;
  } catch (...) {
  }
}
