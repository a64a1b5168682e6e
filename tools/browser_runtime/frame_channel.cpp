#include "tools/browser_runtime/frame_channel.h"

#include "tools/browser_runtime/runtime_browser.h"
#include "tools/browser_runtime/runtime_log.h"

namespace runtime {

std::wstring ChannelBase(DWORD browserPid, int browserId) {
  return L"dvcef-" + std::to_wstring(browserPid) + L"-" + std::to_wstring(browserId);
}

std::wstring PipeName(const std::wstring& base, const wchar_t* direction) {
  return L"\\\\.\\pipe\\" + base + L"-" + direction;
}

std::wstring FrameBufferName(const std::wstring& base, uint32_t sequence) {
  return L"Local\\" + base + L"-frame-" + std::to_wstring(sequence);
}

bool WriteMessage(HANDLE pipe, const FrameMessage& message) {
  DWORD written = 0;
  return WriteFile(pipe, &message, sizeof(message), &written, nullptr) && written == sizeof(message);
}

bool ReadMessage(HANDLE pipe, FrameMessage* message) {
  DWORD got = 0;
  return ReadFile(pipe, message, sizeof(*message), &got, nullptr) && got == sizeof(*message);
}

bool WriteProcessMessage(HANDLE pipe, const void* data, size_t size) {
  if (size > static_cast<size_t>(kMaxProcessMessageBytes)) return false;
  FrameMessage header{kProcessMessage, static_cast<int32_t>(size), 0, 0};
  if (!WriteMessage(pipe, header)) return false;
  DWORD written = 0;
  return size == 0 || (WriteFile(pipe, data, static_cast<DWORD>(size), &written, nullptr) && written == size);
}

bool ReadPayload(HANDLE pipe, int32_t size, std::vector<char>* payload) {
  if (size < 0 || size > kMaxProcessMessageBytes) return false;
  payload->resize(size);
  DWORD done = 0;
  while (done < static_cast<DWORD>(size)) {
    DWORD got = 0;
    if (!ReadFile(pipe, payload->data() + done, size - done, &got, nullptr) && GetLastError() != ERROR_MORE_DATA)
      return false;
    if (got == 0) return false;
    done += got;
  }
  return true;
}

namespace {

HANDLE OpenPipe(const std::wstring& name, DWORD access) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE pipe = CreateFileW(name.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    WaitNamedPipeW(name.c_str(), 100);
  }
  return INVALID_HANDLE_VALUE;
}

// about:blank: an opaque white page.
void PaintBlank(uint32_t* pixels, int width, int height) {
  for (int64_t i = 0, n = static_cast<int64_t>(width) * height; i < n; ++i) pixels[i] = 0xFFFFFFFFu;
}

}  // namespace

int RunRenderer(const std::wstring& base, int browserId, cef_runtime_app* app) {
  HANDLE down = OpenPipe(PipeName(base, L"down"), GENERIC_READ);
  HANDLE up = OpenPipe(PipeName(base, L"up"), GENERIC_WRITE);
  if (down == INVALID_HANDLE_VALUE || up == INVALID_HANDLE_VALUE) {
    LogError(L"Render process could not reach its browser on " + base);
    return 1;
  }
  auto* browser = new cef_runtime_browser();
  browser->inRenderer = true;
  browser->id = browserId;
  browser->up = up;
  browser->connected = true;
  FrameMessage request;
  std::vector<char> payload;
  while (ReadMessage(down, &request)) {
    if (request.kind == kProcessMessage) {
      if (!ReadPayload(down, request.width, &payload)) break;
      if (app && app->on_process_message_received)
        app->on_process_message_received(app->self, browser, CEF_RUNTIME_PID_BROWSER, payload.data(), payload.size());
      continue;
    }
    if (request.kind != kPaintRequest || request.width <= 0 || request.height <= 0) continue;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, FrameBufferName(base, request.sequence).c_str());
    if (!mapping) continue;
    if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) {
      PaintBlank(static_cast<uint32_t*>(view), request.width, request.height);
      UnmapViewOfFile(view);
      FrameMessage ready{kFrameReady, request.width, request.height, request.sequence};
      EnterCriticalSection(&browser->writeLock);
      WriteMessage(up, ready);
      LeaveCriticalSection(&browser->writeLock);
    }
    CloseHandle(mapping);
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
