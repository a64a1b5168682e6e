#include "tools/browser_runtime/frame_channel.h"

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

int RunRenderer(const std::wstring& base) {
  HANDLE down = OpenPipe(PipeName(base, L"down"), GENERIC_READ);
  HANDLE up = OpenPipe(PipeName(base, L"up"), GENERIC_WRITE);
  if (down == INVALID_HANDLE_VALUE || up == INVALID_HANDLE_VALUE) {
    LogError(L"Render process could not reach its browser on " + base);
    return 1;
  }
  FrameMessage request;
  while (ReadMessage(down, &request)) {
    if (request.kind != kPaintRequest || request.width <= 0 || request.height <= 0) continue;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, FrameBufferName(base, request.sequence).c_str());
    if (!mapping) continue;
    if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) {
      PaintBlank(static_cast<uint32_t*>(view), request.width, request.height);
      UnmapViewOfFile(view);
      FrameMessage ready{kFrameReady, request.width, request.height, request.sequence};
      WriteMessage(up, ready);
    }
    CloseHandle(mapping);
  }
  CloseHandle(down);
  CloseHandle(up);
  return 0;
}

}  // namespace runtime
