// The render process's loop: the channel's messages (fetched resources among them) arrive from a
// reader thread, and the page engine runs here, on one thread, between them.

#include <windows.h>
#include <process.h>

#include <deque>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tools/browser_runtime/engine/page_engine.h"
#include "tools/browser_runtime/frame_channel.h"
#include "tools/browser_runtime/page_fetch.h"
#include "tools/browser_runtime/runtime_browser.h"
#include "tools/browser_runtime/runtime_log.h"

namespace runtime {

namespace {

HANDLE OpenPipe(const std::wstring& name, DWORD access) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE pipe = CreateFileW(name.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    WaitNamedPipeW(name.c_str(), 100);
  }
  return INVALID_HANDLE_VALUE;
}

std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string Narrow(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

struct Incoming {
  FrameMessage header;
  std::vector<char> payload;
};

struct Answer {
  unsigned id;
  FetchResult result;
};

// What the reader and fetch threads hand to the engine thread.
struct Inbox {
  CRITICAL_SECTION lock;
  HANDLE wake;
  std::deque<Incoming> messages;
  std::deque<Answer> answers;
  bool closed = false;

  Inbox() {
    InitializeCriticalSection(&lock);
    wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
};

struct Renderer {
  HANDLE down = INVALID_HANDLE_VALUE;
  std::wstring base;
  cef_runtime_browser* browser = nullptr;
  cef_runtime_app* app = nullptr;
  // Fetches and the reader may outlive the loop: the inbox is never freed.
  Inbox* inbox = new Inbox();
  // The main document the browser process fetched, served to the engine's first fetch of it.
  std::string documentUrl;
  std::unique_ptr<FetchResult> document;
  // The last paint request: later frames are painted into its buffer when the page changes.
  FrameMessage lastRequest{};
  bool haveRequest = false;
  bool dirty = false;
  // The load whose page is on its way, and whether the engine has started on it.
  uint32_t loadSerial = 0;
  bool loadStarted = false;
  int mouseX = 0, mouseY = 0;
};

unsigned __stdcall ReadChannel(void* context) {
  auto* renderer = static_cast<Renderer*>(context);
  Inbox* inbox = renderer->inbox;
  HANDLE down = renderer->down;
  for (;;) {
    Incoming in;
    if (!ReadMessage(down, &in.header)) break;
    if (HasPayload(in.header.kind) && !ReadPayload(down, in.header.width, &in.payload))
      break;
    EnterCriticalSection(&inbox->lock);
    inbox->messages.push_back(std::move(in));
    LeaveCriticalSection(&inbox->lock);
    SetEvent(inbox->wake);
  }
  EnterCriticalSection(&inbox->lock);
  inbox->closed = true;
  LeaveCriticalSection(&inbox->lock);
  SetEvent(inbox->wake);
  return 0;
}

void WritePayloadUp(Renderer* renderer, FrameMessageKind kind, const std::string& payload, uint32_t sequence = 0) {
  EnterCriticalSection(&renderer->browser->writeLock);
  WritePayload(renderer->browser->up, kind, payload.data(), payload.size(), sequence);
  LeaveCriticalSection(&renderer->browser->writeLock);
}

void EngineFetch(void* self, unsigned id, const char* url) {
  auto* renderer = static_cast<Renderer*>(self);
  if (renderer->document && renderer->documentUrl == url) {
    EnterCriticalSection(&renderer->inbox->lock);
    renderer->inbox->answers.push_back({id, std::move(*renderer->document)});
    LeaveCriticalSection(&renderer->inbox->lock);
    renderer->document.reset();
    SetEvent(renderer->inbox->wake);
    return;
  }
  // Everything else is fetched by the browser process, which asks the program first.
  WritePayloadUp(renderer, kResourceRequest, url, id);
}

void EngineInvalidated(void* self) { static_cast<Renderer*>(self)->dirty = true; }

void SendLoadDone(Renderer* renderer) {
  if (!renderer->loadSerial) return;
  EnterCriticalSection(&renderer->browser->writeLock);
  WriteMessage(renderer->browser->up, {kLoadDone, 0, 0, renderer->loadSerial});
  LeaveCriticalSection(&renderer->browser->writeLock);
  renderer->loadSerial = 0;
}

// The engine is busy with a page, or done with it: the load it started on is complete.
void EngineBusy(void* self, int busy) {
  auto* renderer = static_cast<Renderer*>(self);
  if (busy) {
    renderer->loadStarted = renderer->loadSerial != 0;
  } else if (renderer->loadStarted) {
    renderer->loadStarted = false;
    SendLoadDone(renderer);
  }
}

void EngineNavigate(void* self, const char* url, const char* target) {
  WritePayloadUp(static_cast<Renderer*>(self), kNavigate, std::string(url) + '\0' + target);
}

void EngineAddress(void* self, const char* url) { WritePayloadUp(static_cast<Renderer*>(self), kAddress, url); }

void EngineConsole(void* self, const char* message, size_t length) {
  WritePayloadUp(static_cast<Renderer*>(self), kConsole, std::string(message, length));
}

void EngineContextMenu(void* self, int x, int y, const char* link, const char* page) {
  WritePayloadUp(static_cast<Renderer*>(self), kContextMenu,
                 std::to_string(x) + ' ' + std::to_string(y) + ' ' + link + '\0' + page);
}

// The page waits for the browser process's answer; other messages wait behind it, in order.
int EngineDialog(void* self, int type, const char* page, const char* message, const char* defaultText, char** answer) {
  auto* renderer = static_cast<Renderer*>(self);
  Inbox* inbox = renderer->inbox;
  WritePayloadUp(renderer, kDialog,
                 std::to_string(type) + page + '\0' + message + '\0' + defaultText);
  for (;;) {
    EnterCriticalSection(&inbox->lock);
    for (auto it = inbox->messages.begin(); it != inbox->messages.end(); ++it) {
      if (it->header.kind != kDialogAnswer) continue;
      std::string text(it->payload.begin(), it->payload.end());
      inbox->messages.erase(it);
      LeaveCriticalSection(&inbox->lock);
      const bool accepted = !text.empty() && text[0] == '1';
      if (answer && text.size() > 1) {
        *answer = static_cast<char*>(malloc(text.size()));
        if (*answer) memcpy(*answer, text.c_str() + 1, text.size());
      }
      return accepted;
    }
    const bool closed = inbox->closed;
    LeaveCriticalSection(&inbox->lock);
    if (closed) return 0;
    WaitForSingleObject(inbox->wake, 100);
  }
}

void EngineTitle(void* self, const char* title) { WritePayloadUp(static_cast<Renderer*>(self), kTitle, title); }

void EnginePointer(void* self, int shape) {
  auto* renderer = static_cast<Renderer*>(self);
  EnterCriticalSection(&renderer->browser->writeLock);
  WriteMessage(renderer->browser->up, {kCursor, shape, 0, 0});
  LeaveCriticalSection(&renderer->browser->writeLock);
}

// Paints a frame into the browser process's buffer of `request` and says so.
void Paint(Renderer* renderer, const FrameMessage& request) {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, FrameBufferName(renderer->base, request.sequence).c_str());
  if (!mapping) return;
  if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) {
    page_engine_paint(static_cast<uint32_t*>(view), request.width, request.height);
    UnmapViewOfFile(view);
    FrameMessage ready{kFrameReady, request.width, request.height, request.sequence};
    EnterCriticalSection(&renderer->browser->writeLock);
    WriteMessage(renderer->browser->up, ready);
    LeaveCriticalSection(&renderer->browser->writeLock);
  }
  CloseHandle(mapping);
}

// Handles one message from the browser process; false when the channel is done.
void Handle(Renderer* renderer, Incoming& in) {
  switch (in.header.kind) {
    case kProcessMessage:
      if (renderer->app && renderer->app->on_process_message_received)
        renderer->app->on_process_message_received(renderer->app->self, renderer->browser, CEF_RUNTIME_PID_BROWSER,
                                                   in.payload.data(), in.payload.size());
      break;
    case kLoadDocument: {
      auto document = std::make_unique<FetchResult>();
      std::string url;
      if (!DecodeDocument(in.payload, &url, &document->status, &document->headers, &document->body)) break;
      renderer->documentUrl = url;
      renderer->document = std::move(document);
      renderer->loadSerial = in.header.sequence;
      renderer->loadStarted = false;
      if (!page_engine_load(url.c_str())) SendLoadDone(renderer);
      break;
    }
    case kResourceResponse: {
      FetchResult result;
      std::string url;
      if (!DecodeDocument(in.payload, &url, &result.status, &result.headers, &result.body)) break;
      // A failed fetch comes as its error code and text.
      const bool failed = result.status < 0;
      page_engine_fetch_done(in.header.sequence, failed ? result.status : 0, failed ? result.headers.c_str() : nullptr,
                             failed ? 0 : result.status, failed ? "" : result.headers.c_str(), result.body.data(),
                             result.body.size());
      break;
    }
    case kMouseButton:
      page_engine_mouse_button(in.header.width, in.header.height, in.header.sequence & 0xF, (in.header.sequence >> 4) & 1);
      break;
    case kMouseMove:
      renderer->mouseX = in.header.width;
      renderer->mouseY = in.header.height;
      page_engine_mouse_move(in.header.width, in.header.height);
      break;
    case kKey:
      page_engine_key(in.header.width, in.header.height, in.header.sequence);
      break;
    case kFocus:
      page_engine_focus(in.header.width != 0);
      break;
    case kMouseWheel:
      page_engine_mouse_wheel(renderer->mouseX, renderer->mouseY, in.header.width, in.header.height);
      break;
    case kPaintRequest:
      if (in.header.width <= 0 || in.header.height <= 0) break;
      renderer->lastRequest = in.header;
      renderer->haveRequest = true;
      renderer->dirty = false;
      Paint(renderer, in.header);
      break;
    default:
      break;
  }
}

bool g_inRenderer = false;

// "native function NAME();" becomes a function of that name that calls the engine's bridge to
// the handler of extension `index`.
std::string BindNatives(const std::string& code, size_t index) {
  static const std::regex declaration(R"(\bnative\s+function\s+([A-Za-z_$][\w$]*)\s*\(\s*\)\s*;)");
  return std::regex_replace(code, declaration,
                            "function $1(){return __dvNative(" + std::to_string(index) +
                                ",\"$1\",arguments);}");
}

}  // namespace

int RunRenderer(const std::wstring& base, int browserId, cef_runtime_app* app) {
  HANDLE down = OpenPipe(PipeName(base, L"down"), GENERIC_READ);
  HANDLE up = OpenPipe(PipeName(base, L"up"), GENERIC_WRITE);
  if (down == INVALID_HANDLE_VALUE || up == INVALID_HANDLE_VALUE) {
    LogError(L"Render process could not reach its browser on " + base);
    return 1;
  }
  auto* renderer = new Renderer();
  renderer->down = down;
  renderer->base = base;
  renderer->app = app;
  auto* browser = new cef_runtime_browser();
  browser->inRenderer = true;
  browser->id = browserId;
  browser->up = up;
  browser->connected = true;
  renderer->browser = browser;

  page_engine_host host{renderer,     &EngineFetch, &EngineInvalidated, &EngineNavigate, &EngineAddress,
                        &EngineTitle, &EnginePointer, &EngineBusy,     &EngineConsole, &EngineContextMenu,
                        &EngineDialog};
  if (!page_engine_start(&host)) LogError(L"The page engine did not start");
  // Extensions are registered now, before any page's script runs.
  g_inRenderer = true;
  if (app && app->on_web_kit_initialized) app->on_web_kit_initialized(app->self);

  HANDLE reader = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ReadChannel, renderer, 0, nullptr));
  Inbox* inbox = renderer->inbox;
  bool open = reader != nullptr;
  while (open) {
    std::deque<Incoming> messages;
    std::deque<Answer> answers;
    EnterCriticalSection(&inbox->lock);
    messages.swap(inbox->messages);
    answers.swap(inbox->answers);
    open = !inbox->closed || !messages.empty();
    LeaveCriticalSection(&inbox->lock);
    for (Answer& answer : answers) {
      const FetchResult& r = answer.result;
      const std::string text = Narrow(r.errorText);
      page_engine_fetch_done(answer.id, r.error, r.error ? text.c_str() : nullptr, r.status, r.headers.c_str(),
                             r.body.data(), r.body.size());
    }
    for (Incoming& in : messages) Handle(renderer, in);
    int due = page_engine_run_due();
    if (renderer->dirty && renderer->haveRequest) {
      renderer->dirty = false;
      Paint(renderer, renderer->lastRequest);
      due = page_engine_run_due();
    }
    if (!open) break;
    WaitForSingleObject(inbox->wake, due < 0 ? INFINITE : static_cast<DWORD>(due));
  }
  if (reader) {
    WaitForSingleObject(reader, 2000);
    CloseHandle(reader);
  }
  // Senders on other threads may still hold the browser: it stays, its pipe closed.
  EnterCriticalSection(&browser->writeLock);
  browser->connected = false;
  browser->up = INVALID_HANDLE_VALUE;
  LeaveCriticalSection(&browser->writeLock);
  CloseHandle(down);
  CloseHandle(up);
  return 0;
}

}  // namespace runtime

extern "C" __declspec(dllexport) int cef_register_extension(const wchar_t* extension_name,
                                                            const wchar_t* javascript_code,
                                                            cef_runtime_v8_handler* handler) {
  if (!runtime::g_inRenderer || !extension_name || !javascript_code) return 0;
  static size_t count = 0;
  const std::string code = runtime::BindNatives(runtime::Narrow(javascript_code), count);
  if (!page_engine_add_extension(runtime::Narrow(extension_name).c_str(), code.data(), code.size(), handler)) return 0;
  ++count;
  return 1;
}
